// Reads each listed file with TagLib and prints the same eleven fields and audio properties as
// bench_tagloom_read, one line a file.
//   bench_taglib_read LIST_FILE > lines
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>
#include <taglib/unsynchronizedlyricsframe.h>

#include <cstdio>
#include <string>

#include "bench/BenchCommon.h"
#include "text/Utf.h"

namespace {

std::u16string Utf16(const TagLib::String& text) {
  std::u16string out;
  out.reserve(text.size());
  for (const wchar_t c : text) Utf::AppendUtf16(out, static_cast<char32_t>(c));
  return out;
}

std::u16string Number(unsigned value) {
  if (value == 0) return {};
  const std::string text = std::to_string(value);
  return std::u16string(text.begin(), text.end());
}

std::u16string FirstText(TagLib::ID3v2::Tag* tag, const char* id) {
  if (!tag) return {};
  const TagLib::ID3v2::FrameList& frames = tag->frameListMap()[id];
  return frames.isEmpty() ? std::u16string() : Utf16(frames.front()->toString());
}

std::u16string Lyrics(TagLib::ID3v2::Tag* tag) {
  if (!tag) return {};
  std::u16string lyrics;
  for (TagLib::ID3v2::Frame* frame : tag->frameListMap()["USLT"]) {
    auto* uslt = dynamic_cast<TagLib::ID3v2::UnsynchronizedLyricsFrame*>(frame);
    if (uslt && uslt->description().isEmpty()) lyrics = Utf16(uslt->text());
  }
  return lyrics;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s LIST_FILE\n", argv[0]);
    return 2;
  }
  bench::Run run(argv[1]);
  std::string line;
  run.Start();
  for (const std::string& path : run.Paths()) {
    TagLib::MPEG::File file(path.c_str());
    TagLib::Tag* tag = file.tag();
    TagLib::ID3v2::Tag* id3v2 = file.hasID3v2Tag() ? file.ID3v2Tag() : nullptr;
    line.assign(path);
    const std::u16string fields[] = {tag ? Utf16(tag->title()) : u"",
                                     tag ? Utf16(tag->artist()) : u"",
                                     tag ? Utf16(tag->album()) : u"",
                                     tag ? Number(tag->track()) : u"",
                                     tag ? Number(tag->year()) : u"",
                                     tag ? Utf16(tag->comment()) : u"",
                                     Lyrics(id3v2),
                                     FirstText(id3v2, "TCOM"),
                                     FirstText(id3v2, "TPE2"),
                                     FirstText(id3v2, "TPE3"),
                                     FirstText(id3v2, "TCOP")};
    for (const std::u16string& field : fields) {
      line += '\t';
      bench::AppendUtf8(line, field);
    }
    const TagLib::MPEG::Properties* audio = file.audioProperties();
    if (audio) {
      bench::AppendAudio(line, audio->bitrate(), audio->sampleRate(),
                         audio->lengthInMilliseconds() / 1000.0, audio->channels());
    } else {
      bench::AppendAudio(line, 0, 0, 0, 0);
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  std::fflush(stdout);
  run.Finish("taglib");
  return 0;
}
