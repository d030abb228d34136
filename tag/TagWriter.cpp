// UpdateID3Tags: the ID3v2 tag rebuilt in its own version, a Lyrics3 v2 block for long names, the
// ID3v1 block, and the audio between them copied unchanged.
#include <algorithm>
#include <limits>
#include <map>
#include <optional>

#include "tag/CaseFold.h"
#include "tag/CodePage.h"
#include "tag/Genres.h"
#include "tag/Id3v2Frames.h"
#include "tag/Lyrics3.h"
#include "tag/NumericText.h"
#include "tag/TagFileSystem.h"
#include "tag/clsID3.h"

namespace {

constexpr int64_t kDefaultPadding = 2048;
constexpr int64_t kTagSizeLimit = (int64_t{1} << 28) - 1;  // four sync-safe bytes
constexpr std::string_view kLyricsBegin = "LYRICSBEGIN";
constexpr int64_t kLyrics3v1MaxBlock = 5120;

std::string EncodeNumber(uint64_t value, int bytes, bool syncsafe) {
  std::string out(static_cast<size_t>(bytes), '\0');
  const unsigned base_bits = syncsafe ? 7 : 8;
  for (int i = bytes - 1; i >= 0; --i) {
    out[static_cast<size_t>(i)] = static_cast<char>(value & ((1u << base_bits) - 1));
    value >>= base_bits;
  }
  return out;
}

std::string FixedWidth(std::u16string_view text, size_t width) {
  std::string bytes = CodePage::TextToBytes(text.substr(0, width));
  bytes.resize(width, '\0');
  return bytes;
}

bool FitsCodePage(std::u16string_view text) {
  unsigned char byte = 0;
  return std::all_of(text.begin(), text.end(),
                     [&](char16_t c) { return CodePage::CharToByte(c, byte); });
}

std::string Utf16WithMark(std::u16string_view text) {
  std::string out = "\xFF\xFE";
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

bool IsUrlId(std::string_view id) { return !id.empty() && id.front() == 'W'; }
bool IsLanguageId(std::string_view id) {
  return id == "COMM" || id == "COM" || id == "USLT" || id == "ULT";
}
bool IsPictureId(std::string_view id) { return id == "APIC" || id == "PIC"; }

// The lists whose items repeating frames carry, one frame per item.
enum class FrameList { kCommercialInfo, kArtistUrl, kAttachedPictures };

std::optional<FrameList> ListOf(std::string_view id) {
  if (id == "WCOM" || id == "WCM") return FrameList::kCommercialInfo;
  if (id == "WOAR" || id == "WAR") return FrameList::kArtistUrl;
  if (IsPictureId(id)) return FrameList::kAttachedPictures;
  return std::nullopt;
}

struct FrameLayout {
  uint8_t version;
  int id_length() const { return Id3v2::FrameIdLength(version); }
  int header_length() const { return version <= 2 ? 6 : 10; }
  uint64_t max_body() const {
    if (version <= 2) return (uint64_t{1} << 24) - 1;
    if (version == 3) return std::numeric_limits<int32_t>::max() - 10;  // the reader's limit
    return kTagSizeLimit;
  }
};

// The header of a frame whose body is `body_size` bytes: ID, size, flags 00 00.
std::string FrameHeader(const FrameLayout& layout, std::string_view id, uint64_t body_size) {
  std::string header(id);
  header += EncodeNumber(body_size, layout.id_length(), layout.version >= 4);
  if (layout.version >= 3) header.append(2, '\0');
  return header;
}

// One frame as the writer builds it: ID, size, flags 00 00, body. Text the code page cannot
// hold goes out as UTF-16 rather than as question marks. Nothing when the body is too big for
// the size field. Built in one string, since a picture's frame may be as large as the tag.
std::optional<std::string> WriteFrame(const FrameLayout& layout, std::string_view id,
                                      std::u16string_view value) {
  const auto header_length = static_cast<size_t>(layout.header_length());
  std::string frame(header_length, '\0');
  if (IsUrlId(id)) {
    frame += CodePage::TextToBytes(value);
  } else if (FitsCodePage(value)) {
    frame.reserve(header_length + 5 + value.size());
    frame.push_back('\0');
    if (IsLanguageId(id)) frame.append("eng\0", 4);
    frame += CodePage::TextToBytes(value);
  } else {
    frame.push_back('\x01');
    if (IsLanguageId(id)) frame += "eng" + Utf16WithMark(u"") + std::string(2, '\0');
    frame += Utf16WithMark(value);
  }
  const uint64_t body = frame.size() - header_length;
  if (body > layout.max_body()) return std::nullopt;
  frame.replace(0, header_length, FrameHeader(layout, id, body));
  return frame;
}

// A picture frame from the entry's bytes, as WriteFrame writes it from the same bytes as text.
std::optional<std::string> WritePictureFrame(const FrameLayout& layout, std::string_view id,
                                             std::string_view entry) {
  const uint64_t body = entry.size() + 1;
  if (body > layout.max_body()) return std::nullopt;
  std::string frame = FrameHeader(layout, id, body);
  frame.reserve(frame.size() + body);
  frame.push_back('\0');
  frame += entry;
  return frame;
}

// The body after the frame header, with a v2.4 frame's own unsynchronisation undone.
std::string FrameBody(std::string_view frame, const FrameLayout& layout) {
  std::string body(frame.substr(std::min<size_t>(frame.size(), layout.header_length())));
  if (layout.version >= 4 && frame.size() >= 10 && (static_cast<unsigned char>(frame[9]) & 0x02))
    body = Id3v2::Deunsynchronise(body);
  return body;
}

// Frames whose bytes a rewrite from the field could not reproduce: compressed, encrypted, grouped
// or length-prefixed bodies.
bool IsOpaque(std::string_view frame, const FrameLayout& layout) {
  if (layout.version < 3 || frame.size() < 10) return false;
  const auto format = static_cast<unsigned char>(frame[9]);
  return layout.version == 3 ? (format & 0xE0) != 0 : (format & 0x4D) != 0;
}

// A frame kept: unchanged, but a v2.4 frame's own unsynchronisation undone, since the new tag
// is written without it.
std::string KeepFrame(std::string_view frame, const FrameLayout& layout) {
  if (layout.version < 4 || frame.size() < 10 || !(static_cast<unsigned char>(frame[9]) & 0x02))
    return std::string(frame);
  const std::string body = Id3v2::Deunsynchronise(frame.substr(10));
  std::string out(frame.substr(0, 4));
  out += EncodeNumber(body.size(), 4, true);
  out.push_back(frame[8]);
  out.push_back(static_cast<char>(static_cast<unsigned char>(frame[9]) & ~0x02));
  return out + body;
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

// One rewrite of the file's tags, in the order it must happen: the old tag read in its own
// version, its frames walked, the fields no frame carried appended, the new file committed.
// What stays as it was goes to the new file as byte ranges of the old one, so memory holds only
// the frames built anew.
class clsID3::TagRewrite {
 public:
  TagRewrite(clsID3& tag, std::string& error)
      : tag_(tag),
        error_(error),
        file_(tag.FileSystem()),
        commercial_info_{tag.fields_.CommercialInfo},
        artist_url_{tag.fields_.ArtistURL},
        attached_pictures_{tag.fields_.AttachedPictures} {}

  bool ReadOldTag();
  bool WalkOldFrames();
  bool AppendNewFrames();
  bool Commit();
  uint8_t Version() const { return layout_.version; }

 private:
  // A list and the 1-based item its next frame takes.
  struct ListCursor {
    std::shared_ptr<MultiFrameData> items;
    int32_t next = 1;
    int32_t Count() const { return items ? items->Count() : 0; }
  };
  // A frame of the old tag: its 1-based position in the old tag data, its length and header.
  struct OldFrame {
    std::string id;
    int64_t at = 0;
    int64_t total = 0;
    std::string head;               // the frame header
    std::optional<size_t> managed;  // its ID's place in managed_
  };

  void ChooseManagedIds();
  std::optional<size_t> ManagedIndex(std::string_view id) const;
  ListCursor& Cursor(FrameList list);
  bool OldBytes(int64_t p, int64_t count, std::string_view& out);
  bool FrameBytes(const OldFrame& frame, std::string& out);
  bool SignatureAt(int64_t p, bool& found);
  bool ListOldFrames(std::vector<OldFrame>& frames);
  bool LanguageFrame(const OldFrame& frame);
  bool ListFrame(const OldFrame& frame, FrameList list);
  bool PictureFrame(const OldFrame& frame, const MultiFrameData& list, int32_t item);
  bool EntryMatches(const MultiFrameData& list, int32_t item, int64_t at, int64_t count,
                    bool& same);
  bool SingleFrame(const OldFrame& frame, int same_id_frames);
  bool UnchangedSinceRead(std::string_view id);
  bool Rewrite(std::string_view id, std::u16string_view value);
  bool RewritePicture(std::string_view id, const MultiFrameData& list, int32_t item);
  bool Built(std::string_view id, std::optional<std::string> frame);
  bool KeepOld(const OldFrame& frame);
  void Put(std::string bytes);
  void PutOld(int64_t at, int64_t count);

  clsID3& tag_;
  std::string& error_;
  FileRewrite file_;
  FrameLayout layout_{3};
  int64_t audio_start_ = 1;
  // The old tag data after the header and any extended header: read from the file as the walk
  // asks, or held whole when it had to be undone first (an unsynchronised v2.2 or v2.3 tag).
  int64_t data_start_ = 0;  // 0-based offset in the file
  int64_t data_size_ = 0;
  bool whole_ = false;
  std::string held_;
  std::string window_;
  int64_t window_at_ = 0;             // the 1-based position of window_'s first byte
  std::vector<std::string> managed_;  // the IDs the fields fill, in table order
  std::vector<bool> pending_;         // managed IDs no old frame has carried yet
  ListCursor commercial_info_;
  ListCursor artist_url_;
  ListCursor attached_pictures_;
  std::unique_ptr<clsID3> as_read_;
  std::vector<FileRewrite::Piece> frames_;  // the new tag data but for its padding
  int64_t frames_size_ = 0;
  int64_t padding_ = 0;
};

namespace {

// Old tag data looked at in one read when the walk needs only a frame header or a signature.
constexpr int64_t kLook = 256;
constexpr int64_t kWindow = 64 * 1024;
// Pieces of a picture compared with its entry at a time.
constexpr int64_t kCompareChunk = 1 << 20;

bool IsEncodingByte(unsigned char e, uint8_t version) { return e <= 1 || (version >= 4 && e <= 3); }

bool IsDateId(std::string_view id) {
  return id == "TDRC" || id == "TDOR" || id == "TYER" || id == "TORY" || id == "TYE" || id == "TOR";
}
bool IsNumberPairId(std::string_view id) {
  return id == "TRCK" || id == "TRK" || id == "TPOS" || id == "TPA";
}

// A track or disc text as the read leaves it: split at "/", each part a number or "0", a total
// only beside exactly one number.
std::u16string CleanedNumbers(std::u16string_view text) {
  std::vector<std::u16string> parts;
  for (size_t start = 0;;) {
    const size_t slash = text.find(u'/', start);
    parts.emplace_back(text.substr(start, slash - start));
    if (slash == std::u16string_view::npos) break;
    start = slash + 1;
  }
  const std::u16string number = CleanNumber(parts[0]);
  const std::u16string total = parts.size() == 2 ? CleanNumber(parts[1]) : std::u16string();
  if (number.empty()) return {};
  return total.empty() ? number : number + u"/" + total;
}

// Whether writing a frame from its field would lose text it holds: what follows an embedded NUL,
// a date beyond its year, a track or disc text the read's number cleaning shortened. A frame
// that would only change its form (its encoding, a trailing NUL, the genre's number) loses none.
bool LosesText(std::string_view id, const std::u16string& whole) {
  const size_t nul = whole.find(u'\0');
  if (nul != std::u16string::npos && whole.find_first_not_of(u'\0', nul) != std::u16string::npos)
    return true;
  const std::u16string text = whole.substr(0, nul);
  if (IsDateId(id)) return YearPart(text) != text;
  if (IsNumberPairId(id)) return !text.empty() && CleanedNumbers(text) != text;
  return false;
}

}  // namespace

bool clsID3::TagRewrite::ReadOldTag() {
  if (!file_.Open(tag_.file_name_, error_)) return false;
  std::string header;
  if (!file_.Read(0, Id3v2::kHeaderSize, header, error_)) return false;
  if (Id3v2::IsValidHeader(header)) {
    const auto version = static_cast<uint8_t>(header[3]);
    layout_.version = version;
    const Id3v2::HeaderFlags flags = Id3v2::ParseHeaderFlags(header, version);
    const auto size =
        static_cast<int64_t>(Id3v2::DecodeNumber(std::string_view(header).substr(6, 4), true));
    audio_start_ = size + 11 + (flags.footer ? 10 : 0);
    if (!flags.compressed) {
      if (size > file_.Size() - static_cast<int64_t>(Id3v2::kHeaderSize)) {
        error_ = "the ID3v2 tag of '" + tag_.file_name_ + "' runs past the end of the file";
        return false;
      }
      data_start_ = static_cast<int64_t>(Id3v2::kHeaderSize);
      data_size_ = size;
      if (flags.unsynchronised && version < 4) {
        if (!file_.Read(data_start_, size, held_, error_)) return false;
        held_ = Id3v2::Deunsynchronise(held_);
        whole_ = true;
        data_size_ = static_cast<int64_t>(held_.size());
      }
      if (flags.extended) {
        std::string_view first;
        if (!OldBytes(1, 4, first)) return false;
        const uint64_t extended = Id3v2::DecodeNumber(first, version >= 4);
        const auto drop = static_cast<int64_t>(
            std::min<uint64_t>(version >= 4 ? extended : extended + 4, data_size_));
        if (whole_) held_.erase(0, static_cast<size_t>(drop));
        data_start_ += drop;
        data_size_ -= drop;
        window_.clear();
      }
    }
  }
  ChooseManagedIds();
  return true;
}

void clsID3::TagRewrite::ChooseManagedIds() {
  const uint8_t version = layout_.version;
  managed_ = version <= 2 ? ID3v22FrameIds() : ID3v2FrameIds();
  if (version >= 4) {
    std::replace(managed_.begin(), managed_.end(), std::string("TORY"), std::string("TDOR"));
    std::replace(managed_.begin(), managed_.end(), std::string("TYER"), std::string("TDRC"));
  }
  pending_.assign(managed_.size(), true);
}

std::optional<size_t> clsID3::TagRewrite::ManagedIndex(std::string_view id) const {
  const auto found = std::find(managed_.begin(), managed_.end(), id);
  if (found == managed_.end()) return std::nullopt;
  return static_cast<size_t>(found - managed_.begin());
}

clsID3::TagRewrite::ListCursor& clsID3::TagRewrite::Cursor(FrameList list) {
  switch (list) {
    case FrameList::kCommercialInfo:
      return commercial_info_;
    case FrameList::kArtistUrl:
      return artist_url_;
    case FrameList::kAttachedPictures:
      break;
  }
  return attached_pictures_;
}

// The old tag data's bytes [p, p + count) that it has (1-based), valid until the next call.
bool clsID3::TagRewrite::OldBytes(int64_t p, int64_t count, std::string_view& out) {
  const int64_t first = std::max<int64_t>(p, 1);
  const int64_t last = std::min(data_size_, p - 1 + count);
  out = {};
  if (last < first) return true;
  const auto length = static_cast<size_t>(last - first + 1);
  if (whole_) {
    out = std::string_view(held_).substr(static_cast<size_t>(first - 1), length);
    return true;
  }
  if (first < window_at_ || last >= window_at_ + static_cast<int64_t>(window_.size())) {
    const int64_t want = std::min(data_size_ - first + 1, std::max<int64_t>(length, kWindow));
    window_at_ = first;
    if (!file_.Read(data_start_ + first - 1, want, window_, error_)) {
      window_.clear();
      return false;
    }
  }
  out = std::string_view(window_).substr(static_cast<size_t>(first - window_at_), length);
  return true;
}

bool clsID3::TagRewrite::FrameBytes(const OldFrame& frame, std::string& out) {
  if (whole_) {
    out.assign(held_, static_cast<size_t>(frame.at - 1), static_cast<size_t>(frame.total));
    return true;
  }
  // A small frame is most likely in the window already; a large one is read once, into place.
  if (frame.total > kWindow)
    return file_.Read(data_start_ + frame.at - 1, frame.total, out, error_);
  std::string_view bytes;
  if (!OldBytes(frame.at, frame.total, bytes)) return false;
  out.assign(bytes);
  return true;
}

// Whether an encoder's signature stands at p; its digits may run on, and then the rest of the
// tag is looked at, as the reader does.
bool clsID3::TagRewrite::SignatureAt(int64_t p, bool& found) {
  const int64_t rest = data_size_ - p + 1;
  std::string_view look;
  if (!OldBytes(p, std::min(rest, kLook), look)) return false;
  if (static_cast<int64_t>(look.size()) < rest) {
    static constexpr std::string_view kAlphabet("\0MP3ext V0123456789.", 20);
    size_t q = 0;
    while (q < look.size() && kAlphabet.find(look[q]) != std::string_view::npos) ++q;
    if (q + 16 >= look.size() && !OldBytes(p, rest, look)) return false;
  }
  found = Id3v2::IsMp3extSignature(look, 1);
  return true;
}

// The frames the reader sees, up to the padding; the padding after them is measured so the new
// tag can keep its size.
bool clsID3::TagRewrite::ListOldFrames(std::vector<OldFrame>& frames) {
  const int id_length = layout_.id_length();
  const int64_t end = data_size_;
  int64_t p = 1;
  while (p <= end) {
    std::string_view head;
    if (!OldBytes(p, layout_.header_length(), head)) return false;
    const std::string id(head.substr(0, static_cast<size_t>(id_length)));
    if (id.size() == static_cast<size_t>(id_length) &&
        id.find_first_not_of('\0') == std::string::npos)
      break;  // padding
    const std::string header(head);
    bool signature = false;
    if (!SignatureAt(p, signature)) return false;
    if (signature) break;
    const Id3v2::FrameSize size = Id3v2::FrameTotalSize(header, 1, layout_.version);
    const int64_t rest = end - p + 1;
    if (!size.failed && size.total > rest && rest <= kLook) {
      std::string_view tail;
      if (!OldBytes(p, rest, tail)) return false;
      if (tail.find_first_not_of('\0') == std::string_view::npos)
        break;  // a few NUL bytes too short for a frame header: padding as well
    }
    if (size.failed || size.total > rest) {
      // Cutting the tag here would zero every frame after this one.
      error_ = "the ID3v2 tag of '" + tag_.file_name_ +
               "' is damaged (a frame size that cannot be right)";
      return false;
    }
    frames.push_back(OldFrame{id, p, size.total, header, ManagedIndex(id)});
    p += size.total;
  }
  padding_ = p <= end ? end - p + 1 : 0;
  return true;
}

// Each old frame is kept, rewritten from its field or dropped.
bool clsID3::TagRewrite::WalkOldFrames() {
  std::vector<OldFrame> frames;
  if (!ListOldFrames(frames)) return false;
  std::map<std::string, int> id_count;
  for (const OldFrame& frame : frames) ++id_count[frame.id];
  for (const OldFrame& frame : frames) {
    bool ok = true;
    if (!frame.managed) {
      ok = KeepOld(frame);
    } else if (IsLanguageId(frame.id)) {
      ok = LanguageFrame(frame);
    } else if (const auto list = ListOf(frame.id)) {
      ok = ListFrame(frame, *list);
    } else {
      ok = SingleFrame(frame, id_count[frame.id]);
    }
    if (!ok) return false;
  }
  return true;
}

// The reader takes a comment or lyrics only from a frame without description, and only the
// first: frames with one stay, later ones without one go.
bool clsID3::TagRewrite::LanguageFrame(const OldFrame& frame) {
  std::string bytes;
  if (!FrameBytes(frame, bytes)) return false;
  const auto text = Id3v2::ExtractFrameText(bytes, 1, true, true, layout_.version);
  if (text.has_description) return KeepOld(frame);
  if (!pending_[*frame.managed]) return true;
  pending_[*frame.managed] = false;
  if (IsOpaque(frame.head, layout_) && UnchangedSinceRead(frame.id)) {
    PutOld(frame.at, frame.total);
    return true;
  }
  return Rewrite(frame.id, tag_.FrameValueFor(frame.id, 0));
}

// Old frames of a list take its items in order; frames beyond its last item go.
bool clsID3::TagRewrite::ListFrame(const OldFrame& frame, FrameList list) {
  ListCursor& cursor = Cursor(list);
  const int32_t item = cursor.next;
  if (item > cursor.Count()) return true;
  if (item == cursor.Count()) pending_[*frame.managed] = false;
  ++cursor.next;
  if (IsPictureId(frame.id)) return PictureFrame(frame, *cursor.items, item);
  std::string bytes;
  if (!FrameBytes(frame, bytes)) return false;
  const std::u16string value = tag_.FrameValueFor(frame.id, item);
  if (IsOpaque(frame.head, layout_) &&
      Id3v2::ExtractFrameText(bytes, 1, false, true, layout_.version).value == value) {
    PutOld(frame.at, frame.total);
    return true;
  }
  return Rewrite(frame.id, value);
}

// A picture whose entry is unchanged is copied from the old file, not rebuilt. One the reader
// kept in another form than it is stored (another encoding, an empty MIME type whose terminator
// the reader drops) cannot be rebuilt from its entry, and stays as it is.
bool clsID3::TagRewrite::PictureFrame(const OldFrame& frame, const MultiFrameData& list,
                                      int32_t item) {
  const bool opaque = IsOpaque(frame.head, layout_);
  const auto format = layout_.version >= 3 ? static_cast<unsigned char>(frame.head[9]) : 0;
  if (opaque || (layout_.version >= 4 && (format & 0x02))) {
    // Only whole can such a frame be compared with its entry: its entry does not start where
    // its body does.
    std::string bytes;
    if (!FrameBytes(frame, bytes)) return false;
    const std::u16string own =
        Id3v2::ExtractFrameText(bytes, 1, false, false, layout_.version).value;
    const bool reshaped =
        FrameBody(bytes, layout_) != std::string(1, '\0') + CodePage::TextToBytes(own);
    if ((opaque || reshaped) && own == list.Item(item)) {
      PutOld(frame.at, frame.total);
      return true;
    }
    return RewritePicture(frame.id, list, item);
  }
  const int64_t body_at = frame.at + layout_.header_length();
  const int64_t body_size = frame.total - layout_.header_length();
  std::string_view first;
  if (!OldBytes(body_at, 2, first)) return false;
  const std::string start(first);
  int64_t entry_at = body_at, entry_size = body_size;
  if (!start.empty() && IsEncodingByte(static_cast<unsigned char>(start[0]), layout_.version)) {
    ++entry_at;
    --entry_size;
  }
  std::string_view lead;
  if (entry_size > 0 && !OldBytes(entry_at, 1, lead)) return false;
  if (entry_size > 0 && lead[0] == '\0') {
    ++entry_at;
    --entry_size;
  }
  const bool reshaped =
      !(!start.empty() && start[0] == '\0' && (start.size() == 1 || start[1] != '\0'));
  bool same = false;
  if (!EntryMatches(list, item, entry_at, entry_size, same)) return false;
  if (!same) return RewritePicture(frame.id, list, item);
  if (opaque || reshaped) {
    PutOld(frame.at, frame.total);
  } else if (entry_size > 0) {
    // Rebuilt, the frame would have the same body: only its header is written anew.
    Put(FrameHeader(layout_, frame.id, static_cast<uint64_t>(body_size)));
    PutOld(body_at, body_size);
  }
  return true;
}

// Whether the list's entry holds exactly the bytes [at, at + count) of the old tag data.
bool clsID3::TagRewrite::EntryMatches(const MultiFrameData& list, int32_t item, int64_t at,
                                      int64_t count, bool& same) {
  const auto held = list.HeldBytes(item);
  const std::u16string* text = held ? nullptr : &list.Item(item);
  same = static_cast<int64_t>(held ? held->size() : text->size()) == count;
  for (int64_t done = 0; same && done < count; done += kCompareChunk) {
    std::string_view old;
    if (!OldBytes(at + done, std::min(kCompareChunk, count - done), old)) return false;
    const auto from = static_cast<size_t>(done);
    if (held) {
      same = held->substr(from, old.size()) == old;
    } else {
      for (size_t k = 0; same && k < old.size(); ++k)
        same = CodePage::ByteToChar(static_cast<unsigned char>(old[k])) == (*text)[from + k];
    }
  }
  return true;
}

bool clsID3::TagRewrite::SingleFrame(const OldFrame& frame, int same_id_frames) {
  if (!pending_[*frame.managed]) return true;  // a second frame would hide the first on reading
  pending_[*frame.managed] = false;
  // A field the user left alone keeps a frame whose text its value cannot hold (a full date, a
  // track text such as "7 of 15", a second value after a NUL); with a second frame of the ID the
  // read value was not this frame's, and the rewrite stands.
  if (same_id_frames == 1) {
    std::string bytes;
    if (!FrameBytes(frame, bytes)) return false;
    if ((IsOpaque(bytes, layout_) ||
         LosesText(frame.id, Id3v2::WholeFrameText(bytes, 1, layout_.version))) &&
        UnchangedSinceRead(frame.id)) {
      PutOld(frame.at, frame.total);
      return true;
    }
  }
  return Rewrite(frame.id, tag_.FrameValueFor(frame.id, 0));
}

// Read again only when a frame needs to know: most writes never ask.
bool clsID3::TagRewrite::UnchangedSinceRead(std::string_view id) {
  if (!as_read_) {
    as_read_ = std::make_unique<clsID3>();
    as_read_->SetFileName(tag_.file_name_);
  }
  return as_read_->FrameValueFor(id, 0) == tag_.FrameValueFor(id, 0);
}

bool clsID3::TagRewrite::Rewrite(std::string_view id, std::u16string_view value) {
  if (value.empty()) return true;  // an empty value deletes the frame
  return Built(id, WriteFrame(layout_, id, value));
}

bool clsID3::TagRewrite::RewritePicture(std::string_view id, const MultiFrameData& list,
                                        int32_t item) {
  // A picture not yet widened to text is written from its bytes.
  if (const auto held = list.HeldBytes(item))
    return Built(id, WritePictureFrame(layout_, id, *held));
  return Rewrite(id, list.Item(item));
}

bool clsID3::TagRewrite::Built(std::string_view id, std::optional<std::string> frame) {
  if (!frame) {
    error_ = "the " + std::string(id) + " frame is too large for an ID3v2." +
             std::to_string(std::max<int>(2, std::min<int>(layout_.version, 4))) + " tag";
    return false;
  }
  Put(std::move(*frame));
  return true;
}

// A frame kept: unchanged, but a v2.4 frame's own unsynchronisation undone, since the new tag
// is written without it.
bool clsID3::TagRewrite::KeepOld(const OldFrame& frame) {
  if (layout_.version < 4 || frame.head.size() < 10 ||
      !(static_cast<unsigned char>(frame.head[9]) & 0x02)) {
    PutOld(frame.at, frame.total);
    return true;
  }
  std::string bytes;
  if (!FrameBytes(frame, bytes)) return false;
  Put(KeepFrame(bytes, layout_));
  return true;
}

void clsID3::TagRewrite::Put(std::string bytes) {
  if (bytes.empty()) return;
  frames_size_ += static_cast<int64_t>(bytes.size());
  constexpr size_t kJoin = 64 * 1024;  // small frames share a piece; a large one has its own
  if (bytes.size() < kJoin && !frames_.empty() && frames_.back().count == 0 &&
      frames_.back().bytes.size() < kJoin) {
    frames_.back().bytes += bytes;
    return;
  }
  frames_.emplace_back();
  frames_.back().bytes = std::move(bytes);
}

void clsID3::TagRewrite::PutOld(int64_t at, int64_t count) {
  if (count <= 0) return;
  if (whole_) {
    Put(held_.substr(static_cast<size_t>(at - 1), static_cast<size_t>(count)));
    return;
  }
  frames_size_ += count;
  const int64_t offset = data_start_ + at - 1;
  if (!frames_.empty() && frames_.back().count > 0 &&
      frames_.back().offset + frames_.back().count == offset) {
    frames_.back().count += count;
    return;
  }
  frames_.emplace_back();
  frames_.back().offset = offset;
  frames_.back().count = count;
}

bool clsID3::TagRewrite::AppendNewFrames() {
  for (size_t i = 0; i < managed_.size(); ++i) {
    if (!pending_[i]) continue;
    const std::string& id = managed_[i];
    if (const auto list = ListOf(id)) {
      const ListCursor& cursor = Cursor(*list);
      for (int32_t item = cursor.next; item <= cursor.Count(); ++item) {
        const bool ok = IsPictureId(id) ? RewritePicture(id, *cursor.items, item)
                                        : Rewrite(id, tag_.FrameValueFor(id, item));
        if (!ok) return false;
      }
    } else if (!Rewrite(id, tag_.FrameValueFor(id, 0))) {
      return false;
    }
  }
  return true;
}

bool clsID3::TagRewrite::Commit() {
  const int64_t padding = padding_ > 0 ? padding_ : kDefaultPadding;
  const int64_t size = frames_size_ + padding;
  if (size > kTagSizeLimit) {
    error_ = "the new ID3v2 tag would exceed the 256 MB an ID3v2 tag can hold";
    return false;
  }

  int64_t audio_end = 0;
  if (!OldAudioEnd(file_, audio_end, error_)) return false;

  std::vector<FileRewrite::Piece> pieces(1);
  pieces[0].bytes = std::string("ID3") + static_cast<char>(layout_.version) + std::string(2, '\0') +
                    EncodeNumber(static_cast<uint64_t>(size), 4, true);
  for (FileRewrite::Piece& piece : frames_) pieces.push_back(std::move(piece));
  pieces.emplace_back().zeros = padding;
  FileRewrite::Piece& audio = pieces.emplace_back();
  audio.offset = audio_start_ - 1;
  audio.count = std::max<int64_t>(0, audio_end - audio_start_ + 1);
  FileRewrite::Piece& tail = pieces.emplace_back();
  tail.bytes = tag_.Lyrics3Block();
  if (tag_.NeedsId3v1Block()) tail.bytes += tag_.Id3v1Block();
  return file_.Commit(pieces, error_);
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
