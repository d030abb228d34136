#pragma once

#include <string>
#include <vector>

// Each subcommand takes the arguments after its name and returns the exit status.
namespace Commands {

/// Every file was read (or changed) and the output written.
inline constexpr int kSuccess = 0;
/// The output, a file to change, or a list of paths could not be written or read.
inline constexpr int kFailure = 1;
/// The arguments were wrong; nothing was done.
inline constexpr int kUsage = 2;
/// The output is whole, but files or folders in it could not be read; each was named.
inline constexpr int kNotAllRead = 3;

int Audit(const std::vector<std::string>& args);
int Dump(const std::vector<std::string>& args);
int Extract(const std::vector<std::string>& args);
int Set(const std::vector<std::string>& args);
int Strip(const std::vector<std::string>& args);

/// The lines of the program's help that describe `set`, made from the options it takes.
std::string SetHelp();

}  // namespace Commands
