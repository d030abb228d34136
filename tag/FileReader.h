#pragma once

#include <cstdint>
#include <memory>
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
  /// Closes the file; buffers stay for the next file unless they grew large.
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
  // Bytes read from the file: grown without zero-filling, kept from one file to the next, so a
  // batch of reads costs no clearing and few allocations.
  class Buffer {
   public:
    char* Reserve(size_t count);  // room for count bytes; keeps the first size() bytes
    void SetSize(size_t count) { size_ = count; }
    size_t size() const { return size_; }
    std::string_view View() const { return {data_.get(), size_}; }
    void Release(size_t keep_capacity);

   private:
    std::unique_ptr<char[]> data_;
    size_t size_ = 0;
    size_t capacity_ = 0;
  };

  // Reads [offset, offset + count) to the buffer, from byte `from` of it on; the buffer ends
  // where the bytes that arrived end.
  void PreadInto(Buffer& buffer, size_t from, int64_t offset, int64_t count);

  int fd_ = -1;
  int64_t size_ = 0;
  Buffer head_;  // bytes from offset 0
  Buffer tail_;  // bytes from offset tail_offset_ to the end
  int64_t tail_offset_ = 0;
  Buffer scratch_;
};
