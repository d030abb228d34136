// The ID3v1 / ID3v1.1 block in the last 128 bytes of the file.
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
    sources_[FieldId::GenreID] = source;
    sources_[FieldId::GenreID].legacy = false;
  }
}

std::optional<Id3v1Values> clsID3::Id3v1() const {
  if (!id3v1_exists_ || id3v1_block_.size() != kBlockSize) return std::nullopt;
  const std::string_view block = id3v1_block_;
  const bool v11 = IsV11(block);
  Id3v1Values values;
  struct Area {
    std::u16string* text;
    size_t offset, width;
  };
  const Area areas[5] = {{&values.title, 3, 30},
                         {&values.artist, 33, 30},
                         {&values.album, 63, 30},
                         {&values.year, 93, 4},
                         {&values.comment, 97, v11 ? 28u : 30u}};
  for (size_t i = 0; i < 5; ++i) {
    const std::string_view area = block.substr(areas[i].offset, areas[i].width);
    values.full[i] = area.find('\0') == std::string_view::npos;
    std::u16string text = FieldText(block, areas[i].offset, areas[i].width);
    if (!legacy_code_page_.empty()) text = DecodeLegacy(CodePage::TextToBytes(text));
    *areas[i].text = std::move(text);
  }
  if (v11) values.track = static_cast<unsigned char>(block[126]);
  values.genre = static_cast<unsigned char>(block[127]);
  return values;
}
