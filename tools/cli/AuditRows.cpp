#include "tools/cli/AuditRows.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <optional>

#include "batch/AuditFacts.h"
#include "batch/AuditRow.h"
#include "batch/FolderScan.h"
#include "batch/ReadAhead.h"
#include "platform/FileNames.h"
#include "platform/PosixFileSystem.h"
#include "tag/clsID3.h"
#include "tools/cli/FileAccess.h"

namespace AuditRows {

namespace {

struct Entry {
  std::string path;
  QString text;
  bool given = true;
};

struct Result {
  std::optional<Audit::Row> row;  // none: a given path that is a folder
  std::string path;
  bool not_read = false;
};

// The whole file mapped for the facts that need its audio; nothing when it cannot be.
class Mapped {
 public:
  explicit Mapped(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
      size_ = static_cast<size_t>(st.st_size);
      void* at = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
      if (at != MAP_FAILED) {
        data_ = static_cast<const char*>(at);
        ::madvise(at, size_, MADV_SEQUENTIAL);
      }
    }
    ::close(fd);
  }
  ~Mapped() {
    if (data_) ::munmap(const_cast<char*>(data_), size_);
  }
  Mapped(const Mapped&) = delete;
  Mapped& operator=(const Mapped&) = delete;
  std::optional<std::string_view> Bytes() const {
    if (!data_) return std::nullopt;
    return std::string_view(data_, size_);
  }

 private:
  const char* data_ = nullptr;
  size_t size_ = 0;
};

// A read-ahead's own objects, one per worker.
struct Tags {
  Tags(size_t workers, const std::shared_ptr<LegacyTextDecoder>& decoder)
      : tags(workers), decoders(LegacyText::OnePerThread(decoder, workers)) {}
  std::vector<std::unique_ptr<clsID3>> tags;
  std::vector<std::shared_ptr<LegacyTextDecoder>> decoders;
};

class Reader {
 public:
  Reader(const ExtractOptions& options, const Wants& wants, ExtractParts::Unread& unread,
         std::vector<Audit::Row>& rows)
      : options_(options),
        wants_(wants),
        unread_(unread),
        rows_(rows),
        jobs_(options.jobs > 0 ? options.jobs : ReadAhead<Entry, Result>::DefaultJobs()),
        workers_(static_cast<size_t>(ReadAhead<Entry, Result>::Workers(jobs_))),
        pattern_(QStringLiteral("*.") +
                 FolderScan::TypedExtension(FileNames::ToText(options.ext))) {}

  bool Given(ExtractParts::Inputs& inputs) {
    // Each read-ahead keeps tag objects of its own: a folder's read-ahead runs while the given
    // paths' one still reads ahead.
    Tags tags(workers_, options_.decoder);
    ReadAhead<Entry, Result> reads(
        jobs_, [&](Entry& entry) { return inputs.Next(entry.path); },
        [&](const Entry& entry, int worker) { return ReadOne(entry, tags, worker); });
    while (std::optional<Result> result = reads.Next()) {
      if (!result->row) {
        Folder(FileNames::ToText(result->path));
      } else {
        Keep(*result);
      }
    }
    return !inputs.Failed();
  }

  void TellNotRead() {
    for (const std::string& path : not_read_) {
      std::string why;
      if (!FileAccess::CanRead(path, why)) unread_.File(FileNames::ToText(path), why);
    }
  }

 private:
  void Folder(const QString& path) {
    AddFolder::ListedFiles listed;
    const QStringList folders =
        ExtractParts::WalkFolder(path, pattern_, files_, events_, unread_, listed);
    qsizetype folder = 0, next = 0;
    QStringList queued;
    Tags tags(workers_, options_.decoder);
    ReadAhead<Entry, Result> reads(
        jobs_,
        [&](Entry& entry) {
          while (next >= queued.size()) {
            if (folder >= folders.size()) return false;
            queued =
                ExtractParts::FolderFiles(files_, folders[folder++], pattern_, unread_, listed);
            next = 0;
          }
          entry.text = queued[next++];
          entry.path = FileNames::ToStdBytes(entry.text);
          entry.given = false;
          return true;
        },
        [&](const Entry& entry, int worker) { return ReadOne(entry, tags, worker); });
    while (std::optional<Result> result = reads.Next()) Keep(*result);
  }

  void Keep(Result& result) {
    if (result.not_read) not_read_.push_back(result.path);
    rows_.push_back(std::move(*result.row));
  }

  Result ReadOne(const Entry& entry, Tags& tags, int worker) {
    const auto w = static_cast<size_t>(worker);
    std::unique_ptr<clsID3>& tag = tags.tags[w];
    if (!tag) {
      tag = std::make_unique<clsID3>();
      tag->SetLegacyTextDecoder(tags.decoders[w]);
    }
    tag->SetFileName(entry.path);
    const ReadDiagnosis& d = tag->Diagnosis();
    using Status = ReadDiagnosis::Status;
    const QString text = entry.text.isEmpty() ? FileNames::ToText(entry.path) : entry.text;
    if (entry.given &&
        (d.status == Status::kNotRegularFile || (d.status == Status::kUnreadable && d.size < 0))) {
      const std::optional<int> attributes = files_.Attributes(text);
      if (attributes && (*attributes & FileAttribute::kDirectory))
        return Result{std::nullopt, entry.path, false};
    }
    Result result{AuditRow::Make(*tag, text, wants_.extra), entry.path, d.NotRead()};
    if ((wants_.deep || wants_.audio_hash) && tag->HasAudio()) {
      const Mapped mapped(entry.path);
      if (const auto bytes = mapped.Bytes()) {
        const AuditFacts::Span span = AuditFacts::AudioSpan(*bytes);
        if (wants_.audio_hash) result.row->audio_hash = AuditFacts::AudioHash(*bytes, span);
        if (wants_.deep) result.row->damage = AuditFacts::WalkFrames(*bytes, span);
      }
    }
    return result;
  }

  const ExtractOptions& options_;
  const Wants& wants_;
  ExtractParts::Unread& unread_;
  std::vector<Audit::Row>& rows_;
  const int jobs_;
  const size_t workers_;
  const QString pattern_;
  PosixFileSystem files_;
  ExtractParts::NoEvents events_;
  std::vector<std::string> not_read_;
};

}  // namespace

bool Read(const ExtractOptions& options, const Wants& wants, ExtractParts::Unread& unread,
          std::vector<Audit::Row>& rows) {
  ExtractParts::Inputs inputs(options);
  Reader reader(options, wants, unread, rows);
  if (!reader.Given(inputs)) {
    ExtractParts::Say(inputs.Problem());
    return false;
  }
  reader.TellNotRead();
  return true;
}

}  // namespace AuditRows
