#include "batch/ColumnCatalogue.h"

#include <cmath>
#include <cstring>
#include <ctime>

#include "batch/ResultColumns.h"
#include "batch/TrustCells.h"
#include "core/Main.h"
#include "platform/ReportListModel.h"
#include "tag/clsID3.h"

namespace ColumnCatalogue {

namespace {

QString Q(const std::u16string& text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QString Q(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QString Joined(const MultiFrameData* list) {
  QStringList items;
  if (list)
    for (int32_t i = 1; i <= list->Count(); ++i) items.append(Q(list->Item(i)));
  return items.join(QStringLiteral("; "));
}

QString Number(long long value) { return QString::number(value); }

QString MpegName(const clsID3& tag) {
  // Every name is a literal: no text is made per file.
  static const QString kNames[4][4] = {
      {QStringLiteral("MPEG-2.5"), QStringLiteral("MPEG-2.5 Layer III"),
       QStringLiteral("MPEG-2.5 Layer II"), QStringLiteral("MPEG-2.5 Layer I")},
      {QString(), QStringLiteral("Layer III"), QStringLiteral("Layer II"),
       QStringLiteral("Layer I")},
      {QStringLiteral("MPEG-1"), QStringLiteral("MPEG-1 Layer III"),
       QStringLiteral("MPEG-1 Layer II"), QStringLiteral("MPEG-1 Layer I")},
      {QStringLiteral("MPEG-2"), QStringLiteral("MPEG-2 Layer III"),
       QStringLiteral("MPEG-2 Layer II"), QStringLiteral("MPEG-2 Layer I")}};
  const int version = tag.MPEGVersion();
  const int layer = tag.Layer();
  if (version < 0 || version > 3 || layer < 0 || layer > 3) return {};
  return kNames[version][layer];
}

QString ChannelModeName(int mode) {
  switch (mode) {
    case 0:
      return QStringLiteral("Stereo");
    case 1:
      return QStringLiteral("Joint stereo");
    case 2:
      return QStringLiteral("Dual channel");
    case 3:
      return QStringLiteral("Mono");
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

QString TagKinds(const clsID3& tag) {
  QStringList kinds;
  if (tag.ID3v2Exists()) kinds.append(QStringLiteral("ID3v2.%1").arg(tag.ID3RevisionV2()));
  if (tag.Lyrics3v2Exists()) kinds.append(QStringLiteral("Lyrics3 v2"));
  if (tag.Lyrics3v1Exists()) kinds.append(QStringLiteral("Lyrics3 v1"));
  if (tag.ID3v1Exists()) kinds.append(QStringLiteral("ID3v1"));
  return kinds.join(QStringLiteral(", "));
}

QString StatusText(const clsID3& tag) {
  const ReadDiagnosis& d = tag.Diagnosis();
  QString text = Q(ReadDiagnosis::Text(d.status));
  if (d.status == ReadDiagnosis::Status::kUnreadable && d.error_number != 0)
    text += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(d.error_number));
  return text;
}

QString Modified(const clsID3& tag) {
  const ReadDiagnosis& d = tag.Diagnosis();
  if (d.size < 0) return {};
  // The local time as the system gives it, without Qt's calendar machinery, which costs more
  // than the rest of the row.
  tm local{};
  const time_t seconds = d.modified.tv_sec;
  if (!localtime_r(&seconds, &local)) return {};
  char text[32];
  const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return QString::fromLatin1(text, static_cast<qsizetype>(n));
}

QString FolderOf(const QString& path) {
  const qsizetype cut = path.lastIndexOf(Main::kSeparator);
  return cut <= 0 ? (cut == 0 ? path.left(1) : QString()) : path.left(cut);
}

std::vector<Column> MakeColumns() {
  using O = Order;
  const QString kDefault = QStringLiteral("Default");
  const QString kTag = QStringLiteral("Tag");
  const QString kAudio = QStringLiteral("Audio");
  const QString kFile = QStringLiteral("File");
  const QString kStatus = QStringLiteral("Status");
  std::vector<Column> all;
  all.push_back({Q(ResultColumns::kFileNameHeader), kDefault, ResultColumns::kFileNameWidth,
                 O::kText, true, [](const Source& s) { return Main::FileNameOfPath(s.path); }});
  // The default fields, as the run fills them.
#define TAGLOOM_DEFAULT(name, order)                                               \
  all.push_back({QStringLiteral(#name), kDefault,                                  \
                 ResultColumns::kFields[all.size() - 1].width_twips, order, false, \
                 [](const Source& s) { return Q(s.tag.name()); }});
  TAGLOOM_DEFAULT(Title, O::kText)
  TAGLOOM_DEFAULT(Artist, O::kText)
  TAGLOOM_DEFAULT(Album, O::kText)
  TAGLOOM_DEFAULT(TrackNumber, O::kNumber)
  TAGLOOM_DEFAULT(Year, O::kNumber)
  TAGLOOM_DEFAULT(Comments, O::kText)
  TAGLOOM_DEFAULT(Lyrics, O::kText)
  TAGLOOM_DEFAULT(Composer, O::kText)
  TAGLOOM_DEFAULT(Band, O::kText)
  TAGLOOM_DEFAULT(Conductor, O::kText)
  TAGLOOM_DEFAULT(Copyright, O::kText)
#undef TAGLOOM_DEFAULT

#define TAGLOOM_TAG(header, field, order)                                  \
  all.push_back({QStringLiteral(header), kTag, std::nullopt, order, false, \
                 [](const Source& s) { return Q(s.tag.field()); }});
  TAGLOOM_TAG("Genre", Genre, O::kText)
  all.push_back(
      {QStringLiteral("Genre number"), kTag, std::nullopt, O::kNumber, false, [](const Source& s) {
         return s.tag.GenreID() == 255 ? QString() : Number(s.tag.GenreID());
       }});
  TAGLOOM_TAG("Disc", DiscNumber, O::kNumber)
  TAGLOOM_TAG("Discs", DiscsTotal, O::kNumber)
  TAGLOOM_TAG("Tracks", TracksTotal, O::kNumber)
  TAGLOOM_TAG("Publisher", Publisher, O::kText)
  TAGLOOM_TAG("ISRC", ISRC, O::kText)
  TAGLOOM_TAG("BPM", BeatsPerMinute, O::kNumber)
  TAGLOOM_TAG("Initial key", InitialKey, O::kText)
  TAGLOOM_TAG("Languages", Languages, O::kText)
  TAGLOOM_TAG("Lyricist", Lyricist, O::kText)
  TAGLOOM_TAG("Interpreted by", InterpretedBy, O::kText)
  TAGLOOM_TAG("Encoded by", EncodedBy, O::kText)
  TAGLOOM_TAG("File owner", FileOwner, O::kText)
  TAGLOOM_TAG("Original album", OriginalAlbum, O::kText)
  TAGLOOM_TAG("Original artist", OriginalArtist, O::kText)
  TAGLOOM_TAG("Original lyricist", OriginalLyricist, O::kText)
  TAGLOOM_TAG("Original file name", OriginalFileName, O::kText)
  TAGLOOM_TAG("Original year", OriginalReleaseYear, O::kNumber)
  TAGLOOM_TAG("Radio station", InternetRadioStationName, O::kText)
  TAGLOOM_TAG("Radio owner", InternetRadioStationOwner, O::kText)
  TAGLOOM_TAG("Copyright URL", CopyrightInfo, O::kText)
  TAGLOOM_TAG("Audio URL", AudioURL, O::kText)
  TAGLOOM_TAG("Audio source URL", AudioSourceURL, O::kText)
  TAGLOOM_TAG("Radio URL", InternetRadioURL, O::kText)
  TAGLOOM_TAG("Payment URL", PaymentURL, O::kText)
  TAGLOOM_TAG("Publisher URL", PublisherURL, O::kText)
#undef TAGLOOM_TAG
  all.push_back({QStringLiteral("Artist URLs"), kTag, std::nullopt, O::kText, false,
                 [](const Source& s) { return Joined(s.tag.ArtistURL().get()); }});
  all.push_back({QStringLiteral("Commercial URLs"), kTag, std::nullopt, O::kText, false,
                 [](const Source& s) { return Joined(s.tag.CommercialInfo().get()); }});
  all.push_back({QStringLiteral("Pictures"), kTag, std::nullopt, O::kNumber, false,
                 [](const Source& s) { return Number(s.tag.PictureCount()); }});
  all.push_back({QStringLiteral("Tags"), kTag, std::nullopt, O::kText, false,
                 [](const Source& s) { return TagKinds(s.tag); }});
  all.push_back({QStringLiteral("Sources"), kTag, 3000, O::kText, false,
                 [](const Source& s) { return TrustCells::Sources(s.tag); }});
  all.push_back({QStringLiteral("Conflicts"), kTag, std::nullopt, O::kText, false,
                 [](const Source& s) { return TrustCells::Conflicts(s.tag); }});
  all.push_back({QStringLiteral("Decoded as"), kTag, std::nullopt, O::kText, false,
                 [](const Source& s) { return TrustCells::DecodedAs(s.tag); }});
  all.push_back({QStringLiteral("ID3v2 revision"), kTag, std::nullopt, O::kNumber, false,
                 [](const Source& s) {
                   return s.tag.ID3v2Exists() ? QStringLiteral("2.%1").arg(s.tag.ID3RevisionV2())
                                              : QString();
                 }});

  // Audio columns stay empty for a file without an MPEG frame, where every property reads 0.
#define TAGLOOM_AUDIO(header, order, expression)                                                   \
  all.push_back({QStringLiteral(header), kAudio, std::nullopt, order, false, [](const Source& s) { \
                   const clsID3& t = s.tag;                                                        \
                   return t.HasAudio() ? QString(expression) : QString();                          \
                 }});
  TAGLOOM_AUDIO("Duration", O::kNumber, Duration(t.length()))
  TAGLOOM_AUDIO("Duration (exact)", O::kNumber, TrustCells::ExactDuration(t))
  TAGLOOM_AUDIO("Duration source", O::kText, TrustCells::DurationSource(t))
  TAGLOOM_AUDIO("Bit rate", O::kNumber, Number(std::llround(t.BitRate() / 1000)))
  TAGLOOM_AUDIO("VBR", O::kText, t.IsVBR() ? QStringLiteral("yes") : QStringLiteral("no"))
  TAGLOOM_AUDIO("Sampling rate", O::kNumber,
                t.SamplingRateFrequency() > 0 ? Number(t.SamplingRateFrequency()) : QString())
  TAGLOOM_AUDIO("MPEG", O::kText, MpegName(t))
  TAGLOOM_AUDIO("Channel mode", O::kText, ChannelModeName(t.ChannelMode()))
  TAGLOOM_AUDIO("Frames", O::kNumber, Number(Frames(t)))
#undef TAGLOOM_AUDIO

  all.push_back({QStringLiteral("Folder"), kFile, 3000, O::kText, true,
                 [](const Source& s) { return FolderOf(s.path); }});
  all.push_back({QStringLiteral("Full path"), kFile, 5000, O::kText, true,
                 [](const Source& s) { return s.path; }});
  all.push_back(
      {QStringLiteral("Size"), kFile, std::nullopt, O::kNumber, false, [](const Source& s) {
         const int64_t size = s.tag.Diagnosis().size;
         return size < 0 ? QString() : Number(size);
       }});
  all.push_back({QStringLiteral("Modified"), kFile, 2200, O::kText, false,
                 [](const Source& s) { return Modified(s.tag); }});

  all.push_back({QStringLiteral("Status"), kStatus, 1500, O::kText, false,
                 [](const Source& s) { return StatusText(s.tag); }});
  return all;
}

}  // namespace

const std::vector<Column>& All() {
  static const std::vector<Column> all = MakeColumns();
  return all;
}

const Column* Find(const QString& header) {
  for (const Column& column : All())
    if (column.header.compare(header, Qt::CaseInsensitive) == 0) return &column;
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

bool NeedPictures(const std::vector<const Column*>& columns) {
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
  if (!(seconds > 0)) return {};
  const auto whole = static_cast<long long>(std::floor(seconds));
  return QStringLiteral("%1:%2:%3")
      .arg(whole / 3600)
      .arg(whole / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(whole % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace ColumnCatalogue
