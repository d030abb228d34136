#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

/// The library report: rules over the rows a run reads (the catalogue's cells of each file, plus
/// the few facts only the report asks for) that say what is wrong, missing, inconsistent or
/// duplicated, and the library's statistics. No widgets and no file access: the rows come in
/// made, so the rules run in unit tests, in the command line and in the window alike.
namespace Audit {

/// The cells a report row holds, in this order; ColumnHeaders() names them as the catalogue does.
enum Cell : uint8_t {
  kFullPath,
  kFolder,
  kFileName,
  kAlbum,
  kBand,
  kArtist,
  kTitle,
  kYear,
  kGenre,
  kTrackNumber,
  kTracks,
  kDisc,
  kDiscs,
  kDuration,
  kBitRate,
  kVbr,
  kSamplingRate,
  kMpeg,
  kPictures,
  kStatus,
  kConflicts,
  kSize,
  kEncodedBy,
  kCellCount
};

/// The catalogue's headers of the cells, in Cell order.
const QStringList& ColumnHeaders();

/// The front cover (the picture of type "front cover", else the first), as its header tells it.
struct Cover {
  int width = 0;  ///< 0 when the image format is not known
  int height = 0;
  uint64_t hash = 0;  ///< of the picture's bytes, to tell covers apart
};

/// Where a frame walk over the whole audio stream lost its way.
struct Damage {
  int64_t offset = 0;  ///< from the start of the file
  QString what;
};

struct Row {
  std::array<QString, kCellCount> cells;
  std::optional<Cover> cover;
  /// The codec profile as a LAME header tells it ("VBR V2", "CBR 192"); empty: the Vbr cell's.
  QString profile;
  std::optional<uint64_t> audio_hash;         ///< with --audio-hash: of the bytes between the tags
  std::optional<std::vector<Damage>> damage;  ///< with --deep: what the frame walk met
  /// Cells of required fields beyond the report's columns, in the order ExtraHeaders gives.
  std::vector<QString> extra;

  const QString& operator[](Cell c) const { return cells[c]; }
  QString& operator[](Cell c) { return cells[c]; }
};

/// What a window's run keeps of a file for the report beside the table's cells.
struct Kept {
  std::optional<Cover> cover;
  QString profile;
};

/// Kept facts of a run's files by arrival, small enough for a million rows: a profile is one of
/// a few texts, so each file holds its number; covers, kept only while pictures are read, sit
/// apart in arrival order.
class KeptFacts {
 public:
  void Clear();
  /// Arrivals come in increasing order.
  void Set(size_t arrival, const Kept& kept);
  Kept At(size_t arrival) const;

 private:
  std::vector<uint16_t> profile_of_;  // 0: none; else 1 + the profile's place in profiles_
  QStringList profiles_;
  std::vector<std::pair<size_t, Cover>> covers_;
};

struct Options {
  /// Catalogue headers of the fields a file must have.
  QStringList require = {QStringLiteral("Title"), QStringLiteral("Artist"), QStringLiteral("Album"),
                         QStringLiteral("TrackNumber")};
  int min_bitrate = 128;  ///< kbit/s
  int min_cover = 300;    ///< pixels on the shorter side
};

enum class Severity : uint8_t { kError, kWarning, kInfo };
const char* SeverityName(Severity severity);

struct Finding {
  QString rule;
  Severity severity = Severity::kWarning;
  QString album;  ///< the album's title, or its folder for files without one
  QString path;   ///< the file, or the album's folder for a finding about the whole album
  QString detail;
  QString folder;  ///< the album's folder
};

/// One distribution: values and how many files hold each, most first.
struct Share {
  QString name;
  std::vector<std::pair<QString, int64_t>> counts;
};

struct Statistics {
  int64_t files = 0;
  int64_t bytes = 0;
  double seconds = 0;
  std::vector<Share> shares;  ///< format, profile, encoder, bit rate, sampling rate, decade, genre
  std::vector<std::pair<QString, int64_t>> findings_per_folder;  ///< most first
};

struct Report {
  std::vector<Finding> findings;  ///< grouped by folder and album, in row order within each
  Statistics stats;
  int64_t errors = 0, warnings = 0, infos = 0;
};

/// Checks `require`: catalogue headers (any letter case), spelled as the catalogue spells them;
/// the unknown one in `problem`.
bool ResolveRequired(QStringList& require, QString& problem);
/// The required headers that are none of the report's own columns: rows carry them in `extra`.
QStringList ExtraHeaders(const QStringList& require);

/// The rules and the statistics over the rows.
Report Run(const std::vector<Row>& rows, const Options& options);

/// Artist and title as duplicates compare them: case, accents and punctuation folded away.
QString Folded(const QString& text);

/// "h:mm:ss" (or "m:ss") as seconds; -1 for none.
int Seconds(const QString& duration);

}  // namespace Audit
