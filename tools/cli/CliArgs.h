#pragma once

#include <string>
#include <vector>

namespace CliArgs {

/// Paths from a list file, one per line ("-" reads standard input); a trailing CR is dropped.
/// False when the list cannot be read.
bool ReadPathList(const std::string& list, std::vector<std::string>& paths);

}  // namespace CliArgs
