#pragma once

#include <memory>
#include <string>
#include <string_view>

/// Reads legacy text (ID3v1, Lyrics3, and ID3v2 text without an encoding of its own) by a code
/// page other than the built-in Windows-1252. A tag object given one asks it once per read, after
/// the tags are read; without one every read stays as it always was. One decoder serves every
/// reading thread of a run: each of its calls may run on many threads at once.
class LegacyTextDecoder {
 public:
  virtual ~LegacyTextDecoder() = default;
  /// The code page for one file, chosen from that file's legacy bytes that are not plain ASCII;
  /// empty keeps Windows-1252. When the code page chosen or given cannot be used just now (no
  /// descriptor or memory left to load its converter), empty, and `problem` says which and why.
  virtual std::string CodePageFor(std::string_view bytes, std::string& problem) = 0;
  /// `bytes` read in `code_page`. A byte that does not fit the code page becomes U+FFFD; false
  /// only when the code page cannot be used at all, and the text then stays as Windows-1252 gave
  /// it.
  virtual bool Decode(const std::string& code_page, std::string_view bytes,
                      std::u16string& text) = 0;
  /// `text` written in `code_page`, a character the code page cannot hold written as "?", as
  /// tag writers do.
  virtual std::string Encode(const std::string& code_page, std::u16string_view text) = 0;
};
