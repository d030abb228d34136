#include "tag/clsID3.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <tuple>
#include <vector>

#include "tag/CodePage.h"
#include "tag/FileReader.h"
#include "tag/Genres.h"

clsID3::clsID3() = default;
clsID3::~clsID3() = default;

std::u16string clsID3::GenreName(int32_t id) { return std::u16string(Genres::GenreName(id)); }
int32_t clsID3::ToGenreID(std::u16string_view text) { return Genres::ToGenreID(text); }

std::u16string clsID3::ShownGenre() const {
  return Genres::ShownName(fields_.Genre, fields_.GenreID, genre_as_stored_);
}

int32_t clsID3::Layer() const { return MpegAudio::Layer(audio_); }
int32_t clsID3::Padding() const { return MpegAudio::Padding(audio_); }
int32_t clsID3::MPEGVersion() const { return MpegAudio::MPEGVersion(audio_); }
int32_t clsID3::ChannelMode() const { return MpegAudio::ChannelMode(audio_); }
int32_t clsID3::Encoding() const { return MpegAudio::Encoding(audio_); }
int32_t clsID3::SamplingRateFrequency() const { return MpegAudio::SamplingRateFrequency(audio_); }
double clsID3::BitRate() const { return MpegAudio::BitRate(audio_); }
double clsID3::FrameSize() const { return MpegAudio::FrameSize(audio_); }
int32_t clsID3::FrameSamples() const { return MpegAudio::FrameSamples(audio_); }
double clsID3::length() const { return MpegAudio::Length(audio_); }

void clsID3::SetFileName(std::string path) noexcept {
  file_name_ = std::move(path);
  ReadAllTags();
}

void clsID3::RefreshID3Tags() noexcept { ReadAllTags(); }

void clsID3::ResetForRead() {
  fields_ = TagFields::ForRead();
  id3v1_exists_ = id3v2_exists_ = lyrics3v1_exists_ = lyrics3v2_exists_ = false;
  id3_revision_v2_ = 0;
  TagUnsynchronised = false;
  Lyrics3HasTimestamps = false;
  audio_ = MpegAudioState{};
  diagnosis_ = ReadDiagnosis{};
  sources_ = FieldSources{};
  id3v1_block_.clear();
  genre_as_stored_.clear();
  legacy_code_page_.clear();
  legacy_problem_.clear();
  legacy_ascii_ = false;
  undecoded_.clear();
  pictures_passed_ = 0;
  kept_pictures_.reset();
  other_set_ = false;
  other_container_ = false;
  ape_footer_ = false;
  encoder_frame_.clear();
  for (std::u16string& gain : replay_gain_) gain.clear();
}

std::u16string clsID3::Encoder() const {
  const auto& lame = audio_.LameVersion;
  if (lame[0] != 0) {
    std::u16string name;
    for (const char c : lame) {
      if (c == 0) break;
      name += static_cast<char16_t>(c);
    }
    while (!name.empty() && name.back() == u' ') name.pop_back();
    if (!name.empty()) return name;
  }
  return encoder_frame_;
}

OtherFacts& clsID3::AddOther(bool replaces, ReadDiagnosis::Status status) {
  if (!other_) other_ = std::make_unique<OtherFacts>();
  other_->Clear();
  other_->replaces = replaces;
  other_set_ = true;
  if (replaces) {
    fields_ = TagFields::ForRead();
    id3v1_exists_ = id3v2_exists_ = lyrics3v1_exists_ = lyrics3v2_exists_ = false;
    audio_ = MpegAudioState{};
    sources_ = FieldSources{};
    encoder_frame_.clear();
    for (std::u16string& gain : replay_gain_) gain.clear();
    id3v1_block_.clear();
    legacy_code_page_.clear();
    legacy_problem_.clear();
    legacy_ascii_ = false;
    pictures_passed_ = 0;
    diagnosis_.status = status;
    diagnosis_.tag_cut = diagnosis_.audio_cut = false;
  }
  return *other_;
}

OtherFacts& clsID3::ReadByOther(std::string path, int64_t size, timespec modified,
                                ReadDiagnosis::Status status) {
  file_name_ = std::move(path);
  ResetForRead();
  id3_revision_v2_ = 3;
  diagnosis_.size = size;
  diagnosis_.modified = modified;
  return AddOther(true, status);
}

