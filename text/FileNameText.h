#pragma once

#include <string>
#include <string_view>

// File names are bytes; the lists, the exports and the messages show them as 16-bit text. Names
// in UTF-8 show as their characters. Any other byte shows as one private-use character,
// U+EF00 plus the byte (U+EF80..U+EFFF), and turns back into that byte, so a name read from a
// folder opens the same file, whatever its bytes. Standard C++ only: the command line's dump
// shows names this way too.
namespace FileNameText {

inline constexpr char16_t kFirstByteMark = 0xEF80;
inline constexpr char16_t kLastByteMark = 0xEFFF;

/// The name's bytes as text; Encode gives the bytes back exactly.
std::u16string Decode(std::string_view bytes);

/// The bytes of a name shown by Decode. Text from elsewhere is written as UTF-8; a lone
/// surrogate, which UTF-8 cannot hold, becomes U+FFFD.
std::string Encode(std::u16string_view text);

}  // namespace FileNameText
