// The ID3v2 step of the read: the tag at the start of the file, walked frame by frame.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "tag/ByteBlock.h"
#include "tag/FileReader.h"
#include "tag/Genres.h"
#include "tag/Id3v2Frames.h"
#include "tag/NumericText.h"
#include "tag/clsID3.h"

struct clsID3::TrackParts {
  std::u16string genre;
  std::optional<std::vector<std::u16string>> track;
  std::optional<std::vector<std::u16string>> disc;
  // The frames that gave them.
  FieldSource genre_from, track_from, disc_from;
};

namespace {

enum class Kind { kText, kYearPart, kComment, kLyrics, kGenre, kTrack, kDisc, kUrlList, kPicture };

struct Rule {
  Kind kind;
  std::u16string TagFields::*text = nullptr;
  std::shared_ptr<MultiFrameData> TagFields::*list = nullptr;
  FieldId field = FieldId::kCount;
};

// A frame ID as one number: its length above its characters, so "TAL" and "TAL\0" differ.
uint64_t IdKey(std::string_view id) {
  uint64_t key = id.size();
  for (const char c : id) key = (key << 8) | static_cast<unsigned char>(c);
  return key;
}

// The rules sorted by IdKey: a frame's rule is found without hashing its ID.
class RuleTable {
 public:
  void Add(std::string_view id, const Rule& rule) { rules_.emplace_back(IdKey(id), rule); }
  void Sort() {
    std::sort(rules_.begin(), rules_.end(), [](auto& a, auto& b) { return a.first < b.first; });
  }
  const Rule* Find(std::string_view id) const {
    const uint64_t key = IdKey(id);
    const auto at = std::lower_bound(rules_.begin(), rules_.end(), key,
                                     [](const auto& entry, uint64_t k) { return entry.first < k; });
    return at != rules_.end() && at->first == key ? &at->second : nullptr;
  }

