#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "tag/clsID3.h"
#include "tools/samples/SampleBuilder.h"

// Files on disk for the writer's tests: a private folder, whole-file reads and the tag object.
namespace WriterTest {

using namespace SampleBuilder;

class Folder {
 public:
  Folder() {
    std::string name = (std::filesystem::temp_directory_path() / "tagloom-writer-XXXXXX").string();
    path_ = ::mkdtemp(name.data());
  }
  ~Folder() { std::filesystem::remove_all(path_); }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  std::string Write(const std::string& name, std::string_view bytes) const {
    const std::string path = (path_ / name).string();
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  const std::filesystem::path& Path() const { return path_; }
  /// Every name in the folder, hidden ones included.
  size_t Entries() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(path_),
                                             std::filesystem::directory_iterator()));
  }

 private:
  std::filesystem::path path_;
};

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline std::unique_ptr<clsID3> Open(const std::string& path) {
  auto tag = std::make_unique<clsID3>();
  tag->SetFileName(path);
  return tag;
}

/// Silent MPEG audio that no tag reader mistakes for a tag.
inline Bytes Audio(int frames = 20) { return SilentFrames(kMpeg1, frames); }

/// The ID3v2 tag data (after the header) of a file the writer made.
inline std::string TagData(const std::string& file) {
  const auto size = (static_cast<size_t>(file[6]) << 21) | (static_cast<size_t>(file[7]) << 14) |
                    (static_cast<size_t>(file[8]) << 7) | static_cast<size_t>(file[9]);
  return file.substr(10, size);
}

inline std::string Body(char e, std::string_view text) {
  return std::string(1, e) + std::string(text);
}

}  // namespace WriterTest
