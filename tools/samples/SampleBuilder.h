#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Byte builders for MP3 files: ID3v2, ID3v1, Lyrics3 and silent MPEG audio. They make the bundled
// samples and the engine's test files; they never read the engine, so a fault in one cannot hide
// a fault in the other. Bytes are held in std::string; text arguments are UTF-16.
namespace SampleBuilder {

using Bytes = std::string;

// ---- numbers -------------------------------------------------------------------------------

/// `width` bytes, most significant first.
Bytes BigEndian(uint64_t value, int width);
/// `width` bytes of 7 bits each, most significant first.
Bytes SyncSafe(uint32_t value, int width = 4);

// ---- ID3v2 ---------------------------------------------------------------------------------

enum class Encoding : uint8_t { Latin1 = 0, Utf16 = 1, Utf16BE = 2, Utf8 = 3 };

/// The text in the encoding; Utf16 gets a little-endian byte-order mark. Latin-1 keeps the low
/// byte of each unit; UTF-8 writes a half surrogate as U+FFFD. With `terminate`, one NUL (two in
/// the UTF-16 encodings) follows.
Bytes EncodeText(Encoding encoding, std::u16string_view text, bool terminate = false);

/// Inserts 00 after every FF that is followed by 00 or a byte from E0 up, or that ends the data.
Bytes Unsynchronise(std::string_view bytes);

/// A frame with its header: v2.2 6 bytes (3-byte size), v2.3 10 bytes (plain size), v2.4 10 bytes
/// (sync-safe size). `flags` are the two flag bytes (v2.3 and v2.4 only).
Bytes Frame(int version, std::string_view id, std::string_view body, uint16_t flags = 0);

/// Frame bodies.
Bytes TextBody(Encoding encoding, std::u16string_view text);
Bytes UrlBody(std::string_view url);
/// COMM/COM and USLT/ULT: encoding, language, description, terminator, text.
Bytes CommentBody(Encoding encoding, std::string_view language, std::u16string_view description,
                  std::u16string_view text);
/// APIC (v2.3, v2.4: MIME type) or PIC (v2.2: three-letter format).
Bytes PictureBody(int version, Encoding encoding, std::string_view mime_or_format,
                  uint8_t picture_type, std::u16string_view description, std::string_view data);

struct TagOptions {
  uint8_t revision = 0;
  uint8_t extra_flags = 0;      // ORed into the header flags as they stand
  bool unsynchronise = false;   // applied to the whole frame data (meant for v2.2 and v2.3)
  std::string extended_header;  // placed before the frames; sets the flag when not empty
  bool footer = false;          // v2.4: "3DI" footer after the padding
  size_t padding = 0;           // NUL bytes after the frames
};

/// A minimal extended header: v2.3 10 bytes (plain size 6), v2.4 6 bytes (sync-safe size 6).
Bytes ExtendedHeader(int version);

/// Header, optional extended header, frames, padding and optional footer. The size counts all
/// but the header and footer.
Bytes Id3v2Tag(int version, std::string_view frames, const TagOptions& options = {});

// ---- ID3v1 ---------------------------------------------------------------------------------

struct Id3v1Fields {
  std::string title, artist, album, year, comment;  // bytes, cut at the field width
  int track = -1;                                   // 0..255 makes an ID3v1.1 block
  uint8_t genre = 255;
};

/// The 128-byte block, NUL-padded.
Bytes Id3v1(const Id3v1Fields& fields);

// ---- Lyrics3 -------------------------------------------------------------------------------

/// "LYRICSBEGIN", the lyrics, "LYRICSEND".
Bytes Lyrics3v1(std::string_view lyrics);
/// A field: ID, 5-digit size, value.
Bytes Lyrics3Field(std::string_view id, std::string_view value);
/// "LYRICSBEGIN", the fields, the 6-digit size of both, "LYRICS200".
Bytes Lyrics3v2(const std::vector<std::pair<std::string, std::string>>& fields);

// ---- MPEG audio ----------------------------------------------------------------------------

enum class ChannelMode : uint8_t { Stereo = 0, JointStereo = 1, DualChannel = 2, Mono = 3 };

/// A Layer III format. MPEG-1 takes 32, 44.1 or 48 kHz; MPEG-2 16, 22.05 or 24 kHz.
struct MpegFormat {
  int version = 1;  // 1 or 2
  int kbps = 128;
  int sample_rate = 44100;
  ChannelMode mode = ChannelMode::Stereo;
};

inline constexpr MpegFormat kMpeg1 = {1, 128, 44100, ChannelMode::JointStereo};
inline constexpr MpegFormat kMpeg2 = {2, 64, 22050, ChannelMode::Mono};

/// The 4-byte header (no CRC).
Bytes FrameHeader(const MpegFormat& format, bool padding);
/// Bytes of one frame, header included.
int FrameLength(const MpegFormat& format, bool padding);
/// Samples per frame: 1152 for MPEG-1, 576 for MPEG-2.
int FrameSamples(const MpegFormat& format);
/// Where side information ends and a Xing header begins, counted from the 0xFF byte.
int XingOffset(const MpegFormat& format);

/// One silent frame: all-zero side information and main data.
Bytes SilentFrame(const MpegFormat& format, bool padding);
/// `count` silent frames, padded like an encoder does, so the mean rate is exact.
Bytes SilentFrames(const MpegFormat& format, int count);
/// Silent frames lasting about `seconds`.
Bytes Silence(const MpegFormat& format, double seconds);

/// A silent first frame holding a Xing (or, with `info`, an Info) header with frame count, byte
/// count, table of contents and quality (flags 0x0F).
Bytes XingFrame(const MpegFormat& format, uint32_t frames, uint32_t bytes, bool info = false);
/// A silent first frame holding a VBRI header (version 1) with `toc_entries` entries of 2 bytes.
Bytes VbriFrame(const MpegFormat& format, uint32_t frames, uint32_t bytes, int toc_entries = 10);

// ---- pictures ------------------------------------------------------------------------------

/// A valid PNG of `width` x `height` RGB pixels in one colour, built from its chunks.
Bytes TinyPng(uint32_t width, uint32_t height, uint8_t red, uint8_t green, uint8_t blue);

// ---- the bundled samples -------------------------------------------------------------------

struct SampleFile {
  std::string name;
  Bytes bytes;
};

/// The sample files shipped beside the program, in name order.
std::vector<SampleFile> BundledSamples();

}  // namespace SampleBuilder
