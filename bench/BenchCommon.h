// What the three reader programs share: the file list, the line format, the closing figures.
#pragma once

#include <sys/resource.h>

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

inline std::vector<std::string> ReadList(const char* list_path) {
  std::vector<std::string> paths;
  std::ifstream in(list_path);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) paths.push_back(line);
  return paths;
}

inline double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

inline long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Bytes this process made the kernel fetch from storage: what a cold read really costs,
// read-ahead included.
inline long long StorageReadBytes() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value)
    if (key == "read_bytes:") return value;
  return -1;
}

inline void AppendUtf8(std::string& out, const std::u16string& text) {
  // Written to a scratch buffer that only grows (three bytes a unit at worst), then appended:
  // one pass, no clearing, no growth checks.
  static std::string scratch;
  if (scratch.size() < text.size() * 3) scratch.resize(text.size() * 3);
  char* const start = scratch.data();
  char* o = start;
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    uint32_t c = text[i];
    if (c - 0x20 < 0x5F && c != '\\') {  // printable ASCII other than the escape
      *o++ = static_cast<char>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    const char escaped = c == '\t' ? 't' : c == '\n' ? 'n' : c == '\r' ? 'r' : c == '\\' ? '\\' : 0;
    if (escaped) {
      *o++ = '\\';
      *o++ = escaped;
    } else if (c < 0x80) {
      *o++ = static_cast<char>(c);
    } else if (c < 0x800) {
      *o++ = static_cast<char>(0xC0 | (c >> 6));
      *o++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *o++ = static_cast<char>(0xE0 | (c >> 12));
      *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *o++ = static_cast<char>(0xF0 | (c >> 18));
      *o++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  out.append(start, o);
}

// Audio columns every program prints the same way: kbit/s, Hz, whole seconds, channels.
inline void AppendAudio(std::string& out, double kbps, long rate, double seconds, int channels) {
  char text[96];
  char* o = text;
  char* const end = text + sizeof text;
  *o++ = '\t';
  o = std::to_chars(o, end, kbps, std::chars_format::fixed, 0).ptr;
  *o++ = '\t';
  o = std::to_chars(o, end, rate).ptr;
  *o++ = '\t';
  o = std::to_chars(o, end, seconds, std::chars_format::fixed, 0).ptr;
  *o++ = '\t';
  o = std::to_chars(o, end, channels).ptr;
  out.append(text, o);
}

/// Times the loop over the files and reports, on stderr, one line the benchmark script parses.
class Run {
 public:
  explicit Run(const char* list_path) : paths_(ReadList(list_path)) { start_rss_kb_ = PeakRssKb(); }
  const std::vector<std::string>& Paths() const { return paths_; }
  void Start() {
    cpu_start_ = CpuSeconds();
    start_ = std::chrono::steady_clock::now();
  }
  // Wall time is what a user waits; CPU time (user and system) is steadier on a busy machine.
  void Finish(const char* name) const {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double cpu = CpuSeconds() - cpu_start_;
    const double n = paths_.empty() ? 1.0 : static_cast<double>(paths_.size());
    std::fprintf(stderr,
                 "%s files=%zu us_per_file=%.2f cpu_us_per_file=%.2f peak_rss_kb=%ld "
                 "start_rss_kb=%ld read_bytes=%lld\n",
                 name, paths_.size(), seconds * 1e6 / n, cpu * 1e6 / n, PeakRssKb(), start_rss_kb_,
                 StorageReadBytes());
  }

 private:
  std::vector<std::string> paths_;
  long start_rss_kb_ = 0;
  double cpu_start_ = 0;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace bench