 private:
  std::vector<std::pair<uint64_t, Rule>> rules_;
};

const RuleTable& FrameRules() {
  static const auto* rules = [] {
    auto* m = new RuleTable;
    auto text = [&](std::string_view v22, std::string_view v23, std::u16string TagFields::*f,
                    FieldId id) {
      if (!v22.empty()) m->Add(v22, Rule{Kind::kText, f, nullptr, id});
      if (!v23.empty()) m->Add(v23, Rule{Kind::kText, f, nullptr, id});
    };
    auto special = [&](std::string_view v22, std::string_view v23, Kind kind) {
      if (!v22.empty()) m->Add(v22, Rule{kind});
      if (!v23.empty()) m->Add(v23, Rule{kind});
    };
    auto list = [&](std::string_view v22, std::string_view v23, const Rule& rule) {
      m->Add(v22, rule);
      m->Add(v23, rule);
    };
    special("COM", "COMM", Kind::kComment);
    text("TAL", "TALB", &TagFields::Album, FieldId::Album);
    text("TBP", "TBPM", &TagFields::BeatsPerMinute, FieldId::BeatsPerMinute);
    text("TCM", "TCOM", &TagFields::Composer, FieldId::Composer);
    special("TCO", "TCON", Kind::kGenre);
    text("TCR", "TCOP", &TagFields::Copyright, FieldId::Copyright);
    text("TEN", "TENC", &TagFields::EncodedBy, FieldId::EncodedBy);
    text("TXT", "TEXT", &TagFields::Lyricist, FieldId::Lyricist);
    text("TT2", "TIT2", &TagFields::Title, FieldId::Title);
    text("TKE", "TKEY", &TagFields::InitialKey, FieldId::InitialKey);
    text("TLA", "TLAN", &TagFields::Languages, FieldId::Languages);
    text("TOT", "TOAL", &TagFields::OriginalAlbum, FieldId::OriginalAlbum);
    text("TOF", "TOFN", &TagFields::OriginalFileName, FieldId::OriginalFileName);
    text("TOL", "TOLY", &TagFields::OriginalLyricist, FieldId::OriginalLyricist);
    text("TOA", "TOPE", &TagFields::OriginalArtist, FieldId::OriginalArtist);
    text("TOR", "TORY", &TagFields::OriginalReleaseYear, FieldId::OriginalReleaseYear);
    m->Add("TDOR", Rule{Kind::kYearPart, &TagFields::OriginalReleaseYear, nullptr,
                        FieldId::OriginalReleaseYear});
    text("", "TOWN", &TagFields::FileOwner, FieldId::FileOwner);
    text("TP1", "TPE1", &TagFields::Artist, FieldId::Artist);
    text("TP2", "TPE2", &TagFields::Band, FieldId::Band);
    text("TP3", "TPE3", &TagFields::Conductor, FieldId::Conductor);
    text("TP4", "TPE4", &TagFields::InterpretedBy, FieldId::InterpretedBy);
    special("TPA", "TPOS", Kind::kDisc);
    text("TPB", "TPUB", &TagFields::Publisher, FieldId::Publisher);
    special("TRK", "TRCK", Kind::kTrack);
    text("", "TRSN", &TagFields::InternetRadioStationName, FieldId::InternetRadioStationName);
    text("", "TRSO", &TagFields::InternetRadioStationOwner, FieldId::InternetRadioStationOwner);
    text("TRC", "TSRC", &TagFields::ISRC, FieldId::ISRC);
    text("TYE", "TYER", &TagFields::Year, FieldId::Year);
    m->Add("TDRC", Rule{Kind::kYearPart, &TagFields::Year, nullptr, FieldId::Year});
    special("ULT", "USLT", Kind::kLyrics);
    list("WCM", "WCOM", Rule{Kind::kUrlList, nullptr, &TagFields::CommercialInfo});
    text("WCP", "WCOP", &TagFields::CopyrightInfo, FieldId::CopyrightInfo);
    text("WAF", "WOAF", &TagFields::AudioURL, FieldId::AudioURL);
    list("WAR", "WOAR", Rule{Kind::kUrlList, nullptr, &TagFields::ArtistURL});
    text("WAS", "WOAS", &TagFields::AudioSourceURL, FieldId::AudioSourceURL);
    text("", "WORS", &TagFields::InternetRadioURL, FieldId::InternetRadioURL);
    text("", "WPAY", &TagFields::PaymentURL, FieldId::PaymentURL);
    text("WPB", "WPUB", &TagFields::PublisherURL, FieldId::PublisherURL);
    list("PIC", "APIC", Rule{Kind::kPicture, nullptr, &TagFields::AttachedPictures});
    m->Sort();
    return m;
  }();
  return *rules;
}

std::vector<std::u16string> SplitAtSlash(const std::u16string& text) {
  std::vector<std::u16string> parts;
  if (text.empty()) return parts;  // an empty text has no parts at all
  size_t start = 0;
  for (;;) {
    const size_t slash = text.find(u'/', start);
    parts.push_back(text.substr(start, slash - start));
    if (slash == std::u16string::npos) break;
    start = slash + 1;
  }
  return parts;
}

void ResolveParts(const std::optional<std::vector<std::u16string>>& parts, std::u16string& number,
                  std::u16string& total) {
  if (!parts || parts->empty()) return;
  number = CleanNumber((*parts)[0]);
  if (parts->size() == 2) total = CleanNumber((*parts)[1]);
}

// Tag bytes fetched beyond what the walk needs next, so small frames cost no read each; small,
// so little of the padding after the last frame is read.
constexpr int64_t kReadAhead = 256;
// Padding this short is read rather than skipped when the audio right after it is wanted anyway.
constexpr int64_t kPaddingReach = 2048;
// What the frame search reads first of the audio.
constexpr int64_t kAudioLook = 1024;
// What the walk looks at before a frame is wholly held: its header and a signature's start.
constexpr int64_t kFrameLook = 32;

// The signature's digits can run on past the bytes held: then the test needs the rest of the tag.
bool SignatureMayRunOn(std::string_view data, int64_t p) {
  static constexpr std::string_view kAlphabet("\0MP3ext V0123456789.", 20);
  size_t q = static_cast<size_t>(p - 1);
  while (q < data.size() && kAlphabet.find(data[q]) != std::string_view::npos) ++q;
  return q + 9 >= data.size();
}

// The tag as the walk holds it, fetched as the frames ask for it, so the padding after the last
// frame is never read. An unsynchronised v2.2 or v2.3 tag is undone as a whole, so it is read
// whole.
class Id3v2Walk {
 public:
  Id3v2Walk(FileReader& file, TagFields& fields, uint8_t version, int64_t size, int64_t audio_start,
            bool whole, bool pictures)
      : file_(file),
        fields_(fields),
        version_(version),
        size_(size),
        audio_start_(audio_start),
        whole_(whole),
        pictures_(pictures) {}
  Id3v2Walk(const Id3v2Walk&) = delete;  // data_ may view plain_
  Id3v2Walk& operator=(const Id3v2Walk&) = delete;

