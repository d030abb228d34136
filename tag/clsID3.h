#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tag/FieldSources.h"
#include "tag/LegacyText.h"
#include "tag/MpegAudio.h"
#include "tag/MultiFrameData.h"
#include "tag/OtherFacts.h"
#include "tag/PictureFacts.h"
#include "tag/ReadDiagnosis.h"
#include "tag/TagFields.h"

class FileReader;
class TagFileSystem;
class FileRewrite;

/// One MP3 file's tags and audio properties. Setting FileName reads the file; setters change
/// memory only until UpdateID3Tags writes them back. Nothing here throws to the caller.
class clsID3 {
 public:
  clsID3();
  ~clsID3();
  clsID3(const clsID3&) = delete;
  clsID3& operator=(const clsID3&) = delete;

  static std::u16string GenreName(int32_t id);
  static int32_t ToGenreID(std::u16string_view text);

  // Audio properties of the first accepted MPEG frame.
  int32_t Layer() const;
  int32_t Padding() const;
  int32_t MPEGVersion() const;
  int32_t ChannelMode() const;
  int32_t Encoding() const;
  int32_t SamplingRateFrequency() const;
  double BitRate() const;
  double FrameSize() const;
  int32_t FrameSamples() const;
  double length() const;

#define TAGLOOM_TEXT_ACCESSORS(name)                                   \
  const std::u16string& name() const noexcept { return fields_.name; } \
  void Set##name(std::u16string value) noexcept { fields_.name = std::move(value); }
  TAGLOOM_TEXT_FIELDS(TAGLOOM_TEXT_ACCESSORS)
#undef TAGLOOM_TEXT_ACCESSORS

  int32_t GenreID() const noexcept { return fields_.GenreID; }
  void SetGenreID(int32_t value) noexcept { fields_.GenreID = value; }
  /// The genre as people name it, the one value the table shows and sorts, filters and counts
  /// by: Genres::ShownName of Genre, GenreID and the genre frame's text as the last read found
  /// it. "(17)", a bare "17" and an ID3v1 genre 17 all give "Rock"; "(255)" stays "(255)".
  std::u16string ShownGenre() const;

  // The lists are shared, not copied: an entry a caller adds is in the object's list.
#define TAGLOOM_LIST_ACCESSORS(name)                                                    \
  const std::shared_ptr<MultiFrameData>& name() const noexcept { return fields_.name; } \
  void Set##name(std::shared_ptr<MultiFrameData> list) noexcept { fields_.name = std::move(list); }
  TAGLOOM_LIST_FIELDS(TAGLOOM_LIST_ACCESSORS)
#undef TAGLOOM_LIST_ACCESSORS

  const std::string& FileName() const noexcept { return file_name_; }
  /// Stores the path and reads the file, also when the path is unchanged.
  void SetFileName(std::string path) noexcept;

  bool ID3v1Exists() const noexcept { return id3v1_exists_; }
  bool ID3v2Exists() const noexcept { return id3v2_exists_; }
  bool Lyrics3v1Exists() const noexcept { return lyrics3v1_exists_; }
  bool Lyrics3v2Exists() const noexcept { return lyrics3v2_exists_; }
  uint8_t ID3RevisionV2() const noexcept { return id3_revision_v2_; }

  /// What became of the last read; the fields are the same whatever it says.
  const ReadDiagnosis& Diagnosis() const noexcept { return diagnosis_; }
  /// The audio analysis of the last read: whether a Xing or VBRI header marked it variable,
  /// and the frame count it declared (0 when none did).
  bool IsVBR() const noexcept { return audio_.IsVBR; }
  int32_t DeclaredFrames() const noexcept { return audio_.VBRFrameCount; }
  /// The analysis of the last read's first frame and the headers after it (Xing, VBRI, LAME).
  const MpegAudioState& AudioState() const noexcept { return audio_; }
  /// Whether the last read found an MPEG audio frame at all.
  bool HasAudio() const noexcept { return audio_.FirstFrameEnd > 0; }
  /// The duration counted in samples where a header gives the frame count (less the encoder's
  /// delay and padding when a LAME header gives them), else estimated from the bit rate.
  MpegAudio::ExactLength ExactLength() const { return MpegAudio::Exact(audio_); }

