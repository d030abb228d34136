#include "tools/cli/extract/AuditRows.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <any>
#include <optional>

#include "batch/AuditFacts.h"
#include "batch/AuditRow.h"
#include "batch/RowReader.h"
#include "platform/FileNames.h"
#include "platform/PosixFileSystem.h"
#include "tag/clsID3.h"

namespace AuditRows {

namespace {

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

// The report keeps its own row of each read, made beside the reader's; the table's cells are
// not wanted.
class NoCells : public RowReader::Shape {
 public:
  void Make(std::span<const QStringView>, RowReader::Row&, RowReader::Room&) const override {}
};

}  // namespace

bool Read(const ExtractOptions& options, const Wants& wants, ExtractParts::Unread& unread,
          std::vector<Audit::Row>& rows) {
  ExtractParts::Inputs inputs(options);
  RowReader::Options reading = ExtractParts::RowsOf(options);
  reading.columns = QStringList{ColumnCatalogue::DefaultHeaders().first()};
  reading.pictures = true;
  reading.inspect = [&wants](const clsID3& tag, RowReader::Row& row) {
    Audit::Row made = AuditRow::Make(tag, FileNames::ToText(row.path), wants.extra);
    if ((wants.deep || wants.audio_hash) && tag.HasAudio()) {
      const Mapped mapped(row.path);
      if (const auto bytes = mapped.Bytes()) {
        const AuditFacts::Span span = AuditFacts::AudioSpan(*bytes);
        if (wants.audio_hash) made.audio_hash = AuditFacts::AudioHash(*bytes, span);
        if (wants.deep) made.damage = AuditFacts::WalkFrames(*bytes, span);
      }
    }
    row.extra = std::move(made);
  };
  const NoCells shape;
  PosixFileSystem files;
  std::vector<RowReader::Row> not_read;
  {
    RowReader reads(
        std::move(reading), [&](std::string& path) { return inputs.Next(path); }, shape, files,
        unread);
    while (std::optional<RowReader::Row> row = reads.Next()) {
      if (Audit::Row* made = std::any_cast<Audit::Row>(&row->extra)) {
        rows.push_back(std::move(*made));
      } else {
        // A file whose read ran out of memory still has its row, every cell empty.
        rows.push_back(AuditRow::Make(clsID3(), FileNames::ToText(row->path), wants.extra));
      }
      if (row->NotRead()) {
        row->extra.reset();
        not_read.push_back(std::move(*row));
      }
    }
  }
  if (inputs.Failed()) {
    ExtractParts::Say(inputs.Problem());
    return false;
  }
  for (const RowReader::Row& row : not_read) unread.Tell(RowReader::NotReadText(row));
  return true;
}

}  // namespace AuditRows
