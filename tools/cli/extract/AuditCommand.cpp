// `tagloom-cli audit`: the library report over files and folders, as text, CSV, JSON Lines or
// one HTML page.
#include <QString>
#include <iostream>
#include <string>
#include <vector>

#include "batch/Audit.h"
#include "batch/AuditReport.h"
#include "batch/OtherFormats.h"
#include "legacy/IconvLegacyText.h"
#include "platform/taglib/TagLibFormatReader.h"
#include "readindex/ReadIndex.h"
#include "tools/cli/CliArgs.h"
#include "tools/cli/Commands.h"
#include "tools/cli/extract/AuditRows.h"
#include "tools/cli/extract/ExtractParts.h"
#include "tools/cli/extract/Outputs.h"

namespace {

constexpr const char* kHelp =
    "usage: tagloom-cli audit [--format html|text|csv|json] [-o FILE] [--require FIELD,...]\n"
    "                         [--min-bitrate KBPS] [--min-cover PX] [--deep] [--audio-hash]\n"
    "                         [--ext EXT] [--legacy-text detect|NAME] [--jobs N]\n"
    "                         [--files-from LIST] [--index FILE] [--formats mp3|all] [--] PATH...\n"
    "Reads the files given and those beneath the folders given, as extract does, and reports\n"
    "what is wrong, missing, inconsistent or duplicated, album by album (the files of one folder\n"
    "that share an album title), with the library's statistics.\n"
    "  html   one self-contained page with charts (the default with -o FILE.html)\n"
    "  text   for people (the default otherwise)\n"
    "  csv    rule,severity,album,path,detail, one finding per line\n"
    "  json   JSON Lines: one finding per line (rule, severity, album, path, detail), then the\n"
    "         statistics as lines whose rule is \"stat\"\n"
    "Rules: album-field-differs, track-number-gap, track-number-duplicate,\n"
    "track-total-mismatch, missing-field, no-cover, cover-too-small, covers-differ,\n"
    "low-bitrate, mixed-sample-rates, duplicate-track, duplicate-audio (with --audio-hash),\n"
    "truncated, not-audio, unreadable, damaged-audio (with --deep), v1-v2-conflict.\n"
    "--require FIELD,... the fields every file needs (default Title,Artist,Album,TrackNumber);\n"
    "--min-bitrate KBPS (default 128); --min-cover PX the front cover's shorter side (default\n"
    "300); --deep walks every audio frame; --audio-hash hashes the audio between the tags to\n"
    "find the same recording under other tags. Both read each file's audio once more.\n"
    "--index FILE takes unchanged files from the index extract --index keeps (and keeps the\n"
    "others' reads in it); --formats all reads every audio format, as for extract.\n"
    "Exit status: 0 nothing found, 4 findings written, 3 findings written but some file or\n"
    "folder could not be read (each named on standard error), 1 the output or a list could not\n"
    "be written or read, 2 a usage error.\n";

constexpr int kFindings = 4;

int Usage(const std::string& problem) {
  std::cerr << "tagloom-cli audit: " << CliArgs::OneLine(problem) << "\n\n" << kHelp;
  return Commands::kUsage;
}

bool Count(const std::string& value, int most, int& out) {
  if (value.empty() || value.size() > 9) return false;
  int n = 0;
  for (const char c : value) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  if (n > most) return false;
  out = n;
  return true;
}

struct AuditOptions {
  ExtractOptions read;
  Audit::Options rules;
  AuditRows::Wants wants;
  std::string format;
};

// 0 when the options are complete, -1 after --help, otherwise the exit status to end with.
int Parse(const std::vector<std::string>& args, AuditOptions& o) {
  bool options_done = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool takes_value = arg == "--format" || arg == "-o" || arg == "--require" ||
                             arg == "--min-bitrate" || arg == "--min-cover" || arg == "--ext" ||
                             arg == "--legacy-text" || arg == "--jobs" || arg == "--files-from" ||
                             arg == "--index" || arg == "--formats";
    if (!options_done && takes_value) {
      if (i + 1 >= args.size()) return Usage(arg + " needs a value");
      const std::string& value = args[++i];
      if (arg == "--format") {
        o.format = value;
      } else if (arg == "-o") {
        o.read.output = value;
      } else if (arg == "--require") {
        o.rules.require = QString::fromUtf8(value).split(u',', Qt::SkipEmptyParts);
        QString problem;
        if (o.rules.require.isEmpty()) return Usage("--require needs at least one field");
        if (!Audit::ResolveRequired(o.rules.require, problem))
          return Usage("--require: " + problem.toStdString());
      } else if (arg == "--min-bitrate") {
        if (!Count(value, 10000, o.rules.min_bitrate))
          return Usage("--min-bitrate takes a number of kbit/s");
      } else if (arg == "--min-cover") {
        if (!Count(value, 100000, o.rules.min_cover))
          return Usage("--min-cover takes a number of pixels");
      } else if (arg == "--ext") {
        o.read.ext = value;
        o.read.ext_given = true;
      } else if (arg == "--index") {
        if (value.empty()) return Usage("--index needs a file");
        o.read.index_path = value;
      } else if (arg == "--formats") {
        if (value == "all") {
          o.read.other = std::make_shared<TagLibFormatReader>();
        } else if (value == "mp3") {
          o.read.other.reset();
        } else {
          return Usage("--formats takes mp3 or all");
        }
      } else if (arg == "--legacy-text") {
        std::string problem;
        o.read.legacy_text = value;
        o.read.decoder = LegacyText::DecoderFor(value, problem);
        if (!problem.empty()) return Usage("--legacy-text: " + problem);
      } else if (arg == "--jobs") {
        if (!Count(value, 1024, o.read.jobs) || o.read.jobs < 1)
          return Usage("--jobs takes a number from 1 to 1024");
      } else {
        auto list = std::make_unique<CliArgs::PathList>();
        if (std::string why; !list->Check(value, why)) {
          ExtractParts::Say("cannot read the list '" + value + "': " + why);
          return Commands::kFailure;
        }
        o.read.inputs.push_back({value, list.get()});
        o.read.lists.push_back(std::move(list));
      }
    } else if (!options_done && CliArgs::IsHelp(arg)) {
      std::cout << kHelp;
      return std::cout.flush() ? -1 : Commands::kFailure;
    } else if (!options_done && arg == "--deep") {
      o.wants.deep = true;
    } else if (!options_done && arg == "--audio-hash") {
      o.wants.audio_hash = true;
    } else if (!options_done && arg == "--") {
      options_done = true;
    } else if (!options_done && CliArgs::IsOption(arg)) {
      return Usage("unknown option '" + arg + "'");
    } else {
      o.read.inputs.push_back({arg});
    }
  }
  if (o.format.empty()) {
    const std::string& out = o.read.output;
    const bool html = out.size() > 5 && (out.compare(out.size() - 5, 5, ".html") == 0 ||
                                         out.compare(out.size() - 5, 5, ".HTML") == 0);
    o.format = html ? "html" : "text";
  }
  if (o.format != "html" && o.format != "text" && o.format != "csv" && o.format != "json")
    return Usage("unknown format '" + o.format + "'");
  o.wants.extra = Audit::ExtraHeaders(o.rules.require);
  if (o.read.ext.empty()) return Usage("--ext needs an extension");
  // The pattern "*." and the extension make: every audio format's files.
  if (o.read.other && !o.read.ext_given) o.read.ext = OtherFormats::Pattern().mid(2).toStdString();
  if (o.read.PathCount() == 0) return Usage("no files or folders given");
  return 0;
}

}  // namespace

