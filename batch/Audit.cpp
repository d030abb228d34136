#include "batch/Audit.h"

#include "batch/ColumnCatalogue.h"

#include <QHash>
#include <QMap>
#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>

namespace Audit {

namespace {

using Rows = std::vector<Row>;
using Members = std::vector<size_t>;  // indexes into the rows

QString Quoted(const QString& value) {
  return value.isEmpty() ? QStringLiteral("(empty)") : u'\'' + value + u'\'';
}

QString NameOf(const Row& row) { return row[kFileName]; }

// The names of the files, at most `most`, and how many more.
QString Names(const Rows& rows, const Members& members, size_t most = 8) {
  QStringList names;
  for (size_t i = 0; i < members.size() && i < most; ++i) names.append(NameOf(rows[members[i]]));
  QString text = names.join(QStringLiteral(", "));
  if (members.size() > most)
    text += QStringLiteral(" and %1 more").arg(static_cast<qlonglong>(members.size() - most));
  return text;
}

std::optional<long long> Number(const QString& text) {
  bool ok = false;
  const long long value = text.trimmed().toLongLong(&ok);
  return ok ? std::optional<long long>(value) : std::nullopt;
}

// The statuses that make a file's only finding.
struct StatusRule {
  const char16_t* status;  // the Status cell, or its start
  const char* rule;
};
constexpr StatusRule kStatusRules[] = {
    {u"truncated", "truncated"},
    {u"not MPEG audio", "not-audio"},
    {u"empty", "not-audio"},
    {u"missing", "unreadable"},
    {u"not a regular file", "unreadable"},
    {u"unreadable", "unreadable"},
};

const char* StatusRuleOf(const QString& status) {
  for (const StatusRule& s : kStatusRules)
    if (status.startsWith(QStringView(s.status))) return s.rule;
  return nullptr;
}

struct Album {
  QString folder;
  QString title;           // as the first file gives it
  Members members;         // the files the album rules look at
  qsizetype unjudged = 0;  // files left to their status finding
};

class Checker {
 public:
  Checker(const Rows& rows, const Options& options)
      : rows_(rows), options_(options), extra_(ExtraHeaders(options.require)) {}

  Report Run() {
    GroupAlbums();
    for (Group& group : albums_) {
      for (const size_t i : group.files_all) StatusAndFileRules(group, i);
      if (group.album.members.empty()) continue;
      const Album& a = group.album;
      // Files without an album title in one folder are often loose tracks of anything: only
      // their numbers are held together, and only when every one of them has a number.
      if (a.title.isEmpty()) {
        if (std::all_of(a.members.begin(), a.members.end(),
                        [&](size_t i) { return Number(rows_[i][kTrackNumber]).has_value(); }))
          TrackNumbers(a);
        continue;
      }
      // A lone file is no album to hold together: in a folder of singles each would say so.
      if (a.members.size() < 2) continue;
      FieldsDiffer(a);
      TrackNumbers(a);
      Covers(a);
      SampleRates(a);
    }
    Duplicates();
    AudioDuplicates();
    Collect();
    return std::move(report_);
  }

 private:
  struct Group {
    Album album;        // members: the files read well enough to judge
    Members files_all;  // every file, in row order
  };

  void GroupAlbums() {
    QHash<QString, size_t> index;
    for (size_t i = 0; i < rows_.size(); ++i) {
      const Row& row = rows_[i];
      const QString key = row[kFolder] + QChar(0) + Folded(row[kAlbum]);
      auto found = index.find(key);
      if (found == index.end()) {
        found = index.insert(key, albums_.size());
        Group group;
        group.album.folder = row[kFolder];
        group.album.title = row[kAlbum];
        albums_.push_back(std::move(group));
      }
      Group& group = albums_[*found];
      group.files_all.push_back(i);
      if (!StatusRuleOf(row[kStatus])) {
        group.album.members.push_back(i);
      } else {
        ++group.album.unjudged;
      }
    }
    // A broken file without an album title may be any album's missing track in its folder.
    QHash<QString, qsizetype> untitled;
    for (const Group& group : albums_)
      if (group.album.title.isEmpty()) untitled[group.album.folder] += group.album.unjudged;
    for (Group& group : albums_)
      if (!group.album.title.isEmpty()) group.album.unjudged += untitled.value(group.album.folder);
  }

