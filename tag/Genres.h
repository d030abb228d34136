#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Genres {

inline constexpr int32_t kNone = 255;
inline constexpr int32_t kOther = 12;
inline constexpr int32_t kRemix = -1;
inline constexpr int32_t kCover = -2;

/// The name of a genre number; empty outside 0..147, 255, -1 and -2.
std::u16string_view GenreName(int32_t id);

/// The genre number whose name matches the text; 255 for empty or all-space text, 12 for no match.
int32_t ToGenreID(std::u16string_view text);

/// The match key: "/", " and ", "&", "-", "+" and spaces removed, then lower case.
std::u16string NormalizeGenreText(std::u16string_view text);

/// The genre as people name it: the genre text, but a bare number in it (as v2.4 allows) by its
/// name; without a text (or with only further "(18)"-style numbers) the name of the genre
/// number; where the table names none (255, 148 and up), the genre frame's text as it was
/// stored ("(255)"), which may be empty.
std::u16string ShownName(std::u16string_view genre, int32_t id, std::u16string_view stored);

}  // namespace Genres
