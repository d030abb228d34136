#include "batch/TrustCells.h"

#include <QStringList>
#include <array>

#include "batch/LegacyText.h"
#include "tag/clsID3.h"

namespace TrustCells {
namespace {

struct Named {
  FieldId field;
  const char* name;
};

// The catalogue's order and spelling: the default columns first.
constexpr std::array<Named, static_cast<size_t>(FieldId::kCount)> kNames = {{
    {FieldId::Title, "Title"},
    {FieldId::Artist, "Artist"},
    {FieldId::Album, "Album"},
    {FieldId::TrackNumber, "TrackNumber"},
    {FieldId::Year, "Year"},
    {FieldId::Comments, "Comments"},
    {FieldId::Lyrics, "Lyrics"},
    {FieldId::Composer, "Composer"},
    {FieldId::Band, "Band"},
    {FieldId::Conductor, "Conductor"},
    {FieldId::Copyright, "Copyright"},
    {FieldId::Genre, "Genre"},
    {FieldId::GenreID, "Genre number"},
    {FieldId::DiscNumber, "Disc"},
    {FieldId::DiscsTotal, "Discs"},
    {FieldId::TracksTotal, "Tracks"},
    {FieldId::Publisher, "Publisher"},
    {FieldId::ISRC, "ISRC"},
    {FieldId::BeatsPerMinute, "BPM"},
    {FieldId::InitialKey, "Initial key"},
    {FieldId::Languages, "Languages"},
    {FieldId::Lyricist, "Lyricist"},
    {FieldId::InterpretedBy, "Interpreted by"},
    {FieldId::EncodedBy, "Encoded by"},
    {FieldId::FileOwner, "File owner"},
    {FieldId::OriginalAlbum, "Original album"},
    {FieldId::OriginalArtist, "Original artist"},
    {FieldId::OriginalLyricist, "Original lyricist"},
    {FieldId::OriginalFileName, "Original file name"},
    {FieldId::OriginalReleaseYear, "Original year"},
    {FieldId::InternetRadioStationName, "Radio station"},
    {FieldId::InternetRadioStationOwner, "Radio owner"},
    {FieldId::CopyrightInfo, "Copyright URL"},
    {FieldId::AudioURL, "Audio URL"},
    {FieldId::AudioSourceURL, "Audio source URL"},
    {FieldId::InternetRadioURL, "Radio URL"},
    {FieldId::PaymentURL, "Payment URL"},
    {FieldId::PublisherURL, "Publisher URL"},
}};

// Appends " v2.4 TIT2", " Lyrics3v2 ETT", " v1", ...
void AppendSource(QString& out, const FieldSource& source) {
  using Tag = FieldSource::Tag;
  switch (source.tag) {
    case Tag::kId3v2:
      out += QLatin1String(" v2.");
      out += QString::number(source.revision);
      out += u' ';
      break;
    case Tag::kLyrics3v2:
      out += QLatin1String(" Lyrics3v2 ");
      break;
    case Tag::kLyrics3v1:
      out += QLatin1String(" Lyrics3v1");
      return;
    case Tag::kId3v1:
      out += QLatin1String(" v1");
      return;
    case Tag::kId3v11:
      out += QLatin1String(" v1.1");
      return;
    case Tag::kNone:
      return;
  }
  const std::string_view id = source.Id();
  out += QLatin1String(id.data(), static_cast<qsizetype>(id.size()));
}

}  // namespace

QString FieldName(FieldId field) {
  for (const Named& named : kNames)
    if (named.field == field) return QString::fromLatin1(named.name);
  return {};
}

QString Sources(const clsID3& tag) {
  QString out;
  for (const Named& named : kNames) {
    const FieldSource& source = tag.Sources()[named.field];
    if (source.tag == FieldSource::Tag::kNone) continue;
    if (out.isEmpty()) {
      out.reserve(256);
    } else {
      out += QLatin1String("; ");
    }
    out += QLatin1String(named.name);
    AppendSource(out, source);
  }
  return out;
}

QString Conflicts(const clsID3& tag) {
  const std::vector<FieldId> fields = tag.Id3v1Conflicts();
  QStringList names;
  for (const Named& named : kNames)
    if (std::find(fields.begin(), fields.end(), named.field) != fields.end())
      names.append(named.field == FieldId::GenreID ? QStringLiteral("Genre")
                                                   : QString::fromLatin1(named.name));
  return names.join(QStringLiteral("; "));
}

QString DecodedAs(const clsID3& tag) {
  if (!tag.HasLegacyText()) return {};
  return QString::fromStdString(LegacyText::ShownName(tag.LegacyCodePage()));
}

QString ExactDuration(const clsID3& tag) {
  const MpegAudio::ExactLength exact = tag.ExactLength();
  if (exact.source == MpegAudio::ExactLength::Source::kNone) return {};
  return QString::number(exact.seconds, 'f', 3);
}

QString DurationSource(const clsID3& tag) {
  using Source = MpegAudio::ExactLength::Source;
  switch (tag.ExactLength().source) {
    case Source::kLame:
      return QStringLiteral("LAME header");
    case Source::kXing:
      return QStringLiteral("Xing");
    case Source::kVbri:
      return QStringLiteral("VBRI");
    case Source::kBitRate:
      return QStringLiteral("bit-rate estimate");
    case Source::kNone:
      break;
  }
  return {};
}

}  // namespace TrustCells
