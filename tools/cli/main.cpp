#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "tools/cli/CliArgs.h"
#include "tools/cli/Commands.h"

namespace {

constexpr const char* kUsage =
    "usage: tagloom-cli COMMAND [ARGS]\n"
    "\n"
    "Reads, writes and removes the tags of MP3 files without a window.\n"
    "\n"
    "commands:\n"
    "  dump FILE...             one JSON line per file: every tag field, flag and audio property\n"
    "  dump --files-from LIST   paths from LIST, one per line (- for standard input)\n"
    "  extract [--ext EXT] [--format text|clipboard|xlsx|csv|json] [-o FILE] PATH...\n"
    "                           one row per file, from the files and the folder trees given,\n"
    "                           as the window's exports write it; --files-from LIST as for dump\n"
    "  set FILE [OPTION TEXT]...  changes the given fields and writes the tags back; an empty\n"
    "                           TEXT removes the field. Options: --title --artist --album\n"
    "                           --track --tracks --year --comment --composer --band --conductor\n"
    "                           --copyright --genre --lyricist --bpm --encoded-by --initial-key\n"
    "                           --languages --original-album --original-file-name\n"
    "                           --original-lyricist --original-artist --original-year\n"
    "                           --file-owner --interpreted-by --disc --discs --publisher\n"
    "                           --radio-station --radio-owner --isrc --lyrics --copyright-url\n"
    "                           --audio-url --audio-source-url --radio-url --payment-url\n"
    "                           --publisher-url; --lyrics-file F (UTF-8 text, line ends kept);\n"
    "                           --genre-id N (any signed 32-bit number)\n"
    "  strip FILE...            removes the ID3v2, Lyrics3 and ID3v1 tags, keeping the audio\n"
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
#ifdef TAGLOOM_CLI_EXTRACT
      {"extract", &Commands::Extract},
#endif
      {"set", &Commands::Set},
      {"strip", &Commands::Strip},
  };
  const auto found = commands.find(command);
  if (found == commands.end()) {
    std::cerr << "tagloom-cli: unknown command '" << CliArgs::OneLine(command) << "'\n\n" << kUsage;
    return 2;
  }
  return found->second(args);
}
