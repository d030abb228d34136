#pragma once

#include <cmath>
#include <memory>
#include <string>
#include <string_view>

#include "tag/clsID3.h"
#include "tests/support/TestFiles.h"
#include "tools/samples/SampleBuilder.h"

namespace TagFile {

using namespace SampleBuilder;

/// The tag object after reading a file that holds exactly these bytes.
inline std::unique_ptr<clsID3> Read(std::string_view bytes) {
  TestFiles::TempDir dir;
  auto tag = std::make_unique<clsID3>();
  tag->SetFileName(dir.Write("file.mp3", bytes));
  return tag;
}

/// A lone MPEG-1 Layer III 128 kbit/s 44.1 kHz stereo header, followed by `extra` zero bytes.
inline Bytes Mpeg1Header(size_t extra = 0) {
  return Bytes("\xFF\xFB\x90\x00", 4) + Bytes(extra, '\0');
}

/// The bytes after the first frame header up to the end of the audio, recovered from a length
/// (bit rate × length / 8). The analysis counts E − (P + 4), one less than those bytes; that one
/// is added back here so the tests can speak of whole byte ranges.
inline long long CountedAudioBytes(const clsID3& tag) {
  return std::llround(tag.length() * tag.BitRate() / 8) + 1;
}

}  // namespace TagFile