  void Add(const Album& album, const char* rule, Severity severity, const QString& path,
           const QString& detail) {
    Finding f;
    f.rule = QString::fromLatin1(rule);
    f.severity = severity;
    f.album = album.title.isEmpty() ? album.folder : album.title;
    f.path = path;
    f.detail = detail;
    f.folder = album.folder;
    pending_.push_back(std::move(f));
  }
  void AddFile(const Album& album, const char* rule, Severity severity, size_t i,
               const QString& detail) {
    Add(album, rule, severity, rows_[i][kFullPath], detail);
  }

  void StatusAndFileRules(Group& group, size_t i) {
    const Album& album = group.album;
    const Row& row = rows_[i];
    if (const char* rule = StatusRuleOf(row[kStatus])) {
      AddFile(album, rule, Severity::kError, i, QStringLiteral("Status: ") + row[kStatus]);
      return;
    }
    QStringList missing;
    for (const QString& header : options_.require) {
      const qsizetype c = ColumnHeaders().indexOf(header);
      const qsizetype e = c < 0 ? extra_.indexOf(header) : -1;
      const QString* cell = c >= 0 ? &row.cells[static_cast<size_t>(c)]
                            : e >= 0 && static_cast<size_t>(e) < row.extra.size()
                                ? &row.extra[static_cast<size_t>(e)]
                                : nullptr;
      if (cell && cell->trimmed().isEmpty()) missing.append(header);
    }
    if (!missing.isEmpty())
      AddFile(album, "missing-field", Severity::kWarning, i,
              QStringLiteral("empty: ") + missing.join(QStringLiteral(", ")));
    if (const auto kbps = Number(row[kBitRate]); kbps && *kbps < options_.min_bitrate)
      AddFile(album, "low-bitrate", Severity::kWarning, i,
              QStringLiteral("Bit rate: %1 kbit/s%2, below %3")
                  .arg(*kbps)
                  .arg(row[kVbr] == u"yes" ? QStringLiteral(" (VBR average)") : QString())
                  .arg(options_.min_bitrate));
    if (row.cover && row.cover->width > 0 &&
        std::min(row.cover->width, row.cover->height) < options_.min_cover)
      AddFile(album, "cover-too-small", Severity::kWarning, i,
              QStringLiteral("front cover %1x%2 px, below %3 px")
                  .arg(row.cover->width)
                  .arg(row.cover->height)
                  .arg(options_.min_cover));
    if (!row[kConflicts].isEmpty())
      AddFile(album, "v1-v2-conflict", Severity::kWarning, i,
              QStringLiteral("Conflicts: ") + row[kConflicts]);
    if (row.damage && !row.damage->empty()) {
      QStringList parts;
      for (const Damage& d : *row.damage)
        parts.append(QStringLiteral("%1 at byte %2").arg(d.what).arg(d.offset));
      AddFile(album, "damaged-audio", Severity::kError, i, parts.join(QStringLiteral("; ")));
    }
  }

