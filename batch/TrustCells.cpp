#include "batch/TrustCells.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include "batch/FieldNames.h"
#include "legacy/IconvLegacyText.h"
#include "tag/clsID3.h"

namespace TrustCells {
namespace {

using Named = FieldNames::Field;
constexpr const auto& kNames = FieldNames::kAll;

// A short text in a block of fixed size, copied whole in a few moves; only its own units count.
struct Piece {
  static constexpr size_t kUnits = 24;
  std::array<char16_t, kUnits> units{};
  size_t size = 0;

  constexpr Piece() = default;
  constexpr explicit Piece(std::u16string_view text, std::u16string_view before = {})
      : size(before.size() + text.size()) {
    for (size_t i = 0; i < before.size() && i < kUnits; ++i) units[i] = before[i];
    for (size_t i = 0; i < text.size() && before.size() + i < kUnits; ++i)
      units[before.size() + i] = text[i];
  }
  // Writes the whole block at `to`, which must have room for it; returns the end of the text.
  char16_t* PutAt(char16_t* to) const {
    std::memcpy(to, units.data(), sizeof units);
    return to + size;
  }
};

constexpr std::u16string_view kSeparator = u"; ";

template <size_t... I>
constexpr std::array<Piece, sizeof...(I)> Pieces(std::u16string_view before,
                                                 std::index_sequence<I...>) {
  return {Piece(kNames[I].name, before)...};
}
constexpr auto kIndexes = std::make_index_sequence<kNames.size()>();
// "; Title" after another field, "Title" first.
constexpr auto kListed = Pieces(kSeparator, kIndexes);
constexpr auto kFirst = Pieces({}, kIndexes);
static_assert(std::all_of(kNames.begin(), kNames.end(), [](const Named& named) {
  return kSeparator.size() + named.name.size() <= Piece::kUnits;
}));

// What follows a field's name for each kind of tag, in FieldSource::Tag's order, and for each
// ID3v2 revision there is; an ID follows the ID3v2 and Lyrics3 v2 ones.
constexpr Piece kKinds[] = {
    Piece(), Piece(), Piece(u" Lyrics3v1"), Piece(u" Lyrics3v2 "), Piece(u" v1"), Piece(u" v1.1")};
constexpr Piece kRevisions[] = {Piece(u" v2.2 "), Piece(u" v2.3 "), Piece(u" v2.4 ")};

// Writes " v2.4 TIT2", " Lyrics3v2 ETT", " v1", ... at `to`, with room for two pieces after it.
char16_t* PutSource(char16_t* to, const FieldSource& source) {
  using Tag = FieldSource::Tag;
  if (source.tag != Tag::kId3v2) {
    to = kKinds[static_cast<size_t>(source.tag)].PutAt(to);
    if (source.tag != Tag::kLyrics3v2) return to;
  } else if (source.revision >= 2 && source.revision <= 4) {
    to = kRevisions[source.revision - 2].PutAt(to);
  } else {
    to = Piece(u" v2.").PutAt(to);
    if (source.revision >= 100) *to++ = static_cast<char16_t>(u'0' + source.revision / 100);
    if (source.revision >= 10) *to++ = static_cast<char16_t>(u'0' + source.revision / 10 % 10);
    *to++ = static_cast<char16_t>(u'0' + source.revision % 10);
    *to++ = u' ';
  }
  for (size_t i = 0; i < source.id.size(); ++i)
    to[i] = static_cast<char16_t>(static_cast<unsigned char>(source.id[i]));
  return to + source.Id().size();
}

}  // namespace

QString FieldName(FieldId field) {
  for (const Named& named : kNames)
    if (named.field == field)
      return QString::fromUtf16(named.name.data(), static_cast<qsizetype>(named.name.size()));
  return {};
}

namespace {

// The engine's sources with those another reader gave, in the columns' order.
void AppendMixedSources(CellText& out, const clsID3& tag, const OtherFacts& other) {
  const FieldSources& sources = tag.Sources();
  bool first = true;
  for (const Named& named : kNames) {
    const FieldSource& source = sources[named.field];
    const auto added = std::find_if(other.sources.begin(), other.sources.end(),
                                    [&](const auto& given) { return given.first == named.field; });
    if (source.tag == FieldSource::Tag::kNone && added == other.sources.end()) continue;
    if (!first) out += kSeparator;
    out += named.name;
    first = false;
    if (source.tag != FieldSource::Tag::kNone) {
      out.Written(PutSource(out.Room(3 * Piece::kUnits), source));
    } else {
      out += u' ';
      out += added->second;
    }
  }
}

}  // namespace

void AppendSources(CellText& out, const clsID3& tag) {
  if (const OtherFacts* other = tag.Other(); other && !other->sources.empty()) {
    AppendMixedSources(out, tag, *other);
    return;
  }
  // Room for every field with its source, three pieces at most, written without a check for
  // each piece.
  char16_t* const start = out.Room(kNames.size() * 3 * Piece::kUnits);
  char16_t* to = start;
  // The fields some tag gave a value, as bits in the catalogue's order: gathered without a
  // branch a field, which a row's changing mix of fields would mispredict.
  const FieldSources& sources = tag.Sources();
  static_assert(kNames.size() <= 64);
  uint64_t given = 0;
  for (size_t i = 0; i < kNames.size(); ++i)
    given |= uint64_t{sources[kNames[i].field].tag != FieldSource::Tag::kNone} << i;
  for (; given != 0; given &= given - 1) {
    const auto i = static_cast<size_t>(std::countr_zero(given));
    // "; Title" in one piece, the separator left out before the first.
    to = (to == start ? kFirst[i] : kListed[i]).PutAt(to);
    to = PutSource(to, sources[kNames[i].field]);
  }
  out.Written(to);
}

void AppendConflicts(CellText& out, const clsID3& tag) {
  const std::vector<FieldId> fields = tag.Id3v1Conflicts();
  bool first = true;
  for (const Named& named : kNames) {
    if (std::find(fields.begin(), fields.end(), named.field) == fields.end()) continue;
    if (!first) out += u"; ";
    first = false;
    out += named.field == FieldId::GenreID ? u"Genre" : named.name;
  }
  // An added tag's differing values, each marked with that tag.
  const OtherFacts* other = tag.Other();
  if (!other) return;
  for (const Named& named : kNames) {
    if (std::find(other->conflicts.begin(), other->conflicts.end(), named.field) ==
        other->conflicts.end())
      continue;
    if (!first) out += u"; ";
    first = false;
    out += named.name;
    out += u" (";
    out += other->tags;
    out += u')';
  }
}

namespace {

QString Q(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// The value shown of a field an ID3v1 block has a place for.
std::u16string Shown(const clsID3& tag, FieldId field) {
  switch (field) {
    case FieldId::Title:
      return tag.Title();
    case FieldId::Artist:
      return tag.Artist();
    case FieldId::Album:
      return tag.Album();
    case FieldId::Year:
      return tag.Year();
    case FieldId::Comments:
      return tag.Comments();
    case FieldId::TrackNumber:
      return tag.TrackNumber();
    default:
      return {};
  }
}

}  // namespace

QString ConflictsTip(const clsID3& tag) {
  const std::vector<FieldId> fields = tag.Id3v1Conflicts();
  const OtherFacts* other = tag.Other();
  if (fields.empty() && (!other || other->conflicts.empty())) return {};
  QStringList lines;
  const auto quoted = [](std::u16string_view value) { return u'"' + Q(value) + u'"'; };
  for (const Named& named : kNames) {
    if (std::find(fields.begin(), fields.end(), named.field) == fields.end()) continue;
    const bool genre = named.field == FieldId::GenreID;
    const std::u16string shown = genre ? tag.ShownGenre() : Shown(tag, named.field);
    lines.append(QStringLiteral("%1: %2 in the tag, %3 in ID3v1")
                     .arg(genre ? QStringLiteral("Genre") : Q(named.name), quoted(shown),
                          quoted(tag.Id3v1Value(named.field))));
  }
  if (other)
    for (const Named& named : kNames)
      if (std::find(other->conflicts.begin(), other->conflicts.end(), named.field) !=
          other->conflicts.end())
        lines.append(Q(named.name) + QStringLiteral(" (") + Q(other->tags) + u')');
  return lines.join(u'\n');
}

void AppendDecodedAs(CellText& out, const clsID3& tag) {
  if (!tag.HasLegacyText()) return;
  if (!tag.LegacyProblem().empty()) {
    out.AppendQString(QString::fromStdString(tag.LegacyProblem()));
    out.AppendLatin1("; read as ");
    out.AppendLatin1(LegacyText::kDefault);
    return;
  }
  if (tag.LegacyTextAscii()) {
    out.AppendLatin1("ASCII, nothing to decode");
    return;
  }
  const std::string& code_page = tag.LegacyCodePage();
  if (code_page.empty()) {
    out.AppendLatin1(LegacyText::kDefault);
    return;
  }
  out.AppendQString(QString::fromStdString(LegacyText::ShownName(code_page)));
}

void AppendThousandths(CellText& out, double value) {
  // A duration: its thousandths as a whole number, unless the value lies so near halfway
  // between two that the product's own rounding could tip it (the product is off by less than
  // 2^-13 below 10^12).
  if (value > 0 && value < 1e9) {
    const double thousandths = value * 1000;
    const double whole = std::floor(thousandths);
    const double rest = thousandths - whole;
    if (std::fabs(rest - 0.5) > 1e-3) {
      const auto n = static_cast<long long>(rest > 0.5 ? whole + 1 : whole);
      out.AppendDecimal(n / 1000);
      const auto part = static_cast<int>(n % 1000);
      out += u'.';
      out += static_cast<char16_t>(u'0' + part / 100);
      out += static_cast<char16_t>(u'0' + part / 10 % 10);
      out += static_cast<char16_t>(u'0' + part % 10);
      return;
    }
  }
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
  if (const OtherFacts* other = tag.Other(); other && other->replaces) {
    if (other->seconds > 0) AppendThousandths(out, other->seconds);
    return;
  }
  const MpegAudio::ExactLength exact = tag.ExactLength();
  if (exact.source != MpegAudio::ExactLength::Source::kNone) AppendThousandths(out, exact.seconds);
}

void AppendDurationSource(CellText& out, const clsID3& tag) {
  if (const OtherFacts* other = tag.Other(); other && other->replaces) {
    out += other->duration_source;
    return;
  }
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
