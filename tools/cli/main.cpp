#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "tools/cli/Commands.h"

namespace {

constexpr const char* kUsage =
    "usage: tagloom-cli COMMAND [ARGS]\n"
    "\n"
    "Reads the tags of MP3 files without a window.\n"
    "\n"
    "commands:\n"
    "  dump FILE...             one JSON line per file: every tag field, flag and audio property\n"
    "  dump --files-from LIST   paths from LIST, one per line (- for standard input)\n"
    "\n"
    "options:\n"
    "  --help      show this text\n"
    "  --version   show the version\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << kUsage;
    return 0;
  }
  if (command == "--version") {
    std::cout << "tagloom-cli " << TAGLOOM_VERSION << "\n";
    return 0;
  }
  const std::map<std::string, int (*)(const std::vector<std::string>&)> commands = {
      {"dump", &Commands::Dump},
  };
  const auto found = commands.find(command);
  if (found == commands.end()) {
    std::cerr << "tagloom-cli: unknown command '" << command << "'\n\n" << kUsage;
    return 2;
  }
  return found->second(args);
}
