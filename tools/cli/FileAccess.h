#pragma once

#include <optional>
#include <string>
#include <string_view>

// Checks the writing commands make before they touch a file.
namespace FileAccess {

/// True when the path names a regular file this process can open for reading; otherwise the
/// reason for people: the system's, or "not a regular file".
bool CanRead(const std::string& path, std::string& why);

/// UTF-8 as UTF-16 code units; nothing when the bytes are not well-formed UTF-8.
std::optional<std::u16string> DecodeStrictUtf8(std::string_view bytes);

}  // namespace FileAccess
