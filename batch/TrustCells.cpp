#include "batch/TrustCells.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "batch/LegacyText.h"
#include "tag/clsID3.h"

namespace TrustCells {
namespace {

struct Named {
  FieldId field;
  std::string_view name;

  QLatin1String Text() const {
    return QLatin1String(name.data(), static_cast<qsizetype>(name.size()));
  }
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

// Latin-1 text gathered as bytes on the stack and appended to the cell at once: a cell of a
// dozen short pieces would otherwise grow the row's text a dozen times.
class Latin1Text {
 public:
  void Put(std::string_view bytes) {
    const size_t n = std::min(bytes.size(), sizeof text_ - size_);
    std::memcpy(text_ + size_, bytes.data(), n);
    size_ += n;
  }
  void PutDecimal(unsigned value) {
    char digits[12];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    Put(std::string_view(digits, static_cast<size_t>(end - digits)));
  }
  void AppendTo(QString& out) const { out += QLatin1String(text_, static_cast<qsizetype>(size_)); }

 private:
  // Every field's longest source, "; Original file name Lyrics3v2 XXXX", fits 40 bytes.
  static constexpr size_t kMost = 40;
  static_assert(std::all_of(kNames.begin(), kNames.end(), [](const Named& named) {
    return 2 + named.name.size() + std::string_view(" Lyrics3v2 ").size() + 4 <= kMost;
  }));
  char text_[kNames.size() * kMost];
  size_t size_ = 0;
};

// Puts " v2.4 TIT2", " Lyrics3v2 ETT", " v1", ...
void PutSource(Latin1Text& text, const FieldSource& source) {
  using Tag = FieldSource::Tag;
  switch (source.tag) {
    case Tag::kId3v2:
      text.Put(" v2.");
      text.PutDecimal(source.revision);
      text.Put(" ");
      break;
    case Tag::kLyrics3v2:
      text.Put(" Lyrics3v2 ");
      break;
    case Tag::kLyrics3v1:
      text.Put(" Lyrics3v1");
      return;
    case Tag::kId3v1:
      text.Put(" v1");
      return;
    case Tag::kId3v11:
      text.Put(" v1.1");
      return;
    case Tag::kNone:
      return;
  }
  text.Put(source.Id());
}

}  // namespace

QString FieldName(FieldId field) {
  for (const Named& named : kNames)
    if (named.field == field) return named.Text();
  return {};
}

void AppendSources(QString& out, const clsID3& tag) {
  Latin1Text text;
  bool first = true;
  for (const Named& named : kNames) {
    const FieldSource& source = tag.Sources()[named.field];
    if (source.tag == FieldSource::Tag::kNone) continue;
    if (!first) text.Put("; ");
    first = false;
    text.Put(named.name);
    PutSource(text, source);
  }
  text.AppendTo(out);
}

void AppendConflicts(QString& out, const clsID3& tag) {
  const std::vector<FieldId> fields = tag.Id3v1Conflicts();
  if (fields.empty()) return;
  bool first = true;
  for (const Named& named : kNames) {
    if (std::find(fields.begin(), fields.end(), named.field) == fields.end()) continue;
    if (!first) out += QLatin1String("; ");
    first = false;
    out += named.field == FieldId::GenreID ? QLatin1String("Genre") : named.Text();
  }
}

void AppendDecodedAs(QString& out, const clsID3& tag) {
  if (!tag.HasLegacyText()) return;
  const std::string& code_page = tag.LegacyCodePage();
  if (code_page.empty()) {
    out += QLatin1String(LegacyText::kDefault.data(),
                         static_cast<qsizetype>(LegacyText::kDefault.size()));
    return;
  }
  out += QString::fromStdString(LegacyText::ShownName(code_page));
}

void AppendThousandths(QString& out, double value) {
  // std::to_chars rounds as Qt does, without making a string, except halfway between two
  // thousandths, where Qt rounds up and to_chars to even: there (a whole number of sixteenths,
  // odd) and for anything but a positive finite number, Qt's own text stays.
  const double sixteenths = value * 16;
  if (!(value > 0) || !std::isfinite(sixteenths) ||
      (std::floor(sixteenths) == sixteenths && std::fmod(sixteenths, 2) != 0)) {
    out += QString::number(value, 'f', 3);
    return;
  }
  char text[400];  // the longest a finite double can be in thousandths
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3).ptr;
  out += QLatin1String(text, static_cast<qsizetype>(end - text));
}

void AppendExactDuration(QString& out, const clsID3& tag) {
  const MpegAudio::ExactLength exact = tag.ExactLength();
  if (exact.source != MpegAudio::ExactLength::Source::kNone) AppendThousandths(out, exact.seconds);
}

void AppendDurationSource(QString& out, const clsID3& tag) {
  using Source = MpegAudio::ExactLength::Source;
  switch (tag.ExactLength().source) {
    case Source::kLame:
      out += QLatin1String("LAME header");
      break;
    case Source::kXing:
      out += QLatin1String("Xing");
      break;
    case Source::kVbri:
      out += QLatin1String("VBRI");
      break;
    case Source::kBitRate:
      out += QLatin1String("bit-rate estimate");
      break;
    case Source::kNone:
      break;
  }
}

}  // namespace TrustCells
