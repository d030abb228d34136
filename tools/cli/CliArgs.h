#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace CliArgs {

/// Paths from a list file, one per line ("-" reads standard input); a trailing CR is dropped.
/// False when the list cannot be read.
bool ReadPathList(const std::string& list, std::vector<std::string>& paths);

/// Text for one message line on a terminal: control characters (a CR or LF in a file name, say)
/// are written as \r, \n, \t or \xHH, so nothing breaks the line or writes over it.
std::string OneLine(std::string_view text);

}  // namespace CliArgs