OtherFacts& clsID3::ReadEmbeddedId3v2(std::string path, int64_t offset, int64_t length,
                                      ReadDiagnosis::Status status) {
  file_name_ = std::move(path);
  ResetForRead();
  id3_revision_v2_ = 3;
  if (!reader_) reader_ = std::make_unique<FileReader>();
  FileReader& file = *reader_;
  if (file.Open(file_name_)) {
    diagnosis_.size = file.Size();
    diagnosis_.modified = file.Modified();
    if (length > 0) {
      file.Narrow(offset, length);
      int64_t end = ReadId3v2(file);
      if (!pictures_wanted_) CountPassedPictures(file, end);
      if (decoder_) RecodeLegacyText();
    }
    file.Close();
  }
  if (!other_) other_ = std::make_unique<OtherFacts>();
  other_->Clear();
  other_->replaces = true;
  other_set_ = true;
  diagnosis_.status = status;
  return *other_;
}

void clsID3::ReadAllTags() noexcept {
  try {
    ResetForRead();
    // The reader outlives the read so a batch reuses its buffers; the file itself is closed
    // before the read returns.
    if (!reader_) reader_ = std::make_unique<FileReader>();
    FileReader& file = *reader_;
    if (!file.Open(file_name_)) {
      id3_revision_v2_ = 3;
      const int error = file.OpenError();
      diagnosis_.error_number = error;
      diagnosis_.status = error == 0 ? ReadDiagnosis::Status::kNotRegularFile
                          : error == ENOENT || error == ENOTDIR
                              ? ReadDiagnosis::Status::kMissing
                              : ReadDiagnosis::Status::kUnreadable;
      return;
    }
    int64_t audio_start = ReadId3v2(file);
    if (other_container_test_ && other_container_test_(file.Read(audio_start, 64))) {
      other_container_ = true;
      other_head_ = file.Read(audio_start, 64);
      other_at_ = audio_start - 1;
      diagnosis_.status = ReadDiagnosis::Status::kNotMpegAudio;
      diagnosis_.size = file.Size();
      diagnosis_.modified = file.Modified();
      file.Close();
      return;
    }
    if (!pictures_wanted_) CountPassedPictures(file, audio_start);
    int64_t audio_end = LocateId3v1(file, id3v1_block_);
    // The end is held already: looking costs no read.
    ape_footer_ =
        other_container_test_ && audio_end >= 32 && file.Read(audio_end - 31, 8) == "APETAGEX";
    audio_end = ReadLyrics3(file, audio_end);
    if (id3v1_exists_) ApplyId3v1(id3v1_block_);
    if (decoder_) RecodeLegacyText();
    audio_ = MpegAudio::Analyse(file, audio_start, audio_end);
    Diagnose(file, audio_start, audio_end);
    file.Close();
  } catch (...) {
    // Only memory exhaustion can land here; the read keeps what it had and never fails.
    if (reader_) reader_->Close();
    if (id3_revision_v2_ == 0) id3_revision_v2_ = 3;
    diagnosis_.status = ReadDiagnosis::Status::kUnreadable;
    diagnosis_.error_number = ENOMEM;
  }
}

bool clsID3::ReadWasWhole(std::string& error) const {
  using Status = ReadDiagnosis::Status;
  switch (diagnosis_.status) {
    case Status::kMissing:
    case Status::kUnreadable:
      error = std::string("it could not be read whole (") + std::strerror(diagnosis_.error_number) +
              "), and writing back what was read would lose the rest";
      return false;
    case Status::kNotRegularFile:
      error = "it is not a regular file";
      return false;
    default:
      return true;
  }
}

// A picture whose bytes match one before it is no picture of its own, so two or more are read
// after all to be counted; most files have one at most.
void clsID3::CountPassedPictures(FileReader& file, int64_t& audio_start) {
  if (!picture_count_wanted_) {
    pictures_passed_ = 0;
    return;
  }
  if (pictures_passed_ < 2) return;
  ResetForRead();
  pictures_wanted_ = true;
  audio_start = ReadId3v2(file);
  pictures_wanted_ = false;
  pictures_passed_ = fields_.AttachedPictures->Count();
  fields_.AttachedPictures->Clear();
}

