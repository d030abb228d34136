#pragma once

#include <string>
#include <string_view>

// Decoders of the ID3v2 text encodings. None fails on any input.

/// UTF-16 with byte-order marks anywhere in the input; bytes before the first mark are
/// taken one character per byte, unless they read as UTF-16 little-endian (ReadsAsUTF16LE).
std::u16string DecodeUTF16(std::string_view bytes);

/// Whether bytes without a mark are UTF-16 little-endian: an even number of them, whose odd
/// bytes are mostly zero, or that decode without a stray surrogate while one of the first two
/// is zero (one character per byte, the text would end there). "AB" does not.
bool ReadsAsUTF16LE(std::string_view bytes);

/// Exchanges bytes 1 and 2, 3 and 4, ...; an odd last byte stays.
std::string SwapBytePairs(std::string_view bytes);

/// UTF-16 big-endian without a mark.
std::u16string DecodeUTF16BE(std::string_view bytes);

/// The text before the first NUL; the whole text when it holds none.
std::u16string CutAtNul(std::u16string_view text);

/// Where the first NUL stands, or npos: std::u16string_view::find, four units at a time.
size_t FindNul(std::u16string_view text);

/// Little-endian code units; an odd last byte is dropped.
std::u16string DecodeUTF16LE(std::string_view bytes);