  // Values of one field across an album: the most common one, and the files that differ.
  void FieldsDiffer(const Album& album) {
    if (album.members.size() < 2) return;
    struct Field {
      Cell cell;
      const char* name;
      QString (*key)(const QString&);
    };
    static const Field kFields[] = {
        {kAlbum, "Album", [](const QString& v) { return v.trimmed(); }},
        {kBand, "Band", [](const QString& v) { return v.trimmed(); }},
        {kYear, "Year", [](const QString& v) { return v.trimmed().left(4); }},
        {kGenre, "Genre", [](const QString& v) { return v.trimmed().toCaseFolded(); }},
        {kDiscs, "Discs", [](const QString& v) { return v.trimmed(); }},
    };
    for (const Field& field : kFields) {
      std::map<QString, Members> by_value;
      for (const size_t i : album.members) by_value[field.key(rows_[i][field.cell])].push_back(i);
      if (by_value.size() < 2) continue;
      OddOnesOut(album, "album-field-differs", Severity::kWarning, field.name, field.cell,
                 by_value);
    }
  }

  // Names each file that differs from a clear majority; without one, the album as a whole.
  void OddOnesOut(const Album& album, const char* rule, Severity severity, const char* name,
                  Cell cell, const std::map<QString, Members>& by_value) {
    const Members* most = nullptr;
    bool tie = false;
    for (const auto& [value, members] : by_value) {
      if (!most || members.size() > most->size()) {
        most = &members;
        tie = false;
      } else if (members.size() == most->size()) {
        tie = true;
      }
    }
    const QString field = QString::fromLatin1(name);
    if (tie) {
      QStringList parts;
      for (const auto& [value, members] : by_value)
        parts.append(QStringLiteral("%1 in %2")
                         .arg(Quoted(rows_[members.front()][cell]), Names(rows_, members, 4)));
      Add(album, rule, severity, album.folder,
          field + QStringLiteral(" differs: ") + parts.join(QStringLiteral("; ")));
      return;
    }
    const QString usual = rows_[most->front()][cell];
    for (const auto& [value, members] : by_value) {
      if (&members == most) continue;
      for (const size_t i : members)
        AddFile(album, rule, severity, i,
                QStringLiteral("%1 is %2 here, %3 in the other %4 files")
                    .arg(field, Quoted(rows_[i][cell]), Quoted(usual))
                    .arg(most->size()));
    }
  }

  void TrackNumbers(const Album& album) {
    // Per disc: a two-disc album numbers each disc from 1.
    std::map<long long, Members> discs;
    for (const size_t i : album.members) discs[Number(rows_[i][kDisc]).value_or(0)].push_back(i);
    std::map<QString, Members> totals;
    for (const size_t i : album.members)
      if (!rows_[i][kTracks].trimmed().isEmpty()) totals[rows_[i][kTracks].trimmed()].push_back(i);
    const bool one_total = totals.size() == 1;
    if (totals.size() > 1 && discs.size() == 1) {
      QStringList parts;
      for (const auto& [total, members] : totals)
        parts.append(QStringLiteral("%1 in %2").arg(total, Names(rows_, members, 4)));
      Add(album, "track-total-mismatch", Severity::kWarning, album.folder,
          QStringLiteral("Tracks differs: ") + parts.join(QStringLiteral("; ")));
    }
    for (const auto& [disc, members] : discs) {
      const QString on_disc =
          discs.size() > 1 ? QStringLiteral(" on disc %1").arg(disc) : QString();
      std::map<long long, Members> numbers;
      for (const size_t i : members)
        if (const auto n = Number(rows_[i][kTrackNumber]); n && *n > 0) numbers[*n].push_back(i);
      for (const auto& [number, files] : numbers)
        if (files.size() > 1)
          Add(album, "track-number-duplicate", Severity::kWarning, rows_[files[1]][kFullPath],
              QStringLiteral("track %1%2 in %3").arg(number).arg(on_disc, Names(rows_, files)));
      long long total = 0;
      if (one_total && discs.size() == 1) total = Number(totals.begin()->first).value_or(0);
      for (const size_t i : members) {
        const auto n = Number(rows_[i][kTrackNumber]);
        const auto own = Number(rows_[i][kTracks]);
        if (n && own && *own > 0 && *n > *own)
          AddFile(album, "track-total-mismatch", Severity::kWarning, i,
                  QStringLiteral("TrackNumber %1 exceeds Tracks %2").arg(*n).arg(*own));
      }
      // A gap needs numbered tracks to speak of; a lone file is no album.
      if (numbers.size() < 2 && total <= 1) continue;
      if (numbers.empty()) continue;
      const long long last = std::max(numbers.rbegin()->first, total);
      if (last > 4 * static_cast<long long>(members.size()) + 50) continue;  // numbers as codes
      QStringList gaps;
      for (long long n = 1; n <= last; ++n)
        if (!numbers.count(n)) gaps.append(QString::number(n));
      // Files the status rules took out may be the tracks missing here: they are told already.
      if (!gaps.isEmpty() && gaps.size() > album.unjudged)
        Add(album, "track-number-gap", Severity::kWarning, album.folder,
            QStringLiteral("missing track%1 %2 of %3%4")
                .arg(gaps.size() > 1 ? QStringLiteral("s") : QString())
                .arg(gaps.size() > 20
                         ? gaps.mid(0, 20).join(QStringLiteral(", ")) + QStringLiteral(", ...")
                         : gaps.join(QStringLiteral(", ")))
                .arg(last)
                .arg(on_disc));
    }
  }

