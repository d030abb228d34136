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
  out_ = files_->CreateBeside(target_, existed_ ? info_.mode : NewFileMode(), error);
  if (!out_) Fail(error);
  temporary_ = out_->Path();  // empty while the file has no name
  buffer_.reserve(kPiece);
}

ReplacingFile::~ReplacingFile() {
  if (!done_) Abandon();
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
  if (!out_->Write(buffer_, error)) {
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
  bool ok = !existed_ || info_.owner != ::geteuid() || out_->SetOwnerAndMode(info_, error);
  ok = ok && out_->Flush(error) && out_->Close(error);
  if (ok) temporary_ = out_->Path();
  ok = ok && files_->Rename(temporary_, target_, error);
  if (!ok) {
    Abandon();
    Fail(error);
  }
  out_.reset();
  done_ = true;
}

void ReplacingFile::Abandon() noexcept {
  if (!out_ && temporary_.empty()) return;
  out_.reset();
  if (!temporary_.empty()) files_->Remove(temporary_);
  temporary_.clear();
  done_ = true;
}

void ReplacingFile::Fail(const std::string& reason) {
  throw StepFailure("Cannot write the file '" + target_ + "': " + reason);
}
