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

// Which list a repeating frame takes its items from: 0 CommercialInfo, 1 ArtistURL,
// 2 AttachedPictures, or none.
std::optional<int> ListIndex(std::string_view id) {
  if (id == "WCOM" || id == "WCM") return 0;
  if (id == "WOAR" || id == "WAR") return 1;
  if (IsPictureId(id)) return 2;
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

// One frame as the writer builds it: ID, size, flags 00 00, body. Text the code page cannot
// hold goes out as UTF-16 rather than as question marks. Nothing when the body is too big for
// the size field.
std::optional<std::string> WriteFrame(const FrameLayout& layout, std::string_view id,
                                      std::u16string_view value) {
  std::string body;
  if (IsUrlId(id)) {
    body = CodePage::TextToBytes(value);
  } else if (FitsCodePage(value)) {
    body.push_back('\0');
    if (IsLanguageId(id)) body.append("eng\0", 4);
    body += CodePage::TextToBytes(value);
  } else {
    body.push_back('\x01');
    if (IsLanguageId(id)) body += "eng" + Utf16WithMark(u"") + std::string(2, '\0');
    body += Utf16WithMark(value);
  }
  if (body.size() > layout.max_body()) return std::nullopt;
  std::string frame(id);
  frame += EncodeNumber(body.size(), layout.id_length(), layout.version >= 4);
  if (layout.version >= 3) frame.append(2, '\0');
  return frame + body;
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

bool clsID3::WriteTags(std::string& error) {
  FileRewrite file(FileSystem());
  if (!file.Open(file_name_, error)) return false;

  // The old tag, read in its own version.
  std::string header;
  if (!file.Read(0, Id3v2::kHeaderSize, header, error)) return false;
  uint8_t version = 3;
  int64_t audio_start = 1;
  std::string old_data;
  if (Id3v2::IsValidHeader(header)) {
    version = static_cast<uint8_t>(header[3]);
    const Id3v2::HeaderFlags flags = Id3v2::ParseHeaderFlags(header, version);
    const auto size =
        static_cast<int64_t>(Id3v2::DecodeNumber(std::string_view(header).substr(6, 4), true));
    audio_start = size + 11 + (flags.footer ? 10 : 0);
    if (!flags.compressed) {
      if (!file.Read(10, size, old_data, error)) return false;
      if (static_cast<int64_t>(old_data.size()) < size) {
        error = "the ID3v2 tag of '" + file_name_ + "' runs past the end of the file";
        return false;
      }
      if (flags.unsynchronised && version < 4) old_data = Id3v2::Deunsynchronise(old_data);
      if (flags.extended) {
        const uint64_t extended =
            Id3v2::DecodeNumber(std::string_view(old_data).substr(0, 4), version >= 4);
        const uint64_t drop = version >= 4 ? extended : extended + 4;
        old_data.erase(0, static_cast<size_t>(std::min<uint64_t>(drop, old_data.size())));
      }
    }
  }
  const FrameLayout layout{version};

  // The managed IDs, in table order.
  std::vector<std::string> managed = version <= 2 ? ID3v22FrameIds() : ID3v2FrameIds();
  if (version >= 4) {
    std::replace(managed.begin(), managed.end(), std::string("TORY"), std::string("TDOR"));
    std::replace(managed.begin(), managed.end(), std::string("TYER"), std::string("TDRC"));
  }
  std::vector<bool> pending(managed.size(), true);
  auto managed_index = [&](std::string_view id) -> std::optional<size_t> {
    const auto found = std::find(managed.begin(), managed.end(), id);
    if (found == managed.end()) return std::nullopt;
    return static_cast<size_t>(found - managed.begin());
  };
  const std::shared_ptr<MultiFrameData> lists[3] = {fields_.CommercialInfo, fields_.ArtistURL,
                                                    fields_.AttachedPictures};
  auto list_count = [&](int which) { return lists[which] ? lists[which]->Count() : 0; };
  int32_t counters[3] = {1, 1, 1};

  // What the file reads as now: an opaque frame is kept while its field still holds that.
  std::unique_ptr<clsID3> as_read;
  auto unchanged_since_read = [&](std::string_view id) {
    if (!as_read) {
      as_read = std::make_unique<clsID3>();
      as_read->SetFileName(file_name_);
    }
    return as_read->FrameValueFor(id, 0) == FrameValueFor(id, 0);
  };

  std::string frames;
  auto rewrite = [&](std::string_view id, const std::u16string& value) {
    if (value.empty()) return true;  // an empty value deletes the frame
    auto frame = WriteFrame(layout, id, value);
    if (!frame) {
      error = "the " + std::string(id) + " frame is too large for an ID3v2." +
              std::to_string(std::max<int>(2, std::min<int>(version, 4))) + " tag";
      return false;
    }
    frames += *frame;
    return true;
  };

  const std::string_view data = old_data;
  const auto data_end = static_cast<int64_t>(data.size());
  const int id_length = layout.id_length();
  std::map<std::string, int> id_count;
  for (int64_t q = 1; q <= data_end;) {
    const Id3v2::FrameSize size = Id3v2::FrameTotalSize(data, q, version);
    if (size.failed || Id3v2::IsMp3extSignature(data, q)) break;
    ++id_count[std::string(Id3v2::Slice(data, q, id_length))];
    q += size.total;
  }
  int64_t p = 1;
  while (p <= data_end) {
    const std::string_view id = Id3v2::Slice(data, p, id_length);
    if (id.size() == static_cast<size_t>(id_length) &&
        id.find_first_not_of('\0') == std::string_view::npos)
      break;  // padding
    if (Id3v2::IsMp3extSignature(data, p)) break;
    const Id3v2::FrameSize size = Id3v2::FrameTotalSize(data, p, version);
    if (!size.failed && p + size.total - 1 > data_end &&
        data.find_first_not_of('\0', static_cast<size_t>(p - 1)) == std::string_view::npos)
      break;  // a few NUL bytes too short for a frame header: padding as well
    if (size.failed || p + size.total - 1 > data_end) {
      // Cutting the tag here would zero every frame after this one.
      error =
          "the ID3v2 tag of '" + file_name_ + "' is damaged (a frame size that cannot be right)";
      return false;
    }
    const std::string_view frame =
        data.substr(static_cast<size_t>(p - 1), static_cast<size_t>(size.total));
    p += size.total;
    const auto index = managed_index(id);

    if (IsLanguageId(id) && index) {
      const auto text = Id3v2::ExtractFrameText(data, p - size.total, true, true, version);
      if (text.has_description) {
        frames += KeepFrame(frame, layout);
      } else if (pending[*index]) {
        pending[*index] = false;
        if (IsOpaque(frame, layout) && unchanged_since_read(id)) {
          frames += frame;
        } else if (!rewrite(id, FrameValueFor(id, 0))) {
          return false;
        }
      }  // else a second frame without description: deleted
      continue;
    }
    if (const auto which = ListIndex(id); which && index) {
      const int32_t item = counters[*which];
      if (item > list_count(*which)) continue;  // no item left: deleted
      if (item == list_count(*which)) pending[*index] = false;
      ++counters[*which];
      const std::u16string value = FrameValueFor(id, item);
      const bool picture = IsPictureId(id);
      const std::u16string own =
          Id3v2::ExtractFrameText(data, p - size.total, false, !picture, version).value;
      // A picture the reader kept in another form than it is stored (another encoding, an
      // empty MIME type whose terminator the reader drops) cannot be rebuilt from its entry.
      const bool reshaped =
          picture && FrameBody(frame, layout) != std::string(1, '\0') + CodePage::TextToBytes(own);
      if ((IsOpaque(frame, layout) || reshaped) && own == value) {
        frames += frame;
      } else if (!rewrite(id, value)) {
        return false;
      }
      continue;
    }
    if (index) {
      if (!pending[*index]) continue;  // a second frame would hide the first on the next read
      pending[*index] = false;
      // A field the user left alone keeps a frame the value cannot rebuild (a full date, a
      // track text such as "7 of 15"); with a second frame of the ID the read value was not
      // this frame's, and the rewrite stands.
      const std::u16string value = FrameValueFor(id, 0);
      const bool lossy =
          Id3v2::ExtractFrameText(data, p - size.total, false, true, version).value != value;
      if (id_count[std::string(id)] == 1 && (IsOpaque(frame, layout) || lossy) &&
          unchanged_since_read(id)) {
        frames += frame;
      } else if (!rewrite(id, value)) {
        return false;
      }
      continue;
    }
    frames += KeepFrame(frame, layout);
  }
  const int64_t padding = p <= data_end ? data_end - p + 1 : 0;

  for (size_t i = 0; i < managed.size(); ++i) {
    if (!pending[i]) continue;
    if (const auto which = ListIndex(managed[i])) {
      for (int32_t item = counters[*which]; item <= list_count(*which); ++item)
        if (!rewrite(managed[i], FrameValueFor(managed[i], item))) return false;
    } else if (!rewrite(managed[i], FrameValueFor(managed[i], 0))) {
      return false;
    }
  }
  frames.append(static_cast<size_t>(padding > 0 ? padding : kDefaultPadding), '\0');
  if (static_cast<int64_t>(frames.size()) > kTagSizeLimit) {
    error = "the new ID3v2 tag would exceed the 256 MB an ID3v2 tag can hold";
    return false;
  }

  int64_t audio_end = 0;
  if (!OldAudioEnd(file, audio_end, error)) return false;

  std::vector<FileRewrite::Piece> pieces(3);
  pieces[0].bytes = std::string("ID3") + static_cast<char>(version) + std::string(2, '\0') +
                    EncodeNumber(frames.size(), 4, true) + frames;
  pieces[1].offset = audio_start - 1;
  pieces[1].count = std::max<int64_t>(0, audio_end - audio_start + 1);
  pieces[2].bytes = Lyrics3Block();
  if (NeedsId3v1Block()) pieces[2].bytes += Id3v1Block();
  if (!file.Commit(pieces, error)) return false;

  id3_revision_v2_ = version;
  TagUnsynchronised = false;
  return true;
}
