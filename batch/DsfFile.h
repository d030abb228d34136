#pragma once

#include <string>

class clsID3;

/// DSF, Sony's file of 1-bit DSD audio, which TagLib does not read: its DSD and fmt chunks give
/// the audio, and the ID3v2 tag its metadata chunk points to is read by the engine.
namespace DsfFile {

/// Reads the file at `path` into `tag` in the engine's place; false, with `tag` untouched, when
/// the file does not begin with a DSD chunk.
bool Read(clsID3& tag, const std::string& path);

}  // namespace DsfFile
