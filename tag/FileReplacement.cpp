#include "tag/FileReplacement.h"

#include <cerrno>

bool FileReplacement::Create(uint32_t mode, std::string& error) {
  Abandon();
  new_ = files_->CreateBeside(target_, mode, error);
  return new_ != nullptr;
}

bool FileReplacement::Commit(const Keep& keep, std::string& error) {
  if (!new_) {
    error = "the new file of '" + target_ + "' is no longer open";
    return false;
  }
  TagFileSystem::Target& made = *new_;
  const TagFileSystem::FileInfo* like = keep.owner_and_mode;
  bool ok = !like || made.SetOwnerAndMode(*like, error);
  ok = ok && (!keep.attributes || made.CopyAttributes(*keep.attributes, error));
  ok = ok && (!keep.times || !like || made.SetTimes(like->accessed, like->modified, error));
  ok = ok && made.Flush(error) && made.Close(error);
  ok = ok && (!keep.still_wanted || keep.still_wanted(error));
  ok = ok && files_->Rename(made.Path(), target_, error);
  if (!ok) {
    Abandon();
    return false;
  }
  new_.reset();
  return true;
}

void FileReplacement::Abandon() noexcept {
  if (!new_) return;
  const int saved = errno;
  try {
    // Removed while still open, so no other writer takes it meanwhile for a leftover.
    if (const std::string path = new_->Path(); !path.empty()) files_->Remove(path);
  } catch (...) {
  }
  new_.reset();
  errno = saved;
}
