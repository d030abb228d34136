// `tagloom-cli set FILE [--FIELD TEXT]...`: reads the file, changes the given fields, writes.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>
#include <string_view>
#include <vector>

#include "tag/TagFileSystem.h"
#include "tag/clsID3.h"
#include "text/Utf.h"
#include "tools/cli/CliArgs.h"
#include "tools/cli/Commands.h"
#include "tools/cli/FileAccess.h"

namespace {

using Setter = void (clsID3::*)(std::u16string);

struct TextOption {
  std::string_view name;
  Setter set;
};

// One option per text field of the tag object, in the order the help lists them.
constexpr TextOption kTextOptions[] = {
    {"--title", &clsID3::SetTitle},
    {"--artist", &clsID3::SetArtist},
    {"--album", &clsID3::SetAlbum},
    {"--track", &clsID3::SetTrackNumber},
    {"--tracks", &clsID3::SetTracksTotal},
    {"--year", &clsID3::SetYear},
    {"--comment", &clsID3::SetComments},
    {"--composer", &clsID3::SetComposer},
    {"--band", &clsID3::SetBand},
    {"--conductor", &clsID3::SetConductor},
    {"--copyright", &clsID3::SetCopyright},
    {"--genre", &clsID3::SetGenre},
    {"--lyricist", &clsID3::SetLyricist},
    {"--bpm", &clsID3::SetBeatsPerMinute},
    {"--encoded-by", &clsID3::SetEncodedBy},
    {"--initial-key", &clsID3::SetInitialKey},
    {"--languages", &clsID3::SetLanguages},
    {"--original-album", &clsID3::SetOriginalAlbum},
    {"--original-file-name", &clsID3::SetOriginalFileName},
    {"--original-lyricist", &clsID3::SetOriginalLyricist},
    {"--original-artist", &clsID3::SetOriginalArtist},
    {"--original-year", &clsID3::SetOriginalReleaseYear},
    {"--file-owner", &clsID3::SetFileOwner},
    {"--interpreted-by", &clsID3::SetInterpretedBy},
    {"--disc", &clsID3::SetDiscNumber},
    {"--discs", &clsID3::SetDiscsTotal},
    {"--publisher", &clsID3::SetPublisher},
    {"--radio-station", &clsID3::SetInternetRadioStationName},
    {"--radio-owner", &clsID3::SetInternetRadioStationOwner},
    {"--isrc", &clsID3::SetISRC},
    {"--lyrics", &clsID3::SetLyrics},
    {"--copyright-url", &clsID3::SetCopyrightInfo},
    {"--audio-url", &clsID3::SetAudioURL},
    {"--audio-source-url", &clsID3::SetAudioSourceURL},
    {"--radio-url", &clsID3::SetInternetRadioURL},
    {"--payment-url", &clsID3::SetPaymentURL},
    {"--publisher-url", &clsID3::SetPublisherURL},
};

// The two options whose values are not the text of a field.
constexpr std::string_view kLyricsFile = "--lyrics-file";
constexpr std::string_view kGenreId = "--genre-id";
// Lets set write a tag into a file that is neither tagged nor MPEG audio.
constexpr std::string_view kAnyFile = "--any-file";

// Words filled into lines of at most 90 characters, the first after `first`, the rest after
// `indent`.
std::string Fill(std::string first, const std::string& indent, std::string_view words) {
  constexpr size_t kWidth = 90;
  std::string text = std::move(first);
  size_t line_start = 0;
  for (size_t at = 0; at < words.size();) {
    const size_t end = std::min(words.find(' ', at), words.size());
    const std::string_view word = words.substr(at, end - at);
    if (at > 0 && text.size() - line_start + 1 + word.size() > kWidth) {
      text += '\n';
      line_start = text.size();
      text += indent;
    } else if (at > 0) {
      text += ' ';
    }
    text += word;
    at = end + 1;
  }
  return text + '\n';
}

std::string OptionNames() {
  std::string names;
  for (const TextOption& option : kTextOptions) (names += names.empty() ? "" : " ") += option.name;
  return names;
}

std::string Help() {
  return "usage: tagloom-cli set FILE [OPTION TEXT]...\n"
         "Reads the file's tags, changes the fields given and writes the tags back, replacing the\n"
         "file in one step; an empty TEXT removes the field. TEXT is UTF-8.\n" +
         Fill("  ", "  ", OptionNames() + " TEXT") + "  " + std::string(kLyricsFile) +
         " F    the lyrics from the UTF-8 file F, line ends kept\n"
         "  " +
         std::string(kGenreId) +
         " N       the genre number, any signed 32-bit number\n"
         "  " +
         std::string(kAnyFile) +
         "         write also into a file that has no tag and holds no MPEG audio\n"
         "  --                 what follows is the file, even when it starts with -\n"
         "  --help, -h         show this text\n"
         "Exit status: 0 the file was changed, 1 it was not (the reason is given), 2 a usage "
         "error.\n";
}

int Usage(const std::string& message) {
  std::cerr << "tagloom-cli set: " << CliArgs::OneLine(message) << "\n\n" << Help();
  return Commands::kUsage;
}

// The most a lyrics file may hold: the largest frame an ID3v2 tag can carry, whose size is a
// 28-bit number, less the tag's and the frame's headers.
constexpr size_t kLyricsFileLimit = (size_t{1} << 28) - 1 - 10 - 10;

// The file's bytes, read only as far as the limit, so a device that never ends cannot fill the
// memory. False, with the reason, when they cannot be read or there are more.
bool ReadLyricsFile(const std::string& path, std::string& content, std::string& why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    why = std::strerror(errno);
    return false;
  }
  std::vector<char> piece(size_t{1} << 20);
  for (;;) {
    const ssize_t got = ::read(fd, piece.data(), piece.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      why = std::strerror(errno);
      ::close(fd);
      return false;
    }
    if (got == 0) break;
    if (content.size() + size_t(got) > kLyricsFileLimit) {
      why = "it holds more than the largest frame a tag can carry (" +
            std::to_string(kLyricsFileLimit) + " bytes)";
      ::close(fd);
      return false;
    }
    content.append(piece.data(), size_t(got));
  }
  ::close(fd);
  return true;
}

