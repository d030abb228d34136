#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "batch/ReadAhead.h"

namespace {

// A worker's own state: the read-ahead makes it from the worker's number.
struct Worker {
  explicit Worker(int n) : index(n) {}
  int index;
};

using Ahead = ReadAhead<int, std::string, Worker>;

// A source over 0..count-1.
Ahead::Source Count(int count) {
  return [count, next = 0](int& item) mutable {
    if (next >= count) return false;
    item = next++;
    return true;
  };
}

// Items take uneven times, so later ones often finish first; each worker's state must stay its
// own, and the consumer must still see them in list order.
TEST(ReadAhead, ResultsComeInListOrderWithEveryWorkerOnItsOwnState) {
  for (const int jobs : {1, 2, 3, 8}) {
    const int workers = Ahead::Workers(jobs);
    std::vector<std::atomic<int>> in_use(static_cast<size_t>(workers));
    std::atomic<bool> shared{false};
    std::atomic<int> bad_worker{0};
    Ahead ahead(jobs, Count(300), [&](const int& item, Worker& state) {
      const int worker = state.index;
      if (worker < 0 || worker >= workers) {
        ++bad_worker;
        return std::string();
      }
      if (in_use[static_cast<size_t>(worker)].fetch_add(1) != 0) shared = true;
      std::this_thread::sleep_for(std::chrono::microseconds((item * 37) % 200));
      in_use[static_cast<size_t>(worker)].fetch_sub(1);
      return std::to_string(item);
    });
    for (int i = 0; i < 300; ++i) {
      const std::optional<std::string> result = ahead.Next();
      ASSERT_TRUE(result) << jobs << " " << i;
      EXPECT_EQ(*result, std::to_string(i)) << jobs;
    }
    EXPECT_FALSE(ahead.Next());
    EXPECT_FALSE(ahead.Next());
    EXPECT_FALSE(shared) << jobs;
    EXPECT_EQ(bad_worker, 0) << jobs;
  }
}

TEST(ReadAhead, OneJobReadsInTheCallersThreadOnlyWhenAsked) {
  std::vector<std::thread::id> threads;
  int calls = 0;
  Ahead ahead(1, Count(3), [&](const int& item, Worker& state) {
    const int worker = state.index;
    threads.push_back(std::this_thread::get_id());
    ++calls;
    EXPECT_EQ(worker, 0);
    return std::to_string(item);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(ahead.Next(), "0");
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(ahead.Next(), "1");
  EXPECT_EQ(ahead.Next(), "2");
  EXPECT_FALSE(ahead.Next());
  for (const std::thread::id id : threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(ReadAhead, WorkersStayWithinTheWindowAhead) {
  std::atomic<int> started{0};
  Ahead ahead(
      4, Count(1000),
      [&](const int& item, Worker&) {
        ++started;
        return std::to_string(item);
      },
      8);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_LE(started, 8);
  EXPECT_EQ(ahead.Next(), "0");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_LE(started, 9);
}

TEST(ReadAhead, AFailureReachesTheConsumerAtItsItemAndTheRestFollow) {
  for (const int jobs : {1, 2}) {
    Ahead ahead(jobs, Count(4), [&](const int& item, Worker&) {
      if (item == 1) throw std::runtime_error("cannot read 1");
      return std::to_string(item);
    });
    EXPECT_EQ(ahead.Next(), "0");
    try {
      ahead.Next();
      ADD_FAILURE() << "no failure at item 1";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "cannot read 1");
    }
    EXPECT_EQ(ahead.Next(), "2");
    EXPECT_EQ(ahead.Next(), "3");
    EXPECT_FALSE(ahead.Next());
  }
}

TEST(ReadAhead, StopEndsTheWorkersAtTheirItemInHand) {
  std::atomic<int> started{0};
  const auto begin = std::chrono::steady_clock::now();
  {
    Ahead ahead(2, Count(100000), [&](const int& item, Worker&) {
      ++started;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      return std::to_string(item);
    });
    EXPECT_EQ(ahead.Next(), "0");
    ahead.Stop();
    const int after_stop = started;
    EXPECT_FALSE(ahead.Next());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(started, after_stop);
  }
  // A file in hand for each worker, slow files having woken them all, not the list's hundred
  // thousand.
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(2));
  EXPECT_LE(started, Ahead::Workers(2) + 4);
}

// Items that wait (files from a cold disk) bring the resting workers in, so many are in flight;
// quick ones are read by the `jobs` workers (a busy machine may lend a few to the others).
TEST(ReadAhead, SlowItemsAreReadManyAtOnceQuickOnesByTheJobs) {
  for (const bool slow : {true, false}) {
    std::atomic<int> in_flight{0};
    std::atomic<int> most{0};
    std::atomic<int> by_others{0};
    const int count = slow ? 200 : 20000;
    Ahead ahead(2, Count(count), [&](const int& item, Worker& state) {
      const int worker = state.index;
      const int now = ++in_flight;
      int seen = most;
      while (now > seen && !most.compare_exchange_weak(seen, now)) {
      }
      if (worker >= 2) ++by_others;
      if (slow) {
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
      } else {
        volatile int spin = 0;
        for (int i = 0; i < 200; ++i) spin = spin + i;
      }
      --in_flight;
      return std::to_string(item);
    });
    int taken = 0;
    while (ahead.Next()) ++taken;
    EXPECT_EQ(taken, count);
    if (slow) {
      EXPECT_GT(most, 8);
      EXPECT_GT(by_others, count / 2);
    } else {
      EXPECT_LT(by_others, count / 10);
    }
  }
}

// A list that fails to give its next item while workers read: what came before arrives in
// order, the failure after it, and the run ends cleanly with threads still holding items.
TEST(ReadAhead, ASourceThatThrowsWhileThreadsReadEndsTheListThere) {
  for (const int jobs : {2, 8}) {
    int next = 0;
    Ahead ahead(
        jobs,
        [&](int& item) {
          if (next == 500) throw std::runtime_error("list gone");
          item = next++;
          return true;
        },
        [&](const int& item, Worker&) {
          if (item % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
          return std::to_string(item);
        });
    int taken = 0;
    try {
      while (const std::optional<std::string> result = ahead.Next()) {
        EXPECT_EQ(*result, std::to_string(taken)) << jobs;
        ++taken;
      }
      ADD_FAILURE() << "the failure never came";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "list gone");
    }
    EXPECT_EQ(taken, 500) << jobs;
    EXPECT_FALSE(ahead.Next());
  }
}

// Results that wait are held to a budget of bytes too: large ones stop the workers long before
// the window of results is full, and the list still ends whole.
TEST(ReadAhead, LargeResultsWaitWithinTheByteBudget) {
  std::atomic<int> made{0};
  Ahead ahead(
      2, Count(200),
      [&](const int& item, Worker&) {
        ++made;
        return std::to_string(item);
      },
      0, [](const std::string&) -> std::size_t { return 10 << 20; }, 32 << 20);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  // A batch of a worker in hand may pass the budget, no more.
  EXPECT_LE(made, 2 * 4 + 4);
  int taken = 0;
  while (ahead.Next()) ++taken;
  EXPECT_EQ(taken, 200);
}

}  // namespace
