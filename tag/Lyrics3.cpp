#include "tag/Lyrics3.h"

#include <algorithm>

#include "tag/CodePage.h"
#include "tag/FileReader.h"
#include "tag/Id3v2Frames.h"
#include "tag/NumericText.h"
#include "tag/clsID3.h"

namespace Lyrics3 {
namespace {

constexpr std::string_view kBegin = "LYRICSBEGIN";
constexpr int64_t kV1MaxBlock = 5120;

void ReplaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  for (size_t hit; (hit = text.find(from, i)) != std::u16string::npos; i = hit + from.size()) {
    out.append(text, i, hit - i);
    out.append(to);
  }
  out.append(text, i, std::u16string::npos);
  text.swap(out);
}

bool IsWholeNonNegative(std::u16string_view text) {
  const auto number = ParseDecimal(text);
  if (!number || !IsWhole(*number)) return false;
  return !number->negative || number->integer.empty();  // "-0" is zero, not negative
}

}  // namespace

bool IsAllDigits(std::u16string_view text) {
  return std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

bool IsAllDigits(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<int64_t> SizeValue(std::string_view bytes) {
  const std::u16string text = CodePage::BytesToText(bytes);
  const auto number = ParseDecimal(text);
  if (!number) return std::nullopt;
  const auto value = RoundHalfEven(*number);
  if (!value || *value < 0) return std::nullopt;
  return value;
}

std::optional<std::u16string> Lyrics3ValueAt(std::string_view block, int64_t q) {
  const auto size = SizeValue(Id3v2::Slice(block, q + 3, 5));
  if (!size) return std::nullopt;
  std::u16string value = CodePage::BytesToText(Id3v2::Slice(block, q + 8, *size));
  ReplaceAll(value, u"[CR][LF]", u"\r\n");
  ReplaceAll(value, u"[CR]", u"\r");
  ReplaceAll(value, u"[LF]", u"\n");
  return value;
}

std::u16string StripTimestamps(std::u16string text) {
  size_t s = 0;
  for (;;) {
    const size_t open = text.find(u'[', s);
    if (open == std::u16string::npos) break;
    const size_t close = text.find(u']', open + 1);
    if (close == std::u16string::npos) break;
    const std::u16string_view inner = std::u16string_view(text).substr(open + 1, close - open - 1);
    const size_t colon = inner.find(u':');
    if (colon != std::u16string_view::npos && IsWholeNonNegative(inner.substr(0, colon)) &&
        IsWholeNonNegative(inner.substr(colon + 1))) {
      text.erase(open, close - open + 1);
      s = open;
    } else {
      s = open + 1;
    }
  }
  return text;
}

std::u16string EscapeLineBreaks(std::u16string_view text) {
  std::u16string value(text);
  ReplaceAll(value, u"\r\n", u"[CR][LF]");
  ReplaceAll(value, u"\r", u"[CR]");
  ReplaceAll(value, u"\n", u"[LF]");
  return value;
}

}  // namespace Lyrics3

int64_t clsID3::ReadLyrics3(FileReader& file, int64_t end) {
  if (end < 9) return end;
  const std::string marker(file.Read(end - 8, 9));
  if (marker == "LYRICS200") {
    lyrics3v2_exists_ = true;
    if (end - 14 < 1) return end;
    const auto size = Lyrics3::SizeValue(file.Read(end - 14, 6));
    if (!size || end - *size - 14 < 1) return end;
    const std::string block(file.Read(end - *size - 14, *size));
    if (block.compare(0, Lyrics3::kBegin.size(), Lyrics3::kBegin) != 0) return end;
    const auto block_end = static_cast<int64_t>(block.size());
    for (int64_t q = 12; q <= block_end;) {
      MapLyrics3Field(Id3v2::Slice(block, q, 3), block, q);
      const std::string_view z = Id3v2::Slice(block, q + 3, 5);
      if (z.empty() || !Lyrics3::IsAllDigits(z)) break;
      q += 8 + std::stoll(std::string(z));
    }
    return end - *size - 15;
  }
  if (marker == "LYRICSEND") {
    lyrics3v1_exists_ = true;
    const int64_t first = std::max<int64_t>(1, end - (Lyrics3::kV1MaxBlock - 1));
    const std::string window(file.Read(first, end - 9 - first + 1));
    const size_t begin = window.rfind(Lyrics3::kBegin);
    if (begin != std::string::npos && fields_.Lyrics.empty()) {
      fields_.Lyrics =
          CodePage::BytesToText(std::string_view(window).substr(begin + Lyrics3::kBegin.size()));
      sources_[FieldId::Lyrics] = FieldSource::Of(FieldSource::Tag::kLyrics3v1, {}, true);
    }
  }
  return end;
}

void clsID3::MapLyrics3Field(std::string_view id, std::string_view block, int64_t q) {
  const FieldSource source = FieldSource::Of(FieldSource::Tag::kLyrics3v2, id, true);
  auto fill = [&](std::u16string& field, FieldId field_id) {
    if (field.empty()) {
      if (auto value = Lyrics3::Lyrics3ValueAt(block, q)) {
        field = std::move(*value);
        sources_[field_id] = source;
      }
    }
  };
  if (id == "IND") {
    if (auto value = Lyrics3::Lyrics3ValueAt(block, q))
      Lyrics3HasTimestamps = value->size() >= 2 && (*value)[1] == u'1';
  } else if (id == "LYR") {
    if (fields_.Lyrics.empty()) {
      if (auto value = Lyrics3::Lyrics3ValueAt(block, q)) {
        fields_.Lyrics =
            Lyrics3HasTimestamps ? Lyrics3::StripTimestamps(std::move(*value)) : std::move(*value);
        sources_[FieldId::Lyrics] = source;
      }
    }
  } else if (id == "AUT") {
    fill(fields_.Lyricist, FieldId::Lyricist);
  } else if (id == "EAL") {
    fill(fields_.Album, FieldId::Album);
  } else if (id == "EAR") {
    fill(fields_.Artist, FieldId::Artist);
  } else if (id == "ETT") {
    fill(fields_.Title, FieldId::Title);
  }
}
