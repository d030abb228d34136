#pragma once

#include <string>
#include <string_view>

// The one place where file bytes become characters and back. The code page is Windows-1252,
// made reversible: its five unassigned bytes map to the C1 controls of the same value, so every
// byte string survives a round trip through text.
namespace CodePage {

/// One character per byte.
std::u16string BytesToText(std::string_view bytes);

/// One byte per 16-bit code unit; a unit the code page cannot hold becomes "?".
std::string TextToBytes(std::u16string_view text);

/// The character of one byte.
char16_t ByteToChar(unsigned char byte);

/// The byte of one character, or nothing when the code page cannot hold it.
bool CharToByte(char16_t ch, unsigned char& byte);

}  // namespace CodePage
