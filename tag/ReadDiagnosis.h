#pragma once

#include <cstdint>
#include <ctime>
#include <string_view>

/// What became of one read, kept beside the fields: the fields come out the same whatever
/// happens to the file, and a caller that wants to know why a row is empty asks here.
struct ReadDiagnosis {
  /// From the most to the least serious; a read reports the first that applies.
  enum class Status : uint8_t {
    kMissing,         ///< nothing at the path (or a folder on the way is missing)
    kNotRegularFile,  ///< a folder, a device, a FIFO
    kUnreadable,      ///< there, but it could not be opened or read; `error_number` says why
    kEmpty,           ///< no bytes at all
    kNotMpegAudio,    ///< no MPEG audio frame anywhere after the tags
    kTruncated,       ///< a tag or the audio ends before the size it declares
    kNoTags,          ///< audio without ID3v2, Lyrics3 or ID3v1
    kRead,            ///< tags and audio read
  };

  Status status = Status::kMissing;
  int error_number = 0;    ///< the system's error, for kMissing and kUnreadable
  int64_t size = -1;       ///< bytes in the file, once it was opened
  timespec modified{};     ///< its last modification, once it was opened
  bool tag_cut = false;    ///< an ID3v2 tag declares more bytes than the file holds
  bool audio_cut = false;  ///< a Xing or VBRI header declares more audio than there is

  /// True for the statuses where the file's bytes could not be looked at.
  bool NotRead() const { return status < Status::kEmpty; }

  /// "read", "no tags", "not MPEG audio", "truncated", "empty", "missing", "not a regular file",
  /// "unreadable".
  static std::u16string_view Text(Status status);
};
