#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

/// Bytes of a file held as they are. Unlike std::string, making room does not clear it first, so
/// a large picture can be read straight into its final place at the cost of one copy.
class ByteBlock {
 public:
  ByteBlock() = default;
  /// Room for `size` bytes whose content is left for the caller to write.
  explicit ByteBlock(size_t size) : data_(size ? new char[size] : nullptr), size_(size) {}
  explicit ByteBlock(std::string_view bytes) : ByteBlock(bytes.size()) {
    if (size_) std::memcpy(data_.get(), bytes.data(), size_);
  }

  char* data() { return data_.get(); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::string_view View() const { return {data_.get(), size_}; }
  /// Keeps only the first `size` bytes (a read that delivered fewer).
  void Shrink(size_t size) { size_ = std::min(size, size_); }

 private:
  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
};
