#include "batch/DsfFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "tag/clsID3.h"

namespace DsfFile {

namespace {

uint64_t Le(const unsigned char* p, int bytes) {
  uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

// The DSD chunk (28 bytes) and the fmt chunk after it (52 bytes).
constexpr size_t kHeader = 28 + 52;

}  // namespace

bool Read(clsID3& tag, const std::string& path) {
  unsigned char head[kHeader] = {};
  int64_t size = -1;
  ssize_t got = -1;
  {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
      size = st.st_size;
      got = ::pread(fd, head, sizeof head, 0);
    }
    ::close(fd);
  }
  if (got < 4 || std::memcmp(head, "DSD ", 4) != 0) return false;
  using Status = ReadDiagnosis::Status;
  const bool whole = got == static_cast<ssize_t>(kHeader) && Le(head + 4, 8) == 28 &&
                     std::memcmp(head + 28, "fmt ", 4) == 0 && Le(head + 32, 8) >= 52;
  const uint64_t declared = Le(head + 12, 8);
  const uint64_t metadata = Le(head + 20, 8);
  // The tag runs from the pointer to the end; a pointer into the header or past the end is none.
  const bool tagged = whole && metadata >= kHeader && metadata < static_cast<uint64_t>(size);
  const int64_t tag_bytes = tagged ? size - static_cast<int64_t>(metadata) : 0;
  const bool cut = whole && declared > static_cast<uint64_t>(size);
  OtherFacts& facts =
      tag.ReadEmbeddedId3v2(path, tagged ? static_cast<int64_t>(metadata) : 0, tag_bytes,
                            whole && !cut ? Status::kRead : Status::kTruncated);
  facts.format = u"DSF";
  if (tag.ID3v2Exists()) {
    facts.tags = u"ID3v2." + std::u16string(1, static_cast<char16_t>(u'0' + tag.ID3RevisionV2()));
  }
  if (!whole) {
    facts.status = u"unreadable: the DSF file has no whole fmt chunk after its DSD chunk";
    return true;
  }
  const auto channels = static_cast<int>(Le(head + 52, 4));
  const auto rate = static_cast<int>(Le(head + 56, 4));
  const auto bits = static_cast<int>(Le(head + 60, 4));
  const uint64_t samples = Le(head + 64, 8);  // per channel
  facts.channels = channels;
  facts.sample_rate = rate;
  facts.bits = bits;
  if (rate > 0 && channels > 0 && samples > 0) {
    facts.seconds = static_cast<double>(samples) / rate;
    facts.duration_source = u"sample count";
    facts.bit_rate = static_cast<int>(static_cast<int64_t>(rate) * channels * bits / 1000);
    facts.has_audio = !cut;
  }
  if (cut) {
    const std::string why = "truncated: the DSF header declares " + std::to_string(declared) +
                            " bytes, the file holds " + std::to_string(size);
    facts.status.assign(why.begin(), why.end());
  } else {
    facts.status = facts.has_audio ? u"read" : u"truncated: no audio in the DSF fmt chunk";
  }
  return true;
}

}  // namespace DsfFile
