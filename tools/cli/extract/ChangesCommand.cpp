// `tagloom-cli changes`: the files new, changed or gone under the paths given since an index saw
// them, judged by directory entries and file status alone; no file is opened.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <set>

#include "readindex/ReadIndex.h"
#include "text/FileNameText.h"
#include "tools/cli/CliArgs.h"
#include "tools/cli/Commands.h"
#include "tools/cli/JsonText.h"

namespace {

constexpr const char* kHelp =
    "usage: tagloom-cli changes --index FILE [--ext EXT] [--format text|csv|json] [--] PATH...\n"
    "Lists the files with the extension EXT (default mp3) under the folders and files given\n"
    "that are new, changed or gone since the index FILE (of extract --index) last saw them,\n"
    "one line per file with its state: \"new\", \"changed\" or \"gone\". It reads only directory\n"
    "entries and file status, never a file, and changes nothing in the index.\n"
    "  text  the state, a tab and the path\n"
    "  csv   State,Path with a header line\n"
    "  json  JSON Lines: {\"State\":...,\"Path\":...}\n"
    "Exit status: 0 the list is whole, 1 the index could not be used, 2 a usage error, 3 some\n"
    "folder could not be read (each is named on standard error).\n";

int Usage(const std::string& problem) {
  std::cerr << "tagloom-cli changes: " << CliArgs::OneLine(problem) << "\n\n" << kHelp;
  return Commands::kUsage;
}

void Say(const std::string& text) {
  std::cerr << "tagloom-cli changes: " << CliArgs::OneLine(text) << "\n";
}

bool HasExtension(std::string_view name, std::string_view ext) {
  if (name.size() <= ext.size() + 1 || name[name.size() - ext.size() - 1] != '.') return false;
  return std::equal(
      ext.begin(), ext.end(), name.end() - static_cast<ptrdiff_t>(ext.size()), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? a + 32 : a) == (b >= 'A' && b <= 'Z' ? b + 32 : b);
      });
}

class Lister {
 public:
  Lister(ReadIndex& index, std::string format, std::string ext)
      : index_(index), format_(std::move(format)), ext_(std::move(ext)) {}

  void Header() {
    if (format_ == "csv") out_ += "State,Path\r\n";
  }

  void Given(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      if (errno != ENOENT && errno != ENOTDIR) {
        Say("cannot read '" + path + "': " + std::strerror(errno));
        ++unread_;
      }
    } else if (S_ISDIR(st.st_mode)) {
      Walk(path);
    } else if (S_ISREG(st.st_mode)) {
      File(path, st);
    }
    // What the index holds there and the walk did not meet is gone.
    for (const std::string& kept : index_.PathsUnder(path))
      if (!met_.count(kept)) Line("gone", kept);
    Flush();
  }

  int Unread() const { return unread_; }
  bool Written() {
    Flush();
    return static_cast<bool>(std::cout.flush());
  }

 private:
  void Walk(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
      Say("cannot read the folder '" + folder + "': " + std::strerror(errno));
      ++unread_;
      return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string_view name = entry->d_name;
      if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    const std::string prefix = folder.back() == '/' ? folder : folder + '/';
    for (const std::string& name : names) {
      const std::string path = prefix + name;
      struct stat st {};
      if (::lstat(path.c_str(), &st) != 0) continue;
      // A linked folder is not walked: a link back up would never end.
      if (S_ISDIR(st.st_mode)) {
        Walk(path);
        continue;
      }
      if (!HasExtension(name, ext_)) continue;
      if (S_ISLNK(st.st_mode) && ::stat(path.c_str(), &st) != 0) continue;
      if (S_ISREG(st.st_mode)) File(path, st);
    }
  }

  void File(const std::string& path, const struct stat& st) {
    met_.insert(index_.KeptPath(path));
    switch (index_.StateOf(path, st)) {
      case ReadIndex::State::kSame:
        return;
      case ReadIndex::State::kNew:
        return Line("new", path);
      case ReadIndex::State::kChanged:
        return Line("changed", path);
    }
  }

  void Line(const char* state, const std::string& path) {
    if (format_ == "json") {
      out_ += "{\"State\":\"";
      out_ += state;
      out_ += "\",\"Path\":";
      JsonText::AppendString(out_, FileNameText::Decode(path));
      out_ += "}\n";
    } else if (format_ == "csv") {
      out_ += state;
      out_ += ',';
      const bool quoted = path.find_first_of(",\"\r\n") != std::string::npos;
      if (quoted) out_ += '"';
      for (const char c : path) {
        if (c == '"') out_ += '"';
        out_ += c;
      }
      if (quoted) out_ += '"';
      out_ += "\r\n";
    } else {
      out_ += state;
      out_ += '\t';
      out_ += path;
      out_ += '\n';
    }
    if (out_.size() > 65536) Flush();
  }

  void Flush() {
    std::cout.write(out_.data(), static_cast<std::streamsize>(out_.size()));
    out_.clear();
  }

  ReadIndex& index_;
  const std::string format_;
  const std::string ext_;
  std::set<std::string> met_;
  std::string out_;
  int unread_ = 0;
};

}  // namespace

namespace Commands {

int Changes(const std::vector<std::string>& args) {
  std::string index_file;
  std::string format = "text";
  std::string ext = "mp3";
  std::vector<std::string> paths;
  bool options_done = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_done || !CliArgs::IsOption(arg)) {
      paths.push_back(arg);
    } else if (arg == "--") {
      options_done = true;
    } else if (CliArgs::IsHelp(arg)) {
      std::cout << kHelp;
      return std::cout.flush() ? kSuccess : kFailure;
    } else if (arg == "--index" || arg == "--format" || arg == "--ext") {
      if (i + 1 >= args.size()) return Usage(arg + " needs a value");
      const std::string& value = args[++i];
      (arg == "--index" ? index_file : arg == "--format" ? format : ext) = value;
    } else {
      return Usage("unknown option '" + arg + "'");
    }
  }
  if (index_file.empty()) return Usage("--index FILE names the index to compare with");
  if (format != "text" && format != "csv" && format != "json")
    return Usage("unknown format '" + format + "'");
  if (!ext.empty() && ext.front() == '.') ext.erase(0, 1);
  if (ext.empty()) return Usage("--ext needs an extension");
  if (paths.empty()) return Usage("no files or folders given");
  const std::unique_ptr<ReadIndex> index = ReadIndex::Open(index_file, &Say);
  if (!index) return kFailure;
  Lister lister(*index, format, ext);
  lister.Header();
  for (const std::string& path : paths) lister.Given(path);
  if (!lister.Written()) {
    Say(std::string("cannot write to standard output: ") + std::strerror(errno));
    return kFailure;
  }
  return lister.Unread() == 0 ? kSuccess : kNotAllRead;
}

int DumpIndexed(const std::vector<std::string>& args) {
  return DumpWith(args, [](const std::string& file) -> FileRead {
    std::shared_ptr<ReadIndex> index = ReadIndex::Open(file, [](const std::string& text) {
      std::cerr << "tagloom-cli dump: " << CliArgs::OneLine(text) << "\n";
    });
    if (!index) return nullptr;
    return [index](clsID3& tag, const std::string& path) { index->Read(tag, path); };
  });
}

}  // namespace Commands