  /// The encoder the last read names: the LAME header's name and version ("LAME3.100"), else
  /// the ID3v2 TSSE frame's text; empty when neither is there.
  std::u16string Encoder() const;
  /// The ReplayGain values of the last read's ID3v2 TXXX frames, by their descriptions in any
  /// case: REPLAYGAIN_TRACK_GAIN, _TRACK_PEAK, _ALBUM_GAIN, _ALBUM_PEAK; as written.
  enum class Gain : uint8_t { kTrackGain, kTrackPeak, kAlbumGain, kAlbumPeak };
  const std::u16string& ReplayGain(Gain which) const noexcept {
    return replay_gain_[static_cast<size_t>(which)];
  }

  /// Which tag gave each field its value in the last read.
  const FieldSources& Sources() const noexcept { return sources_; }
  /// The fields whose ID3v1 value differs from the value the last read gave them: not where
  /// the ID3v1 value is that value cut to the block's width, or written with "?" for the
  /// characters the code page lacks. Among Title, Artist, Album, Year, Comments, TrackNumber and
  /// GenreID (the genre by name, as the text or the number shows it).
  std::vector<FieldId> Id3v1Conflicts() const;
  /// The value the kept ID3v1 block gives the field, in the code page the read chose: the text
  /// cut at its NUL and trailing spaces, the track number's digits, the genre's name. Empty
  /// without the block, or for a field it has no value for (or no place for).
  std::u16string Id3v1Value(FieldId field) const;

  /// Reads legacy text through `decoder` from the next read on; none keeps Windows-1252.
  void SetLegacyTextDecoder(std::shared_ptr<LegacyTextDecoder> decoder) noexcept {
    decoder_ = std::move(decoder);
  }
  /// Whether the last read met legacy text at all (an ID3v1 or Lyrics3 tag, or ID3v2 text
  /// without an encoding of its own).
  bool HasLegacyText() const noexcept;
  /// The code page the last read decoded legacy text with; empty for the built-in Windows-1252.
  const std::string& LegacyCodePage() const noexcept { return legacy_code_page_; }
  /// True when the last read had a decoder but its legacy text was plain ASCII, which reads the
  /// same in every code page: nothing was decoded.
  bool LegacyTextAscii() const noexcept { return legacy_ascii_; }
  /// Why the last read's legacy text stayed as Windows-1252 read it although another code page
  /// was chosen or given: empty unless that code page could not be used.
  const std::string& LegacyProblem() const noexcept { return legacy_problem_; }

  /// Whether reads keep the pictures (true unless set): a batch that shows no picture passes
  /// over their bytes, and AttachedPictures then stays empty.
  void SetPicturesWanted(bool wanted) noexcept { pictures_wanted_ = wanted; }
  bool PicturesWanted() const noexcept { return pictures_wanted_; }
  /// Whether reads that pass over the pictures still count them (false unless set).
  void SetPictureCountWanted(bool wanted) noexcept { picture_count_wanted_ = wanted; }
  bool PictureCountWanted() const noexcept { return picture_count_wanted_; }
  /// The number of pictures the last read found, as AttachedPictures would hold them when the
  /// pictures are wanted; 0 when they were passed over without being counted.
  int32_t PictureCount() const noexcept;
  /// How SavedRead measures the pictures a read holds; unset, such a read is not kept. Set, a
  /// read that wants the pictures is content with their measure: RestoreRead then takes a
  /// record that kept it in place of their bytes.
  void SetPictureMeasure(PictureMeasure measure) noexcept { picture_measure_ = measure; }
  bool MeasuresPictures() const noexcept { return picture_measure_ != nullptr; }
  /// The pictures of a read restored from a record that measured them; nothing otherwise.
  const std::optional<PictureFacts>& KeptPictures() const noexcept { return kept_pictures_; }

