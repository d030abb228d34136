#include "batch/FolderTotals.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/Main.h"
#include "platform/ReportListModel.h"
#include "tag/clsID3.h"

namespace {

QString FolderOf(const QString& path) {
  const qsizetype cut = path.lastIndexOf(Main::kSeparator);
  if (cut < 0) return QStringLiteral(".");
  return cut == 0 ? path.left(1) : path.left(cut);
}

void AddRange(FolderTotals::Folder& into, int least, int most) {
  if (least <= 0) return;
  into.least_kbits = into.least_kbits == 0 ? least : std::min(into.least_kbits, least);
  into.most_kbits = std::max(into.most_kbits, most);
}

}  // namespace

void FolderTotals::Folder::Add(const Folder& other) {
  files += other.files;
  not_read += other.not_read;
  seconds += other.seconds;
  bytes += other.bytes;
  cbr += other.cbr;
  vbr += other.vbr;
  AddRange(*this, other.least_kbits, other.most_kbits);
  no_title += other.no_title;
  no_artist += other.no_artist;
  no_album += other.no_album;
  no_genre += other.no_genre;
  no_picture += other.no_picture;
}

void FolderTotals::Clear() {
  folders_.clear();
  files_.clear();
  index_.clear();
  last_ = 0;
}

FolderTotals::Folder FolderTotals::Of(const clsID3& tag) {
  Folder f;
  f.files = 1;
  const ReadDiagnosis& d = tag.Diagnosis();
  if (d.NotRead()) {
    f.not_read = 1;
    return f;
  }
  f.bytes = std::max<int64_t>(d.size, 0);
  // Another format's file adds its duration; CBR, VBR and the bit-rate range stay MPEG's.
  if (const OtherFacts* other = tag.Other(); other && other->replaces) {
    if (other->has_audio) f.seconds = other->seconds;
  } else if (tag.HasAudio()) {
    f.seconds = tag.ExactLength().seconds;
    ++(tag.IsVBR() ? f.vbr : f.cbr);
    const auto kbits = static_cast<int>(std::lround(tag.BitRate() / 1000));
    AddRange(f, kbits, kbits);
  }
  f.no_title = tag.Title().empty();
  f.no_artist = tag.Artist().empty();
  f.no_album = tag.Album().empty();
  f.no_genre = tag.ShownGenre().empty();
  f.no_picture = tag.PictureCount() == 0;
  return f;
}

void FolderTotals::Add(const QString& path, const Folder& file) {
  // Files come folder by folder: most of them are counted in the folder of the one before.
  if (!folders_.empty()) {
    const qsizetype cut = path.lastIndexOf(Main::kSeparator);
    const QString& last = folders_[last_].folder;
    if (cut > 0 && QStringView(path).left(cut) == last) {
      AddTo(last_, file);
      return;
    }
  }
  const QString folder = FolderOf(path);
  auto at = index_.constFind(folder);
  if (at == index_.constEnd()) {
    at = index_.insert(folder, folders_.size());
    folders_.push_back(Folder{folder});
  }
  last_ = *at;
  AddTo(*at, file);
}

void FolderTotals::AddTo(size_t folder, const Folder& file) {
  folders_[folder].Add(file);
  if (keep_) files_.push_back(Packed(file, static_cast<uint32_t>(folder)));
}

FolderTotals::File FolderTotals::Packed(const Folder& f, uint32_t folder) {
  File file{f.seconds, f.bytes, folder, f.most_kbits, 0};
  const auto flag = [&](int count, uint8_t bit) {
    if (count > 0) file.flags |= bit;
  };
  flag(f.not_read, kNotRead);
  flag(f.cbr, kCbr);
  flag(f.vbr, kVbr);
  flag(f.no_title, kNoTitle);
  flag(f.no_artist, kNoArtist);
  flag(f.no_album, kNoAlbum);
  flag(f.no_genre, kNoGenre);
  flag(f.no_picture, kNoPicture);
  return file;
}

