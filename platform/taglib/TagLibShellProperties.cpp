#include "platform/taglib/TagLibShellProperties.h"

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tdebuglistener.h>
#include <taglib/tfilestream.h>
#include <taglib/tpropertymap.h>
#include <taglib/tstring.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <array>
#include <utility>
#include <vector>

#include "platform/FileNames.h"
#include "platform/StepFailure.h"

namespace {

using Details = std::array<QString, ShellFolder::kColumnCount>;

// The unnamed places read as empty names, as a real shell leaves gaps in its column set.
const std::array<const char*, ShellFolder::kColumnCount> kColumnNames = {
    "Name",
    "Size",
    "Item type",
    "Date modified",
    "Date created",
    "Date accessed",
    "Attributes",
    "Owner",
    "Authors",
    "Title",
    "Subject",
    "Comments",
    "Copyright",
    "Album Title",
    "Year",
    "Track Number",
    "Genre",
    "Duration",
    "Bit Rate",
    "Protected",
    "Composers",
    "Conductors",
    "Album artist",
    "Publisher",
    "Part of set",
    "Beats-per-minute",
    "Encoded by",
    "Sample rate",
    "Channels",
    "",
    "Folder name",
    "Folder path",
    "Path",
    "File extension",
    "Perceived type",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
};

// TagLib reports through its debug channel; the reading here has no use for those lines.
class QuietTagLib : public TagLib::DebugListener {
 public:
  void printMessage(const TagLib::String&) override {}
};

QString Text(const TagLib::String& s) { return QString::fromUtf8(s.toCString(true)); }

// Several values of one field are shown side by side, as a file manager lists several artists.
QString Joined(const TagLib::PropertyMap& map, const char* key) {
  const auto it = map.find(key);
  if (it == map.end()) return {};
  QStringList parts;
  for (const TagLib::String& value : it->second)
    if (!value.isEmpty()) parts.append(Text(value));
  return parts.join(QStringLiteral("; "));
}

QString EitherOf(QString first, const TagLib::String& second) {
  return first.isEmpty() ? Text(second) : first;
}

QString FormatDate(const QDateTime& when) {
  return when.isValid() ? when.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString();
}

QString Attributes(const QFileInfo& info) {
  QString letters;
  constexpr QFileDevice::Permissions kWrite =
      QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
  if (!info.isSymLink() && !(info.permissions() & kWrite)) letters += u'R';
  if (info.fileName().startsWith(u'.')) letters += u'H';
  if (info.isDir()) letters += u'D';
  if (info.isFile()) letters += u'A';
  if (info.isSymLink()) letters += u'L';
  return letters;
}

QString ItemType(const QFileInfo& info) {
  if (info.isDir()) return QStringLiteral("File folder");
  const QString suffix = info.suffix();
  if (suffix.isEmpty()) return QStringLiteral("File");
  return suffix.toUpper() + QStringLiteral(" File");
}

QString SampleRate(int hertz) {
  return QString::number(hertz / 1000.0, 'g', 4) + QStringLiteral(" kHz");
}

QString Channels(int channels) {
  if (channels == 1) return QStringLiteral("1 (mono)");
  if (channels == 2) return QStringLiteral("2 (stereo)");
  return QString::number(channels);
}

using C = TagLibShellProperties::Column;

// Returns true when TagLib recognised the file.
bool ReadWithTagLib(const QString& path, Details& d) {
  const QByteArray name = FileNames::ToBytes(path);
  TagLib::FileStream stream(name.constData(), true);
  if (!stream.isOpen()) return false;
  TagLib::FileRef ref(&stream, true, TagLib::AudioProperties::Average);
  if (ref.isNull()) return false;

  if (const TagLib::Tag* tag = ref.tag()) {
    const TagLib::PropertyMap map = ref.file()->properties();
    d[C::kTitle] = Text(tag->title());
    d[C::kAuthors] = EitherOf(Joined(map, "ARTIST"), tag->artist());
    d[C::kAlbumTitle] = Text(tag->album());
    d[C::kGenre] = EitherOf(Joined(map, "GENRE"), tag->genre());
    d[C::kComments] = Text(tag->comment());
    if (tag->year() != 0) d[C::kYear] = QString::number(tag->year());
    if (tag->track() != 0) d[C::kTrackNumber] = QString::number(tag->track());
    d[C::kSubject] = Joined(map, "SUBTITLE");
    d[C::kCopyright] = Joined(map, "COPYRIGHT");
    d[C::kComposers] = Joined(map, "COMPOSER");
    d[C::kConductors] = Joined(map, "CONDUCTOR");
    d[C::kAlbumArtist] = Joined(map, "ALBUMARTIST");
    d[C::kPublisher] = Joined(map, "LABEL");
    d[C::kPartOfSet] = Joined(map, "DISCNUMBER");
    d[C::kBeatsPerMinute] = Joined(map, "BPM");
    d[C::kEncodedBy] = Joined(map, "ENCODEDBY");
  }
  if (const TagLib::AudioProperties* audio = ref.audioProperties()) {
    // A file without a playable stream has neither a length nor a rate worth showing.
    if (audio->lengthInSeconds() > 0 || audio->bitrate() > 0)
      d[C::kDuration] = TagLibShellProperties::FormatDuration(audio->lengthInSeconds());
    if (audio->bitrate() > 0)
      d[C::kBitRate] = TagLibShellProperties::FormatBitRate(audio->bitrate());
    if (audio->sampleRate() > 0) d[C::kSampleRate] = SampleRate(audio->sampleRate());
    if (audio->channels() > 0) d[C::kChannels] = Channels(audio->channels());
    d[C::kProtected] = QStringLiteral("No");
    d[C::kPerceivedType] = QStringLiteral("Audio");
  }
  return true;
}

}  // namespace

