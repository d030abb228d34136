#include "batch/OtherFormats.h"

#include <QStringList>
#include <array>
#include <utility>

#include "batch/DsfFile.h"
#include "tag/clsID3.h"

namespace OtherFormats {

namespace {

constexpr std::string_view kExtensions[] = {"mp3",  "flac", "ogg", "oga", "opus", "spx", "m4a",
                                            "m4b",  "mp4",  "wma", "asf", "wav",  "aif", "aiff",
                                            "aifc", "wv",   "ape", "mpc", "dsf"};

using Getter = const std::u16string& (clsID3::*)() const noexcept;
using Setter = void (clsID3::*)(std::u16string) noexcept;
struct Target {
  OtherField from;
  FieldId field;
  Getter get;
  Setter set;
};

#define TAGLOOM_TARGET(from, name) \
  { OtherField::from, FieldId::name, &clsID3::name, &clsID3::Set##name }
constexpr Target kTargets[] = {
    TAGLOOM_TARGET(kTitle, Title),
    TAGLOOM_TARGET(kArtist, Artist),
    TAGLOOM_TARGET(kAlbum, Album),
    TAGLOOM_TARGET(kBand, Band),
    TAGLOOM_TARGET(kYear, Year),
    TAGLOOM_TARGET(kTrackNumber, TrackNumber),
    TAGLOOM_TARGET(kTracks, TracksTotal),
    TAGLOOM_TARGET(kDisc, DiscNumber),
    TAGLOOM_TARGET(kDiscs, DiscsTotal),
    TAGLOOM_TARGET(kGenre, Genre),
    TAGLOOM_TARGET(kComments, Comments),
    TAGLOOM_TARGET(kComposer, Composer),
    TAGLOOM_TARGET(kLyrics, Lyrics),
    TAGLOOM_TARGET(kConductor, Conductor),
    TAGLOOM_TARGET(kCopyright, Copyright),
    TAGLOOM_TARGET(kPublisher, Publisher),
    TAGLOOM_TARGET(kIsrc, ISRC),
    TAGLOOM_TARGET(kBpm, BeatsPerMinute),
    TAGLOOM_TARGET(kInitialKey, InitialKey),
    TAGLOOM_TARGET(kLanguages, Languages),
    TAGLOOM_TARGET(kLyricist, Lyricist),
    TAGLOOM_TARGET(kInterpretedBy, InterpretedBy),
    TAGLOOM_TARGET(kEncodedBy, EncodedBy),
    TAGLOOM_TARGET(kOriginalAlbum, OriginalAlbum),
    TAGLOOM_TARGET(kOriginalArtist, OriginalArtist),
    TAGLOOM_TARGET(kOriginalLyricist, OriginalLyricist),
    TAGLOOM_TARGET(kOriginalYear, OriginalReleaseYear),
};
#undef TAGLOOM_TARGET

std::u16string Wide(std::string_view latin1) { return {latin1.begin(), latin1.end()}; }

std::u16string FromUtf8(const std::string& text) {
  const QString wide = QString::fromStdString(text);
  return {reinterpret_cast<const char16_t*>(wide.utf16()), static_cast<size_t>(wide.size())};
}

// The fields, their sources, the new columns' text and the audio, from the other read;
// `only_empty` keeps every value the engine gave and notes those the other one contradicts.
void Fill(const OtherFormatRead& read, clsID3& tag, OtherFacts& facts, bool only_empty) {
  for (const Target& target : kTargets) {
    const OtherFormatRead::Value& value = read[target.from];
    if (value.text.empty()) continue;
    const std::u16string& shown = (tag.*target.get)();
    if (only_empty && !shown.empty()) {
      if (shown != value.text) facts.conflicts.push_back(target.field);
      continue;
    }
    (tag.*target.set)(value.text);
    facts.sources.emplace_back(target.field, FromUtf8(value.source));
  }
  facts.encoder = read[OtherField::kEncoder].text;
  facts.track_gain = read[OtherField::kTrackGain].text;
  facts.track_peak = read[OtherField::kTrackPeak].text;
  facts.album_gain = read[OtherField::kAlbumGain].text;
  facts.album_peak = read[OtherField::kAlbumPeak].text;
  facts.tags = FromUtf8(read.tags);
  facts.pictures = read.pictures;
}

}  // namespace

QString Pattern() {
  QStringList patterns;
  for (const std::string_view ext : kExtensions)
    patterns.append(QStringLiteral("*.") +
                    QString::fromLatin1(ext.data(), static_cast<qsizetype>(ext.size())));
  return patterns.join(u'/');
}

QString DialogFilter() { return Pattern().replace(u'/', u' '); }

std::u16string_view MpegFormat(int layer) {
  switch (layer) {
    case 1:
      return u"MP3";
    case 2:
      return u"MP2";
    case 3:
      return u"MP1";
    default:
      return {};
  }
}

bool ReadOther(const OtherFormatReader& reader, OtherFormatRead& read, clsID3& tag,
               const std::string& path, bool seen) {
  if (seen) {
    reader.ReadHead(path, tag.OtherContainerHead(), tag.OtherContainerAt(), tag.Diagnosis().size,
                    tag.Diagnosis().modified, read);
  } else {
    reader.Read(path, read);
  }
  if (read.format == "DSF" && DsfFile::Read(tag, path)) return true;
  using Outcome = OtherFormatRead::Outcome;
  if (read.outcome == Outcome::kMpeg) return false;
  const ReadDiagnosis::Status status = read.outcome == Outcome::kRead
                                           ? ReadDiagnosis::Status::kRead
                                           : ReadDiagnosis::Status::kTruncated;
  OtherFacts& facts = tag.ReadByOther(path, read.size, read.modified, status);
  Fill(read, tag, facts, false);
  facts.format = Wide(read.format);
  facts.status = read.outcome == Outcome::kRead        ? u"read"
                 : read.outcome == Outcome::kTruncated ? u"truncated"
                                                       : u"unreadable";
  if (!read.reason.empty()) facts.status += u": " + FromUtf8(read.reason);
  facts.has_audio = read.has_audio && read.outcome == Outcome::kRead;
  facts.seconds = read.seconds;
  facts.duration_source = Wide(read.duration_source);
  facts.bit_rate = read.bit_rate;
  facts.sample_rate = read.sample_rate;
  facts.bits = read.bits;
  facts.channels = read.channels;
  return true;
}

void Complete(const OtherFormatRead& read, clsID3& tag) {
  using Status = ReadDiagnosis::Status;
  const Status engine = tag.Diagnosis().status;
  if (tag.Diagnosis().NotRead() || engine == Status::kEmpty) return;
  if (engine == Status::kNotMpegAudio) {
    // Nothing any reader knows: no duration or bit rate is made up for it.
    tag.AddOther(false, engine).status = u"not audio";
    return;
  }
  if (read.tags.empty()) return;
  OtherFacts& facts = tag.AddOther(false, engine);
  Fill(read, tag, facts, true);
}

}  // namespace OtherFormats
