// `tagloom-cli strip FILE...`: removes every tag, keeping the audio.
#include <iostream>

#include "tag/TagFileSystem.h"
#include "tag/clsID3.h"
#include "tools/cli/CliArgs.h"
#include "tools/cli/Commands.h"
#include "tools/cli/FileAccess.h"

namespace {

constexpr const char* kHelp =
    "usage: tagloom-cli strip [--] FILE...\n"
    "Removes the ID3v2, Lyrics3 and ID3v1 tags of each file, keeping the audio; each file is\n"
    "replaced in one step.\n"
    "  --         what follows are files, even when they start with -\n"
    "  --help, -h show this text\n"
    "Exit status: 0 every file was changed, 1 some file was not (each is named with the\n"
    "reason), 2 a usage error.\n";

int Usage(const std::string& problem) {
  std::cerr << "tagloom-cli strip: " << problem << "\n\n" << kHelp;
  return Commands::kUsage;
}

}  // namespace

namespace Commands {

int Strip(const std::vector<std::string>& args) {
  std::vector<std::string> files;
  bool options_done = false;
  for (const std::string& arg : args) {
    if (options_done || !CliArgs::IsOption(arg)) {
      files.push_back(arg);
    } else if (arg == "--") {
      options_done = true;
    } else if (CliArgs::IsHelp(arg)) {
      std::cout << kHelp;
      return std::cout.flush() ? kSuccess : kFailure;
    } else {
      return Usage("unknown option '" + arg + "'");
    }
  }
  if (files.empty()) return Usage("no file given");
  TagFileSystem::RemovePendingFilesOnSignals();
  int status = kSuccess;
  for (const std::string& file : files) {
    std::string why;
    if (!FileAccess::CanRead(file, why)) {
      std::cerr << "tagloom-cli strip: cannot read '" << CliArgs::OneLine(file) << "': " << why
                << "\n";
      status = kFailure;
      continue;
    }
    if (!FileAccess::IsMpegOnly(file, why)) {
      std::cerr << "tagloom-cli strip: '" << CliArgs::OneLine(file) << "' was not changed: " << why
                << "\n";
      status = kFailure;
      continue;
    }
    clsID3 tag;
    tag.SetFileName(file);
    tag.DeleteID3Tags();
    if (!tag.LastWriteSucceeded()) {
      std::cerr << "tagloom-cli strip: '" << CliArgs::OneLine(file)
                << "' was not changed: " << tag.LastWriteError() << "\n";
      status = kFailure;
    }
  }
  return status;
}

}  // namespace Commands
