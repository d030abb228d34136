#pragma once

#include <QString>
#include <string_view>

#include "platform/formats/OtherFormatReader.h"

class clsID3;

/// Reading every audio format: after the engine's read, a file of another format is read
/// through an OtherFormatReader in its place, and an MPEG file's APEv2 tag adds what the ID3
/// tags leave empty.
namespace OtherFormats {

/// The folder scan's pattern for every audio format, in the form "*.mp3/*.flac/...", each name
/// matched against each.
QString Pattern();
/// The file dialog's filter for them: "*.mp3 *.flac ...".
QString DialogFilter();

/// Completes the engine's read of `tag`'s file through `reader`; `scratch` is reused from file
/// to file.
void Complete(const OtherFormatReader& reader, OtherFormatRead& scratch, clsID3& tag);

/// What an MPEG file's own cells show of the new columns: "MP3", "MP2", "MP1".
std::u16string_view MpegFormat(int layer);

}  // namespace OtherFormats
