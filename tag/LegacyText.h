#pragma once

#include <string>
#include <string_view>

/// Reads legacy text (ID3v1, Lyrics3, and ID3v2 text without an encoding of its own) by a code
/// page other than the built-in Windows-1252. A tag object given one asks it once per read, after
/// the tags are read; without one every read stays as it always was.
class LegacyTextDecoder {
 public:
  virtual ~LegacyTextDecoder() = default;
  /// The code page for one file, chosen from that file's legacy bytes that are not plain ASCII;
  /// empty keeps Windows-1252.
  virtual std::string CodePageFor(std::string_view bytes) = 0;
  /// `bytes` read in `code_page`. A byte that does not fit the code page becomes U+FFFD; false
  /// only when the code page cannot be used at all, and the text then stays as Windows-1252 gave
  /// it.
  virtual bool Decode(const std::string& code_page, std::string_view bytes,
                      std::u16string& text) = 0;
};

/// The ID3v1 block's own values, as the read decoded them, whichever fields they filled.
struct Id3v1Values {
  std::u16string title, artist, album, year, comment;
  int track = 0;    ///< ID3v1.1's track byte; 0 for none
  int genre = 255;  ///< the genre byte
  /// Whether each text field used its whole width (no NUL ended it early): a longer value may
  /// have been cut to fit. In the order title, artist, album, year, comment.
  bool full[5] = {};
};