  /// What the last read found, as bytes a later RestoreRead takes back: everything the getters
  /// give but the pictures' bytes, with legacy text as Windows-1252 read it, so that the record
  /// serves any legacy-text decoder. Pictures the read holds are kept as their measure gives
  /// them; empty when they are held and there is no measure.
  std::string SavedRead() const;
  /// The first byte of every record SavedRead writes; another value is another layout's.
  static constexpr uint8_t kReadRecordLayout = 5;
  /// Whether `record` keeps the measure of its read's pictures, which a read that wants the
  /// pictures needs to be served by it.
  static bool RecordMeasuresPictures(std::string_view record) noexcept {
    return record.size() > 1 && static_cast<uint8_t>(record[0]) == kReadRecordLayout &&
           (static_cast<uint8_t>(record[1]) & 0x80);
  }
  /// Makes the object as the read that saved `record` left it, for `path`, legacy text then
  /// decoded by this object's decoder as a read would. False, the object reset, when the record
  /// is not one SavedRead wrote.
  bool RestoreRead(std::string_view record, std::string path) noexcept;
  /// What a reader of other formats added to the last read; null when none did.
  const OtherFacts* Other() const noexcept { return other_set_ ? other_.get() : nullptr; }
  /// Facts for the last read from a reader of other formats, kept until the next read. A read
  /// that `replaces` the engine's starts from empty fields and sources, keeping only the file's
  /// size and time, and takes `status` for its own (kRead, kTruncated, kNotMpegAudio, ...).
  OtherFacts& AddOther(bool replaces, ReadDiagnosis::Status status);
  /// Starts a read of `path` that a reader of other formats makes in the engine's place, without
  /// the engine looking at the file: the file's `size` and `modified` time as that reader found
  /// them, the rest as AddOther(true, status) leaves it.
  OtherFacts& ReadByOther(std::string path, int64_t size, timespec modified,
                          ReadDiagnosis::Status status);

  /// Reads the ID3v2 tag that bytes [offset, offset + length) of `path` hold, as a container
  /// of another format keeps one (a DSF file's metadata chunk), for a reader of that format:
  /// the fields and their sources are the tag's, the size and time the whole file's, the
  /// status `status`; the facts returned replace the engine's audio (AddOther(true, ...)). A
  /// `length` of 0 reads no tag.
  OtherFacts& ReadEmbeddedId3v2(std::string path, int64_t offset, int64_t length,
                                ReadDiagnosis::Status status);

  /// Tells, from the first bytes after any ID3v2 tag, whether they open a container of another
  /// format; none set (the default) reads every file as MPEG audio.
  using OtherContainerTest = bool (*)(std::string_view head);
  /// From the next read on, a file whose first bytes `test` names is left at once, unread past
  /// its ID3v2 tag: the read says kNotMpegAudio with OtherContainer() true, so its reader of
  /// other formats need not wait for a search for MPEG frames through the whole file.
  void SetOtherContainerTest(OtherContainerTest test) noexcept { other_container_test_ = test; }
  /// Whether the last read left the file as a container of another format.
  bool OtherContainer() const noexcept { return other_container_; }
  /// Then the first bytes the test saw, and the 0-based offset they stand at.
  std::string_view OtherContainerHead() const noexcept { return other_head_; }
  int64_t OtherContainerAt() const noexcept { return other_at_; }
  /// Whether the last read saw an APEv2 footer at the end of the audio (before any ID3v1
  /// block), which the engine does not read.
  bool ApeFooterSeen() const noexcept { return ape_footer_; }

  /// Reads the stored file again; changes made through setters are discarded.
  void RefreshID3Tags() noexcept;

  /// Writes the fields back to the file.
  void UpdateID3Tags() noexcept;
  /// Removes every tag from the file, keeping the audio.
  void DeleteID3Tags() noexcept;
  /// Whether the last UpdateID3Tags or DeleteID3Tags replaced the file; false leaves it as it was.
  bool LastWriteSucceeded() const noexcept { return last_write_ok_; }
  /// The reason the last write failed, for people; empty after a success.
  const std::string& LastWriteError() const noexcept { return last_write_error_; }
  /// Replaces the file layer the writer uses (tests inject failures through it).
  void SetFileSystem(std::shared_ptr<TagFileSystem> fs) noexcept;

  static const std::vector<std::string>& ID3v2FrameIds();
  static const std::vector<std::string>& ID3v22FrameIds();
  static const std::vector<std::string>& Lyrics3FieldIds();

