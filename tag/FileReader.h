#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

/// Bounds-safe reads of one open file at 1-based positions, with few preads: a window that starts
/// at the start of the file and follows the tag walk (header, frames, first audio frame) and the
/// end of the file (ID3v1, Lyrics3) are served from memory. Reads past either end of the file
/// yield only the bytes that exist.
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
  /// The last modification of the open file.
  const timespec& Modified() const { return modified_; }
  /// Why the last Open failed: the system's error, or 0 when the path names something that is
  /// not a regular file.
  int OpenError() const { return open_error_; }
  /// The system's error of the first read that failed since Open (an I/O error), or 0.
  int ReadError() const { return read_error_; }

  /// The bytes of [pos, pos + count) that lie inside the file. The view stays valid until the
  /// next call of Read or Hold.
  std::string_view Read(int64_t pos, int64_t count);

  /// Copies the bytes of [pos, pos + count) that lie inside the file to `out`, reading straight
  /// into it when they are not held, and returns how many arrived. When `hold_to` lies past the
  /// range, the window then holds the 0-based offsets from the range's end to `hold_to`, fetched
  /// by the same read.
  size_t ReadInto(int64_t pos, int64_t count, char* out, int64_t hold_to = 0);

  /// Reads on as if the file were only its bytes [from, from + length): a tag kept inside a
  /// container of another format is then read as the start of a file. Size() becomes the
  /// range's; Close ends it.
  void Narrow(int64_t from, int64_t length);

  /// Makes the window hold the 0-based offsets [from, to) (capped at the file's size), so later
  /// reads there cost nothing. The window grows when `from` lies inside it, else moves there.
  void Hold(int64_t from, int64_t to);

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

  // Reads up to `want` bytes from `offset` on to `out`, going on after short reads; returns how
  // many arrived (fewer only at the end of the file or on a failure).
  size_t PreadAll(char* out, size_t want, int64_t offset) const;
  // Reads [offset, offset + count) to the buffer, from byte `from` of it on; the buffer ends
  // where the bytes that arrived end.
  void PreadInto(Buffer& buffer, size_t from, int64_t offset, int64_t count);
  // Reads the first and the last bytes into the window and the tail.
  void ReadEnds();

  int fd_ = -1;
  int64_t size_ = 0;
  int64_t base_ = 0;  // where the bytes read as the file's start lie in it (Narrow)
  timespec modified_{};
  int open_error_ = 0;
  mutable int read_error_ = 0;
  Buffer head_;  // the window: bytes from offset head_offset_ on
  int64_t head_offset_ = 0;
  Buffer tail_;  // bytes from offset tail_offset_ to the end
  int64_t tail_offset_ = 0;
  Buffer scratch_;
};