// A 32-bit signed decimal number and nothing else.
std::optional<int32_t> ParseGenreId(const std::string& text) {
  size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  if (i == text.size() || text.size() - i > 11) return std::nullopt;
  long long value = 0;
  for (size_t k = i; k < text.size(); ++k) {
    if (text[k] < '0' || text[k] > '9') return std::nullopt;
    value = value * 10 + (text[k] - '0');
  }
  if (text[0] == '-') value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

}  // namespace

std::string Commands::SetHelp() {
  std::string words =
      "changes the given fields and writes the tags back; an empty TEXT removes the field. "
      "Options:";
  for (const TextOption& option : kTextOptions) (words += ' ') += option.name;
  words += "; " + std::string(kLyricsFile) + " F (UTF-8 text, line ends kept); " +
           std::string(kGenreId) + " N (any signed 32-bit number); " + std::string(kAnyFile) +
           " (also into a file with no tag and no MPEG audio)";
  return Fill("  set FILE [OPTION TEXT]...  ", std::string(27, ' '), words);
}

namespace {

// The text of a --lyrics-file; nothing, said on standard error, when it cannot be read or is
// not UTF-8.
std::optional<std::u16string> LyricsOf(const std::string& lyrics_file) {
  std::string content;
  std::string why;
  if (!ReadLyricsFile(lyrics_file, content, why)) {
    std::cerr << "tagloom-cli set: cannot read '" << CliArgs::OneLine(lyrics_file) << "': " << why
              << "\n";
    return std::nullopt;
  }
  if (content.rfind("\xEF\xBB\xBF", 0) == 0) content.erase(0, 3);  // a byte-order mark is no text
  std::optional<std::u16string> lyrics = Utf::FromUtf8(content);
  if (!lyrics)
    std::cerr << "tagloom-cli set: '" << CliArgs::OneLine(lyrics_file) << "' is not UTF-8 text\n";
  return lyrics;
}

}  // namespace

