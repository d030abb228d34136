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

void FillIfEmpty(std::u16string& field, std::u16string value) {
  if (field.empty() && !value.empty()) field = std::move(value);
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
  FillIfEmpty(fields_.Title, FieldText(block, 3, 30));
  FillIfEmpty(fields_.Artist, FieldText(block, 33, 30));
  FillIfEmpty(fields_.Album, FieldText(block, 63, 30));
  FillIfEmpty(fields_.Year, FieldText(block, 93, 4));
  const auto byte125 = static_cast<unsigned char>(block[125]);
  const auto byte126 = static_cast<unsigned char>(block[126]);
  const int v = byte125 * 256 + byte126;
  if (v >= 1 && v <= 255) {
    if (fields_.TrackNumber.empty() && byte126 != 0) {
      const std::string digits = std::to_string(byte126);
      fields_.TrackNumber.assign(digits.begin(), digits.end());
    }
    FillIfEmpty(fields_.Comments, FieldText(block, 97, 28));
  } else {
    FillIfEmpty(fields_.Comments, FieldText(block, 97, 30));
  }
  if (fields_.GenreID == Genres::kNone || fields_.GenreID == Genres::kOther)
    fields_.GenreID = static_cast<unsigned char>(block[127]);
}