namespace {

// Every detail of one file or folder: what the file system tells, and for a regular file what
// TagLib reads of it.
std::shared_ptr<const Details> MakeDetails(const QFileInfo& info,
                                           TagLibShellProperties::Counters& counters) {
  auto d = std::make_shared<Details>();
  const QFileInfo folder(info.absolutePath());
  (*d)[C::kName] = info.fileName();
  if (info.isFile()) (*d)[C::kSize] = TagLibShellProperties::FormatSize(info.size());
  (*d)[C::kItemType] = ItemType(info);
  (*d)[C::kDateModified] = FormatDate(info.lastModified());
  (*d)[C::kDateCreated] = FormatDate(info.birthTime());
  (*d)[C::kDateAccessed] = FormatDate(info.lastRead());
  (*d)[C::kAttributes] = Attributes(info);
  (*d)[C::kOwner] = info.owner();
  (*d)[C::kFolderName] = folder.fileName();
  (*d)[C::kFolderPath] = info.absolutePath();
  (*d)[C::kPath] = info.absoluteFilePath();
  if (!info.isDir() && !info.suffix().isEmpty()) (*d)[C::kFileExtension] = u'.' + info.suffix();
  // Only regular files go to TagLib: opening a pipe or a device could block for ever.
  if (info.isFile()) {
    ++counters.files_read;
    try {
      ReadWithTagLib(info.absoluteFilePath(), *d);
    } catch (...) {
      // A file TagLib cannot take keeps the details the file system gave.
    }
  }
  return d;
}

// The key under which details read ahead wait for their item.
QString KeyOf(const QFileInfo& info) { return QDir::cleanPath(info.absoluteFilePath()); }

}  // namespace

struct TagLibShellProperties::Listing {
  struct Item {
    QFileInfo info;
    std::shared_ptr<const Details> details;  // read when first asked for
  };

  std::vector<Item> items;
  QStringList names;
  std::shared_ptr<Counters> counters;
  std::shared_ptr<Offered> offered;

  const Details& DetailsOf(Item& item) {
    if (!item.details && offered && !offered->empty()) {
      const auto found = offered->find(KeyOf(item.info));
      if (found != offered->end()) {
        item.details = std::move(found->second);
        offered->erase(found);
      }
    }
    if (!item.details) item.details = MakeDetails(item.info, *counters);
    return *item.details;
  }
};

namespace {

class TagLibFolder : public ShellFolder {
 public:
  explicit TagLibFolder(std::shared_ptr<TagLibShellProperties::Listing> listing)
      : listing_(std::move(listing)) {}

  QString ColumnName(int column) const override {
    return TagLibShellProperties::ColumnName(column);
  }
  QStringList Items() const override { return listing_->names; }
  QString DetailsOf(int item, int column) const override {
    if (item < 0 || item >= static_cast<int>(listing_->items.size())) return {};
    if (column < 0 || column >= kColumnCount) return {};
    return listing_->DetailsOf(listing_->items[static_cast<std::size_t>(item)])[column];
  }

 private:
  std::shared_ptr<TagLibShellProperties::Listing> listing_;
};

}  // namespace

