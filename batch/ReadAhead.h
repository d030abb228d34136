#pragma once

#include <pthread.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <ctime>
#include <exception>
#include <functional>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

/// Reads the next items of a list on worker threads while one consumer takes the results
/// strictly in list order. Items are handed out in order by `source`; `work` turns one into its
/// result with the state of the worker that reads it. The read-ahead makes one `State` per
/// worker (from the worker's number, 0 to Workers(jobs) - 1, when it takes one) and destroys it
/// only after every worker has left, so no thread outlives what it works with. At most `ahead`
/// results, and results of at most `budget` bytes as `weigh` counts them, wait for the consumer,
/// which bounds the memory whatever the list's length and the size of its items.
///
/// `jobs` workers read while files come from the page cache. When they come from storage (a
/// cold disk, a network share), a worker spends most of a file waiting; the others then join,
/// so that many reads are in flight at once and storage works at its own pace, not one request
/// at a time. Once files come quickly again, the extra workers rest. A worker that only lost
/// its core to other programs (a busy machine) waited too, but not for storage: the thread's
/// voluntary and involuntary context switches tell the two apart.
///
/// With one job there are no threads: Next reads the item itself, in the consumer's thread, as
/// a loop without read-ahead would. A failure inside `work` reaches the consumer from Next, at
/// the item it belongs to; a failure of `source` ends the list there, as its last result. A
/// thread the system will not start means fewer workers, and none at all a loop as with one
/// job.
struct NoReadState {};

template <class Item, class Result, class State = NoReadState>
class ReadAhead {
 public:
  /// Puts the next item into `item`; false once there is none. Called by one thread at a time,
  /// so it needs no locking of its own, and never under the lock of the hand-over: a slow
  /// source (a folder being listed) does not hold up the results.
  using Source = std::function<bool(Item& item)>;
  using Work = std::function<Result(const Item& item, State& state)>;
  /// The bytes a waiting result holds.
  using Weigh = std::function<std::size_t(const Result& result)>;

  /// The bytes of results that wait for the consumer when nobody says.
  static constexpr std::size_t kDefaultBudget = std::size_t{32} << 20;

