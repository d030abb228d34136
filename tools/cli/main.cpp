#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "tools/cli/CliArgs.h"
#include "tools/cli/Commands.h"

namespace {

// The help text; the lines for `set` between its two halves come from the options it takes.
constexpr const char* kUsageHead =
    "usage: tagloom-cli COMMAND [ARGS]\n"
    "\n"
    "Reads, writes and removes the tags of MP3 files without a window.\n"
    "\n"
    "commands:\n"
    "  dump FILE...             one JSON line per file: every tag field, flag and audio property\n"
    "  dump --files-from LIST   paths from LIST, one per line (- for standard input)\n"
    "  extract [--ext EXT] [--format text|clipboard|xlsx|csv|json] [-o FILE] [--csv-safe] PATH...\n"
    "                           one row per file, from the files and the folder trees given,\n"
    "                           as the window's exports write it; --files-from LIST as for dump\n";
constexpr const char* kUsageTail =
    "  strip FILE...            removes the ID3v2, Lyrics3 and ID3v1 tags, keeping the audio\n"
    "\n"
    "Every command takes --help (its own text) and -- (what follows are paths, even when they\n"
    "start with -).\n"
    "\n"
    "exit status:\n"
    "  0  every file was read or changed and the output written\n"
    "  1  the output, a list of paths or a file to change could not be written or read\n"
    "  2  a usage error\n"
    "  3  dump and extract: the output was written, but some file or folder could not be read\n"
    "     (each is named, with the reason, on standard error)\n"
    "\n"
    "options:\n"
    "  --help      show this text\n"
    "  --version   show the version\n";

std::string Usage() { return kUsageHead + Commands::SetHelp() + kUsageTail; }

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << Usage();
    return 2;
  }
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << Usage();
    return 0;
  }
  if (command == "--version") {
    std::cout << "tagloom-cli " << TAGLOOM_VERSION << "\n";
    return 0;
  }
  const std::map<std::string, int (*)(const std::vector<std::string>&)> commands = {
      {"dump", &Commands::Dump},
#ifdef TAGLOOM_CLI_EXTRACT
      {"extract", &Commands::Extract},
#endif
      {"set", &Commands::Set},
      {"strip", &Commands::Strip},
  };
  const auto found = commands.find(command);
  if (found == commands.end()) {
    std::cerr << "tagloom-cli: unknown command '" << CliArgs::OneLine(command) << "'\n\n" << Usage();
    return 2;
  }
  return found->second(args);
}
