// The parts both roads of `extract` share: its messages, the paths given, and the folder walk.
#include "tools/cli/extract/ExtractParts.h"

#include <cstring>
#include <exception>
#include <iostream>

#include "batch/FolderScan.h"
#include "batch/RowReader.h"
#include "platform/FileNames.h"
#include "tools/cli/CliArgs.h"
#include "tools/cli/extract/ExtractShown.h"

size_t ExtractOptions::PathCount() const {
  size_t count = 0;
  for (const Input& input : inputs) count += input.list ? input.list->Count() : 1;
  return count;
}

namespace ExtractParts {

namespace {
const char* command_name = "extract";
}  // namespace

void SetCommand(const char* name) { command_name = name; }

void Say(std::string_view text) {
  std::cerr << "tagloom-cli " << command_name << ": " << CliArgs::OneLine(text) << "\n";
}

void Unread::File(const QString& path, const std::string& why) {
  Tell("cannot read '" + FileNames::ToStdBytes(path) + "': " + why + "; its row stays empty");
}

void Unread::Folder(const QString& path, const std::string& why) {
  QString shown = path;
  if (shown.size() > 1 && shown.endsWith(u'/')) shown.chop(1);
  Tell("cannot read the folder '" + FileNames::ToStdBytes(shown) + "': " + why);
}

void Unread::Tell(const std::string& text) {
  Say(text);
  ++count_;
}

bool Inputs::Next(std::string& path) {
  while (at_ < options_.inputs.size()) {
    const ExtractOptions::Input& input = options_.inputs[at_];
    if (!input.list) {
      ++at_;
      path = input.path;
      return true;
    }
    std::string why;
    if (input.list->Next(path, why)) return true;
    if (input.list->Failed()) {
      problem_ = "cannot read the list '" + input.path + "': " + why;
      at_ = options_.inputs.size();
      return false;
    }
    ++at_;
  }
  return false;
}

RowReader::Options RowsOf(const ExtractOptions& options) {
  RowReader::Options rows;
  rows.columns = ExtractShown::RunColumns(options);
  rows.decoder = options.decoder;
  rows.jobs = options.jobs;
  rows.totals = options.summary;
  rows.folder_pattern =
      QStringLiteral("*.") + FolderScan::TypedExtension(FileNames::ToText(options.ext));
  rows.read = RowReader::EngineRead(options.index, options.other);
  return rows;
}

}  // namespace ExtractParts
