#pragma once

#include <functional>
#include <string>
#include <vector>

class clsID3;

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
/// Reads one file into a tag object, in place of its SetFileName.
using FileRead = std::function<void(clsID3& tag, const std::string& path)>;
/// Opens an index by its file for `dump --index`; null reads every file.
using IndexOpener = std::function<FileRead(const std::string& file)>;
/// `dump` with `--index`, which opens the index through `open_index`.
int DumpWith(const std::vector<std::string>& args, const IndexOpener& open_index);
/// `dump` as the build with the index gives it.
int DumpIndexed(const std::vector<std::string>& args);
/// New, changed and gone files under the paths given, against an index.
int Changes(const std::vector<std::string>& args);
int Extract(const std::vector<std::string>& args);
int Set(const std::vector<std::string>& args);
int Strip(const std::vector<std::string>& args);

/// The lines of the program's help that describe `set`, made from the options it takes.
std::string SetHelp();

}  // namespace Commands