  void Covers(const Album& album) {
    // An empty Pictures cell is a count nobody made (a table without the column), not a zero.
    Members with, without;
    for (const size_t i : album.members)
      if (const auto count = Number(rows_[i][kPictures]))
        (*count > 0 ? with : without).push_back(i);
    if (with.empty()) {
      if (!without.empty())
        Add(album, "no-cover", Severity::kWarning, album.folder,
            QStringLiteral("none of the album's %1 files holds a picture")
                .arg(album.members.size()));
    } else {
      for (const size_t i : without)
        AddFile(album, "no-cover", Severity::kWarning, i,
                QStringLiteral("no picture, while %1 other files of the album have one")
                    .arg(with.size()));
    }
    std::map<uint64_t, Members> by_hash;
    for (const size_t i : album.members)
      if (rows_[i].cover) by_hash[rows_[i].cover->hash].push_back(i);
    if (by_hash.size() > 1) {
      QStringList parts;
      for (const auto& [hash, members] : by_hash) {
        const Cover& c = *rows_[members.front()].cover;
        const QString size = c.width > 0 ? QStringLiteral("%1x%2").arg(c.width).arg(c.height)
                                         : QStringLiteral("an image of unknown size");
        parts.append(QStringLiteral("%1 in %2").arg(size, Names(rows_, members, 4)));
      }
      Add(album, "covers-differ", Severity::kInfo, album.folder,
          QStringLiteral("%1 different front covers: ").arg(by_hash.size()) +
              parts.join(QStringLiteral("; ")));
    }
  }

  void SampleRates(const Album& album) {
    std::map<QString, Members> rates;
    for (const size_t i : album.members)
      if (!rows_[i][kSamplingRate].isEmpty()) rates[rows_[i][kSamplingRate]].push_back(i);
    if (rates.size() > 1)
      OddOnesOut(album, "mixed-sample-rates", Severity::kWarning, "Sampling rate", kSamplingRate,
                 rates);
  }

  const Album& AlbumOf(size_t i) const { return albums_[album_of_.at(i)].album; }

  QString Copy(size_t i) const {
    const Row& r = rows_[i];
    return QStringLiteral("%1 %2 %3 kbit/s, %4 bytes: %5")
        .arg(r[kMpeg].isEmpty() ? QStringLiteral("?") : r[kMpeg],
             r[kVbr] == u"yes" ? QStringLiteral("VBR") : QStringLiteral("CBR"), r[kBitRate],
             r[kSize], r[kFullPath]);
  }

