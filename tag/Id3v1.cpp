// The ID3v1 / ID3v1.1 block in the last 128 bytes of the file.
#include <algorithm>
#include <charconv>

#include "tag/CodePage.h"
#include "tag/FileReader.h"
#include "tag/Genres.h"
#include "tag/TextDecoding.h"
#include "tag/clsID3.h"

namespace {

constexpr int64_t kBlockSize = 128;

// Cut at the first NUL, then trailing spaces (spaces only) removed.
std::u16string FieldText(std::string_view block, size_t offset, size_t width) {
  std::u16string text = CutAtNul(CodePage::BytesToText(block.substr(offset, width)));
  const size_t last = text.find_last_not_of(u' ');
  text.erase(last == std::u16string::npos ? 0 : last + 1);
  return text;
}

// ID3v1.1 keeps a track number in the comment's last two bytes: a zero, then the number.
bool IsV11(std::string_view block) {
  const auto byte125 = static_cast<unsigned char>(block[125]);
  const auto byte126 = static_cast<unsigned char>(block[126]);
  const int v = byte125 * 256 + byte126;
  return v >= 1 && v <= 255;
}

}  // namespace

int64_t clsID3::LocateId3v1(FileReader& file, std::string& block) {
  const int64_t length = file.Size();
  if (length < kBlockSize) return length;
  block = std::string(file.Read(length - kBlockSize + 1, kBlockSize));
  if (block.size() != kBlockSize || block.compare(0, 3, "TAG") != 0) {
    block.clear();
    return length;
  }
  id3v1_exists_ = true;
  return length - kBlockSize;
}

void clsID3::ApplyId3v1(std::string_view block) {
  if (block.size() != kBlockSize) return;
  const bool v11 = IsV11(block);
  const FieldSource source =
      FieldSource::Of(v11 ? FieldSource::Tag::kId3v11 : FieldSource::Tag::kId3v1, {}, true);
  auto fill = [&](std::u16string& field, FieldId id, std::u16string value) {
    if (field.empty() && !value.empty()) {
      field = std::move(value);
      sources_[id] = source;
    }
  };
  fill(fields_.Title, FieldId::Title, FieldText(block, 3, 30));
  fill(fields_.Artist, FieldId::Artist, FieldText(block, 33, 30));
  fill(fields_.Album, FieldId::Album, FieldText(block, 63, 30));
  fill(fields_.Year, FieldId::Year, FieldText(block, 93, 4));
  if (v11) {
    const auto byte126 = static_cast<unsigned char>(block[126]);
    if (fields_.TrackNumber.empty() && byte126 != 0) {
      const std::string digits = std::to_string(byte126);
      fields_.TrackNumber.assign(digits.begin(), digits.end());
      sources_[FieldId::TrackNumber] = source;
      sources_[FieldId::TrackNumber].legacy = false;  // a number, not text
    }
    fill(fields_.Comments, FieldId::Comments, FieldText(block, 97, 28));
  } else {
    fill(fields_.Comments, FieldId::Comments, FieldText(block, 97, 30));
  }
  if (fields_.GenreID == Genres::kNone || fields_.GenreID == Genres::kOther) {
    fields_.GenreID = static_cast<unsigned char>(block[127]);
    // The byte 255 says there is no genre: no tag gave one.
    sources_[FieldId::GenreID] = fields_.GenreID == Genres::kNone ? FieldSource{} : source;
    sources_[FieldId::GenreID].legacy = false;
  }
}

namespace {

// A text field's bytes as a writer leaves them: cut at the first NUL, trailing spaces removed.
std::string_view AreaBytes(std::string_view area) {
  area = area.substr(0, area.find('\0'));
  const size_t last = area.find_last_not_of(' ');
  return area.substr(0, last == std::string_view::npos ? 0 : last + 1);
}

char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? c + 32 : c; }

bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

}  // namespace

