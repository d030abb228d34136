#include "batch/TrustCells.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "batch/LegacyText.h"
#include "tag/clsID3.h"

namespace TrustCells {
namespace {

struct Named {
  FieldId field;
  std::u16string_view listed;  // "; Title": the name after the separator of a list
  std::u16string_view name = listed.substr(2);
};

// The catalogue's order and spelling: the default columns first.
constexpr std::array<Named, static_cast<size_t>(FieldId::kCount)> kNames = {{
    {FieldId::Title, u"; Title"},
    {FieldId::Artist, u"; Artist"},
    {FieldId::Album, u"; Album"},
    {FieldId::TrackNumber, u"; TrackNumber"},
    {FieldId::Year, u"; Year"},
    {FieldId::Comments, u"; Comments"},
    {FieldId::Lyrics, u"; Lyrics"},
    {FieldId::Composer, u"; Composer"},
    {FieldId::Band, u"; Band"},
    {FieldId::Conductor, u"; Conductor"},
    {FieldId::Copyright, u"; Copyright"},
    {FieldId::Genre, u"; Genre"},
    {FieldId::GenreID, u"; Genre number"},
    {FieldId::DiscNumber, u"; Disc"},
    {FieldId::DiscsTotal, u"; Discs"},
    {FieldId::TracksTotal, u"; Tracks"},
    {FieldId::Publisher, u"; Publisher"},
    {FieldId::ISRC, u"; ISRC"},
    {FieldId::BeatsPerMinute, u"; BPM"},
    {FieldId::InitialKey, u"; Initial key"},
    {FieldId::Languages, u"; Languages"},
    {FieldId::Lyricist, u"; Lyricist"},
    {FieldId::InterpretedBy, u"; Interpreted by"},
    {FieldId::EncodedBy, u"; Encoded by"},
    {FieldId::FileOwner, u"; File owner"},
    {FieldId::OriginalAlbum, u"; Original album"},
    {FieldId::OriginalArtist, u"; Original artist"},
    {FieldId::OriginalLyricist, u"; Original lyricist"},
    {FieldId::OriginalFileName, u"; Original file name"},
    {FieldId::OriginalReleaseYear, u"; Original year"},
    {FieldId::InternetRadioStationName, u"; Radio station"},
    {FieldId::InternetRadioStationOwner, u"; Radio owner"},
    {FieldId::CopyrightInfo, u"; Copyright URL"},
    {FieldId::AudioURL, u"; Audio URL"},
    {FieldId::AudioSourceURL, u"; Audio source URL"},
    {FieldId::InternetRadioURL, u"; Radio URL"},
    {FieldId::PaymentURL, u"; Payment URL"},
    {FieldId::PublisherURL, u"; Publisher URL"},
}};

// Appends " v2.4 TIT2", " Lyrics3v2 ETT", " v1", ...
void AppendSource(CellText& out, const FieldSource& source) {
  using Tag = FieldSource::Tag;
  switch (source.tag) {
    case Tag::kId3v2:
      // The revisions there are, in one piece each.
      if (source.revision >= 2 && source.revision <= 4) {
        static constexpr std::u16string_view kRevisions[] = {u" v2.2 ", u" v2.3 ", u" v2.4 "};
        out += kRevisions[source.revision - 2];
      } else {
        out += u" v2.";
        out.AppendDecimal(source.revision);
        out += u' ';
      }
      break;
    case Tag::kLyrics3v2:
      out += u" Lyrics3v2 ";
      break;
    case Tag::kLyrics3v1:
      out += u" Lyrics3v1";
      return;
    case Tag::kId3v1:
      out += u" v1";
      return;
    case Tag::kId3v11:
      out += u" v1.1";
      return;
    case Tag::kNone:
      return;
  }
  out.AppendLatin1(source.Id());
}

}  // namespace

QString FieldName(FieldId field) {
  for (const Named& named : kNames)
    if (named.field == field)
      return QString::fromUtf16(named.name.data(), static_cast<qsizetype>(named.name.size()));
  return {};
}

void AppendSources(CellText& out, const clsID3& tag) {
  bool first = true;
  for (const Named& named : kNames) {
    const FieldSource& source = tag.Sources()[named.field];
    if (source.tag == FieldSource::Tag::kNone) continue;
    // "; Title" in one piece, the separator left out before the first.
    out += named.listed.substr(first ? 2 : 0);
    first = false;
    AppendSource(out, source);
  }
}

void AppendConflicts(CellText& out, const clsID3& tag) {
  const std::vector<FieldId> fields = tag.Id3v1Conflicts();
  if (fields.empty()) return;
  bool first = true;
  for (const Named& named : kNames) {
    if (std::find(fields.begin(), fields.end(), named.field) == fields.end()) continue;
    if (!first) out += u"; ";
    first = false;
    out += named.field == FieldId::GenreID ? u"Genre" : named.name;
  }
}

void AppendDecodedAs(CellText& out, const clsID3& tag) {
  if (!tag.HasLegacyText()) return;
  const std::string& code_page = tag.LegacyCodePage();
  if (code_page.empty()) {
    out.AppendLatin1(LegacyText::kDefault);
    return;
  }
  out.AppendQString(QString::fromStdString(LegacyText::ShownName(code_page)));
}

void AppendThousandths(CellText& out, double value) {
  // std::to_chars rounds as Qt does, without making a string, except halfway between two
  // thousandths, where Qt rounds up and to_chars to even: there (a whole number of sixteenths,
  // odd) and for anything but a positive finite number, Qt's own text stays.
  const double sixteenths = value * 16;
  // From 2^53 on every double is an even whole number.
  if (!(value > 0) || !std::isfinite(sixteenths) ||
      (sixteenths < 0x1p53 && std::floor(sixteenths) == sixteenths &&
       (static_cast<int64_t>(sixteenths) & 1) != 0)) {
    out.AppendQString(QString::number(value, 'f', 3));
    return;
  }
  char text[400];  // the longest a finite double can be in thousandths
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3).ptr;
  out.AppendLatin1(std::string_view(text, static_cast<size_t>(end - text)));
}

void AppendExactDuration(CellText& out, const clsID3& tag) {
  const MpegAudio::ExactLength exact = tag.ExactLength();
  if (exact.source != MpegAudio::ExactLength::Source::kNone) AppendThousandths(out, exact.seconds);
}

void AppendDurationSource(CellText& out, const clsID3& tag) {
  using Source = MpegAudio::ExactLength::Source;
  switch (tag.ExactLength().source) {
    case Source::kLame:
      out.AppendLatin1("LAME header");
      break;
    case Source::kXing:
      out.AppendLatin1("Xing");
      break;
    case Source::kVbri:
      out.AppendLatin1("VBRI");
      break;
    case Source::kBitRate:
      out.AppendLatin1("bit-rate estimate");
      break;
    case Source::kNone:
      break;
  }
}

}  // namespace TrustCells
