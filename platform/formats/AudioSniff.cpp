#include "platform/formats/AudioSniff.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace AudioSniff {

namespace {

uint32_t Le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint32_t Be32(const unsigned char* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// The container the first bytes name; `at` is where they stand in the file.
constexpr size_t kHead = 64;

std::string FromHead(const unsigned char* head, ssize_t n, off_t at, int64_t& declared) {
  if (n < 12) return {};
  const auto is = [&](size_t offset, const char* magic) {
    return std::memcmp(head + offset, magic, std::strlen(magic)) == 0;
  };
  if (is(0, "fLaC")) return "FLAC";
  if (is(0, "OggS")) {
    const size_t body = 27 + head[26];
    if (body + 8 > kHead) return "Ogg";
    if (std::memcmp(head + body, "\x01vorbis", 7) == 0) return "Ogg Vorbis";
    if (std::memcmp(head + body, "OpusHead", 8) == 0) return "Opus";
    if (std::memcmp(head + body,
                    "\x7F"
                    "FLAC",
                    5) == 0)
      return "Ogg FLAC";
    if (std::memcmp(head + body, "Speex   ", 8) == 0) return "Ogg Speex";
    return "Ogg";
  }
  if (is(4, "ftyp")) return "MP4";
  if (is(0, "\x30\x26\xB2\x75\x8E\x66\xCF\x11")) return "WMA";
  if (is(0, "RIFF") && is(8, "WAVE")) {
    declared = at + 8 + static_cast<int64_t>(Le32(head + 4));
    return "WAV";
  }
  if (is(0, "FORM") && (is(8, "AIFF") || is(8, "AIFC"))) {
    declared = at + 8 + static_cast<int64_t>(Be32(head + 4));
    return "AIFF";
  }
  if (is(0, "wvpk")) return "WavPack";
  if (is(0, "MAC ")) return "Monkey's Audio";
  if (is(0, "MPCK") || is(0, "MP+")) return "Musepack";
  if (is(0, "DSD ")) return "DSF";
  return {};
}

}  // namespace

std::string Format(const std::string& path, int64_t& size, int64_t& declared, bool* ape_footer,
                   timespec* modified) {
  size = -1;
  declared = -1;
  if (ape_footer) *ape_footer = false;
  // Not blocking: opening a FIFO would wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return {};
  }
  size = st.st_size;
  if (modified) *modified = st.st_mtim;
  unsigned char head[kHead] = {};
  ssize_t n = ::pread(fd, head, sizeof head, 0);
  off_t at = 0;
  // An ID3v2 tag may stand before a FLAC stream or any other.
  if (n >= 10 && std::memcmp(head, "ID3", 3) == 0 && head[3] < 0x80 &&
      !((head[6] | head[7] | head[8] | head[9]) & 0x80)) {
    at = 10 + ((head[6] << 21) | (head[7] << 14) | (head[8] << 7) | head[9]) +
         ((head[5] & 0x10) ? 10 : 0);
    std::memset(head, 0, sizeof head);
    n = ::pread(fd, head, sizeof head, at);
  }
  std::string format = FromHead(head, n, at, declared);
  // An APEv2 footer ends the file or stands before an ID3v1 block; looked for while the file
  // is open, so an MP3 costs one open more than the engine's, not two.
  if (format.empty() && ape_footer && size >= 32) {
    unsigned char tail[160] = {};
    const off_t length = size < 160 ? static_cast<off_t>(size) : 160;
    if (::pread(fd, tail, static_cast<size_t>(length), size - length) == length) {
      const unsigned char* end = tail + length;
      *ape_footer = std::memcmp(end - 32, "APETAGEX", 8) == 0 ||
                    (length >= 160 && std::memcmp(end - 128, "TAG", 3) == 0 &&
                     std::memcmp(end - 160, "APETAGEX", 8) == 0);
    }
  }
  ::close(fd);
  return format;
}

std::string FromBytes(std::string_view head, int64_t at, int64_t& declared) {
  unsigned char bytes[kHead] = {};
  const size_t n = head.size() < kHead ? head.size() : kHead;
  if (n > 0) std::memcpy(bytes, head.data(), n);  // an empty view may hold no pointer
  declared = -1;
  return FromHead(bytes, static_cast<ssize_t>(n), static_cast<off_t>(at), declared);
}

bool NamesContainer(std::string_view head) {
  int64_t declared = -1;
  return !FromBytes(head, 0, declared).empty();
}

}  // namespace AudioSniff
