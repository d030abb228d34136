// The floor: opens each listed file and makes only the plain reads the format needs, one read
// each, with no hint to the kernel: the 10-byte header, the tag, the last 128 bytes, the 9-byte
// Lyrics3 marker and the first 20480 bytes after the tag. Prints one line a file.
//   bench_floor_read LIST_FILE > lines
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/BenchCommon.h"

namespace {

int64_t ReadAt(int fd, std::vector<unsigned char>& buffer, int64_t offset, int64_t count) {
  if (offset < 0 || count <= 0) return 0;
  buffer.resize(static_cast<size_t>(count));
  const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), offset);
  return got < 0 ? 0 : got;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s LIST_FILE\n", argv[0]);
    return 2;
  }
  bench::Run run(argv[1]);
  std::vector<unsigned char> header, tag, last, marker, audio;
  std::string line;
  run.Start();
  for (const std::string& path : run.Paths()) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    int64_t tag_size = 0;
    unsigned sum = 0;
    if (fd >= 0) {
      struct stat st {};
      ::fstat(fd, &st);
      const int64_t size = st.st_size;
      if (ReadAt(fd, header, 0, 10) == 10 && header[0] == 'I' && header[1] == 'D' &&
          header[2] == '3') {
        tag_size = (header[6] & 0x7F) << 21 | (header[7] & 0x7F) << 14 | (header[8] & 0x7F) << 7 |
                   (header[9] & 0x7F);
        ReadAt(fd, tag, 10, tag_size);
        if (!tag.empty()) sum += tag[0];
      }
      const bool v1 = ReadAt(fd, last, size - 128, 128) == 128 && last[0] == 'T' &&
                      last[1] == 'A' && last[2] == 'G';
      ReadAt(fd, marker, size - (v1 ? 128 : 0) - 9, 9);
      const int64_t audio_start = tag_size ? tag_size + 10 : 0;
      if (ReadAt(fd, audio, audio_start, 20480) > 0) sum += audio[0];
      sum += marker.empty() ? 0 : marker[0];
      ::close(fd);
    }
    line.assign(path);
    line += '\t' + std::to_string(tag_size) + '\t' + std::to_string(sum) + '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  std::fflush(stdout);
  run.Finish("floor");
  return 0;
}
