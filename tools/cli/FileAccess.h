#pragma once

#include <string>

// Checks the writing commands make before they touch a file.
namespace FileAccess {

/// True when the path names a regular file this process can open for reading; otherwise the
/// reason for people: the system's, or "not a regular file".
bool CanRead(const std::string& path, std::string& why);

/// False, with the reason for people, when the content is another audio format than MPEG:
/// the writers change MP3 files only and must never touch one of those.
bool IsMpegOnly(const std::string& path, std::string& why);

}  // namespace FileAccess
