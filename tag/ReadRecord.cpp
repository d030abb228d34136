// A read kept as bytes and made again: what an index of reads stores for a file.
#include <cstring>

#include "tag/clsID3.h"

namespace {

// Raised whenever the record's layout changes, or the engine starts reading a file otherwise:
// a record of another layout is never taken.
constexpr uint8_t kLayout = clsID3::kReadRecordLayout;

class Out {
 public:
  explicit Out(std::string& to) : to_(to) {}
  void Byte(uint8_t b) { to_.push_back(static_cast<char>(b)); }
  void Unsigned(uint64_t v) {
    while (v >= 0x80) {
      Byte(static_cast<uint8_t>(v | 0x80));
      v >>= 7;
    }
    Byte(static_cast<uint8_t>(v));
  }
  void Signed(int64_t v) {
    Unsigned((static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63));
  }
  void Bytes(std::string_view bytes) {
    Unsigned(bytes.size());
    to_.append(bytes);
  }
  // Text below U+0100 goes one byte a unit, which most tags are.
  void Text(std::u16string_view text) {
    bool narrow = true;
    for (const char16_t c : text) narrow &= c < 0x100;
    Unsigned(text.size() << 1 | (narrow ? 0 : 1));
    const size_t at = to_.size();
    to_.resize(at + text.size() * (narrow ? 1 : 2));
    char* p = to_.data() + at;
    for (const char16_t c : text) {
      *p++ = static_cast<char>(c & 0xFF);
      if (!narrow) *p++ = static_cast<char>(c >> 8);
    }
  }

 private:
  std::string& to_;
};

class In {
 public:
  explicit In(std::string_view from) : from_(from) {}
  bool Ok() const { return ok_; }
  bool AtEnd() const { return at_ == from_.size(); }
  uint8_t Byte() {
    if (at_ >= from_.size()) return Fail();
    return static_cast<uint8_t>(from_[at_++]);
  }
  uint64_t Unsigned() {
    uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      const uint8_t b = Byte();
      v |= static_cast<uint64_t>(b & 0x7F) << shift;
      if (!(b & 0x80)) return v;
    }
    return Fail();
  }
  int64_t Signed() {
    const uint64_t v = Unsigned();
    return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1);
  }
  int32_t Int32() {
    const int64_t v = Signed();
    if (v < INT32_MIN || v > INT32_MAX) return Fail();
    return static_cast<int32_t>(v);
  }
  std::string_view Bytes() {
    const uint64_t n = Unsigned();
    if (!ok_ || n > from_.size() - at_) return Fail(), std::string_view();
    const std::string_view bytes = from_.substr(at_, n);
    at_ += n;
    return bytes;
  }
  std::u16string Text() {
    const uint64_t head = Unsigned();
    const uint64_t n = head >> 1;
    const bool wide = head & 1;
    if (!ok_ || n > (from_.size() - at_) / (wide ? 2 : 1)) return Fail(), std::u16string();
    std::u16string text(n, u'\0');
    const auto* p = reinterpret_cast<const unsigned char*>(from_.data() + at_);
    for (char16_t& c : text) {
      c = *p++;
      if (wide) c = static_cast<char16_t>(c | *p++ << 8);
    }
    at_ += n * (wide ? 2 : 1);
    return text;
  }

 private:
  uint8_t Fail() {
    ok_ = false;
    at_ = from_.size();
    return 0;
  }

  std::string_view from_;
  size_t at_ = 0;
  bool ok_ = true;
};

void PutList(Out& out, const std::shared_ptr<MultiFrameData>& list) {
  const int32_t n = list ? list->Count() : 0;
  out.Unsigned(static_cast<uint64_t>(n));
  for (int32_t i = 1; i <= n; ++i) out.Text(list->Item(i));
}

std::shared_ptr<MultiFrameData> TakeList(In& in) {
  auto list = std::make_shared<MultiFrameData>();
  const uint64_t n = in.Unsigned();
  for (uint64_t i = 0; i < n && in.Ok(); ++i) list->AppendUnkeyed(in.Text());
  return list;
}

