// `tagloom-cli set FILE [--FIELD TEXT]...`: reads the file, changes the given fields, writes.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>

#include "tag/TagFileSystem.h"
#include "tag/clsID3.h"
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

int Usage(const std::string& message) {
  std::cerr << "tagloom-cli set: " << message << "\n"
            << "usage: tagloom-cli set FILE [--title T] [--artist A] [--album A] [--track N] ...\n"
            << "       (tagloom-cli --help lists every option)\n";
  return 2;
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

int Commands::Set(const std::vector<std::string>& args) {
  std::vector<std::pair<Setter, std::u16string>> changes;
  std::optional<int32_t> genre_id;
  std::optional<std::string> lyrics_file;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("--", 0) != 0 || arg == "--") {
      files.push_back(arg == "--" && i + 1 < args.size() ? args[++i] : arg);
      continue;
    }
    if (i + 1 >= args.size()) return Usage("option " + arg + " needs a value");
    const std::string& value = args[++i];
    if (arg == "--genre-id") {
      genre_id = ParseGenreId(value);
      if (!genre_id) return Usage("--genre-id takes a whole number from -2147483648 to 2147483647");
      continue;
    }
    if (arg == "--lyrics-file") {
      lyrics_file = value;
      continue;
    }
    const TextOption* option = nullptr;
    for (const TextOption& o : kTextOptions)
      if (arg == o.name) option = &o;
    if (!option) return Usage("unknown option " + arg);
    const auto text = FileAccess::DecodeStrictUtf8(value);
    if (!text) return Usage("the value of " + arg + " is not valid UTF-8");
    changes.emplace_back(option->set, *text);
  }
  if (files.size() != 1) return Usage(files.empty() ? "no file given" : "give exactly one file");
  const std::string& file = files.front();

  std::optional<std::u16string> lyrics;
  if (lyrics_file) {
    std::ifstream in(*lyrics_file, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) {
      std::cerr << "tagloom-cli set: cannot read '" << *lyrics_file << "': " << std::strerror(errno)
                << "\n";
      return 1;
    }
    if (content.rfind("\xEF\xBB\xBF", 0) == 0) content.erase(0, 3);  // a byte-order mark is no text
    lyrics = FileAccess::DecodeStrictUtf8(content);
    if (!lyrics) {
      std::cerr << "tagloom-cli set: '" << *lyrics_file << "' is not UTF-8 text\n";
      return 1;
    }
  }

  std::string why;
  if (!FileAccess::CanRead(file, why)) {
    std::cerr << "tagloom-cli set: cannot read '" << file << "': " << why << "\n";
    return 1;
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
  for (const auto& [set, text] : changes) (tag.*set)(text);
  if (lyrics) tag.SetLyrics(*lyrics);
  if (genre_id) tag.SetGenreID(*genre_id);
  tag.UpdateID3Tags();
  if (!tag.LastWriteSucceeded()) {
    std::cerr << "tagloom-cli set: '" << file << "' was not changed: " << tag.LastWriteError()
              << "\n";
    return 1;
  }
  return 0;
}