 private:
  struct TrackParts;

  void ReadAllTags() noexcept;
  void RecodeLegacyText();
  std::string EncodeLegacy(std::u16string_view text) const;
  // Whether an ID3v1 text area's bytes `own` are the shown value, encoded and cut to `width`.
  bool SameAsArea(std::string_view own, std::u16string_view shown, size_t width) const;
  void Diagnose(const FileReader& file, int64_t audio_start, int64_t audio_end);
  void ResetForRead();

  // ID3v2: returns the 1-based position where the audio data starts.
  int64_t ReadId3v2(FileReader& file);
  void CountPassedPictures(FileReader& file, int64_t& audio_start);
  void MapFrame(std::string_view id, std::string_view data, int64_t p, TrackParts& parts);
  void MapUserText(std::string_view data, int64_t p);
  void ApplyGenreText(const std::u16string& genre);

  // ID3v1: looks at the last 128 bytes; returns the end of the audio data.
  int64_t LocateId3v1(FileReader& file, std::string& block);
  void ApplyId3v1(std::string_view block);

  // Lyrics3: may move the end of the audio data down below a v2 block.
  int64_t ReadLyrics3(FileReader& file, int64_t end);
  void MapLyrics3Field(std::string_view id, std::string_view block, int64_t q);

  // Writer (TagWriter.cpp) and remover (TagRemoval.cpp); false leaves the file unchanged.
  class TagRewrite;
  bool WriteTags(std::string& error);
  bool RemoveTags(std::string& error);
  std::u16string FrameValueFor(std::string_view id, int32_t item) const;
  std::u16string GenreFrameText() const;
  int32_t Id3v1GenreNumber() const;
  std::string Id3v1Block() const;
  bool NeedsId3v1Block() const;
  std::u16string Lyrics3FieldValue(std::string_view id) const;
  std::string Lyrics3Block() const;
  std::shared_ptr<TagFileSystem> FileSystem() const;
  // The 1-based end of the audio: before an ID3v1 block and a Lyrics3 block, if any.
  static bool OldAudioEnd(FileRewrite& file, int64_t& end, std::string& error);
  // False, with the reason, when the last read did not reach every byte it wanted: a write
  // from its fields would drop what it missed.
  bool ReadWasWhole(std::string& error) const;

  TagFields fields_;
  std::string file_name_;
  bool id3v1_exists_ = false;
  bool id3v2_exists_ = false;
  bool lyrics3v1_exists_ = false;
  bool lyrics3v2_exists_ = false;
  uint8_t id3_revision_v2_ = 3;
  bool TagUnsynchronised = false;
  bool Lyrics3HasTimestamps = false;
  MpegAudioState audio_;
  ReadDiagnosis diagnosis_;
  FieldSources sources_;
  std::string id3v1_block_;
  std::u16string genre_as_stored_;  // the genre frame's text, before Genre and GenreID are made
  std::shared_ptr<LegacyTextDecoder> decoder_;
  std::string legacy_code_page_;
  std::string legacy_problem_;
  bool legacy_ascii_ = false;
  // Legacy fields the decoder read again, as Windows-1252 had read them.
  std::vector<std::pair<FieldId, std::u16string>> undecoded_;
  std::unique_ptr<FileReader> reader_;
  bool pictures_wanted_ = true;
  bool picture_count_wanted_ = false;
  int32_t pictures_passed_ = 0;  // picture frames the last read passed over unread
  PictureMeasure picture_measure_ = nullptr;
  std::optional<PictureFacts> kept_pictures_;
  std::unique_ptr<OtherFacts> other_;  // kept from read to read, so a batch reuses its strings
  bool other_set_ = false;
  std::u16string encoder_frame_;               // TSSE
  std::array<std::u16string, 4> replay_gain_;  // by Gain
  OtherContainerTest other_container_test_ = nullptr;
  bool other_container_ = false;
  std::string other_head_;
  int64_t other_at_ = 0;
  bool ape_footer_ = false;

  bool last_write_ok_ = false;
  std::string last_write_error_;
  std::shared_ptr<TagFileSystem> file_system_;
};
