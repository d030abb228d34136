#pragma once

#include <string>
#include <vector>

// Each subcommand takes the arguments after its name and returns the exit status:
// 0 success, 1 an output or a file to change could not be written, 2 a usage error.
namespace Commands {

int Dump(const std::vector<std::string>& args);
int Extract(const std::vector<std::string>& args);
int Set(const std::vector<std::string>& args);
int Strip(const std::vector<std::string>& args);

/// The lines of the program's help that describe `set`, made from the options it takes.
std::string SetHelp();

}  // namespace Commands