namespace Commands {

int Audit(const std::vector<std::string>& args) {
  ExtractParts::SetCommand("audit");
  AuditOptions options;
  if (const int status = Parse(args, options); status != 0) return status < 0 ? kSuccess : status;
  // The index is a cache: whatever becomes of it, the report is the same.
  std::unique_ptr<ReadIndex> index;
  if (!options.read.index_path.empty()) {
    index = ReadIndex::Open(options.read.index_path,
                            [](const std::string& text) { ExtractParts::Say(text); });
    options.read.index = index.get();
  }
  ExtractParts::Unread unread;
  std::vector<Audit::Row> rows;
  try {
    if (!AuditRows::Read(options.read, options.wants, unread, rows)) return kFailure;
    if (index) index->Finish();
  } catch (const std::exception& e) {
    ExtractParts::Say(e.what());
    return kFailure;
  }
  const Audit::Report report = Audit::Run(rows, options.rules);
  std::string text;
  if (options.format == "html") {
    text = AuditReport::Html(report);
  } else if (options.format == "csv") {
    text = AuditReport::Csv(report);
  } else if (options.format == "json") {
    text = AuditReport::JsonLines(report);
  } else {
    text = AuditReport::Text(report);
  }
  try {
    const std::unique_ptr<TextOutput> out = Outputs::Open(options.read.output);
    out->Write(text);
    out->Commit();
  } catch (const std::exception& e) {
    ExtractParts::Say(e.what());
    return kFailure;
  }
  if (unread.Count() > 0) return kNotAllRead;
  return report.findings.empty() ? kSuccess : kFindings;
}

}  // namespace Commands
