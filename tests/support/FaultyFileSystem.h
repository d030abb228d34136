#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "tag/TagFileSystem.h"

/// Wraps another file layer and fails one chosen step, for tests. A step may instead run a hook
/// (a test kills its own process there to prove that a crash leaves the original whole).
class FaultyFileSystem : public TagFileSystem {
 public:
  enum class Step {
    kNone,
    kOpenSource,
    kRead,
    kCreate,
    kWrite,
    kOwner,
    kFlush,
    kTimes,
    kClose,
    kRename,
    kLock,
    kAttributes
  };

  FaultyFileSystem(std::shared_ptr<TagFileSystem> inner, Step fail_at)
      : inner_(std::move(inner)), fail_at_(fail_at) {}

  /// Runs instead of failing when the step is reached.
  void SetHook(std::function<void()> hook) { hook_ = std::move(hook); }
  /// For kWrite: how many bytes pass before the failure (the write stops half-way).
  void SetWriteBudget(int64_t bytes) { write_budget_ = bytes; }
  /// The bytes the rewrite wrote from memory, not copied from the original.
  int64_t& WrittenFromMemory() { return written_; }
  /// How many times the chosen step was reached.
  int Hits() const { return hits_; }

  bool Resolve(const std::string& path, std::string& target, std::string& error) override;
  bool Stat(const std::string& path, FileInfo& info, std::string& error) override;
  bool CheckWritable(const std::string& path, std::string& error) override {
    return inner_->CheckWritable(path, error);
  }
  std::unique_ptr<Source> OpenSource(const std::string& path, std::string& error) override;
  std::unique_ptr<Target> CreateBeside(const std::string& beside, uint32_t mode,
                                       std::string& error) override;
  bool Rename(const std::string& from, const std::string& to, std::string& error) override;
  void Remove(const std::string& path) override { inner_->Remove(path); }

  /// True when the step fails (after running the hook, if any).
  bool Trips(Step step, std::string& error);
  int64_t& WriteBudget() { return write_budget_; }
  bool FailsWrites() const { return fail_at_ == Step::kWrite; }
  /// The path of the last file CreateBeside made, so a test can look for leftovers; empty when
  /// it was made without a name.
  const std::string& Created() const { return created_; }

 private:
  std::shared_ptr<TagFileSystem> inner_;
  Step fail_at_;
  std::function<void()> hook_;
  int64_t write_budget_ = 0;
  int hits_ = 0;
  int64_t written_ = 0;
  std::string created_;
};
