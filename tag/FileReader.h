#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// Bounds-safe reads of one open file at 1-based positions, with few, large preads: the start
/// of the file (header, tag and first audio frame) and its end (ID3v1, Lyrics3) are each fetched
/// once and served from memory. Reads past either end yield only the bytes that exist.
class FileReader {
 public:
  FileReader() = default;
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;
  ~FileReader() { Close(); }

  /// Opens a regular file for reading without blocking; anything else (a FIFO, a device, a
  /// folder) fails, so a read never hangs.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  int64_t Size() const { return size_; }

  /// The bytes of [pos, pos + count) that lie inside the file. The view stays valid until the
  /// next call of Read or EnsureHead.
  std::string_view Read(int64_t pos, int64_t count);

  /// Makes one read hold the first `count` bytes (capped at the file's size), so later reads of
  /// the tag and the first audio frame cost nothing.
  void EnsureHead(int64_t count);

 private:
  bool PreadInto(std::string& buffer, int64_t offset, int64_t count);

  int fd_ = -1;
  int64_t size_ = 0;
  std::string head_;         // bytes from offset 0
  std::string tail_;         // bytes from offset tail_offset_ to the end
  int64_t tail_offset_ = 0;
  std::string scratch_;
};
