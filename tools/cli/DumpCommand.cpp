// `tagloom-cli dump`: one JSON line per file with every field, flag and audio property.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "tag/CodePage.h"
#include "tag/clsID3.h"
#include "text/FileNameText.h"
#include "tools/cli/CliArgs.h"
#include "tools/cli/Commands.h"
#include "tools/cli/FileAccess.h"
#include "tools/cli/JsonText.h"

namespace {

void Key(std::string& out, const char* name) {
  out += ",\"";
  out += name;
  out += "\":";
}

void Text(std::string& out, const char* name, std::u16string_view value) {
  Key(out, name);
  JsonText::AppendString(out, value);
}

void List(std::string& out, const char* name, const std::shared_ptr<MultiFrameData>& list) {
  Key(out, name);
  out.push_back('[');
  for (int32_t i = 1; list && i <= list->Count(); ++i) {
    if (i > 1) out.push_back(',');
    JsonText::AppendString(out, list->Item(i));
  }
  out.push_back(']');
}

// A multiple of 3, so the pieces' base64 joins into the whole picture's.
constexpr size_t kPicturePiece = 3 * 256 * 1024;

// Pictures go out as they are encoded, a piece at a time: one may be hundreds of megabytes, and
// neither its text nor its base64 is held whole.
void Pictures(std::string& out, const std::shared_ptr<MultiFrameData>& list, std::FILE* to) {
  Key(out, "AttachedPictures");
  out.push_back('[');
  for (int32_t i = 1; list && i <= list->Count(); ++i) {
    if (i > 1) out.push_back(',');
    out.push_back('"');
    const auto held = list->HeldBytes(i);
    const std::u16string_view text = held ? std::u16string_view() : list->Item(i);
    const size_t size = held ? held->size() : text.size();
    for (size_t at = 0; at < size; at += kPicturePiece) {
      const size_t n = std::min(kPicturePiece, size - at);
      JsonText::AppendBase64(
          out,
          held ? held->substr(at, n) : std::string_view(CodePage::TextToBytes(text.substr(at, n))));
      if (out.size() >= kPicturePiece) {
        std::fwrite(out.data(), 1, out.size(), to);
        out.clear();
      }
    }
    out.push_back('"');
  }
  out.push_back(']');
}

void Integer(std::string& out, const char* name, long long value) {
  Key(out, name);
  out += std::to_string(value);
}

void Boolean(std::string& out, const char* name, bool value) {
  Key(out, name);
  out += value ? "true" : "false";
}

void Number(std::string& out, const char* name, double value) {
  Key(out, name);
  JsonText::AppendNumber(out, value);
}

void DumpLine(const std::string& path, clsID3& tag, std::FILE* to, const Commands::FileRead& read) {
  if (read) {
    read(tag, path);
  } else {
    tag.SetFileName(path);
  }
  std::string out = "{\"FileName\":";
  JsonText::AppendString(out, FileNameText::Decode(path));
  Text(out, "Comments", tag.Comments());
  Text(out, "Album", tag.Album());
  Text(out, "BeatsPerMinute", tag.BeatsPerMinute());
  Text(out, "Composer", tag.Composer());
  Integer(out, "GenreID", tag.GenreID());
#define TAGLOOM_DUMP_TEXT(name) Text(out, #name, tag.name());
  TAGLOOM_TEXT_FIELDS_AFTER_GENRE_ID(TAGLOOM_DUMP_TEXT)
#undef TAGLOOM_DUMP_TEXT
  List(out, "CommercialInfo", tag.CommercialInfo());
  Text(out, "CopyrightInfo", tag.CopyrightInfo());
  Text(out, "AudioURL", tag.AudioURL());
  List(out, "ArtistURL", tag.ArtistURL());
  Text(out, "AudioSourceURL", tag.AudioSourceURL());
  Text(out, "InternetRadioURL", tag.InternetRadioURL());
  Text(out, "PaymentURL", tag.PaymentURL());
  Text(out, "PublisherURL", tag.PublisherURL());
  Pictures(out, tag.AttachedPictures(), to);
  Boolean(out, "ID3v1Exists", tag.ID3v1Exists());
  Boolean(out, "ID3v2Exists", tag.ID3v2Exists());
  Boolean(out, "Lyrics3v1Exists", tag.Lyrics3v1Exists());
  Boolean(out, "Lyrics3v2Exists", tag.Lyrics3v2Exists());
  Integer(out, "ID3RevisionV2", tag.ID3RevisionV2());
  Integer(out, "MPEGVersion", tag.MPEGVersion());
  Integer(out, "Layer", tag.Layer());
  Integer(out, "ChannelMode", tag.ChannelMode());
  Integer(out, "Padding", tag.Padding());
  Integer(out, "SamplingRateFrequency", tag.SamplingRateFrequency());
  Number(out, "BitRate", tag.BitRate());
  Number(out, "FrameSize", tag.FrameSize());
  Integer(out, "FrameSamples", tag.FrameSamples());
  Number(out, "length", tag.length());
  Integer(out, "Encoding", tag.Encoding());
  out += "}\n";
  std::fwrite(out.data(), 1, out.size(), to);
}

constexpr const char* kHelp =
    "usage: tagloom-cli dump [--files-from LIST] [--index FILE] [--] FILE...\n"
    "Prints one JSON line per file, in the order given: \"FileName\", every tag field, the\n"
    "existence flags, \"ID3RevisionV2\" and the audio properties. A file that cannot be read\n"
    "still gets its line, of default values, and is named with the reason on standard error.\n"
    "  --files-from LIST  paths from LIST, one per line (- for standard input)\n"
    "  --index FILE       keeps every file's read in FILE and takes unchanged files from it,\n"
    "                     as extract --index does\n"
    "  --                 what follows are paths, even when they start with -\n"
    "  --help, -h         show this text\n"
    "Exit status: 0 every file read, 1 the output or the list could not be written or read,\n"
    "2 a usage error, 3 some file could not be read.\n";

int Usage(const std::string& problem) {
  std::cerr << "tagloom-cli dump: " << problem << "\n\n" << kHelp;
  return Commands::kUsage;
}

}  // namespace