  void Duplicates() {
    IndexAlbums();
    std::map<QString, Members> by_song;
    for (const Group& g : albums_)
      for (const size_t i : g.album.members) {
        const QString artist = Folded(rows_[i][kArtist]), title = Folded(rows_[i][kTitle]);
        if (artist.isEmpty() || title.isEmpty() || Seconds(rows_[i][kDuration]) < 0) continue;
        by_song[artist + QChar(0) + title].push_back(i);
      }
    for (auto& [song, members] : by_song) {
      if (members.size() < 2) continue;
      std::sort(members.begin(), members.end(), [&](size_t a, size_t b) {
        return Seconds(rows_[a][kDuration]) < Seconds(rows_[b][kDuration]);
      });
      // Runs of durations no more than 2 s apart from the run's first.
      for (size_t from = 0; from < members.size();) {
        size_t to = from + 1;
        while (to < members.size() &&
               Seconds(rows_[members[to]][kDuration]) - Seconds(rows_[members[from]][kDuration]) <=
                   2)
          ++to;
        if (to - from > 1) {
          Members copies(members.begin() + static_cast<std::ptrdiff_t>(from),
                         members.begin() + static_cast<std::ptrdiff_t>(to));
          std::sort(copies.begin(), copies.end());
          QStringList parts;
          for (const size_t i : copies) parts.append(Copy(i));
          const Row& first = rows_[copies.front()];
          Add(AlbumOf(copies.front()), "duplicate-track", Severity::kWarning, first[kFullPath],
              QStringLiteral("'%1' by '%2' in %3 copies: ")
                      .arg(first[kTitle], first[kArtist])
                      .arg(copies.size()) +
                  parts.join(QStringLiteral(" | ")));
        }
        from = to;
      }
    }
  }

  void AudioDuplicates() {
    std::map<uint64_t, Members> by_hash;
    for (const Group& g : albums_)
      for (const size_t i : g.album.members)
        if (rows_[i].audio_hash) by_hash[*rows_[i].audio_hash].push_back(i);
    for (auto& [hash, members] : by_hash) {
      if (members.size() < 2) continue;
      std::sort(members.begin(), members.end());
      QStringList parts;
      for (const size_t i : members) parts.append(Copy(i));
      Add(AlbumOf(members.front()), "duplicate-audio", Severity::kWarning,
          rows_[members.front()][kFullPath],
          QStringLiteral("the same audio (XXH3 %1) in %2 files: ")
                  .arg(hash, 16, 16, QChar(u'0'))
                  .arg(members.size()) +
              parts.join(QStringLiteral(" | ")));
    }
  }

  void IndexAlbums() {
    for (size_t a = 0; a < albums_.size(); ++a)
      for (const size_t i : albums_[a].files_all) album_of_[i] = a;
  }

  // Findings grouped by folder, then album, in the order the rows came.
  void Collect() {
    std::map<std::pair<QString, QString>, size_t> first_seen;
    for (size_t a = 0; a < albums_.size(); ++a)
      first_seen.emplace(std::make_pair(albums_[a].album.folder, albums_[a].album.title), a);
    std::stable_sort(pending_.begin(), pending_.end(), [](const Finding& x, const Finding& y) {
      return std::tie(x.folder, x.album) < std::tie(y.folder, y.album);
    });
    report_.findings = std::move(pending_);
    for (const Finding& f : report_.findings) {
      switch (f.severity) {
        case Severity::kError:
          ++report_.errors;
          break;
        case Severity::kWarning:
          ++report_.warnings;
          break;
        case Severity::kInfo:
          ++report_.infos;
          break;
      }
    }
  }

