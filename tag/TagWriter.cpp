// UpdateID3Tags: the ID3v2 tag rebuilt in its own version, a Lyrics3 v2 block for long names, the
// ID3v1 block, and the audio between them copied unchanged.
#include <algorithm>
#include <limits>
#include <map>
#include <optional>

#include "tag/CaseFold.h"
#include "tag/CodePage.h"
#include "tag/FrameWriter.h"
#include "tag/Genres.h"
#include "tag/Id3v2Frames.h"
#include "tag/Lyrics3.h"
#include "tag/NumericText.h"
#include "tag/TagFileSystem.h"
#include "tag/TagRewrite.h"
#include "tag/clsID3.h"

using FrameWriter::IsPictureId;

namespace {

constexpr std::string_view kLyricsBegin = "LYRICSBEGIN";
constexpr int64_t kLyrics3v1MaxBlock = 5120;

std::string FixedWidth(std::u16string_view text, size_t width) {
  std::string bytes = CodePage::TextToBytes(text.substr(0, width));
  bytes.resize(width, '\0');
  return bytes;
}

std::string WriteLyrics3Field(std::string_view id, std::u16string_view value) {
  const std::string encoded = CodePage::TextToBytes(
      Lyrics3::EscapeLineBreaks(value.substr(0, std::min<size_t>(value.size(), 250))));
  std::string size = std::to_string(encoded.size());
  return std::string(id) + std::string(5 - std::min<size_t>(5, size.size()), '0') + size + encoded;
}

std::string SixDigits(size_t value) {
  const std::string digits = std::to_string(value);
  return std::string(6 - std::min<size_t>(6, digits.size()), '0') + digits;
}

}  // namespace

std::shared_ptr<TagFileSystem> clsID3::FileSystem() const {
  return file_system_ ? file_system_ : TagFileSystem::Posix();
}

void clsID3::SetFileSystem(std::shared_ptr<TagFileSystem> fs) noexcept {
  file_system_ = std::move(fs);
}

std::u16string clsID3::GenreFrameText() const {
  const std::u16string& genre = fields_.Genre;
  const size_t first = genre.find_first_not_of(u' ');
  const std::u16string g = first == std::u16string::npos
                               ? std::u16string()
                               : LowerCaseUnits(std::u16string_view(genre).substr(
                                     first, genre.find_last_not_of(u' ') - first + 1));
  const int32_t id = fields_.GenreID;
  if (!g.empty() && (id == Genres::kOther || id == Genres::kNone)) return genre;
  const std::string n = id == Genres::kCover   ? "CR"
                        : id == Genres::kRemix ? "RX"
                                               : std::to_string(id);
  std::u16string value(1, u'(');
  value.append(n.begin(), n.end());
  value.push_back(u')');
  if (!(g.empty() || g == u"other" || g == u"unknown")) value += genre;
  return value;
}

