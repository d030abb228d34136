// The mapping of other formats' tags onto the columns, and the sniffing of their first bytes,
// over any byte string: keys and values as a tag of any kind may hold them.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/formats/AudioSniff.h"
#include "platform/formats/TagMapping.h"

namespace {

int MemoryFile() {
  static const int fd = [] {
    const int made = ::memfd_create("tagloom-fuzz-mapping", MFD_CLOEXEC);
    if (made < 0) std::abort();
    return made;
  }();
  return fd;
}

}  // namespace

// The input: a kind byte, then entries "KEY=value\x01value\x02KEY=..." with values as UTF-16
// built from byte pairs; the whole input is also the file the sniffer looks at.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto kind =
      static_cast<TagMapping::Kind>(data[0] % static_cast<uint8_t>(TagMapping::Kind::kCount));
  OtherFormatRead read;
  size_t at = 1;
  while (at < size) {
    std::string key;
    while (at < size && data[at] != '=') key += static_cast<char>(data[at++]);
    ++at;
    std::vector<std::u16string> values(1);
    while (at < size && data[at] != 0x02) {
      if (data[at] == 0x01) {
        values.emplace_back();
        ++at;
        continue;
      }
      const char16_t unit =
          static_cast<char16_t>(data[at] | (at + 1 < size ? data[at + 1] << 8 : 0));
      values.back() += unit;
      at += 2;
    }
    ++at;
    const OtherFormatRead before = read;
    TagMapping::Apply(kind, "Tag", key, values, read);
    // A column once filled keeps its value; a number never keeps its total's slash.
    for (size_t f = 0; f < before.values.size(); ++f)
      if (!before.values[f].text.empty() && before.values[f].text != read.values[f].text)
        std::abort();
    for (const OtherField f : {OtherField::kTrackNumber, OtherField::kDisc})
      if (read[f].text.find(u'/') != std::u16string::npos) std::abort();
    if (!read[OtherField::kYear].text.empty() &&
        read[OtherField::kYear].text.find(u'-') != std::u16string::npos)
      std::abort();
    (void)TagMapping::NativeKey(kind, key);
  }

  const int fd = MemoryFile();
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
    std::abort();
  int64_t file_size = 0, declared = 0;
  bool ape = false;
  const std::string format =
      AudioSniff::Format("/proc/self/fd/" + std::to_string(fd), file_size, declared, &ape);
  if (file_size != static_cast<int64_t>(size)) std::abort();
  // A footer is looked for only where no other format was named.
  if (ape && !format.empty()) std::abort();
  return 0;
}