  void Begin();
  void SkipExtendedHeader();
  void Hold(int64_t upto);
  bool ReadPicture(int64_t p, std::string_view id, const Id3v2::FrameSize& frame);
  // Tag data from its byte Base() + 1 on.
  std::string_view Data() const { return data_; }
  int64_t Base() const { return base_; }

 private:
  int64_t HoldEnd() const;
  int64_t DataStart() const { return static_cast<int64_t>(Id3v2::kHeaderSize) + skip_ + base_; }
  void View();

  FileReader& file_;
  TagFields& fields_;
  const uint8_t version_;
  const int64_t size_;
  const int64_t audio_start_;
  const bool whole_;
  const bool pictures_;  // false: picture frames are passed over unread
  std::string plain_;
  std::string_view data_;
  int64_t skip_ = 0;  // bytes of extended header
  int64_t base_ = 0;  // tag data before data_'s first byte: pictures read straight into place
  int64_t held_ = 0;  // bytes of the tag asked for so far, from its first byte
};

// How far the file is held when `held_` bytes of the tag are: when little but padding is left,
// the same read takes the start of the audio too, which the frame search looks at next.
int64_t Id3v2Walk::HoldEnd() const {
  return size_ - held_ <= kPaddingReach ? audio_start_ - 1 + kAudioLook
                                        : static_cast<int64_t>(Id3v2::kHeaderSize) + held_;
}

void Id3v2Walk::View() {
  data_ = file_.Read(DataStart() + 1, Id3v2::kHeaderSize + held_ - DataStart());
}

void Id3v2Walk::Begin() {
  if (whole_) {
    file_.Hold(0, Id3v2::kHeaderSize + size_);
    plain_ = Id3v2::Deunsynchronise(file_.Read(11, size_));
    data_ = plain_;
  } else {
    Hold(4);
  }
}

void Id3v2Walk::SkipExtendedHeader() {
  const uint64_t extended = Id3v2::DecodeNumber(data_.substr(0, 4), version_ >= 4);
  const uint64_t drop = version_ >= 4 ? extended : extended + 4;
  if (whole_) {
    data_.remove_prefix(static_cast<size_t>(std::min<uint64_t>(drop, data_.size())));
  } else {
    skip_ = static_cast<int64_t>(std::min<uint64_t>(drop, static_cast<uint64_t>(size_)));
    held_ = 0;
    Hold(0);
  }
}

// Makes data_ hold at least `upto` bytes of tag data after the extended header.
void Id3v2Walk::Hold(int64_t upto) {
  const int64_t want = std::min(size_, skip_ + std::max<int64_t>(upto, 0));
  if (whole_ || want <= held_) return;
  held_ = std::min(size_, want + kReadAhead);
  file_.Hold(DataStart(), HoldEnd());
  View();
}

// A picture not yet held is read straight into its entry, and the same read holds what follows
// it, so its bytes are copied once. True when the frame was taken that way.
bool Id3v2Walk::ReadPicture(int64_t p, std::string_view id, const Id3v2::FrameSize& frame) {
  if (whole_ || frame.failed || p - 1 + frame.total <= held_ - skip_) return false;
  const Rule* rule = FrameRules().Find(id);
  if (!rule || rule->kind != Kind::kPicture) return false;
  if (!pictures_) {
    // The walk goes on at the next frame; the picture's bytes are never fetched.
    const int64_t next = p - 1 + frame.total;
    if (next < size_ - skip_) {
      held_ = std::min(size_, skip_ + next + kFrameLook + kReadAhead);
      base_ = next;
      file_.Hold(DataStart(), HoldEnd());
      View();
    } else {
      held_ = size_;
      data_ = {};
    }
    return true;
  }
  const auto span = Id3v2::PictureEntrySpan(data_, p - base_, version_, size_ - skip_ - base_);
  if (!span) return false;
  const int64_t next = p - 1 + frame.total;  // tag data before the next frame
  int64_t hold_to = 0;
  if (next < size_ - skip_) {
    held_ = std::min(size_, skip_ + next + kFrameLook + kReadAhead);
    hold_to = HoldEnd();
  }
  // A size the file cannot back costs only the bytes the file has.
  const int64_t at = DataStart() + span->first;
  const int64_t count = std::max<int64_t>(0, std::min(span->last - span->first, file_.Size() - at));
  ByteBlock bytes(static_cast<size_t>(count));
  bytes.Shrink(file_.ReadInto(at + 1, count, bytes.data(), hold_to));
  (fields_.*rule->list)->AddBytes(std::move(bytes));
  if (hold_to > 0) {
    base_ = next;
    View();
  } else {
    held_ = size_;  // the tag ends with this frame
    data_ = {};
  }
  return true;
}

}  // namespace