void TakePictures(In& in, PictureFacts& pictures) {
  const uint64_t n = in.Unsigned();
  for (uint64_t i = 0; i < n && in.Ok(); ++i) {
    PictureFacts::Frame& frame = pictures.frames.emplace_back();
    frame.type = in.Byte();
    frame.format = std::string(in.Bytes());
    frame.bytes = in.Signed();
  }
  pictures.cover_width = in.Int32();
  pictures.cover_height = in.Int32();
  pictures.cover_hash = in.Unsigned();
}

}  // namespace

std::string clsID3::SavedRead() const {
  std::string record;
  // A picture's bytes are not kept, only what its measure tells of them: without one, a read
  // that holds pictures cannot be made again from a record.
  std::optional<PictureFacts> pictures;
  if (fields_.AttachedPictures && fields_.AttachedPictures->Count() > 0) {
    if (!picture_measure_) return record;
    pictures = picture_measure_(*fields_.AttachedPictures);
  } else if (kept_pictures_) {
    pictures = kept_pictures_;
  }
  Out out(record);
  out.Byte(kLayout);
  out.Byte(static_cast<uint8_t>(id3v1_exists_ | id3v2_exists_ << 1 | lyrics3v1_exists_ << 2 |
                                lyrics3v2_exists_ << 3 | TagUnsynchronised << 4 |
                                Lyrics3HasTimestamps << 5 | audio_.IsVBR << 6 |
                                (pictures ? 0x80 : 0)));
  out.Byte(id3_revision_v2_);
  for (const uint8_t b : audio_.HeaderBytes) out.Byte(b);
  out.Signed(audio_.FirstFrameEnd);
  out.Signed(audio_.AudioByteCount);
  out.Signed(audio_.VBRFrameCount);
  out.Signed(audio_.VBRByteCount);
  out.Byte(audio_.FrameCountFrom);
  out.Signed(audio_.EncoderDelay);
  out.Signed(audio_.EncoderPadding);
  out.Byte(audio_.LameMethod);
  out.Byte(audio_.LameBitRate);
  out.Signed(audio_.LamePreset);
  const ReadDiagnosis& d = diagnosis_;
  out.Byte(static_cast<uint8_t>(d.status));
  out.Signed(d.error_number);
  out.Signed(d.size);
  out.Signed(d.modified.tv_sec);
  out.Signed(d.modified.tv_nsec);
  out.Byte(static_cast<uint8_t>(d.tag_cut | d.audio_cut << 1));
  for (const FieldSource& source : sources_.of) {
    out.Byte(static_cast<uint8_t>(source.tag));
    out.Byte(source.revision);
    out.Byte(source.legacy);
    for (const char c : source.id) out.Byte(static_cast<uint8_t>(c));
  }
  out.Bytes(id3v1_block_);
  out.Signed(PictureCount());
  out.Signed(fields_.GenreID);
  // Legacy text as Windows-1252 gave it, so another decoder reads it from the same bytes.
  const auto text_of = [&](FieldId id, const std::u16string& value) -> const std::u16string& {
    for (const auto& [field, raw] : undecoded_)
      if (field == id) return raw;
    return value;
  };
#define TAGLOOM_PUT_TEXT(name) out.Text(text_of(FieldId::name, fields_.name));
  TAGLOOM_TEXT_FIELDS(TAGLOOM_PUT_TEXT)
#undef TAGLOOM_PUT_TEXT
  PutList(out, fields_.CommercialInfo);
  PutList(out, fields_.ArtistURL);
  // The genre frame's own text names the genre shown where Genre and GenreID name none.
  out.Text(genre_as_stored_);
  out.Text(encoder_frame_);
  for (const std::u16string& gain : replay_gain_) out.Text(gain);
  for (const char c : audio_.LameVersion) out.Byte(static_cast<uint8_t>(c));
  if (pictures) {
    out.Unsigned(pictures->frames.size());
    for (const PictureFacts::Frame& frame : pictures->frames) {
      out.Byte(frame.type);
      out.Bytes(frame.format);
      out.Signed(frame.bytes);
    }
    out.Signed(pictures->cover_width);
    out.Signed(pictures->cover_height);
    out.Unsigned(pictures->cover_hash);
  }
  return record;
}

