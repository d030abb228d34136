// DeleteID3Tags: only the audio between the ID3v2 tag and the Lyrics3 and ID3v1 blocks stays.
#include "tag/Id3v2Frames.h"
#include "tag/TagFileSystem.h"
#include "tag/clsID3.h"

void clsID3::DeleteID3Tags() noexcept {
  // The object describes an untagged file at once, also when the file cannot be changed.
  fields_ = TagFields::ForRead();
  id3v1_exists_ = id3v2_exists_ = lyrics3v1_exists_ = lyrics3v2_exists_ = false;
  id3_revision_v2_ = 0;
  TagUnsynchronised = false;
  Lyrics3HasTimestamps = false;
  last_write_error_.clear();
  try {
    last_write_ok_ = RemoveTags(last_write_error_);
  } catch (const std::exception& e) {
    last_write_ok_ = false;
    last_write_error_ = std::string("the tags could not be removed: ") + e.what();
  }
  if (last_write_ok_) last_write_error_.clear();
}

bool clsID3::RemoveTags(std::string& error) {
  if (!ReadWasWhole(error)) return false;
  FileRewrite file(FileSystem());
  if (!file.Open(file_name_, error)) return false;
  std::string header;
  if (!file.Read(0, Id3v2::kHeaderSize, header, error)) return false;
  int64_t audio_start = 1;
  if (Id3v2::IsValidHeader(header)) {
    id3_revision_v2_ = static_cast<uint8_t>(header[3]);
    const Id3v2::HeaderFlags flags = Id3v2::ParseHeaderFlags(header, id3_revision_v2_);
    TagUnsynchronised = flags.unsynchronised;
    audio_start =
        static_cast<int64_t>(Id3v2::DecodeNumber(std::string_view(header).substr(6, 4), true)) +
        11 + (flags.footer ? 10 : 0);
    if (audio_start - 1 > file.Size()) {
      // Nothing of the file would remain: more likely a damaged size than a tag.
      error = "the ID3v2 tag of '" + file_name_ + "' runs past the end of the file";
      return false;
    }
  }
  int64_t audio_end = 0;
  if (!OldAudioEnd(file, audio_end, error)) return false;
  if (audio_start == 1 && audio_end == file.Size()) return true;  // no tag: nothing to change
  std::vector<FileRewrite::Piece> pieces(1);
  pieces[0].offset = audio_start - 1;
  pieces[0].count = std::max<int64_t>(0, audio_end - audio_start + 1);
  return file.Commit(pieces, error);
}