FolderTotals::Folder FolderTotals::Unpacked(const File& file) {
  Folder f;
  f.files = 1;
  f.seconds = file.seconds;
  f.bytes = file.bytes;
  f.least_kbits = f.most_kbits = file.kbits;
  const auto flag = [&](uint8_t bit) { return (file.flags & bit) != 0 ? 1 : 0; };
  f.not_read = flag(kNotRead);
  f.cbr = flag(kCbr);
  f.vbr = flag(kVbr);
  f.no_title = flag(kNoTitle);
  f.no_artist = flag(kNoArtist);
  f.no_album = flag(kNoAlbum);
  f.no_genre = flag(kNoGenre);
  f.no_picture = flag(kNoPicture);
  return f;
}

FolderTotals FolderTotals::Part(const std::vector<bool>& kept) const {
  FolderTotals part;
  std::vector<size_t> place(folders_.size(), SIZE_MAX);  // each folder's place in the part
  for (size_t i = 0; i < files_.size() && i < kept.size(); ++i) {
    const File& file = files_[i];
    if (!kept[i] || file.folder >= folders_.size()) continue;
    size_t& at = place[file.folder];
    if (at == SIZE_MAX) {
      at = part.folders_.size();
      part.folders_.push_back(Folder{folders_[file.folder].folder});
      part.index_.insert(part.folders_.back().folder, at);
    }
    part.folders_[at].Add(Unpacked(file));
  }
  return part;
}

FolderTotals::Folder FolderTotals::Total() const {
  Folder total{QStringLiteral("All folders")};
  for (const Folder& f : folders_) total.Add(f);
  return total;
}

QStringList FolderTotals::Headers() {
  return {QStringLiteral("Folder"),   QStringLiteral("Files"),    QStringLiteral("Duration"),
          QStringLiteral("Size"),     QStringLiteral("CBR"),      QStringLiteral("VBR"),
          QStringLiteral("Bit rate"), QStringLiteral("No title"), QStringLiteral("No artist"),
          QStringLiteral("No album"), QStringLiteral("No genre"), QStringLiteral("No picture"),
          QStringLiteral("Not read")};
}

QString FolderTotals::Duration(double seconds) {
  const auto ms = static_cast<long long>(std::llround(std::max(seconds, 0.0) * 1000));
  const long long whole = ms / 1000;
  return QStringLiteral("%1:%2:%3.%4")
      .arg(whole / 3600)
      .arg(whole / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(whole % 60, 2, 10, QLatin1Char('0'))
      .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

QStringList FolderTotals::Cells(const Folder& f) {
  const auto n = [](long long value) { return QString::number(value); };
  QString kbits;
  if (f.least_kbits > 0)
    kbits = f.least_kbits == f.most_kbits ? n(f.least_kbits)
                                          : n(f.least_kbits) + u'-' + n(f.most_kbits);
  return {f.folder,      n(f.files),      Duration(f.seconds), n(f.bytes),     n(f.cbr),
          n(f.vbr),      kbits,           n(f.no_title),       n(f.no_artist), n(f.no_album),
          n(f.no_genre), n(f.no_picture), n(f.not_read)};
}

void FolderTotals::FillTable(ReportListModel& table) const {
  const QStringList headers = Headers();
  std::vector<std::optional<int>> widths(size_t(headers.size()), std::nullopt);
  widths[0] = 5000;  // twips: folder paths run long
  table.Clear();
  table.ReplaceColumns(headers, widths);
  auto add = [&](const Folder& folder) {
    const QStringList cells = Cells(folder);
    const int row = table.AppendRow(cells[0]);
    for (qsizetype c = 1; c < cells.size(); ++c) table.SetSubItem(row, int(c), cells[c]);
    table.SetChecked(row, true);
  };
  for (const Folder& folder : folders_) add(folder);
  add(Total());
}