int32_t clsID3::PictureCount() const noexcept {
  return (fields_.AttachedPictures ? fields_.AttachedPictures->Count() : 0) + pictures_passed_ +
         (other_set_ ? other_->pictures : 0);
}

namespace {

bool IsAscii(std::u16string_view text) {
  // Blocks of units or-ed together, which the compiler turns into vector code, and one test a
  // block: lyrics run to thousands of units.
  char16_t any = 0;
  size_t i = 0;
  for (; i + 32 <= text.size(); i += 32) {
    for (size_t j = 0; j < 32; ++j) any |= text[i + j];
    if (any >= 0x80) return false;
  }
  for (; i < text.size(); ++i) any |= text[i];
  return any < 0x80;
}

}  // namespace

bool clsID3::HasLegacyText() const noexcept {
  if (id3v1_exists_ || lyrics3v1_exists_ || lyrics3v2_exists_) return true;
  for (const FieldSource& source : sources_.of)
    if (source.legacy) return true;
  return false;
}

std::string clsID3::EncodeLegacy(std::u16string_view text) const {
  if (decoder_ && !legacy_code_page_.empty()) return decoder_->Encode(legacy_code_page_, text);
  return CodePage::TextToBytes(text);
}

// Legacy text was read as Windows-1252, which gives every byte a character of its own, so each
// such field turns back into its bytes exactly and is read again in the file's code page.
void clsID3::RecodeLegacyText() {
  std::string sample;
  auto add = [&](std::u16string_view text) {
    // The start of each field: a code page shows in a few lines, and ten megabytes of lyrics
    // would only slow the detector down.
    constexpr size_t kFieldSample = 1024;
    if (text.size() > kFieldSample) {
      const size_t space = text.substr(0, kFieldSample).rfind(u' ');
      text = text.substr(0, space != text.npos && space > kFieldSample / 2 ? space : kFieldSample);
    }
    if (IsAscii(text)) return;
    sample += CodePage::TextToBytes(text);
    sample += '\n';
  };
#define TAGLOOM_SAMPLE(name) \
  if (sources_[FieldId::name].legacy) add(fields_.name);
  TAGLOOM_TEXT_FIELDS(TAGLOOM_SAMPLE)
#undef TAGLOOM_SAMPLE
  // The ID3v1 block's own text counts also where another tag's value stands.
  if (id3v1_block_.size() == 128) {
    auto add_area = [&](FieldId field, size_t offset, size_t width) {
      if (sources_[field].tag >= FieldSource::Tag::kId3v1) return;
      const std::string_view area = std::string_view(id3v1_block_).substr(offset, width);
      const std::string_view text = area.substr(0, area.find('\0'));
      if (std::any_of(text.begin(), text.end(), [](char c) { return c & 0x80; })) {
        sample += text;
        sample += '\n';
      }
    };
    add_area(FieldId::Title, 3, 30);
    add_area(FieldId::Artist, 33, 30);
    add_area(FieldId::Album, 63, 30);
    add_area(FieldId::Comments, 97, 30);
  }
  // A fixed code page is kept for plain ASCII too: the ID3v1 block is compared in it.
  legacy_code_page_ = decoder_->CodePageFor(sample, legacy_problem_);
  // Plain ASCII reads the same in every code page offered.
  legacy_ascii_ = sample.empty() && HasLegacyText();
  if (legacy_code_page_.empty() || sample.empty()) return;
  // Every field is read again before any is replaced: a converter lost between two fields leaves
  // the file as Windows-1252 read it rather than in two code pages.
  std::vector<std::tuple<FieldId, std::u16string*, std::u16string>> decoded;
  bool usable = true;
#define TAGLOOM_RECODE(name)                                                                 \
  if (usable && sources_[FieldId::name].legacy && !IsAscii(fields_.name)) {                  \
    std::u16string text;                                                                     \
    usable = decoder_->Decode(legacy_code_page_, CodePage::TextToBytes(fields_.name), text); \
    decoded.emplace_back(FieldId::name, &fields_.name, std::move(text));                     \
  }
  TAGLOOM_TEXT_FIELDS(TAGLOOM_RECODE)
#undef TAGLOOM_RECODE
  if (!usable) {
    legacy_problem_ = legacy_code_page_;
    std::transform(legacy_problem_.begin(), legacy_problem_.end(), legacy_problem_.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    legacy_problem_ += " could not be used";
    legacy_code_page_.clear();
    return;
  }
  for (auto& [field, value, text] : decoded) {
    undecoded_.emplace_back(field, std::move(*value));
    *value = std::move(text);
  }
}

void clsID3::Diagnose(const FileReader& file, int64_t audio_start, int64_t audio_end) {
  using Status = ReadDiagnosis::Status;
  ReadDiagnosis& d = diagnosis_;
  d.size = file.Size();
  d.modified = file.Modified();
  d.tag_cut = id3v2_exists_ && audio_start - 1 > file.Size();
  // Encoders round the byte count in their headers; a frame's worth of slack keeps a whole file
  // from reading as cut.
  constexpr int64_t kSlack = 4096;
  const int64_t audio_bytes = audio_end - (audio_.FirstFrameEnd - 4) + 1;
  d.audio_cut = HasAudio() && audio_.VBRByteCount > 0 && audio_.VBRByteCount > audio_bytes + kSlack;
  // A header that counts frames but not bytes is held to the fewest bytes those frames can take.
  if (HasAudio() && MpegAudio::LeastBytesForFrames(audio_) > audio_bytes + kSlack)
    d.audio_cut = true;
  if (file.ReadError() != 0) {
    d.status = Status::kUnreadable;
    d.error_number = file.ReadError();
  } else if (file.Size() == 0) {
    d.status = Status::kEmpty;
  } else if (d.tag_cut || d.audio_cut) {
    // A cut tag leaves no room for the audio after it: the file was cut, not something else.
    d.status = Status::kTruncated;
  } else if (!HasAudio()) {
    d.status = Status::kNotMpegAudio;
  } else if (!id3v2_exists_ && !id3v1_exists_ && !lyrics3v1_exists_ && !lyrics3v2_exists_) {
    d.status = Status::kNoTags;
  } else {
    d.status = Status::kRead;
  }
}

std::u16string_view ReadDiagnosis::Text(Status status) {
  // In the enum's order.
  static constexpr std::u16string_view kTexts[] = {
      u"missing",        u"not a regular file", u"unreadable", u"empty",
      u"not MPEG audio", u"truncated",          u"no tags",    u"read"};
  return kTexts[static_cast<size_t>(status)];
}

const std::vector<std::string>& clsID3::ID3v2FrameIds() {
  static const std::vector<std::string> ids = {
      "APIC", "COMM", "TALB", "TBPM", "TCOM", "TCON", "TCOP", "TENC", "TEXT", "TIT2",
      "TKEY", "TLAN", "TOAL", "TOFN", "TOLY", "TOPE", "TORY", "TOWN", "TPE1", "TPE2",
      "TPE3", "TPE4", "TPOS", "TPUB", "TRCK", "TRSN", "TRSO", "TSRC", "TYER", "USLT",
      "WCOM", "WCOP", "WOAF", "WOAR", "WOAS", "WORS", "WPAY", "WPUB"};
  return ids;
}

const std::vector<std::string>& clsID3::ID3v22FrameIds() {
  static const std::vector<std::string> ids = {
      "COM", "PIC", "TAL", "TBP", "TCM", "TCO", "TCR", "TEN", "TXT", "TT2", "TKE",
      "TLA", "TOT", "TOF", "TOL", "TOA", "TOR", "TP1", "TP2", "TP3", "TP4", "TPA",
      "TPB", "TRK", "TRC", "TYE", "ULT", "WCM", "WCP", "WAF", "WAR", "WAS", "WPB"};
  return ids;
}

const std::vector<std::string>& clsID3::Lyrics3FieldIds() {
  static const std::vector<std::string> ids = {"LYR", "AUT", "EAL", "EAR", "ETT"};
  return ids;
}
