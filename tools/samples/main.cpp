// tagloom-make-samples OUTDIR: writes the bundled sample MP3 files into OUTDIR.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>

#include "tools/samples/SampleBuilder.h"

namespace fs = std::filesystem;

namespace {

// A temporary file beside the target, then a rename, so an interrupted build never leaves a
// truncated sample behind.
bool WriteFile(const fs::path& path, const std::string& bytes) {
  const fs::path temporary = path.string() + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code error;
  fs::rename(temporary, path, error);
  if (error) fs::remove(temporary, error);
  return !error;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: tagloom-make-samples OUTDIR\n";
    return 2;
  }
  const fs::path folder = argv[1];
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) {
    std::cerr << "tagloom-make-samples: cannot create " << folder.string() << ": "
              << error.message() << "\n";
    return 1;
  }
  for (const auto& sample : SampleBuilder::BundledSamples()) {
    if (!WriteFile(folder / sample.name, sample.bytes)) {
      std::cerr << "tagloom-make-samples: cannot write " << (folder / sample.name).string() << "\n";
      return 1;
    }
  }
  return 0;
}
