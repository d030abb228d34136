// What the three reader programs share: the file list, the line format, the closing figures.
#pragma once

#include <sys/resource.h>

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "text/Utf.h"

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

// A field as UTF-8 with tab, LF, CR and the backslash escaped, so each file stays on one line.
inline void AppendUtf8(std::string& out, std::u16string_view text) {
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const char escaped = c == '\t' ? 't' : c == '\n' ? 'n' : c == '\r' ? 'r' : c == '\\' ? '\\' : 0;
    if (!escaped) continue;
    Utf::AppendUtf8(out, text.substr(run, i - run));
    out += '\\';
    out += escaped;
    run = i + 1;
  }
  Utf::AppendUtf8(out, text.substr(run));
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
