#pragma once

#include <climits>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace CliArgs {

/// The longest path a list line may hold, in bytes: the platform's limit less the closing NUL.
inline constexpr size_t kLongestPath = PATH_MAX - 1;

/// Paths from a list file, one per line ("-" reads standard input); a trailing CR is dropped and
/// empty lines are passed over. False, with the reason for people in `why`, when the list cannot
/// be read or a line is no path: longer than kLongestPath, or holding a NUL, which would cut it
/// short. Reading stops at the first such line, so an endless input cannot fill the memory.
bool ReadPathList(const std::string& list, std::vector<std::string>& paths, std::string& why);

/// True for "--help" and "-h".
bool IsHelp(const std::string& arg);

/// True for an argument that looks like an option: "-" followed by anything ("-" alone is a
/// path, by custom standard input's name).
bool IsOption(const std::string& arg);

/// Text for one message line on a terminal: control characters (a CR or LF in a file name, say)
/// are written as \r, \n, \t or \xHH, so nothing breaks the line or writes over it.
std::string OneLine(std::string_view text);

}  // namespace CliArgs
