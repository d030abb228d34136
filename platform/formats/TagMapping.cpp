#include "platform/formats/TagMapping.h"

#include <array>

namespace TagMapping {

namespace {

// One unified key: the column it fills and its native key in Vorbis comments, MP4 atoms, ASF
// attributes, APEv2 items, ID3v2 frames and RIFF INFO chunks, in Kind's order.
struct Entry {
  std::string_view key;
  OtherField field;
  std::array<std::string_view, 6> native;
};

using F = OtherField;
// Picard's, Mp3tag's and TagLib's published tables agree on these; where a format has two keys
// for one field (Vorbis DESCRIPTION beside COMMENT), the second fills only what the first left.
constexpr Entry kEntries[] = {
    {"TITLE", F::kTitle, {"TITLE", "\xC2\xA9nam", "Title", "Title", "TIT2", "INAM"}},
    {"ARTIST",
     F::kArtist,
     {"ARTIST",
      "\xC2\xA9"
      "ART",
      "Author", "Artist", "TPE1", "IART"}},
    {"ALBUM",
     F::kAlbum,
     {"ALBUM",
      "\xC2\xA9"
      "alb",
      "WM/AlbumTitle", "Album", "TALB", "IPRD"}},
    {"ALBUMARTIST",
     F::kBand,
     {"ALBUMARTIST", "aART", "WM/AlbumArtist", "Album Artist", "TPE2", ""}},
    {"ALBUM ARTIST", F::kBand, {"ALBUM ARTIST", "", "", "Album Artist", "", ""}},
    {"DATE",
     F::kYear,
     {"DATE",
      "\xC2\xA9"
      "day",
      "WM/Year", "Year", "TDRC", "ICRD"}},
    {"YEAR", F::kYear, {"YEAR", "", "", "Year", "", ""}},
    {"TRACKNUMBER",
     F::kTrackNumber,
     {"TRACKNUMBER", "trkn", "WM/TrackNumber", "Track", "TRCK", "ITRK"}},
    {"TRACKTOTAL", F::kTracks, {"TRACKTOTAL", "", "", "", "", ""}},
    {"TOTALTRACKS", F::kTracks, {"TOTALTRACKS", "", "", "", "", ""}},
    {"DISCNUMBER", F::kDisc, {"DISCNUMBER", "disk", "WM/PartOfSet", "Disc", "TPOS", ""}},
    {"DISCTOTAL", F::kDiscs, {"DISCTOTAL", "", "", "", "", ""}},
    {"TOTALDISCS", F::kDiscs, {"TOTALDISCS", "", "", "", "", ""}},
    {"GENRE", F::kGenre, {"GENRE", "\xC2\xA9gen", "WM/Genre", "Genre", "TCON", "IGNR"}},
    {"COMMENT",
     F::kComments,
     {"COMMENT",
      "\xC2\xA9"
      "cmt",
      "Description", "Comment", "COMM", "ICMT"}},
    {"DESCRIPTION", F::kComments, {"DESCRIPTION", "", "", "", "", ""}},
    {"COMPOSER",
     F::kComposer,
     {"COMPOSER", "\xC2\xA9wrt", "WM/Composer", "Composer", "TCOM", "IMUS"}},
    {"LYRICS", F::kLyrics, {"LYRICS", "\xC2\xA9lyr", "WM/Lyrics", "Lyrics", "USLT", ""}},
    {"UNSYNCEDLYRICS", F::kLyrics, {"UNSYNCEDLYRICS", "", "", "", "", ""}},
    {"CONDUCTOR",
     F::kConductor,
     {"CONDUCTOR", "----:CONDUCTOR", "WM/Conductor", "Conductor", "TPE3", ""}},
    {"COPYRIGHT", F::kCopyright, {"COPYRIGHT", "cprt", "Copyright", "Copyright", "TCOP", "ICOP"}},
    {"LABEL", F::kPublisher, {"LABEL", "----:LABEL", "WM/Publisher", "Label", "TPUB", ""}},
    {"ORGANIZATION", F::kPublisher, {"ORGANIZATION", "", "", "", "", ""}},
    {"PUBLISHER", F::kPublisher, {"PUBLISHER", "", "", "Publisher", "", ""}},
    {"ISRC", F::kIsrc, {"ISRC", "----:ISRC", "WM/ISRC", "ISRC", "TSRC", ""}},
    {"BPM", F::kBpm, {"BPM", "tmpo", "WM/BeatsPerMinute", "BPM", "TBPM", ""}},
    {"INITIALKEY",
     F::kInitialKey,
     {"INITIALKEY", "----:initialkey", "WM/InitialKey", "InitialKey", "TKEY", ""}},
    {"KEY", F::kInitialKey, {"KEY", "", "", "", "", ""}},
    {"LANGUAGE",
     F::kLanguages,
     {"LANGUAGE", "----:LANGUAGE", "WM/Language", "Language", "TLAN", "ILNG"}},
    {"LYRICIST", F::kLyricist, {"LYRICIST", "----:LYRICIST", "WM/Writer", "Lyricist", "TEXT", ""}},
    {"REMIXER",
     F::kInterpretedBy,
     {"REMIXER", "----:REMIXER", "WM/ModifiedBy", "MixArtist", "TPE4", ""}},
    {"ENCODEDBY",
     F::kEncodedBy,
     {"ENCODEDBY", "\xC2\xA9too", "WM/EncodedBy", "EncodedBy", "TENC", "ITCH"}},
    {"ORIGINALALBUM",
     F::kOriginalAlbum,
     {"ORIGINALALBUM", "", "WM/OriginalAlbumTitle", "", "TOAL", ""}},
    {"ORIGINALARTIST",
     F::kOriginalArtist,
     {"ORIGINALARTIST", "", "WM/OriginalArtist", "", "TOPE", ""}},
    {"ORIGINALLYRICIST",
     F::kOriginalLyricist,
     {"ORIGINALLYRICIST", "", "WM/OriginalLyricist", "", "TOLY", ""}},
    {"ORIGINALDATE",
     F::kOriginalYear,
     {"ORIGINALDATE", "", "WM/OriginalReleaseYear", "", "TDOR", ""}},
    {"ENCODING",
     F::kEncoder,
     {"ENCODING", "\xC2\xA9too", "WM/EncodingSettings", "Encoder", "TSSE", "ISFT"}},
    {"ENCODER", F::kEncoder, {"ENCODER", "", "", "Encoder", "", ""}},
    {"REPLAYGAIN_TRACK_GAIN",
     F::kTrackGain,
     {"REPLAYGAIN_TRACK_GAIN", "----:replaygain_track_gain", "replaygain_track_gain",
      "REPLAYGAIN_TRACK_GAIN", "TXXX:REPLAYGAIN_TRACK_GAIN", ""}},
    {"REPLAYGAIN_TRACK_PEAK",
     F::kTrackPeak,
     {"REPLAYGAIN_TRACK_PEAK", "----:replaygain_track_peak", "replaygain_track_peak",
      "REPLAYGAIN_TRACK_PEAK", "TXXX:REPLAYGAIN_TRACK_PEAK", ""}},
    {"REPLAYGAIN_ALBUM_GAIN",
     F::kAlbumGain,
     {"REPLAYGAIN_ALBUM_GAIN", "----:replaygain_album_gain", "replaygain_album_gain",
      "REPLAYGAIN_ALBUM_GAIN", "TXXX:REPLAYGAIN_ALBUM_GAIN", ""}},
    {"REPLAYGAIN_ALBUM_PEAK",
     F::kAlbumPeak,
     {"REPLAYGAIN_ALBUM_PEAK", "----:replaygain_album_peak", "replaygain_album_peak",
      "REPLAYGAIN_ALBUM_PEAK", "TXXX:REPLAYGAIN_ALBUM_PEAK", ""}},
};

// Keys compare in ASCII letter case: APEv2 and Vorbis keys are case-insensitive.
bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

const Entry* Find(std::string_view key) {
  for (const Entry& entry : kEntries)
    if (SameKey(entry.key, key)) return &entry;
  return nullptr;
}

void Fill(OtherFormatRead& out, OtherField field, std::u16string text, std::string source) {
  OtherFormatRead::Value& value = out[field];
  if (!value.text.empty() || text.empty()) return;
  value.text = std::move(text);
  value.source = std::move(source);
}

// "3/12" gives the number and the total; a lone number only the number.
void FillPair(OtherFormatRead& out, OtherField number, OtherField total, const std::u16string& text,
              const std::string& source) {
  const size_t slash = text.find(u'/');
  Fill(out, number, text.substr(0, slash), source);
  if (slash != std::u16string::npos) Fill(out, total, text.substr(slash + 1), source);
}

}  // namespace

std::u16string Join(const std::vector<std::u16string>& values) {
  std::u16string joined;
  for (const std::u16string& value : values) {
    if (value.empty()) continue;
    if (!joined.empty()) joined += kJoin;
    joined += value;
  }
  return joined;
}

std::string_view NativeKey(Kind kind, std::string_view key) {
  const Entry* entry = Find(key);
  if (!entry || kind >= Kind::kId3v1) return {};
  return entry->native[static_cast<size_t>(kind)];
}

void Apply(Kind kind, std::string_view tag, std::string_view key,
           const std::vector<std::u16string>& values, OtherFormatRead& out) {
  const Entry* entry = Find(key);
  if (!entry) return;
  std::string source(tag);
  if (kind != Kind::kId3v1) {
    std::string_view native = entry->native[static_cast<size_t>(kind)];
    source += ' ';
    source += native.empty() ? key : native;
  }
  std::u16string text = Join(values);
  switch (entry->field) {
    case F::kTrackNumber:
      FillPair(out, F::kTrackNumber, F::kTracks, text, source);
      break;
    case F::kDisc:
      FillPair(out, F::kDisc, F::kDiscs, text, source);
      break;
    case F::kYear:
    case F::kOriginalYear:
      // The year, as the engine shows it of a full ID3v2.4 date.
      Fill(out, entry->field, text.substr(0, text.find(u'-')), source);
      break;
    default:
      Fill(out, entry->field, std::move(text), source);
  }
}

}  // namespace TagMapping
