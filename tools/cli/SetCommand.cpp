// `tagloom-cli set FILE [--FIELD TEXT]...`: reads the file, changes the given fields, writes.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>
#include <vector>

#include "tag/clsID3.h"
#include "tools/cli/CliArgs.h"
#include "tools/cli/Commands.h"
#include "tools/cli/FileAccess.h"

namespace {

using Setter = void (clsID3::*)(std::u16string);

struct TextOption {
  const char* name;
  Setter set;
};

// One option per text field of the tag object.
constexpr TextOption kTextOptions[] = {
    {"--comment", &clsID3::SetComments},
    {"--album", &clsID3::SetAlbum},
    {"--bpm", &clsID3::SetBeatsPerMinute},
    {"--composer", &clsID3::SetComposer},
    {"--genre", &clsID3::SetGenre},
    {"--copyright", &clsID3::SetCopyright},
    {"--encoded-by", &clsID3::SetEncodedBy},
    {"--lyricist", &clsID3::SetLyricist},
    {"--title", &clsID3::SetTitle},
    {"--initial-key", &clsID3::SetInitialKey},
    {"--languages", &clsID3::SetLanguages},
    {"--original-album", &clsID3::SetOriginalAlbum},
    {"--original-file-name", &clsID3::SetOriginalFileName},
    {"--original-lyricist", &clsID3::SetOriginalLyricist},
    {"--original-artist", &clsID3::SetOriginalArtist},
    {"--original-year", &clsID3::SetOriginalReleaseYear},
    {"--file-owner", &clsID3::SetFileOwner},
    {"--artist", &clsID3::SetArtist},
    {"--band", &clsID3::SetBand},
    {"--conductor", &clsID3::SetConductor},
    {"--interpreted-by", &clsID3::SetInterpretedBy},
    {"--disc", &clsID3::SetDiscNumber},
    {"--discs", &clsID3::SetDiscsTotal},
    {"--publisher", &clsID3::SetPublisher},
    {"--track", &clsID3::SetTrackNumber},
    {"--tracks", &clsID3::SetTracksTotal},
    {"--radio-station", &clsID3::SetInternetRadioStationName},
    {"--radio-owner", &clsID3::SetInternetRadioStationOwner},
    {"--isrc", &clsID3::SetISRC},
    {"--year", &clsID3::SetYear},
    {"--lyrics", &clsID3::SetLyrics},
    {"--copyright-url", &clsID3::SetCopyrightInfo},
    {"--audio-url", &clsID3::SetAudioURL},
    {"--audio-source-url", &clsID3::SetAudioSourceURL},
    {"--radio-url", &clsID3::SetInternetRadioURL},
    {"--payment-url", &clsID3::SetPaymentURL},
    {"--publisher-url", &clsID3::SetPublisherURL},
};

constexpr const char* kHelp =
    "usage: tagloom-cli set FILE [OPTION TEXT]...\n"
    "Reads the file's tags, changes the fields given and writes the tags back, replacing the\n"
    "file in one step; an empty TEXT removes the field. TEXT is UTF-8.\n"
    "  --title --artist --album --track --tracks --year --comment --composer --band\n"
    "  --conductor --copyright --genre --lyricist --bpm --encoded-by --initial-key --languages\n"
    "  --original-album --original-file-name --original-lyricist --original-artist\n"
    "  --original-year --file-owner --interpreted-by --disc --discs --publisher --radio-station\n"
    "  --radio-owner --isrc --lyrics --copyright-url --audio-url --audio-source-url --radio-url\n"
    "  --payment-url --publisher-url TEXT\n"
    "  --lyrics-file F    the lyrics from the UTF-8 file F, line ends kept\n"
    "  --genre-id N       the genre number, any signed 32-bit number\n"
    "  --                 what follows is the file, even when it starts with -\n"
    "  --help, -h         show this text\n"
    "Exit status: 0 the file was changed, 1 it was not (the reason is given), 2 a usage error.\n";

int Usage(const std::string& message) {
  std::cerr << "tagloom-cli set: " << message << "\n\n" << kHelp;
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

namespace Commands {

int Set(const std::vector<std::string>& args) {
  std::vector<std::pair<Setter, std::u16string>> changes;
  std::optional<int32_t> genre_id;
  std::optional<std::string> lyrics_file;
  std::vector<std::string> files;
  bool options_done = false;
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
      std::cout << kHelp;
      return std::cout.flush() ? kSuccess : kFailure;
    }
    const TextOption* option = nullptr;
    for (const TextOption& o : kTextOptions)
      if (arg == o.name) option = &o;
    if (!option && arg != "--genre-id" && arg != "--lyrics-file")
      return Usage("unknown option " + arg);
    if (i + 1 >= args.size()) return Usage("option " + arg + " needs a value");
    const std::string& value = args[++i];
    if (arg == "--genre-id") {
      genre_id = ParseGenreId(value);
      if (!genre_id) return Usage("--genre-id takes a whole number from -2147483648 to 2147483647");
    } else if (arg == "--lyrics-file") {
      lyrics_file = value;
    } else {
      const auto text = FileAccess::DecodeStrictUtf8(value);
      if (!text) return Usage("the value of " + arg + " is not valid UTF-8");
      changes.emplace_back(option->set, *text);
    }
  }
  if (files.size() != 1) return Usage(files.empty() ? "no file given" : "give exactly one file");
  const std::string& file = files.front();

  std::optional<std::u16string> lyrics;
  if (lyrics_file) {
    std::string content;
    std::string why;
    if (!ReadLyricsFile(*lyrics_file, content, why)) {
      std::cerr << "tagloom-cli set: cannot read '" << *lyrics_file << "': " << why << "\n";
      return kFailure;
    }
    if (content.rfind("\xEF\xBB\xBF", 0) == 0) content.erase(0, 3);  // a byte-order mark is no text
    lyrics = FileAccess::DecodeStrictUtf8(content);
    if (!lyrics) {
      std::cerr << "tagloom-cli set: '" << *lyrics_file << "' is not UTF-8 text\n";
      return kFailure;
    }
  }

  std::string why;
  if (!FileAccess::CanRead(file, why)) {
    std::cerr << "tagloom-cli set: cannot read '" << file << "': " << why << "\n";
    return kFailure;
  }
  clsID3 tag;
  tag.SetFileName(file);
  for (const auto& [set, text] : changes) (tag.*set)(text);
  if (lyrics) tag.SetLyrics(*lyrics);
  if (genre_id) tag.SetGenreID(*genre_id);
  tag.UpdateID3Tags();
  if (!tag.LastWriteSucceeded()) {
    std::cerr << "tagloom-cli set: '" << file << "' was not changed: " << tag.LastWriteError()
              << "\n";
    return kFailure;
  }
  return kSuccess;
}

}  // namespace Commands