  const Rows& rows_;
  const Options& options_;
  const QStringList extra_;
  std::vector<Group> albums_;
  std::unordered_map<size_t, size_t> album_of_;
  std::vector<Finding> pending_;
  Report report_;
};

}  // namespace

const QStringList& ColumnHeaders() {
  static const QStringList headers = {
      QStringLiteral("Full path"),   QStringLiteral("Folder"),        QStringLiteral("Filename"),
      QStringLiteral("Album"),       QStringLiteral("Band"),          QStringLiteral("Artist"),
      QStringLiteral("Title"),       QStringLiteral("Year"),          QStringLiteral("Genre"),
      QStringLiteral("TrackNumber"), QStringLiteral("Tracks"),        QStringLiteral("Disc"),
      QStringLiteral("Discs"),       QStringLiteral("Duration"),      QStringLiteral("Bit rate"),
      QStringLiteral("VBR"),         QStringLiteral("Sampling rate"), QStringLiteral("MPEG"),
      QStringLiteral("Pictures"),    QStringLiteral("Status"),        QStringLiteral("Conflicts"),
      QStringLiteral("Size"),        QStringLiteral("Encoded by")};
  return headers;
}

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kError:
      return "error";
    case Severity::kWarning:
      return "warning";
    case Severity::kInfo:
      return "info";
  }
  return "";
}

bool ResolveRequired(QStringList& require, QString& problem) {
  for (QString& field : require) {
    const ColumnCatalogue::Column* column = ColumnCatalogue::Find(field.trimmed());
    if (!column) {
      problem = QStringLiteral("unknown field '%1' (extract --list-columns names them)")
                    .arg(field.trimmed());
      return false;
    }
    field = column->header;
  }
  return true;
}

QStringList ExtraHeaders(const QStringList& require) {
  QStringList extra;
  for (const QString& header : require)
    if (!ColumnHeaders().contains(header) && !extra.contains(header)) extra.append(header);
  return extra;
}

QString Folded(const QString& text) {
  const QString decomposed = text.normalized(QString::NormalizationForm_KD).toCaseFolded();
  QString out;
  out.reserve(decomposed.size());
  for (const QChar c : decomposed)
    if (c.isLetterOrNumber()) out += c;
  return out;
}

int Seconds(const QString& duration) {
  if (duration.isEmpty()) return -1;
  int total = 0;
  for (const QStringView part : QStringView(duration).split(u':')) {
    bool ok = false;
    const int value = part.toInt(&ok);
    if (!ok || value < 0) return -1;
    total = total * 60 + value;
  }
  return total;
}

namespace {

// Counts of a value per file, most first, then by name.
class Tally {
 public:
  void Add(const QString& value) { ++counts_[value]; }
  Share Take(const char* name, bool by_name = false) {
    Share share{QString::fromLatin1(name), {}};
    for (auto& [value, count] : counts_) share.counts.emplace_back(value, count);
    if (!by_name) {
      std::stable_sort(share.counts.begin(), share.counts.end(),
                       [](const auto& a, const auto& b) { return a.second > b.second; });
    } else {
      // By the number the name starts with ("<96" first), names without one first.
      const auto lead = [](const QString& name) {
        if (name.startsWith(u'<')) return -1LL;
        long long n = -2;
        for (const QChar c : name) {
          if (!c.isDigit()) break;
          n = (n < 0 ? 0 : n * 10) + c.digitValue();
        }
        return n;
      };
      std::stable_sort(share.counts.begin(), share.counts.end(),
                       [&](const auto& a, const auto& b) { return lead(a.first) < lead(b.first); });
    }
    return share;
  }