std::u16string clsID3::FrameValueFor(std::string_view id, int32_t item) const {
  auto pair = [](const std::u16string& number, const std::u16string& total) {
    if (number.empty()) return std::u16string();
    return total.empty() ? number : number + u"/" + total;
  };
  auto list_item = [&](const std::shared_ptr<MultiFrameData>& list) {
    return list && item >= 1 && item <= list->Count() ? list->Item(item) : std::u16string();
  };
  const TagFields& f = fields_;
  static const std::vector<std::pair<std::vector<std::string_view>, std::u16string TagFields::*>>
      kText = {
          {{"COMM", "COM"}, &TagFields::Comments},
          {{"USLT", "ULT"}, &TagFields::Lyrics},
          {{"TALB", "TAL"}, &TagFields::Album},
          {{"TBPM", "TBP"}, &TagFields::BeatsPerMinute},
          {{"TCOM", "TCM"}, &TagFields::Composer},
          {{"TCOP", "TCR"}, &TagFields::Copyright},
          {{"TENC", "TEN"}, &TagFields::EncodedBy},
          {{"TEXT", "TXT"}, &TagFields::Lyricist},
          {{"TIT2", "TT2"}, &TagFields::Title},
          {{"TKEY", "TKE"}, &TagFields::InitialKey},
          {{"TLAN", "TLA"}, &TagFields::Languages},
          {{"TOAL", "TOT"}, &TagFields::OriginalAlbum},
          {{"TOFN", "TOF"}, &TagFields::OriginalFileName},
          {{"TOLY", "TOL"}, &TagFields::OriginalLyricist},
          {{"TOPE", "TOA"}, &TagFields::OriginalArtist},
          {{"TORY", "TDOR", "TOR"}, &TagFields::OriginalReleaseYear},
          {{"TOWN"}, &TagFields::FileOwner},
          {{"TPE1", "TP1"}, &TagFields::Artist},
          {{"TPE2", "TP2"}, &TagFields::Band},
          {{"TPE3", "TP3"}, &TagFields::Conductor},
          {{"TPE4", "TP4"}, &TagFields::InterpretedBy},
          {{"TPUB", "TPB"}, &TagFields::Publisher},
          {{"TRSN"}, &TagFields::InternetRadioStationName},
          {{"TRSO"}, &TagFields::InternetRadioStationOwner},
          {{"TSRC", "TRC"}, &TagFields::ISRC},
          {{"TYER", "TDRC", "TYE"}, &TagFields::Year},
          {{"WCOP", "WCP"}, &TagFields::CopyrightInfo},
          {{"WOAF", "WAF"}, &TagFields::AudioURL},
          {{"WOAS", "WAS"}, &TagFields::AudioSourceURL},
          {{"WORS"}, &TagFields::InternetRadioURL},
          {{"WPAY"}, &TagFields::PaymentURL},
          {{"WPUB", "WPB"}, &TagFields::PublisherURL},
      };
  for (const auto& [ids, field] : kText)
    if (std::find(ids.begin(), ids.end(), id) != ids.end()) return f.*field;
  if (id == "TCON" || id == "TCO") return GenreFrameText();
  if (id == "TPOS" || id == "TPA") return pair(f.DiscNumber, f.DiscsTotal);
  if (id == "TRCK" || id == "TRK") return pair(f.TrackNumber, f.TracksTotal);
  if (id == "WCOM" || id == "WCM") return list_item(f.CommercialInfo);
  if (id == "WOAR" || id == "WAR") return list_item(f.ArtistURL);
  if (IsPictureId(id)) return list_item(f.AttachedPictures);
  return {};
}

int32_t clsID3::Id3v1GenreNumber() const {
  const std::u16string lower = LowerCaseUnits(fields_.Genre);
  const int32_t id = fields_.GenreID;
  int32_t number = id;
  if ((id == Genres::kOther && lower != u"other") || (id == Genres::kNone && lower != u"unknown"))
    number = Genres::ToGenreID(fields_.Genre);
  if (number == Genres::kRemix || number == Genres::kCover) number = Genres::kOther;
  return number;
}

bool clsID3::NeedsId3v1Block() const {
  const TagFields& f = fields_;
  const int32_t genre = Id3v1GenreNumber();
  return !f.Title.empty() || !f.Artist.empty() || !f.Album.empty() || !f.Year.empty() ||
         !f.Comments.empty() || !f.TrackNumber.empty() ||
         (genre != Genres::kOther && genre != Genres::kNone);
}