namespace Id3v2 {

std::u16string YearPart(const std::u16string& text) { return text.substr(0, text.find(u'-')); }

std::u16string CleanNumber(const std::u16string& text) {
  if (text.empty() || IsNumeric(text)) return text;
  return u"0";
}

}  // namespace Id3v2

int64_t clsID3::ReadId3v2(FileReader& file) {
  const std::string header(file.Read(1, Id3v2::kHeaderSize));
  if (!Id3v2::IsValidHeader(header)) {
    id3_revision_v2_ = 3;
    return 1;
  }
  const auto version = static_cast<uint8_t>(header[3]);
  id3v2_exists_ = true;
  id3_revision_v2_ = version;
  const Id3v2::HeaderFlags flags = Id3v2::ParseHeaderFlags(header, version);
  TagUnsynchronised = flags.unsynchronised;
  const auto size =
      static_cast<int64_t>(Id3v2::DecodeNumber(std::string_view(header).substr(6, 4), true));
  const int64_t audio_start = size + 11 + (flags.footer ? 10 : 0);
  if (flags.compressed) return audio_start;

  Id3v2Walk walk(file, fields_, version, size, audio_start, TagUnsynchronised && version <= 3,
                 pictures_wanted_);
  walk.Begin();
  if (flags.extended) walk.SkipExtendedHeader();

  TrackParts parts;
  const int id_length = Id3v2::FrameIdLength(version);
  for (int64_t p = 1;;) {
    walk.Hold(p - 1 + kFrameLook);
    const int64_t q = p - walk.Base();  // the frame's position within the data held
    if (q > static_cast<int64_t>(walk.Data().size())) break;
    std::string_view id = Id3v2::Slice(walk.Data(), q, id_length);
    if (id.size() == static_cast<size_t>(id_length) &&
        id.find_first_not_of('\0') == std::string_view::npos)
      break;  // padding
    if (SignatureMayRunOn(walk.Data(), q)) walk.Hold(size);
    if (Id3v2::IsMp3extSignature(walk.Data(), q)) break;
    const Id3v2::FrameSize frame = Id3v2::FrameTotalSize(walk.Data(), q, version);
    if (walk.ReadPicture(p, Id3v2::Slice(walk.Data(), q, id_length), frame)) {
      if (!pictures_wanted_) ++pictures_passed_;
      p += frame.total;
      continue;
    }
    // The whole frame is in memory before it is mapped; one that cannot be sized reaches the end.
    walk.Hold(frame.failed ? size : p - 1 + frame.total);
    id = Id3v2::Slice(walk.Data(), q, id_length);
    MapFrame(id, walk.Data(), q, parts);
    if (frame.failed) break;
    p += frame.total;
  }

  ApplyGenreText(parts.genre);
  if (parts.genre_from.tag != FieldSource::Tag::kNone) {
    sources_[FieldId::Genre] = parts.genre_from;
    // Only "(number)" or "(RX)"-style text before the genre's name sets the genre number.
    if (!parts.genre.empty() && parts.genre.front() == u'(' &&
        parts.genre.find(u')', 1) != std::u16string::npos) {
      sources_[FieldId::GenreID] = parts.genre_from;
      sources_[FieldId::GenreID].legacy = false;
    }
  }
  genre_as_stored_ = std::move(parts.genre);
  if (parts.track && !parts.track->empty()) {
    sources_[FieldId::TrackNumber] = parts.track_from;
    if (parts.track->size() == 2) sources_[FieldId::TracksTotal] = parts.track_from;
  }
  if (parts.disc && !parts.disc->empty()) {
    sources_[FieldId::DiscNumber] = parts.disc_from;
    if (parts.disc->size() == 2) sources_[FieldId::DiscsTotal] = parts.disc_from;
  }
  ResolveParts(parts.track, fields_.TrackNumber, fields_.TracksTotal);
  ResolveParts(parts.disc, fields_.DiscNumber, fields_.DiscsTotal);
  return audio_start;
}

