// The whole read of one file, from bytes on disk to every property and every cell of its row,
// over any byte string: with legacy text as Windows-1252, detected, in a fixed code page and in
// a stateful one, whose shifts a field may cut in half.
#include <sys/mman.h>
#include <unistd.h>

#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "batch/CellText.h"
#include "batch/ColumnCatalogue.h"
#include "legacy/IconvLegacyText.h"
#include "tag/clsID3.h"

namespace {

// One in-memory file reused for every input: no disk traffic, and the reader still goes
// through open, fstat and pread as it does on a real file.
int MemoryFile() {
  static const int fd = [] {
    const int made = ::memfd_create("tagloom-fuzz", MFD_CLOEXEC);
    if (made < 0) std::abort();
    return made;
  }();
  return fd;
}

size_t Touch(const std::u16string& text) { return text.size() + (text.empty() ? 0 : text.front()); }

size_t Touch(const std::shared_ptr<MultiFrameData>& list) {
  if (!list) return 0;
  size_t sum = 0;
  for (int32_t i = 1; i <= list->Count(); ++i) sum += Touch(list->Item(i));
  return sum;
}

// Every column of the table, as a run with all of them chosen makes the row.
size_t TouchRow(const clsID3& tag, const QString& path) {
  static CellText made;
  const ColumnCatalogue::Source source{tag, path};
  size_t sum = 0;
  for (const ColumnCatalogue::Column& column : ColumnCatalogue::All()) {
    if (column.view) {
      sum += static_cast<size_t>(column.view(source).size());
    } else if (column.append) {
      made.clear();
      column.append(source, made);
      sum += made.size() + (made.size() == 0 ? 0 : made.data()[0]);
    }
  }
  return sum;
}

std::shared_ptr<LegacyTextDecoder> DecoderFor(const char* setting) {
  std::string problem;
  auto decoder = LegacyText::DecoderFor(setting, problem);
  if (!decoder) std::abort();
  return decoder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = MemoryFile();
  if (::ftruncate(fd, 0) != 0) std::abort();
  size_t done = 0;
  while (done < size) {
    const ssize_t wrote = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
    if (wrote <= 0) std::abort();
    done += static_cast<size_t>(wrote);
  }

  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  static const std::shared_ptr<LegacyTextDecoder> decoders[] = {
      nullptr, DecoderFor("detect"), DecoderFor("windows-1251"), DecoderFor("ISO-2022-CN-EXT")};
  for (const auto& decoder : decoders) {
    clsID3 row;
    row.SetPicturesWanted(false);
    row.SetPictureCountWanted(true);
    row.SetLegacyTextDecoder(decoder);
    row.SetFileName(path);
    volatile size_t cells = TouchRow(row, QString::fromStdString(path));
    (void)cells;
  }

  clsID3 tag;
  tag.SetFileName(path);

  // Every getter runs, so the properties computed on demand are exercised as well.
  volatile size_t sink = 0;
  sink = sink + Touch(tag.Title()) + Touch(tag.Artist()) + Touch(tag.Album()) +
         Touch(tag.TrackNumber()) + Touch(tag.Year()) + Touch(tag.Comments()) +
         Touch(tag.Lyrics()) + Touch(tag.Composer()) + Touch(tag.Band()) + Touch(tag.Conductor()) +
         Touch(tag.Copyright()) + Touch(tag.Genre()) + Touch(tag.Lyricist()) +
         Touch(tag.DiscNumber()) + Touch(tag.TracksTotal()) + Touch(tag.AttachedPictures()) +
         Touch(tag.ArtistURL()) + Touch(tag.CommercialInfo());
  sink = sink + static_cast<size_t>(tag.GenreID()) + tag.ID3v1Exists() + tag.ID3v2Exists() +
         tag.Lyrics3v1Exists() + tag.Lyrics3v2Exists() + static_cast<size_t>(tag.ID3RevisionV2());
  const double audio = tag.BitRate() + tag.FrameSize() + tag.length() +
                       tag.SamplingRateFrequency() + tag.Layer() + tag.MPEGVersion() +
                       tag.ChannelMode() + tag.Padding() + tag.FrameSamples() + tag.Encoding();
  sink = sink + static_cast<size_t>(audio == audio);
  return 0;
}