  /// The number of workers a read-ahead takes when nobody says: one per core.
  static int DefaultJobs() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
  }

  /// How many workers a read-ahead of `jobs` may use, and so how many objects of their own the
  /// caller keeps: reads in flight per job while files come slowly, at most 64 in all.
  static int Workers(int jobs) { return jobs <= 1 ? 1 : std::min(jobs * kSlowReads, 64); }

  ReadAhead(int jobs, Source source, Work work, std::size_t ahead = 0, Weigh weigh = {},
            std::size_t budget = kDefaultBudget)
      : source_(std::move(source)),
        work_(std::move(work)),
        weigh_(std::move(weigh)),
        budget_(budget),
        jobs_(jobs),
        active_(jobs) {
    const auto workers = static_cast<std::size_t>(Workers(jobs));
    states_.reserve(workers);
    for (std::size_t w = 0; w < workers; ++w) {
      if constexpr (std::is_constructible_v<State, int>) {
        states_.emplace_back(static_cast<int>(w));
      } else {
        states_.emplace_back();
      }
    }
    if (jobs <= 1) return;
    try {
      slots_.resize(ahead > 0 ? ahead
                              : std::max(256 * static_cast<std::size_t>(jobs), 4 * workers));
      // Room for every worker up front: the vector never moves while workers are added to it.
      workers_.reserve(workers);
    } catch (const std::bad_alloc&) {
      // Without memory for the window ahead, the consumer reads each item itself.
      slots_.clear();
      return;
    }
    batch_ = std::clamp<std::size_t>(slots_.size() / (4 * static_cast<std::size_t>(jobs)), 1, 64);
    current_batch_ = std::min<std::size_t>(batch_, 4);
    // The readers start now; the others only once files come slowly, so a run from the page
    // cache, and a short one above all, does not pay for threads that would only rest.
    std::lock_guard lock(mutex_);
    StartWorkers(static_cast<std::size_t>(jobs));
    threaded_ = !workers_.empty();
  }
  ~ReadAhead() { Stop(); }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  /// The result of the next item in list order, or none once the list is done. Rethrows what
  /// the item's work threw.
  std::optional<Result> Next() {
    if (!threaded_) {
      Item item;
      if (stopped_ || !source_(item)) return std::nullopt;
      return work_(item, states_.front());
    }
    std::unique_lock lock(mutex_);
    Slot& slot = slots_[taken_ % slots_.size()];
    ++consumer_waiting_;
    has_result_.wait(lock, [&] { return slot.ready || stopped_ || (ended_ && taken_ >= end_); });
    --consumer_waiting_;
    if (stopped_ || !slot.ready) return std::nullopt;
    slot.ready = false;
    ++taken_;
    std::exception_ptr failure = std::exchange(slot.failure, nullptr);
    std::optional<Result> result = std::exchange(slot.result, std::nullopt);
    held_ -= std::exchange(slot.bytes, 0);
    // A waiting worker is woken once there is room for what it takes.
    if (workers_waiting_ > 0 && MayClaim()) has_room_.notify_one();
    lock.unlock();
    if (failure) std::rethrow_exception(failure);
    return result;
  }

  /// Ends the reading: workers finish the item in hand and leave; Next answers none from now
  /// on. Returns once every worker has left.
  void Stop() {
    stopping_ = true;
    {
      std::lock_guard lock(mutex_);
      stopped_ = true;
    }
    has_room_.notify_all();
    has_result_.notify_all();
    rest_.notify_all();
    for (std::thread& worker : workers_)
      if (worker.joinable()) worker.join();
  }

 private:
  struct Slot {
    std::optional<Result> result;
    std::exception_ptr failure;
    std::size_t bytes = 0;
    bool ready = false;
  };

  static constexpr std::chrono::milliseconds kSlowBatch{10};
  // Reads a job keeps in flight while files come from storage.
  static constexpr int kSlowReads = 8;
  // Waiting this long a file, beyond the thread's own work, means the file came from storage.
  static constexpr std::chrono::microseconds kSlowFile{200};

  // What the calling thread has used so far: its CPU time, and how often it gave up its core
  // to wait (voluntary) or had it taken away (involuntary).
  struct ThreadUse {
    std::chrono::nanoseconds cpu{};
    long waits = 0;
    long preempted = 0;
  };
  static ThreadUse ThisThread() {
    ThreadUse use;
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    use.cpu = std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
    rusage usage{};
    if (::getrusage(RUSAGE_THREAD, &usage) == 0) {
      use.waits = usage.ru_nvcsw;
      use.preempted = usage.ru_nivcsw;
    }
    return use;
  }

  // Starts workers until `count` run, as far as the system lets it; called under the lock. A
  // system that will not start another thread (no memory, no threads left) gets a run with
  // fewer readers, or none.
  void StartWorkers(std::size_t count) {
    if (stopped_) return;
    try {
      while (workers_.size() < std::min(count, workers_.capacity())) {
        const std::size_t w = workers_.size();
        workers_.emplace_back([this, w] { RunWorker(static_cast<int>(w)); });
      }
    } catch (...) {
    }
    all_workers_ = static_cast<int>(workers_.size());
    active_ = std::min(active_, all_workers_);
  }

  // After a batch: whether its files came from storage decides how many workers read on. Time
  // off the core counts as waiting for storage only when the thread mostly gave the core up
  // itself; taken from it, the core was wanted by others, and more threads would not help.
  void Adapt(std::size_t count, std::chrono::nanoseconds wall, const ThreadUse& before,
             const ThreadUse& after) {
    if (count == 0) return;
    const long waits = after.waits - before.waits;
    const long preempted = after.preempted - before.preempted;
    const bool waited = wall - (after.cpu - before.cpu) > kSlowFile * static_cast<int>(count);
    const std::size_t batch = current_batch_;
    const int active = active_;
    if (waited && waits > preempted) {
      quick_batches_ = 0;
      current_batch_ = std::min<std::size_t>(batch_, 4);
      StartWorkers(workers_.capacity());
      active_ = all_workers_;
      if (active_ > active) rest_.notify_all();
    } else {
      current_batch_ = std::min(batch_, 2 * current_batch_);
      if (active_ > jobs_ && ++quick_batches_ >= 2 * all_workers_) active_ = jobs_;
    }
    // What the waiting workers wait for changed: each looks again, the resting ones too.
    if (current_batch_ != batch || active_ != active) has_room_.notify_all();
  }

  // Items a worker takes next: one at a time while files come slowly; otherwise a batch that
  // starts small, so that slow files are found out soon, and doubles while they come quickly.
  std::size_t Want() const { return active_ > jobs_ ? 1 : current_batch_; }

  // Room in the window for items not yet handed out.
  std::size_t Room() const { return taken_ + slots_.size() - claimed_; }

  // Whether a worker may take more items now: room for them, and results that wait within the
  // budget. Once the consumer has taken every result it is never held back, so a single large
  // result cannot stop the list.
  bool MayClaim() const { return Room() >= Want() && (held_ < budget_ || taken_ == claimed_); }

  // Waits until the worker may take items and takes the source's lock for them: false when the
  // list has ended or stopped. `first` is the number of the first item, `want` how many to take.
  bool Claim(int worker, std::unique_lock<std::mutex>& source_lock, std::size_t& first,
             std::size_t& want) {
    std::unique_lock lock(mutex_);
    for (;;) {
      // A worker beyond those reading now rests apart, so a wake-up meant for a reader
      // never lands on it.
      rest_.wait(lock, [&] { return stopped_ || ended_ || worker < active_; });
      if (stopped_ || ended_) return false;
      ++workers_waiting_;
      // Slow files are taken one at a time, so that every worker has one in flight.
      has_room_.wait(lock, [&] { return stopped_ || ended_ || worker >= active_ || MayClaim(); });
      --workers_waiting_;
      if (stopped_ || ended_) return false;
      if (worker >= active_) continue;
      // The source's lock is taken first, as everywhere, and then all is looked at again.
      lock.unlock();
      source_lock.lock();
      lock.lock();
      if (stopped_ || ended_) return false;
      if (worker < active_ && MayClaim()) break;
      source_lock.unlock();
    }
    want = Want();
    first = claimed_;
    return true;
  }

  // Items are taken and handed over a batch at a time, so the threads meet once per batch
  // rather than once per file.
  void RunWorker(int worker) {
    // Named, so a profile or a debugger tells the readers from the thread they work for.
    ::pthread_setname_np(::pthread_self(), "tagloom-read");
    State& state = states_[static_cast<std::size_t>(worker)];
    std::vector<Item> items;
    try {
      items.resize(batch_);
    } catch (...) {
      return;  // a worker without room for its items leaves the list to the others
    }
    for (;;) {
      std::size_t first = 0;
      std::size_t count = 0;
      std::size_t want = 1;
      // The source runs under a lock of its own, never under the hand-over's: the items are
      // numbered while it is held, so they are handed out in the source's order.
      std::unique_lock source_lock(source_mutex_, std::defer_lock);
      if (!Claim(worker, source_lock, first, want)) return;
      std::exception_ptr failure;
      bool more = true;
      while (count < want) {
        try {
          more = source_(items[count]);
        } catch (...) {
          failure = std::current_exception();
          more = false;
        }
        if (!more) break;
        ++count;
      }
      {
        std::unique_lock lock(mutex_);
        claimed_ += count;
        if (!more) {
          // A list that could not be read further ends there, its failure the last result.
          if (failure) {
            Slot& slot = slots_[claimed_ % slots_.size()];
            slot.failure = std::move(failure);
            slot.ready = true;
            ++claimed_;
          }
          ended_ = true;
          end_ = claimed_;
          lock.unlock();
          has_result_.notify_all();
          has_room_.notify_all();
          rest_.notify_all();
        }
      }
      source_lock.unlock();
      // Each result is handed over as soon as it is made, but the consumer, when it waits, is
      // woken at the end of the batch: woken for every file, it would sleep again at once and
      // the two threads would spend more on waking each other than on reading. A batch of slow
      // files (a cold disk) wakes it at every file instead.
      const auto start = std::chrono::steady_clock::now();
      const ThreadUse use_start = ThisThread();
      for (std::size_t k = 0; k < count; ++k) {
        // A stop ends the batch at the item in hand: nobody will take the rest.
        if (stopping_.load(std::memory_order_relaxed)) return;
        std::optional<Result> result;
        std::exception_ptr failure_k;
        std::size_t bytes = 0;
        try {
          result.emplace(work_(items[k], state));
          if (weigh_) bytes = weigh_(*result);
        } catch (...) {
          failure_k = std::current_exception();
        }
        const bool last = k + 1 == count;
        const bool slow = !last && std::chrono::steady_clock::now() - start > kSlowBatch;
        std::lock_guard lock(mutex_);
        Slot& slot = slots_[(first + k) % slots_.size()];
        slot.result = std::move(result);
        slot.failure = std::move(failure_k);
        slot.bytes = bytes;
        slot.ready = true;
        held_ += bytes;
        if ((last || slow) && consumer_waiting_ > 0 && taken_ >= first && taken_ <= first + k)
          has_result_.notify_one();
        if (last) Adapt(count, std::chrono::steady_clock::now() - start, use_start, ThisThread());
      }
      if (count < want) return;
    }
  }

  Source source_;
  Work work_;
  Weigh weigh_;
  const std::size_t budget_;
  // Declared before the threads, so it is destroyed after they have been joined.
  std::vector<State> states_;
  std::vector<std::thread> workers_;

  std::mutex source_mutex_;             // held by the worker calling the source
  std::mutex mutex_;                    // the hand-over: slots, counts and flags below
  std::condition_variable has_result_;  // the consumer's next slot filled, or the list ended
  std::condition_variable has_room_;    // room for the workers' next items
  std::condition_variable rest_;        // workers beyond those reading now wait here
  std::vector<Slot> slots_;             // result of item n in slots_[n % size]
  std::size_t batch_ = 1;               // the most items a worker takes at once
  std::size_t current_batch_ = 1;       // what it takes now: small at first, then growing
  const int jobs_;                      // workers reading while files come quickly
  int all_workers_ = 0;                 // workers started, resting ones included
  bool threaded_ = false;               // false: Next reads each item itself
  int active_;                          // workers reading now
  int quick_batches_ = 0;               // batches in a row whose files came quickly
  std::size_t claimed_ = 0;             // items handed to workers
  std::size_t taken_ = 0;               // results taken by the consumer
  std::size_t end_ = 0;                 // the number of items, once the source ran dry
  std::size_t held_ = 0;                // bytes of the results waiting for the consumer
  bool ended_ = false;
  bool stopped_ = false;
  std::atomic<bool> stopping_{false};  // read by workers between the items of a batch
  int consumer_waiting_ = 0;
  int workers_waiting_ = 0;
};