TagLibShellProperties::TagLibShellProperties()
    : counters_(std::make_shared<Counters>()), offered_(std::make_shared<Offered>()) {
  static QuietTagLib quiet;
  TagLib::setDebugListener(&quiet);
}

TagLibShellProperties::~TagLibShellProperties() = default;

QString TagLibShellProperties::ColumnName(int column) {
  if (column < 0 || column >= ShellFolder::kColumnCount) return {};
  return QString::fromLatin1(kColumnNames[static_cast<std::size_t>(column)]);
}

QString TagLibShellProperties::FormatSize(qint64 bytes) {
  if (bytes < 1024) return QString::number(bytes) + QStringLiteral(" bytes");
  static const std::array<const char*, 5> kUnits = {"KB", "MB", "GB", "TB", "PB"};
  // Hundredths of a unit in integers, so that cutting to three figures is exact; the whole
  // units are split off first so that no size can overflow.
  std::size_t unit = 0;
  qint64 whole = bytes / 1024;
  qint64 hundredths = whole * 100 + bytes % 1024 * 100 / 1024;
  qint64 divisor = 1024;
  while (whole >= 1000 && unit + 1 < kUnits.size()) {
    ++unit;
    divisor *= 1024;
    whole = bytes / divisor;
    hundredths = whole * 100 + (bytes % divisor) * 100 / divisor;
  }
  QString number;
  if (whole >= 100) {
    number = QString::number(whole);
  } else if (whole >= 10) {
    number = QStringLiteral("%1.%2").arg(whole).arg(hundredths / 10 % 10);
  } else {
    number = QStringLiteral("%1.%2").arg(whole).arg(hundredths % 100, 2, 10, QChar(u'0'));
  }
  return number + u' ' + QString::fromLatin1(kUnits[unit]);
}

QString TagLibShellProperties::FormatDuration(qint64 seconds) {
  if (seconds < 0) seconds = 0;
  return QStringLiteral("%1:%2:%3")
      .arg(seconds / 3600, 2, 10, QChar(u'0'))
      .arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
      .arg(seconds % 60, 2, 10, QChar(u'0'));
}

QString TagLibShellProperties::FormatBitRate(int kbps) {
  return QString::number(kbps) + QStringLiteral("kbps");
}

std::shared_ptr<TagLibShellProperties::Listing> TagLibShellProperties::List(const QString& path) {
  const QFileInfo folder(path);
  if (path.isEmpty() || !folder.isDir() || !folder.isReadable() || !folder.isExecutable())
    throw StepFailure(
        QStringLiteral("The folder \"%1\" cannot be opened.").arg(path).toStdString());
  auto listing = std::make_shared<Listing>();
  listing->counters = counters_;
  listing->offered = offered_;
  ++counters_->folders_listed;
  const QFileInfoList entries = QDir(path).entryInfoList(
      QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
      QDir::DirsFirst | QDir::Name | QDir::IgnoreCase);
  listing->items.reserve(static_cast<std::size_t>(entries.size()));
  listing->names.reserve(entries.size());
  for (const QFileInfo& entry : entries) {
    listing->items.push_back({entry, nullptr});
    listing->names.append(entry.fileName());
  }
  return listing;
}

std::unique_ptr<ShellFolder> TagLibShellProperties::Namespace(const QString& path) {
  if (runs_ == 0) return std::make_unique<TagLibFolder>(List(path));
  // The same folder may be reached as "a/b/", "a/b" or through a link.
  const QString canonical = QFileInfo(path).canonicalFilePath();
  const QString key = canonical.isEmpty() ? path : canonical;
  auto found = kept_.find(key);
  if (found == kept_.end()) found = kept_.emplace(key, List(path)).first;
  return std::make_unique<TagLibFolder>(found->second);
}

void TagLibShellProperties::BeginRun() noexcept { ++runs_; }

void TagLibShellProperties::EndRun() noexcept {
  if (runs_ > 0 && --runs_ == 0) {
    kept_.clear();
    offered_->clear();
  }
}

std::shared_ptr<const ShellDetails> TagLibShellProperties::ReadDetails(const QString& path) const {
  return MakeDetails(QFileInfo(path), *counters_);
}

void TagLibShellProperties::Offer(const QString& path,
                                  std::shared_ptr<const ShellDetails> details) {
  // Outside a run nothing is kept, so nothing would take them.
  if (runs_ == 0 || !details) return;
  (*offered_)[KeyOf(QFileInfo(path))] = std::move(details);
}
