#include "export/ReplacingFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileNames.h"
#include "platform/StepFailure.h"

namespace {

constexpr size_t kPiece = size_t{1} << 20;

uint32_t NewFileMode() {
  // umask can only be read by setting it; the program runs on one thread.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~static_cast<uint32_t>(mask);
}

}  // namespace

ReplacingFile::ReplacingFile(const QString& path, std::shared_ptr<TagFileSystem> files)
    : files_(files ? std::move(files) : TagFileSystem::Posix()),
      target_(FileNames::ToStdBytes(path)) {
  std::string error;
  if (target_.empty()) Fail("no file name was given");
  std::string resolved;
  if (files_->Resolve(target_, resolved, error) && files_->Stat(resolved, info_, error)) {
    if (!info_.regular) Fail("it is not a regular file");
    // A file the user made read-only stays as it is, as it would if it were written in place;
    // the mode bits decide, so root is refused like everyone else.
    if ((info_.mode & 0222) == 0) Fail("it is read-only");
    if (!files_->CheckWritable(resolved, error)) Fail(error);
    target_ = resolved;
    existed_ = true;
  }
  out_ = std::make_unique<FileReplacement>(files_, target_);
  if (!out_->Create(existed_ ? info_.mode : NewFileMode(), error)) {
    out_.reset();
    Fail(error);
  }
  buffer_.reserve(kPiece);
}

void ReplacingFile::Write(const QByteArray& bytes) {
  Write(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

void ReplacingFile::Write(std::string_view bytes) {
  if (!out_) Fail("the file is no longer open");
  buffer_.append(bytes);
  if (buffer_.size() >= kPiece) Drain();
}

void ReplacingFile::Drain() {
  std::string error;
  if (!out_->New().Write(buffer_, error)) {
    Abandon();
    Fail(error);
  }
  buffer_.clear();
}

void ReplacingFile::Commit() {
  if (!out_) Fail("the file is no longer open");
  Drain();
  std::string error;
  // An old file's permissions, and its group, carry over when the file is ours; another user's
  // file becomes ours, since only they or root could give it back to them.
  FileReplacement::Keep keep;
  if (existed_ && info_.owner == ::geteuid()) keep.owner_and_mode = &info_;
  const bool ok = out_->Commit(keep, error);
  out_.reset();
  if (!ok) Fail(error);
}

void ReplacingFile::Abandon() noexcept { out_.reset(); }

void ReplacingFile::Fail(const std::string& reason) {
  throw StepFailure("Cannot write the file '" + target_ + "': " + reason);
}
