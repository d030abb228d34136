#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "platform/formats/OtherFormatReader.h"

class clsID3;

/// Reading every audio format: a file of another format is read through an OtherFormatReader
/// in the engine's place, and an MPEG file's APEv2 tag adds what the ID3 tags leave empty.
namespace OtherFormats {

/// The folder scan's pattern for every audio format, in the form "*.mp3/*.flac/...", each name
/// matched against each.
QString Pattern();
/// The file dialog's filter for them: "*.mp3 *.flac ...".
QString DialogFilter();

/// Reads the file at `path` through `reader` into `tag` when it is of another format, and says
/// so; false leaves the file to the engine, and `read` to Complete after the engine's read.
/// `read` is reused from file to file.
/// With `seen`, the engine's last read of `tag` left the file as another container
/// (clsID3::OtherContainer), and the reader takes the bytes it saw rather than looking again.
bool ReadOther(const OtherFormatReader& reader, OtherFormatRead& read, clsID3& tag,
               const std::string& path, bool seen = false);

/// Completes the engine's read of an MPEG file (or one no reader knows) with what ReadOther
/// left in `read`: its APEv2 tag, or "not audio" when the engine found no MPEG audio either.
void Complete(const OtherFormatRead& read, clsID3& tag);

/// What an MPEG file's own cells show of the new columns: "MP3", "MP2", "MP1".
std::u16string_view MpegFormat(int layer);

}  // namespace OtherFormats