 private:
  std::map<QString, int64_t> counts_;
};

QString BitRateBucket(long long kbps) {
  static constexpr int kBounds[] = {96, 128, 160, 192, 256, 320};
  int low = 0;
  for (const int bound : kBounds) {
    if (kbps < bound)
      return low == 0 ? QStringLiteral("<%1").arg(bound)
                      : QStringLiteral("%1-%2").arg(low).arg(bound - 1);
    low = bound;
  }
  return QStringLiteral("320+");
}

Statistics Count(const std::vector<Row>& rows, const std::vector<Finding>& findings) {
  Statistics stats;
  Tally format, profile, encoder, bitrate, sampling, decade, genre;
  const QString none = QStringLiteral("(none)");
  for (const Row& row : rows) {
    ++stats.files;
    if (const auto size = Number(row[kSize])) stats.bytes += *size;
    if (const int s = Seconds(row[kDuration]); s > 0) stats.seconds += s;
    if (StatusRuleOf(row[kStatus]) && row[kMpeg].isEmpty()) {
      format.Add(QStringLiteral("(not read as audio)"));
      continue;
    }
    format.Add(row[kMpeg].isEmpty() ? none : row[kMpeg]);
    profile.Add(!row.profile.isEmpty() ? row.profile
                : row[kVbr] == u"yes"  ? QStringLiteral("VBR")
                                       : QStringLiteral("CBR"));
    encoder.Add(row[kEncodedBy].trimmed().isEmpty() ? none : row[kEncodedBy].trimmed());
    if (const auto kbps = Number(row[kBitRate])) bitrate.Add(BitRateBucket(*kbps));
    if (!row[kSamplingRate].isEmpty()) sampling.Add(row[kSamplingRate] + QStringLiteral(" Hz"));
    const auto year = Number(row[kYear].trimmed().left(4));
    decade.Add(year && *year > 0 ? QStringLiteral("%1s").arg(*year / 10 * 10) : none);
    genre.Add(row[kGenre].trimmed().isEmpty() ? none : row[kGenre].trimmed());
  }
  stats.shares.push_back(format.Take("format"));
  stats.shares.push_back(profile.Take("profile"));
  stats.shares.push_back(encoder.Take("encoder"));
  stats.shares.push_back(bitrate.Take("bit rate (kbit/s)", true));
  stats.shares.push_back(sampling.Take("sampling rate"));
  stats.shares.push_back(decade.Take("decade", true));
  stats.shares.push_back(genre.Take("genre"));
  Tally folders;
  for (const Finding& f : findings) folders.Add(f.folder);
  stats.findings_per_folder = folders.Take("folder").counts;
  return stats;
}

}  // namespace

Report Run(const std::vector<Row>& rows, const Options& options) {
  Report report = Checker(rows, options).Run();
  report.stats = Count(rows, report.findings);
  return report;
}

void KeptFacts::Clear() {
  profile_of_.clear();
  profiles_.clear();
  covers_.clear();
}

void KeptFacts::Set(size_t arrival, const Kept& kept) {
  if (!kept.profile.isEmpty()) {
    qsizetype at = profiles_.indexOf(kept.profile);
    if (at < 0 && profiles_.size() < 0xFFFF) {
      at = profiles_.size();
      profiles_.append(kept.profile);
    }
    if (at >= 0) {
      if (profile_of_.size() <= arrival) profile_of_.resize(arrival + 1, 0);
      profile_of_[arrival] = static_cast<uint16_t>(at + 1);
    }
  }
  if (kept.cover) {
    if (!covers_.empty() && covers_.back().first >= arrival) {
      const auto at =
          std::lower_bound(covers_.begin(), covers_.end(), arrival,
                           [](const std::pair<size_t, Cover>& c, size_t a) { return c.first < a; });
      if (at != covers_.end() && at->first == arrival)
        at->second = *kept.cover;
      else
        covers_.insert(at, {arrival, *kept.cover});
    } else {
      covers_.emplace_back(arrival, *kept.cover);
    }
  }
}

Kept KeptFacts::At(size_t arrival) const {
  Kept kept;
  if (arrival < profile_of_.size() && profile_of_[arrival] != 0)
    kept.profile = profiles_[profile_of_[arrival] - 1];
  const auto at =
      std::lower_bound(covers_.begin(), covers_.end(), arrival,
                       [](const std::pair<size_t, Cover>& c, size_t a) { return c.first < a; });
  if (at != covers_.end() && at->first == arrival) kept.cover = at->second;
  return kept;
}

}  // namespace Audit
