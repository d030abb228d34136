#pragma once

#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>

#include "tag/TagFileSystem.h"

// The open files behind TagFileSystem::Posix(), and what they share with it.
namespace PosixTagFiles {

inline constexpr size_t kRandomLength = 6;

std::string Reason(const std::string& what, const std::string& path);
std::string RandomName();
bool WaitForLock(int fd, const std::string& path, std::string& error);

// The named new files of this process's rewrites, for a signal handler to remove: fixed slots
// and lock-free flags, since a handler may neither allocate nor lock.
class PendingFiles {
 public:
  static constexpr int kSlots = 16;

  int Add(const std::string& path) noexcept {
    if (path.size() >= PATH_MAX) return -1;
    for (int i = 0; i < kSlots; ++i) {
      int expected = kFree;
      if (!slots_[i].state.compare_exchange_strong(expected, kFilling)) continue;
      std::memcpy(slots_[i].path, path.c_str(), path.size() + 1);
      slots_[i].state.store(kReady);
      return i;
    }
    return -1;  // more rewrites at once than slots: the next writer there removes the leftover
  }

  void Drop(int slot) noexcept {
    if (slot >= 0) slots_[slot].state.store(kFree);
  }

  void RemoveAll() noexcept {
    for (Slot& slot : slots_)
      if (slot.state.load() == kReady) ::unlink(slot.path);
  }

 private:
  static constexpr int kFree = 0, kFilling = 1, kReady = 2;
  struct Slot {
    std::atomic<int> state{kFree};
    char path[PATH_MAX];
  };
  static_assert(std::atomic<int>::is_always_lock_free);
  Slot slots_[kSlots];
};

PendingFiles& Pending();

std::unique_ptr<TagFileSystem::Source> MakeSource(int fd, std::string path);
std::unique_ptr<TagFileSystem::Target> MakeTarget(int fd, std::string path, std::string prefix);

}  // namespace PosixTagFiles
