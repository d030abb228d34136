#include "tools/cli/CliArgs.h"

#include <fstream>
#include <iostream>

namespace CliArgs {

bool ReadPathList(const std::string& list, std::vector<std::string>& paths) {
  std::ifstream file;
  std::istream* in = &std::cin;
  if (list != "-") {
    file.open(list, std::ios::binary);
    if (!file) return false;
    in = &file;
  }
  for (std::string line; std::getline(*in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) paths.push_back(line);
  }
  return !in->bad();
}

}  // namespace CliArgs
