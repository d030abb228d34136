#include "tests/support/FaultyFileSystem.h"

#include <algorithm>

namespace {

// The faulty layer's wrappers: each passes through until the chosen step trips.
class FaultySource : public TagFileSystem::Source {
 public:
  FaultySource(std::unique_ptr<TagFileSystem::Source> inner, FaultyFileSystem& fs)
      : inner_(std::move(inner)), fs_(fs) {}
  TagFileSystem::Source& Inner() { return *inner_; }
  bool ReadAt(int64_t offset, int64_t count, std::string& out, std::string& error) override {
    if (fs_.Trips(FaultyFileSystem::Step::kRead, error)) return false;
    return inner_->ReadAt(offset, count, out, error);
  }
  bool Stat(TagFileSystem::FileInfo& info, std::string& error) override {
    return inner_->Stat(info, error);
  }
  bool Lock(std::string& error) override {
    return !fs_.Trips(FaultyFileSystem::Step::kLock, error) && inner_->Lock(error);
  }

 private:
  std::unique_ptr<TagFileSystem::Source> inner_;
  FaultyFileSystem& fs_;
};

class FaultyTarget : public TagFileSystem::Target {
 public:
  FaultyTarget(std::unique_ptr<Target> inner, FaultyFileSystem& fs)
      : inner_(std::move(inner)), fs_(fs) {}
  const std::string& Path() const override { return inner_->Path(); }

  bool Write(std::string_view bytes, std::string& error) override {
    const int64_t allowed = Allowed(static_cast<int64_t>(bytes.size()));
    fs_.WrittenFromMemory() += allowed;
    if (!inner_->Write(bytes.substr(0, static_cast<size_t>(allowed)), error)) return false;
    if (allowed < static_cast<int64_t>(bytes.size()))
      return !fs_.Trips(FaultyFileSystem::Step::kWrite, error);
    return true;
  }

  bool CopyFrom(TagFileSystem::Source& source, int64_t offset, int64_t count,
                std::string& error) override {
    auto* faulty = dynamic_cast<FaultySource*>(&source);
    TagFileSystem::Source& inner = faulty ? faulty->Inner() : source;
    if (faulty && fs_.Trips(FaultyFileSystem::Step::kRead, error)) return false;
    const int64_t allowed = Allowed(count);
    if (!inner_->CopyFrom(inner, offset, allowed, error)) return false;
    if (allowed < count) return !fs_.Trips(FaultyFileSystem::Step::kWrite, error);
    return true;
  }

  bool SetOwnerAndMode(const TagFileSystem::FileInfo& like, std::string& error) override {
    return !fs_.Trips(FaultyFileSystem::Step::kOwner, error) &&
           inner_->SetOwnerAndMode(like, error);
  }
  bool CopyAttributes(TagFileSystem::Source& from, std::string& error) override {
    auto* faulty = dynamic_cast<FaultySource*>(&from);
    return !fs_.Trips(FaultyFileSystem::Step::kAttributes, error) &&
           inner_->CopyAttributes(faulty ? faulty->Inner() : from, error);
  }
  bool SetTimes(const timespec& accessed, const timespec& modified, std::string& error) override {
    return !fs_.Trips(FaultyFileSystem::Step::kTimes, error) &&
           inner_->SetTimes(accessed, modified, error);
  }
  bool Flush(std::string& error) override {
    return !fs_.Trips(FaultyFileSystem::Step::kFlush, error) && inner_->Flush(error);
  }
  bool Close(std::string& error) override {
    const bool closed = inner_->Close(error);
    return !fs_.Trips(FaultyFileSystem::Step::kClose, error) && closed;
  }

 private:
  // Bytes that may pass before a write failure trips; everything when writes do not fail.
  int64_t Allowed(int64_t wanted) {
    int64_t& budget = fs_.WriteBudget();
    if (!fs_.FailsWrites()) return wanted;
    const int64_t allowed = std::min(wanted, budget);
    budget -= allowed;
    return allowed;
  }

  std::unique_ptr<Target> inner_;
  FaultyFileSystem& fs_;
};

}  // namespace

bool FaultyFileSystem::Trips(Step step, std::string& error) {
  if (step != fail_at_) return false;
  ++hits_;
  if (hook_) hook_();
  error = "injected failure";
  return true;
}

bool FaultyFileSystem::Resolve(const std::string& path, std::string& target, std::string& error) {
  return inner_->Resolve(path, target, error);
}

bool FaultyFileSystem::Stat(const std::string& path, FileInfo& info, std::string& error) {
  return inner_->Stat(path, info, error);
}

std::unique_ptr<TagFileSystem::Source> FaultyFileSystem::OpenSource(const std::string& path,
                                                                    std::string& error) {
  if (Trips(Step::kOpenSource, error)) return nullptr;
  auto inner = inner_->OpenSource(path, error);
  if (!inner) return nullptr;
  return std::make_unique<FaultySource>(std::move(inner), *this);
}

std::unique_ptr<TagFileSystem::Target> FaultyFileSystem::CreateBeside(const std::string& beside,
                                                                      uint32_t mode,
                                                                      std::string& error) {
  if (Trips(Step::kCreate, error)) return nullptr;
  auto inner = inner_->CreateBeside(beside, mode, error);
  if (!inner) return nullptr;
  created_ = inner->Path();
  return std::make_unique<FaultyTarget>(std::move(inner), *this);
}

bool FaultyFileSystem::Rename(const std::string& from, const std::string& to, std::string& error) {
  if (Trips(Step::kRename, error)) return false;
  return inner_->Rename(from, to, error);
}
