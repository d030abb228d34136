#pragma once

#include <string>
#include <string_view>

/// Each 16-bit unit through its simple lower-case mapping (the Unicode one, unit by unit).
std::u16string LowerCaseUnits(std::u16string_view text);
void LowerCaseInPlace(std::u16string& text);
char16_t LowerCaseUnit(char16_t unit);
