#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tag/LegacyText.h"

/// The legacy-text setting of the window and of `extract --legacy-text`: Windows-1252 as always,
/// a code page detected per file with uchardet, or one the user names as iconv spells it.
namespace LegacyText {

/// The setting that keeps the built-in Windows-1252.
inline constexpr std::string_view kDefault = "windows-1252";
/// The setting that detects the code page of each file.
inline constexpr std::string_view kDetect = "detect";

/// True for a name that means Windows-1252 (any letter case; "cp1252" too), which the engine
/// reads by itself, exactly as it always has.
bool IsDefault(std::string_view setting);

/// Opens a converter as iconv_open does (the names to and from), giving (void*)-1 and errno when
/// it cannot; tests give one that fails as a process out of descriptors or memory does.
using ConverterOpener = void* (*)(const char* to, const char* from);

/// The decoder for a setting: none for Windows-1252 (empty counts as that too); for an unknown
/// code page none either, and `problem` says why. `opener` null: iconv_open.
std::shared_ptr<LegacyTextDecoder> DecoderFor(std::string_view setting, std::string& problem,
                                              ConverterOpener opener = nullptr);

/// The code page as the "Decoded as" column shows it: lower case, Windows-1252 for empty.
std::string ShownName(std::string_view code_page);

}  // namespace LegacyText