std::string clsID3::Id3v1Block() const {
  const TagFields& f = fields_;
  std::string block = "TAG";
  block += FixedWidth(f.Title, 30);
  block += FixedWidth(f.Artist, 30);
  block += FixedWidth(f.Album, 30);
  block += FixedWidth(f.Year, 4);
  std::optional<int64_t> track;
  if (const auto number = ParseDecimal(f.TrackNumber)) {
    // 1 <= value <= 255 on the exact value, then rounded half to even.
    const bool at_least_one = !number->negative && !number->integer.empty();
    const auto whole = RoundHalfEven(DecimalText{false, number->integer, {}});
    const bool at_most_255 = whole && (*whole < 255 || (*whole == 255 && IsWhole(*number)));
    if (at_least_one && at_most_255) track = RoundHalfEven(*number);
  }
  if (track) {
    block += FixedWidth(f.Comments, 28);
    block.push_back('\0');
    block.push_back(static_cast<char>(*track));
  } else {
    block += FixedWidth(f.Comments, 30);
  }
  // A number without an ID3v1 byte (below 0 or above 255) means no genre there.
  const int32_t genre = Id3v1GenreNumber();
  block.push_back(static_cast<char>(genre >= 0 && genre <= 255 ? genre : Genres::kNone));
  return block;
}

std::u16string clsID3::Lyrics3FieldValue(std::string_view id) const {
  auto long_only = [](const std::u16string& value) {
    return value.size() > 30 ? value : std::u16string();
  };
  if (id == "EAL") return long_only(fields_.Album);
  if (id == "EAR") return long_only(fields_.Artist);
  if (id == "ETT") return long_only(fields_.Title);
  return {};
}

std::string clsID3::Lyrics3Block() const {
  if (fields_.Title.size() <= 30 && fields_.Artist.size() <= 30 && fields_.Album.size() <= 30)
    return {};
  std::string block(kLyricsBegin);
  block += "IND0000200";
  for (const std::string& id : Lyrics3FieldIds()) {
    const std::u16string value = Lyrics3FieldValue(id);
    if (!value.empty()) block += WriteLyrics3Field(id, value);
  }
  return block + SixDigits(block.size()) + "LYRICS200";
}

bool clsID3::OldAudioEnd(FileRewrite& file, int64_t& end, std::string& error) {
  end = file.Size();
  std::string bytes;
  if (end >= 128) {
    if (!file.Read(end - 128, 3, bytes, error)) return false;
    if (bytes == "TAG") end -= 128;
  }
  if (end < 9 || !file.Read(end - 9, 9, bytes, error)) return end < 9;
  if (bytes == "LYRICS200") {
    std::string size;
    if (end < 15 || !file.Read(end - 15, 6, size, error)) return end < 15;
    if (size.size() != 6 || !Lyrics3::IsAllDigits(std::string_view(size))) return true;
    const int64_t block = std::stoll(size);
    const int64_t start = end - block - 15;  // 0-based offset of "LYRICSBEGIN"
    if (start < 0) return true;
    std::string begin;
    if (!file.Read(start, static_cast<int64_t>(kLyricsBegin.size()), begin, error)) return false;
    if (begin == kLyricsBegin) end = start;
  } else if (bytes == "LYRICSEND") {
    const int64_t first = std::max<int64_t>(0, end - kLyrics3v1MaxBlock);
    std::string window;
    if (!file.Read(first, end - 9 - first, window, error)) return false;
    const size_t begin = window.rfind(kLyricsBegin);
    if (begin != std::string::npos) end = first + static_cast<int64_t>(begin);
  }
  return true;
}

void clsID3::UpdateID3Tags() noexcept {
  last_write_error_.clear();
  try {
    last_write_ok_ = WriteTags(last_write_error_);
  } catch (const std::exception& e) {
    last_write_ok_ = false;
    last_write_error_ = std::string("the tags could not be built: ") + e.what();
  }
  if (last_write_ok_) last_write_error_.clear();
}

bool clsID3::WriteTags(std::string& error) {
  if (!ReadWasWhole(error)) return false;
  TagRewrite rewrite(*this, error);
  if (!rewrite.ReadOldTag() || !rewrite.WalkOldFrames() || !rewrite.AppendNewFrames() ||
      !rewrite.Commit())
    return false;
  id3_revision_v2_ = rewrite.Version();
  TagUnsynchronised = false;
  return true;
}
