#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

/// The columns a tag of another format can fill, whatever the format calls them.
enum class OtherField : uint8_t {
  kTitle,
  kArtist,
  kAlbum,
  kBand,  ///< the album artist
  kYear,
  kTrackNumber,
  kTracks,
  kDisc,
  kDiscs,
  kGenre,
  kComments,
  kComposer,
  kLyrics,
  kConductor,
  kCopyright,
  kPublisher,
  kIsrc,
  kBpm,
  kInitialKey,
  kLanguages,
  kLyricist,
  kInterpretedBy,
  kEncodedBy,
  kOriginalAlbum,
  kOriginalArtist,
  kOriginalLyricist,
  kOriginalYear,
  kEncoder,
  kTrackGain,
  kTrackPeak,
  kAlbumGain,
  kAlbumPeak,
  kCount
};

/// What a reader of formats other than MP3 found in one file.
struct OtherFormatRead {
  enum class Outcome : uint8_t {
    kMpeg,        ///< MPEG audio, or nothing the reader knows: the engine's file
    kRead,        ///< another format, read
    kTruncated,   ///< another format, cut short; `reason` says where
    kUnreadable,  ///< another format the reader rejects; `reason` says why
  };

  struct Value {
    std::u16string text;
    std::string source;  ///< the tag and its key: "Vorbis ALBUMARTIST", "MP4 aART", "APEv2 Year"
  };

  Outcome outcome = Outcome::kMpeg;
  std::string reason;
  std::string format;  ///< "FLAC", "Ogg Vorbis", "MP4 AAC", ...
  std::string tags;    ///< the tags found, as the Tags column lists them
  std::array<Value, static_cast<size_t>(OtherField::kCount)> values{};
  int pictures = 0;
  bool has_audio = false;
  double seconds = 0;  ///< exact where the format counts samples
  std::string duration_source;
  int bit_rate = 0;  ///< kbit/s
  int sample_rate = 0;
  int bits = 0;
  int channels = 0;
  int64_t size = -1;    ///< the file's bytes, as the reader found them
  timespec modified{};  ///< and its last modification

  Value& operator[](OtherField f) { return values[static_cast<size_t>(f)]; }
  const Value& operator[](OtherField f) const { return values[static_cast<size_t>(f)]; }
  void Clear() { *this = OtherFormatRead{}; }
};

/// Reads files of the other audio formats; the type is found from the content, not the name.
/// Safe to call from several threads at once.
class OtherFormatReader {
 public:
  virtual ~OtherFormatReader() = default;
  /// Fills `out` for the file at `path` (the system's bytes), before the engine looks at it. An
  /// MPEG file, or one no reader knows or that cannot be opened, is left to the engine (outcome
  /// kMpeg): only the values, pictures and tags of an APEv2 tag at its end.
  virtual void Read(const std::string& path, OtherFormatRead& out) const = 0;
  /// As Read, for a file whose first bytes after any ID3v2 tag the engine has read already:
  /// `head`, standing at byte `at`, with the file's `size` and `modified` time; they are not
  /// looked at again.
  virtual void ReadHead(const std::string& path, std::string_view head, int64_t at, int64_t size,
                        timespec modified, OtherFormatRead& out) const {
    (void)head, (void)at, (void)size, (void)modified;
    Read(path, out);
  }
  /// Fills `out` with the APEv2 tag of the MPEG file at `path` alone, once the engine saw its
  /// footer; the outcome stays kMpeg.
  virtual void ReadApe(const std::string& path, OtherFormatRead& out) const { Read(path, out); }

  /// Whether a file's first bytes, after any ID3v2 tag, name a container Read takes.
  using ContainerTest = bool (*)(std::string_view head);
  /// The test the engine leaves such a file by at once (clsID3::SetOtherContainerTest); none:
  /// the engine reads every file first and Read is asked about each.
  virtual ContainerTest Containers() const { return nullptr; }
};