bool clsID3::SameAsArea(std::string_view own, std::u16string_view shown, size_t width) const {
  // Only the block's width of the encoded value counts. A unit gives at least one byte and a
  // surrogate pair at least one, and a converter holds back at most one character, so twice the
  // width and a few units more give every byte that counts.
  shown = shown.substr(0, 2 * width + 4);
  if (decoder_ && !legacy_code_page_.empty()) {
    const std::string bytes = EncodeLegacy(shown);
    return own == AreaBytes(std::string_view(bytes).substr(0, width));
  }
  // Windows-1252 gives one byte a unit: encoded on the stack.
  char bytes[kBlockSize];
  const size_t n = std::min(shown.size(), width);
  for (size_t i = 0; i < n; ++i) {
    unsigned char b = '?';
    const char16_t c = shown[i];
    if (c < 0x80) {
      b = static_cast<unsigned char>(c);
    } else {
      CodePage::CharToByte(c, b);
    }
    bytes[i] = static_cast<char>(b);
  }
  return own == AreaBytes(std::string_view(bytes, n));
}

std::vector<FieldId> clsID3::Id3v1Conflicts() const {
  std::vector<FieldId> conflicts;
  if (!id3v1_exists_ || id3v1_block_.size() != kBlockSize) return conflicts;
  const std::string_view block = id3v1_block_;
  const bool v11 = IsV11(block);
  struct Area {
    FieldId field;
    const std::u16string& shown;
    size_t offset, width;
  };
  const Area areas[] = {{FieldId::Title, fields_.Title, 3, 30},
                        {FieldId::Artist, fields_.Artist, 33, 30},
                        {FieldId::Album, fields_.Album, 63, 30},
                        {FieldId::Year, fields_.Year, 93, 4},
                        {FieldId::Comments, fields_.Comments, 97, v11 ? 28u : 30u}};
  for (const Area& area : areas) {
    // Compared as bytes in the file's code page, so a value cut to the width, or written with
    // "?" where the code page has no character, reads as the same value.
    const std::string_view own = AreaBytes(block.substr(area.offset, area.width));
    if (own.empty()) continue;
    if (!SameAsArea(own, area.shown, area.width)) conflicts.push_back(area.field);
  }
  const auto track = static_cast<unsigned char>(block[126]);
  if (v11 && track != 0) {
    std::u16string_view shown = fields_.TrackNumber;
    while (shown.size() > 1 && shown.front() == u'0') shown.remove_prefix(1);
    char digits[4];
    const auto end = std::to_chars(digits, digits + sizeof digits, track).ptr;
    if (!std::equal(shown.begin(), shown.end(), digits, end))
      conflicts.push_back(FieldId::TrackNumber);
  }
  // 255 is the byte of no genre, whatever name the table gives it.
  const auto byte = static_cast<unsigned char>(block[127]);
  if (byte == Genres::kNone) return conflicts;
  const std::u16string_view own_genre = Genres::GenreName(byte);
  const std::u16string shown_genre = ShownGenre();
  if (!own_genre.empty() && !shown_genre.empty() && !SameIgnoringCase(own_genre, shown_genre))
    conflicts.push_back(FieldId::GenreID);
  return conflicts;
}

std::u16string clsID3::Id3v1Value(FieldId field) const {
  if (!id3v1_exists_ || id3v1_block_.size() != kBlockSize) return {};
  const std::string_view block = id3v1_block_;
  const bool v11 = IsV11(block);
  const auto text = [&](size_t offset, size_t width) {
    const std::string_view own = AreaBytes(block.substr(offset, width));
    // Read as the fields were: in the file's code page once the read chose one.
    if (legacy_code_page_.empty()) return FieldText(block, offset, width);
    std::u16string decoded;
    if (decoder_ && decoder_->Decode(legacy_code_page_, own, decoded)) return decoded;
    return CodePage::BytesToText(own);
  };
  switch (field) {
    case FieldId::Title:
      return text(3, 30);
    case FieldId::Artist:
      return text(33, 30);
    case FieldId::Album:
      return text(63, 30);
    case FieldId::Year:
      return text(93, 4);
    case FieldId::Comments:
      return text(97, v11 ? 28 : 30);
    case FieldId::TrackNumber: {
      const auto track = static_cast<unsigned char>(block[126]);
      if (!v11 || track == 0) return {};
      const std::string digits = std::to_string(track);
      return std::u16string(digits.begin(), digits.end());
    }
    case FieldId::GenreID: {
      const auto byte = static_cast<unsigned char>(block[127]);
      return byte == Genres::kNone ? std::u16string() : std::u16string(Genres::GenreName(byte));
    }
    default:
      return {};
  }
}