void clsID3::MapUserText(std::string_view data, int64_t p) {
  // The description, a NUL, the value: decoded whole, then split.
  const std::u16string text = Id3v2::WholeFrameText(data, p, id3_revision_v2_);
  const size_t nul = text.find(u'\0');
  if (nul == std::u16string::npos) return;
  std::u16string key = text.substr(0, nul);
  if (key.size() != 21) return;
  for (char16_t& c : key)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  static constexpr std::u16string_view kKeys[] = {
      u"REPLAYGAIN_TRACK_GAIN", u"REPLAYGAIN_TRACK_PEAK", u"REPLAYGAIN_ALBUM_GAIN",
      u"REPLAYGAIN_ALBUM_PEAK"};
  for (size_t k = 0; k < std::size(kKeys); ++k) {
    if (key != kKeys[k] || !replay_gain_[k].empty()) continue;
    std::u16string_view value = std::u16string_view(text).substr(nul + 1);
    // A UTF-16 value carries a byte-order mark of its own.
    if (!value.empty() && value.front() == u'\uFEFF') value.remove_prefix(1);
    value = value.substr(0, value.find(u'\0'));
    replay_gain_[k] = value;
  }
}

void clsID3::MapFrame(std::string_view id, std::string_view data, int64_t p, TrackParts& parts) {
  const Rule* found = FrameRules().Find(id);
  if (!found) {
    if (id == "TXXX" || id == "TXX") {
      MapUserText(data, p);
    } else if (id == "TSSE" || id == "TSS") {
      encoder_frame_ = Id3v2::ExtractFrameText(data, p, false, true, id3_revision_v2_).value;
    }
    return;
  }
  const Rule& rule = *found;
  if (rule.kind == Kind::kPicture && !pictures_wanted_) {
    ++pictures_passed_;
    return;
  }
  const bool language = rule.kind == Kind::kComment || rule.kind == Kind::kLyrics;
  const bool cut = rule.kind != Kind::kPicture;
  Id3v2::FrameText frame = Id3v2::ExtractFrameText(data, p, language, cut, id3_revision_v2_,
                                                   rule.kind == Kind::kPicture);
  const auto from = [&] {
    return FieldSource::Of(FieldSource::Tag::kId3v2, id, frame.legacy, id3_revision_v2_);
  };
  switch (rule.kind) {
    case Kind::kText:
      fields_.*rule.text = std::move(frame.value);
      sources_[rule.field] = from();
      break;
    case Kind::kYearPart:
      fields_.*rule.text = YearPart(frame.value);
      sources_[rule.field] = from();
      break;
    case Kind::kComment:
      if (!frame.has_description) {
        fields_.Comments = std::move(frame.value);
        sources_[FieldId::Comments] = from();
      }
      break;
    case Kind::kLyrics:
      if (!frame.has_description) {
        fields_.Lyrics = std::move(frame.value);
        sources_[FieldId::Lyrics] = from();
      }
      break;
    case Kind::kGenre:
      parts.genre = std::move(frame.value);
      parts.genre_from = from();
      break;
    case Kind::kTrack:
      parts.track = SplitAtSlash(frame.value);
      parts.track_from = from();
      break;
    case Kind::kDisc:
      parts.disc = SplitAtSlash(frame.value);
      parts.disc_from = from();
      break;
    case Kind::kUrlList:
      (fields_.*rule.list)->Add(std::move(frame.value));
      break;
    case Kind::kPicture:
      (fields_.*rule.list)->AddBytes(std::move(frame.bytes));
      break;
  }
}

void clsID3::ApplyGenreText(const std::u16string& genre) {
  if (genre.empty() || genre.front() != u'(') {
    fields_.Genre = genre;
    return;
  }
  const size_t close = genre.find(u')', 1);
  if (close == std::u16string::npos) {
    fields_.Genre = genre;
    return;
  }
  const std::u16string inner = genre.substr(1, close - 1);
  fields_.Genre = genre.substr(close + 1);
  if (const auto number = ParseDecimal(inner)) {
    const auto value = RoundHalfEven(*number);
    if (value && *value >= INT32_MIN && *value <= INT32_MAX)
      fields_.GenreID = static_cast<int32_t>(*value);
    return;
  }
  fields_.GenreID = Genres::kNone;
  if (inner == u"CR") fields_.GenreID = Genres::kCover;
  if (inner == u"RX") fields_.GenreID = Genres::kRemix;
}