bool clsID3::RestoreRead(std::string_view record, std::string path) noexcept {
  try {
    ResetForRead();
    file_name_ = std::move(path);
    In in(record);
    if (in.Byte() != kLayout) {
      ResetForRead();
      return false;
    }
    const uint8_t flags = in.Byte();
    id3v1_exists_ = flags & 1;
    id3v2_exists_ = flags & 2;
    lyrics3v1_exists_ = flags & 4;
    lyrics3v2_exists_ = flags & 8;
    TagUnsynchronised = flags & 16;
    Lyrics3HasTimestamps = flags & 32;
    audio_.IsVBR = flags & 64;
    id3_revision_v2_ = in.Byte();
    for (uint8_t& b : audio_.HeaderBytes) b = in.Byte();
    audio_.FirstFrameEnd = in.Signed();
    audio_.AudioByteCount = in.Signed();
    audio_.VBRFrameCount = in.Int32();
    audio_.VBRByteCount = in.Int32();
    audio_.FrameCountFrom = in.Byte();
    audio_.EncoderDelay = in.Int32();
    audio_.EncoderPadding = in.Int32();
    audio_.LameMethod = in.Byte();
    audio_.LameBitRate = in.Byte();
    audio_.LamePreset = static_cast<uint16_t>(in.Int32() & 0x7FF);
    ReadDiagnosis& d = diagnosis_;
    const uint8_t status = in.Byte();
    d.status = static_cast<ReadDiagnosis::Status>(status);
    d.error_number = in.Int32();
    d.size = in.Signed();
    d.modified.tv_sec = static_cast<time_t>(in.Signed());
    d.modified.tv_nsec = static_cast<long>(in.Signed());
    const uint8_t cut = in.Byte();
    d.tag_cut = cut & 1;
    d.audio_cut = cut & 2;
    bool sources_ok = true;
    for (FieldSource& source : sources_.of) {
      const uint8_t tag = in.Byte();
      sources_ok &= tag <= static_cast<uint8_t>(FieldSource::Tag::kId3v11);
      source.tag = static_cast<FieldSource::Tag>(tag);
      source.revision = in.Byte();
      source.legacy = in.Byte() != 0;
      for (char& c : source.id) c = static_cast<char>(in.Byte());
    }
    id3v1_block_ = std::string(in.Bytes());
    pictures_passed_ = in.Int32();
    fields_.GenreID = in.Int32();
#define TAGLOOM_TAKE_TEXT(name) fields_.name = in.Text();
    TAGLOOM_TEXT_FIELDS(TAGLOOM_TAKE_TEXT)
#undef TAGLOOM_TAKE_TEXT
    fields_.CommercialInfo = TakeList(in);
    fields_.ArtistURL = TakeList(in);
    genre_as_stored_ = in.Text();
    encoder_frame_ = in.Text();
    for (std::u16string& gain : replay_gain_) gain = in.Text();
    for (char& c : audio_.LameVersion) c = static_cast<char>(in.Byte());
    if (flags & 0x80) TakePictures(in, kept_pictures_.emplace());
    // A read that wants the pictures is served by their measure when that is all it wants,
    // never by a bare count.
    const bool pictures_ok =
        !pictures_wanted_ || pictures_passed_ == 0 ||
        (picture_measure_ && kept_pictures_ &&
         kept_pictures_->frames.size() == static_cast<size_t>(pictures_passed_));
    if (!in.Ok() || !in.AtEnd() || !sources_ok || !pictures_ok ||
        status > static_cast<uint8_t>(ReadDiagnosis::Status::kRead) || pictures_passed_ < 0) {
      ResetForRead();
      return false;
    }
    // A read that passes over the pictures without counting them gives none.
    if (!pictures_wanted_ && !picture_count_wanted_) pictures_passed_ = 0;
    if (decoder_) RecodeLegacyText();
    return true;
  } catch (...) {
    ResetForRead();
    return false;
  }
}
