// Reads each listed file with the Tagloom engine and prints the eleven result-table fields and
// the audio properties, one line a file.
//   bench_tagloom_read LIST_FILE > lines
#include <cstdio>
#include <string>

#include "bench/BenchCommon.h"
#include "tag/clsID3.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s LIST_FILE\n", argv[0]);
    return 2;
  }
  bench::Run run(argv[1]);
  std::string line;
  run.Start();
  clsID3 tag;  // one tag object for the whole batch, as the extraction run uses it
  for (const std::string& path : run.Paths()) {
    tag.SetFileName(path);
    line.assign(path);
    for (const std::u16string* field :
         {&tag.Title(), &tag.Artist(), &tag.Album(), &tag.TrackNumber(), &tag.Year(),
          &tag.Comments(), &tag.Lyrics(), &tag.Composer(), &tag.Band(), &tag.Conductor(),
          &tag.Copyright()}) {
      line += '\t';
      bench::AppendUtf8(line, *field);
    }
    bench::AppendAudio(line, tag.BitRate() / 1000, tag.SamplingRateFrequency(), tag.length(),
                       tag.ChannelMode() == 3 ? 1 : 2);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  std::fflush(stdout);
  run.Finish("tagloom");
  return 0;
}
