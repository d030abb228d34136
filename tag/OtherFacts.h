#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tag/FieldSources.h"

/// What a reader of other tags and formats found beside the engine's read: for a file of
/// another format it stands in for the engine's audio, tags, sources and status; for an MPEG
/// file it adds the APEv2 tag's sources and the values that differ from the ID3 ones.
struct OtherFacts {
  bool replaces = false;  ///< the file is not the engine's: its audio and status come from here
  std::u16string status;  ///< the Status cell of a replaced read ("read", "truncated: ...")
  std::u16string format;  ///< "FLAC", "MP4 AAC", ...
  std::u16string tags;    ///< the Tags cell of a replaced read; for MPEG, the tags added
  std::u16string encoder;
  std::u16string track_gain, track_peak, album_gain, album_peak;
  /// Where each field given here came from: "Vorbis ALBUMARTIST", "APEv2 Year".
  std::vector<std::pair<FieldId, std::u16string>> sources;
  std::vector<FieldId> conflicts;  ///< fields whose added value differs from the one shown
  std::u16string encoder_source;
  std::u16string duration_source;
  bool has_audio = false;
  double seconds = 0;
  int bit_rate = 0;  ///< kbit/s
  int sample_rate = 0;
  int bits = 0;
  int channels = 0;
  int pictures = 0;

  void Clear() { *this = OtherFacts{}; }
};
