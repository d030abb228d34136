#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

/// The audio formats told apart by their first bytes, not by the file's name.
namespace AudioSniff {

/// The container the first bytes of the file at `path` name, an ID3v2 tag before them passed
/// over: "FLAC", "Ogg Vorbis", "Opus", "MP4", "WMA", "WAV", "AIFF", "WavPack", ...; empty for
/// MPEG audio, bytes no reader knows, or a file that cannot be opened. `size` is the file's,
/// `declared` the size a RIFF or FORM header gives the file (-1 where none does). Where no
/// format is named, `ape_footer` (when given) says whether an APEv2 tag ends the file.
/// `modified` (when given) takes the file's last modification. Only a regular file is read: a
/// FIFO or a device names no format and is left to the engine, which says what it is.
std::string Format(const std::string& path, int64_t& size, int64_t& declared,
                   bool* ape_footer = nullptr, timespec* modified = nullptr);

/// The container `head`, a file's first bytes after any ID3v2 tag, standing at byte `at`, names,
/// as Format names it; `declared` as Format gives it.
std::string FromBytes(std::string_view head, int64_t at, int64_t& declared);

/// Whether `head`, a file's first bytes after any ID3v2 tag, names a container Format names.
bool NamesContainer(std::string_view head);

}  // namespace AudioSniff