namespace Commands {

int Dump(const std::vector<std::string>& args) { return DumpWith(args, nullptr); }

int DumpWith(const std::vector<std::string>& args, const IndexOpener& open_index) {
  std::vector<std::string> paths;
  std::string index;
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
    } else if (arg == "--files-from") {
      if (i + 1 >= args.size()) return Usage("--files-from needs a list file");
      std::string why;
      if (!CliArgs::ReadPathList(args[++i], paths, why)) {
        std::cerr << "tagloom-cli dump: cannot read the list '" << args[i] << "': " << why << "\n";
        return kFailure;
      }
    } else if (arg == "--index") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return Usage("--index needs a file");
      if (!open_index) return Usage("--index is not in this build");
      index = args[++i];
    } else {
      return Usage("unknown option '" + arg + "'");
    }
  }
  if (paths.empty()) return Usage("no files given");
  const FileRead read = index.empty() ? nullptr : open_index(index);
  clsID3 tag;
  bool all_read = true;
  int write_error = 0;
  for (const std::string& path : paths) {
    // The engine reads what it can and says nothing; whoever asked for the file is told.
    std::string why;
    const bool can_read = FileAccess::CanRead(path, why);
    if (!can_read) {
      std::cerr << "tagloom-cli dump: cannot read '" << path << "': " << why << "\n";
      all_read = false;
    }
    errno = 0;
    DumpLine(path, tag, stdout, read);
    // A read can still stop short (memory, an I/O error): its line then holds only part.
    if (can_read && tag.Diagnosis().NotRead()) {
      std::cerr << "tagloom-cli dump: cannot read '" << path
                << "' whole: " << std::strerror(tag.Diagnosis().error_number) << "\n";
      all_read = false;
    }
    if (std::ferror(stdout)) {
      write_error = errno != 0 ? errno : EIO;
      break;
    }
  }
  if (write_error == 0 && (std::fflush(stdout) != 0 || std::ferror(stdout)))
    write_error = errno != 0 ? errno : EIO;
  if (write_error != 0) {
    std::cerr << "tagloom-cli dump: cannot write to standard output: " << std::strerror(write_error)
              << "\n";
    return kFailure;
  }
  return all_read ? kSuccess : kNotAllRead;
}

}  // namespace Commands