namespace Commands {

int Set(const std::vector<std::string>& args) {
  std::vector<std::pair<Setter, std::u16string>> changes;
  std::optional<int32_t> genre_id;
  std::optional<std::string> lyrics_file;
  std::vector<std::string> files;
  bool options_done = false;
  bool any_file = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_done || !CliArgs::IsOption(arg)) {
      files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    if (CliArgs::IsHelp(arg)) {
      std::cout << Help();
      return std::cout.flush() ? kSuccess : kFailure;
    }
    if (arg == kAnyFile) {
      any_file = true;
      continue;
    }
    const TextOption* option = nullptr;
    for (const TextOption& o : kTextOptions)
      if (arg == o.name) option = &o;
    if (!option && arg != kGenreId && arg != kLyricsFile) return Usage("unknown option " + arg);
    if (i + 1 >= args.size()) return Usage("option " + arg + " needs a value");
    const std::string& value = args[++i];
    if (arg == kGenreId) {
      genre_id = ParseGenreId(value);
      if (!genre_id) return Usage("--genre-id takes a whole number from -2147483648 to 2147483647");
    } else if (arg == kLyricsFile) {
      lyrics_file = value;
    } else {
      const auto text = Utf::FromUtf8(value);
      if (!text) return Usage("the value of " + arg + " is not valid UTF-8");
      changes.emplace_back(option->set, *text);
    }
  }
  if (files.size() != 1) return Usage(files.empty() ? "no file given" : "give exactly one file");
  const std::string& file = files.front();

  std::optional<std::u16string> lyrics;
  if (lyrics_file && !(lyrics = LyricsOf(*lyrics_file))) return kFailure;

  std::string why;
  if (!FileAccess::CanRead(file, why)) {
    std::cerr << "tagloom-cli set: cannot read '" << CliArgs::OneLine(file) << "': " << why << "\n";
    return kFailure;
  }
  if (!FileAccess::IsMpegOnly(file, why)) {
    std::cerr << "tagloom-cli set: '" << CliArgs::OneLine(file) << "' was not changed: " << why
              << "\n";
    return kFailure;
  }
  // Held from the read to the write, so another writer's change cannot fall in between.
  WriteLock lock;
  if (!lock.Acquire(file, why)) {
    std::cerr << "tagloom-cli set: '" << file << "' was not changed: " << why << "\n";
    return 1;
  }
  TagFileSystem::RemovePendingFilesOnSignals();
  clsID3 tag;
  tag.SetFileName(file);
  // A script or a document named .mp3 (or a planted link to one) would get a tag at its start.
  if (!any_file && tag.Diagnosis().status == ReadDiagnosis::Status::kNotMpegAudio &&
      !tag.ID3v2Exists() && !tag.ID3v1Exists() && !tag.Lyrics3v1Exists() &&
      !tag.Lyrics3v2Exists()) {
    std::cerr << "tagloom-cli set: '" << CliArgs::OneLine(file)
              << "' was not changed: it has no tag and holds no MPEG audio (" << kAnyFile
              << " writes into it all the same)\n";
    return kFailure;
  }
  for (const auto& [set, text] : changes) (tag.*set)(text);
  if (lyrics) tag.SetLyrics(*lyrics);
  if (genre_id) tag.SetGenreID(*genre_id);
  tag.UpdateID3Tags();
  if (!tag.LastWriteSucceeded()) {
    std::cerr << "tagloom-cli set: '" << CliArgs::OneLine(file)
              << "' was not changed: " << tag.LastWriteError() << "\n";
    return kFailure;
  }
  return kSuccess;
}

}  // namespace Commands
