// `tagloom-cli strip FILE...`: removes every tag, keeping the audio.
#include <iostream>

#include "tag/TagFileSystem.h"
#include "tag/clsID3.h"
#include "tools/cli/Commands.h"
#include "tools/cli/FileAccess.h"

int Commands::Strip(const std::vector<std::string>& args) {
  if (args.empty()) {
    std::cerr << "tagloom-cli strip: no file given\nusage: tagloom-cli strip FILE...\n";
    return 2;
  }
  TagFileSystem::RemovePendingFilesOnSignals();
  int status = 0;
  for (const std::string& file : args) {
    std::string why;
    if (!FileAccess::CanRead(file, why)) {
      std::cerr << "tagloom-cli strip: cannot read '" << file << "': " << why << "\n";
      status = 1;
      continue;
    }
    clsID3 tag;
    tag.SetFileName(file);
    tag.DeleteID3Tags();
    if (!tag.LastWriteSucceeded()) {
      std::cerr << "tagloom-cli strip: '" << file << "' was not changed: " << tag.LastWriteError()
                << "\n";
      status = 1;
    }
  }
  return status;
}
