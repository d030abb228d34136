// TagLib's own reading loop over files of any format: each file opened by FileRef, its unified
// properties and audio properties read and printed, one line a file.
//   bench_taglib_formats_read LIST_FILE > lines
#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s LIST_FILE\n", argv[0]);
    return 2;
  }
  std::ifstream list(argv[1]);
  std::string path;
  std::string line;
  while (std::getline(list, path)) {
    if (path.empty()) continue;
    const TagLib::FileRef file(path.c_str());
    line.assign(path);
    if (!file.isNull()) {
      for (const auto& [key, values] : file.file()->properties()) {
        line += '\t';
        line += key.to8Bit(true);
        line += '=';
        line += values.toString("; ").to8Bit(true);
      }
      if (const TagLib::AudioProperties* audio = file.audioProperties())
        line += "\t" + std::to_string(audio->lengthInMilliseconds()) + " " +
                std::to_string(audio->bitrate()) + " " + std::to_string(audio->sampleRate()) +
                " " + std::to_string(audio->channels());
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  return 0;
}
