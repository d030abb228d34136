#include "batch/ColumnCatalogue.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <utility>

#include "batch/FieldNames.h"
#include "batch/OtherFormats.h"
#include "batch/ResultColumns.h"
#include "batch/TrustCells.h"
#include "core/Main.h"
#include "platform/ReportListModel.h"
#include "tag/clsID3.h"

namespace ColumnCatalogue {

namespace {

QString Q(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QStringView View(const std::u16string& text) {
  return QStringView(text.data(), static_cast<qsizetype>(text.size()));
}

void AppendJoined(CellText& out, const MultiFrameData* list) {
  if (!list) return;
  for (int32_t i = 1; i <= list->Count(); ++i) {
    if (i > 1) out.AppendLatin1("; ");
    out += list->Item(i);
  }
}

std::string_view MpegName(const clsID3& tag) {
  static constexpr std::string_view kNames[4][4] = {
      {"MPEG-2.5", "MPEG-2.5 Layer III", "MPEG-2.5 Layer II", "MPEG-2.5 Layer I"},
      {"", "Layer III", "Layer II", "Layer I"},
      {"MPEG-1", "MPEG-1 Layer III", "MPEG-1 Layer II", "MPEG-1 Layer I"},
      {"MPEG-2", "MPEG-2 Layer III", "MPEG-2 Layer II", "MPEG-2 Layer I"}};
  const int version = tag.MPEGVersion();
  const int layer = tag.Layer();
  if (version < 0 || version > 3 || layer < 0 || layer > 3) return {};
  return kNames[version][layer];
}

std::string_view ChannelModeName(int mode) {
  switch (mode) {
    case 0:
      return "Stereo";
    case 1:
      return "Joint stereo";
    case 2:
      return "Dual channel";
    case 3:
      return "Mono";
    default:
      return {};
  }
}

long long Frames(const clsID3& tag) {
  if (tag.DeclaredFrames() > 0) return tag.DeclaredFrames();
  const int samples = tag.FrameSamples();
  const int rate = tag.SamplingRateFrequency();
  if (samples <= 0 || rate <= 0) return 0;
  return std::llround(tag.length() * rate / samples);
}

void AppendTagKinds(CellText& out, const clsID3& tag) {
  const OtherFacts* other = tag.Other();
  if (other && other->replaces) {
    out += other->tags;
    return;
  }
  bool first = true;
  const auto add = [&](std::string_view kind) {
    if (!first) out.AppendLatin1(", ");
    first = false;
    out.AppendLatin1(kind);
  };
  if (tag.ID3v2Exists()) {
    add("ID3v2.");
    out.AppendDecimal(tag.ID3RevisionV2());
  }
  if (tag.Lyrics3v2Exists()) add("Lyrics3 v2");
  if (tag.Lyrics3v1Exists()) add("Lyrics3 v1");
  if (tag.ID3v1Exists()) add("ID3v1");
  if (other && !other->tags.empty()) {
    if (!first) out.AppendLatin1(", ");
    out += other->tags;
  }
}

void AppendStatus(CellText& out, const clsID3& tag) {
  if (const OtherFacts* other = tag.Other(); other && !other->status.empty()) {
    out += other->status;
    return;
  }
  const ReadDiagnosis& d = tag.Diagnosis();
  out += ReadDiagnosis::Text(d.status);
  if (d.status == ReadDiagnosis::Status::kUnreadable && d.error_number != 0) {
    out.AppendLatin1(": ");
    out.AppendQString(QString::fromLocal8Bit(std::strerror(d.error_number)));
  }
}

// A date and time of day, as the local clock reads them.
struct Clock {
  long long year;
  int month, day, hour, minute, second;
  bool operator==(const Clock&) const = default;
};

// The clock `seconds` after 1970-01-01 00:00:00, with no zone, in the proleptic Gregorian
// calendar (H. Hinnant's days-to-civil algorithm).
Clock ClockAt(long long seconds) {
  const long long days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
  const auto of_day = static_cast<int>(seconds - days * 86400);
  // Files of one day share their date, worked out once.
  struct Date {
    long long days = std::numeric_limits<long long>::min();
    long long year = 0;
    int month = 0, day = 0;
  };
  thread_local Date date;
  if (date.days != days) {
    const long long z = days + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const auto month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    date = {days, yoe + era * 400 + (month <= 2), month,
            static_cast<int>(doy - (153 * mp + 2) / 5 + 1)};
  }
  return {date.year, date.month, date.day, of_day / 3600, of_day / 60 % 60, of_day % 60};
}

Clock ClockOf(const tm& local) {
  return {1900LL + local.tm_year, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,          local.tm_min,     local.tm_sec};
}

// The local time of `seconds`, as localtime_r gives it. A library's files were mostly written
// in batches, so the zone's offset is kept for an hour of UTC once the system gave the same
// offset, and the same clock, at both its ends: no zone changes its offset twice in an hour.
// A second file in an hour pays for that check; the rest of the hour costs no look-up.
bool LocalClock(time_t seconds, Clock& clock) {
  struct Hour {
    time_t first = std::numeric_limits<time_t>::min();
    long offset = 0;
    int seen = 0;  // files of this hour so far; 2 once the offset is known to hold throughout
  };
  thread_local Hour hour;
  constexpr time_t kFar = time_t{1} << 40;
  const time_t first = seconds - ((seconds % 3600) + 3600) % 3600;
  if (seconds > -kFar && seconds < kFar) {
    if (hour.seen >= 2 && hour.first == first) {
      clock = ClockAt(seconds + hour.offset);
      return true;
    }
    if (hour.seen == 1 && hour.first == first) {
      tm a{}, b{};
      const time_t last = first + 3599;
      if (localtime_r(&first, &a) && localtime_r(&last, &b) && a.tm_gmtoff == b.tm_gmtoff &&
          ClockOf(a) == ClockAt(first + a.tm_gmtoff) && ClockOf(b) == ClockAt(last + b.tm_gmtoff)) {
        hour.seen = 2;
        hour.offset = a.tm_gmtoff;
        clock = ClockAt(seconds + hour.offset);
        return true;
      }
    }
  }
  tm local{};
  if (!localtime_r(&seconds, &local)) return false;
  if (hour.first != first) {
    hour = {first, 0, 1};
  } else if (hour.seen == 1) {
    hour.seen = -1;  // the check failed: every file of this hour asks the system
  }
  clock = ClockOf(local);
  return true;
}

void AppendModified(CellText& out, const clsID3& tag) {
  const ReadDiagnosis& d = tag.Diagnosis();
  if (d.size < 0) return;
  // The local time without Qt's calendar machinery, which costs more than the rest of the row.
  Clock clock{};
  if (!LocalClock(d.modified.tv_sec, clock)) return;
  if (clock.year < 1000 || clock.year > 9999) {
    // strftime's own text for years of other lengths.
    tm local{};
    const time_t seconds = d.modified.tv_sec;
    if (!localtime_r(&seconds, &local)) return;
    char text[48];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    out.AppendLatin1(std::string_view(text, n));
    return;
  }
  // "%Y-%m-%d %H:%M:%S", written out: strftime costs as much as the rest of the cell.
  char text[19];
  const auto two = [&](int at, int value) {
    text[at] = static_cast<char>('0' + value / 10 % 10);
    text[at + 1] = static_cast<char>('0' + value % 10);
  };
  two(0, static_cast<int>(clock.year / 100));
  two(2, static_cast<int>(clock.year % 100));
  text[4] = '-';
  two(5, clock.month);
  text[7] = '-';
  two(8, clock.day);
  text[10] = ' ';
  two(11, clock.hour);
  text[13] = ':';
  two(14, clock.minute);
  text[16] = ':';
  two(17, clock.second);
  out.AppendLatin1(std::string_view(text, sizeof text));
}

QStringView FolderOf(const QString& path) {
  const qsizetype cut = path.lastIndexOf(Main::kSeparator);
  return cut <= 0 ? (cut == 0 ? QStringView(path).left(1) : QStringView())
                  : QStringView(path).left(cut);
}

void AppendDuration(CellText& out, double seconds) {
  if (!(seconds > 0)) return;
  const auto whole = static_cast<long long>(std::floor(seconds));
  out.AppendDecimal(whole / 3600);
  // Minutes and seconds in two digits at least.
  const auto two = [&](long long part) {
    out += u':';
    if (part >= 0 && part < 10) out += u'0';
    out.AppendDecimal(part);
  };
  two(whole / 60 % 60);
  two(whole % 60);
}

// The column of the I-th field of the table of their names.
template <size_t I>
Column FieldColumn(const QString& default_group, const QString& tag_group) {
  constexpr FieldNames::Field field = FieldNames::kAll[I];
  const bool shown = I < FieldNames::kDefaults;
  Column column{Q(field.name), shown ? default_group : tag_group,
                shown ? ResultColumns::kFields[I].width_twips : std::nullopt,
                field.number ? Order::kNumber : Order::kText, false};
  // Told apart by the field, not by its getter: comparing a member pointer is no constant
  // expression in an UndefinedBehaviorSanitizer build.
  if constexpr (field.field == FieldId::Genre) {
    column.append = [](const Source& s, CellText& out) { out += s.tag.ShownGenre(); };
  } else if constexpr (field.field == FieldId::GenreID) {
    column.append = [](const Source& s, CellText& out) {
      if (s.tag.GenreID() != 255) out.AppendDecimal(s.tag.GenreID());
    };
  } else {
    column.view = [](const Source& s) { return View((s.tag.*FieldNames::kAll[I].value)()); };
  }
  return column;
}

template <size_t... I>
void AddFields(std::vector<Column>& all, const QString& default_group, const QString& tag_group,
               std::index_sequence<I...>) {
  (all.push_back(FieldColumn<I>(default_group, tag_group)), ...);
}

std::vector<Column> MakeColumns() {
  using O = Order;
  const QString kDefault = QStringLiteral("Default");
  const QString kTag = QStringLiteral("Tag");
  const QString kAudio = QStringLiteral("Audio");
  const QString kFile = QStringLiteral("File");
  const QString kStatus = QStringLiteral("Status");
  std::vector<Column> all;
  const auto viewed = [&](QStringView (*view)(const Source&)) { all.back().view = view; };
  all.push_back(
      {Q(ResultColumns::kFileNameHeader), kDefault, ResultColumns::kFileNameWidth, O::kText, true});
  viewed([](const Source& s) {
    return QStringView(s.path).mid(s.path.lastIndexOf(Main::kSeparator) + 1);
  });
  // The tag's fields, the default ones as the run fills them.
  AddFields(all, kDefault, kTag, std::make_index_sequence<FieldNames::kAll.size()>());

#define TAGLOOM_MADE(header, order, width, ...)                     \
  all.push_back({QStringLiteral(header), kTag, width, order, false, \
                 [](const Source& s, CellText& out) { __VA_ARGS__; }});
  TAGLOOM_MADE("Artist URLs", O::kText, std::nullopt, AppendJoined(out, s.tag.ArtistURL().get()))
  TAGLOOM_MADE("Commercial URLs", O::kText, std::nullopt,
               AppendJoined(out, s.tag.CommercialInfo().get()))
  TAGLOOM_MADE("Pictures", O::kNumber, std::nullopt, out.AppendDecimal(s.tag.PictureCount()))
  all.back().pictures = true;
  TAGLOOM_MADE("Tags", O::kText, std::nullopt, AppendTagKinds(out, s.tag))
  TAGLOOM_MADE("Sources", O::kText, 3000, TrustCells::AppendSources(out, s.tag))
  TAGLOOM_MADE("Conflicts", O::kText, std::nullopt, TrustCells::AppendConflicts(out, s.tag))
  TAGLOOM_MADE("Decoded as", O::kText, std::nullopt, TrustCells::AppendDecodedAs(out, s.tag))
  TAGLOOM_MADE(
      "ID3v2 revision", O::kNumber, std::nullopt, if (s.tag.ID3v2Exists()) {
        out.AppendLatin1("2.");
        out.AppendDecimal(s.tag.ID3RevisionV2());
      })
#undef TAGLOOM_MADE

  // The engine's own (the LAME header, TSSE, TXXX) first, then what a reader of other tags
  // found: an MP3's APEv2 tag fills only what its ID3 tags leave empty.
  all.push_back({QStringLiteral("Encoder"), kTag, std::nullopt, O::kText, false,
                 [](const Source& s, CellText& out) {
                   const std::u16string own = s.tag.Encoder();
                   if (!own.empty()) {
                     out += own;
                   } else if (const OtherFacts* o = s.tag.Other()) {
                     out += o->encoder;
                   }
                 }});
#define TAGLOOM_GAIN(header, which, member)                                           \
  all.push_back({QStringLiteral(header), kTag, std::nullopt, O::kNumber, false,       \
                 [](const Source& s, CellText& out) {                                 \
                   const std::u16string& own = s.tag.ReplayGain(clsID3::Gain::which); \
                   if (!own.empty()) {                                                \
                     out += own;                                                      \
                   } else if (const OtherFacts* o = s.tag.Other()) {                  \
                     out += o->member;                                                \
                   }                                                                  \
                 }});
  TAGLOOM_GAIN("ReplayGain track gain", kTrackGain, track_gain)
  TAGLOOM_GAIN("ReplayGain track peak", kTrackPeak, track_peak)
  TAGLOOM_GAIN("ReplayGain album gain", kAlbumGain, album_gain)
  TAGLOOM_GAIN("ReplayGain album peak", kAlbumPeak, album_peak)
#undef TAGLOOM_GAIN

  // Audio columns stay empty for a file without an MPEG frame, where every property reads 0; a
  // file of another format shows what its reader found.
#define TAGLOOM_AUDIO(header, order, mpeg, other_format)                     \
  all.push_back({QStringLiteral(header), kAudio, std::nullopt, order, false, \
                 [](const Source& s, CellText& out) {                        \
                   const clsID3& t = s.tag;                                  \
                   const OtherFacts* o = t.Other();                          \
                   if (o && o->replaces) {                                   \
                     if (o->has_audio) {                                     \
                       other_format;                                         \
                     }                                                       \
                   } else if (t.HasAudio()) {                                \
                     mpeg;                                                   \
                   }                                                         \
                 }});
  TAGLOOM_AUDIO("Duration", O::kNumber, AppendDuration(out, t.length()),
                AppendDuration(out, o->seconds))
  TAGLOOM_AUDIO("Duration (exact)", O::kNumber, TrustCells::AppendExactDuration(out, t),
                TrustCells::AppendExactDuration(out, t))
  TAGLOOM_AUDIO("Duration source", O::kText, TrustCells::AppendDurationSource(out, t),
                TrustCells::AppendDurationSource(out, t))
  TAGLOOM_AUDIO("Bit rate", O::kNumber, out.AppendDecimal(std::llround(t.BitRate() / 1000)),
                if (o->bit_rate > 0) out.AppendDecimal(o->bit_rate))
  TAGLOOM_AUDIO("VBR", O::kText, out.AppendLatin1(t.IsVBR() ? "yes" : "no"), (void)o)
  TAGLOOM_AUDIO("Sampling rate", O::kNumber,
                if (t.SamplingRateFrequency() > 0) out.AppendDecimal(t.SamplingRateFrequency()),
                if (o->sample_rate > 0) out.AppendDecimal(o->sample_rate))
  TAGLOOM_AUDIO("MPEG", O::kText, out.AppendLatin1(MpegName(t)), (void)o)
  TAGLOOM_AUDIO("Channel mode", O::kText, out.AppendLatin1(ChannelModeName(t.ChannelMode())),
                (void)o)
  TAGLOOM_AUDIO("Frames", O::kNumber, out.AppendDecimal(Frames(t)), (void)o)
  TAGLOOM_AUDIO("Format", O::kText, out += OtherFormats::MpegFormat(t.Layer()), out += o->format)
  TAGLOOM_AUDIO("Bits per sample", O::kNumber, (void)t, if (o->bits > 0) out.AppendDecimal(o->bits))
  TAGLOOM_AUDIO("Channels", O::kNumber,
                if (t.ChannelMode() >= 0 && t.ChannelMode() <= 3)
                    out.AppendDecimal(t.ChannelMode() == 3 ? 1 : 2),
                if (o->channels > 0) out.AppendDecimal(o->channels))
#undef TAGLOOM_AUDIO

  all.push_back({QStringLiteral("Folder"), kFile, 3000, O::kText, true});
  viewed([](const Source& s) { return FolderOf(s.path); });
  all.push_back({QStringLiteral("Full path"), kFile, 5000, O::kText, true});
  viewed([](const Source& s) { return QStringView(s.path); });
  all.push_back({QStringLiteral("Size"), kFile, std::nullopt, O::kNumber, false,
                 [](const Source& s, CellText& out) {
                   const int64_t size = s.tag.Diagnosis().size;
                   if (size >= 0) out.AppendDecimal(size);
                 }});
  all.push_back({QStringLiteral("Modified"), kFile, 2200, O::kText, false,
                 [](const Source& s, CellText& out) { AppendModified(out, s.tag); }});

  all.push_back({QStringLiteral("Status"), kStatus, 1500, O::kText, false,
                 [](const Source& s, CellText& out) { AppendStatus(out, s.tag); }});
  return all;
}

}  // namespace

const std::vector<Column>& All() {
  static const std::vector<Column> all = MakeColumns();
  return all;
}

const Column* Find(const QString& header) {
  // Letter case is folded unit by unit, so only headers of the same length can match.
  for (const Column& column : All())
    if (column.header.size() == header.size() &&
        column.header.compare(header, Qt::CaseInsensitive) == 0)
      return &column;
  return nullptr;
}

QStringList DefaultHeaders() {
  QStringList headers;
  headers.append(Q(ResultColumns::kFileNameHeader));
  for (const ResultColumns::Field& field : ResultColumns::kFields) headers.append(Q(field.header));
  return headers;
}

bool IsDefault(const QStringList& headers) { return headers == DefaultHeaders(); }

std::optional<QStringList> Resolve(const QStringList& headers, QString& problem) {
  QStringList out;
  for (const QString& given : headers) {
    const Column* column = Find(given.trimmed());
    if (!column) {
      problem = QStringLiteral("unknown column '%1'").arg(given.trimmed());
      return std::nullopt;
    }
    if (out.contains(column->header)) {
      problem = QStringLiteral("column '%1' is named twice").arg(column->header);
      return std::nullopt;
    }
    out.append(column->header);
  }
  if (out.isEmpty()) {
    problem = QStringLiteral("no column chosen");
    return std::nullopt;
  }
  return out;
}

QString Join(const QStringList& headers) { return headers.join(u'|'); }

QStringList Split(const QString& stored) {
  QString problem;
  const std::optional<QStringList> resolved = Resolve(stored.split(u'|'), problem);
  return resolved ? *resolved : DefaultHeaders();
}

bool NeedPictureCount(const std::vector<const Column*>& columns) {
  for (const Column* column : columns)
    if (column && column->pictures) return true;
  return false;
}

void AddColumns(ReportListModel& results, const QStringList& headers) {
  for (const QString& header : headers) {
    const Column* column = Find(header);
    results.AddColumn(header, column ? column->width_twips : std::nullopt);
  }
  MarkListColumns(results);
}

void MarkListColumns(ReportListModel& results) {
  for (int c = 1; c <= results.ColumnCount(); ++c) {
    const QString header = results.Header(c);
    results.SetListToolTip(c, header == u"Sources" || header == u"Conflicts");
    results.SetRowToolTipColumn(c, header == u"Conflicts");
    results.SetMiddleElided(c, header == u"Folder" || header == u"Full path");
  }
}

std::vector<bool> NamesFile(const QStringList& headers) {
  std::vector<bool> flags;
  for (const QString& header : headers) {
    const Column* column = Find(header);
    flags.push_back(column && column->names_file);
  }
  return flags;
}

std::vector<bool> Durations(const QStringList& headers) {
  std::vector<bool> flags;
  for (const QString& header : headers)
    flags.push_back(header.compare(QStringLiteral("Duration"), Qt::CaseInsensitive) == 0);
  return flags;
}

QString Duration(double seconds) {
  CellText text;
  AppendDuration(text, seconds);
  return text.View().toString();
}

}  // namespace ColumnCatalogue
