#include <gtest/gtest.h>
#include <poll.h>

#include <thread>
#include <vector>

#include "TestSupport.h"
#include "device/CallQueue.h"

namespace relay::device {
namespace {

using namespace std::chrono_literals;
using relay::testing::DrainUntil;

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) > 0;
}

TEST(CallQueueTest, CallsFromOtherThreadsRunOnTheDrainingThreadInOrder) {
  TCallQueue queue;
  std::vector<int> seen;
  const auto owner = std::this_thread::get_id();
  bool wrongThread = false;
  std::thread poster([&] {
    for (int i = 0; i < 1000; ++i)
      queue.Post([&, i] {
        wrongThread = wrongThread || std::this_thread::get_id() != owner;
        seen.push_back(i);
      });
  });
  poster.join();
  EXPECT_TRUE(Readable(queue.Fd()));
  ASSERT_TRUE(DrainUntil(queue, [&] { return seen.size() == 1000; }));
  EXPECT_FALSE(wrongThread);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(seen[static_cast<std::size_t>(i)], i);
  queue.Drain();
  EXPECT_FALSE(Readable(queue.Fd()));
}

TEST(CallQueueTest, NestedDrainKeepsTheOrder) {
  TCallQueue queue;
  std::vector<int> seen;
  queue.Post([&] {
    seen.push_back(1);
    queue.Drain();  // as a modal dialog's event loop would
  });
  queue.Post([&] { seen.push_back(2); });
  queue.Post([&] { seen.push_back(3); });
  queue.Drain();
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
}

TEST(CallQueueTest, DelayedCallsRunWhenDueAndCanBeCancelled) {
  TCallQueue queue;
  std::vector<int> seen;
  const auto start = std::chrono::steady_clock::now();
  queue.PostDelayed(120ms, [&] { seen.push_back(2); });
  queue.PostDelayed(40ms, [&] { seen.push_back(1); });
  const auto cancelled = queue.PostDelayed(80ms, [&] { seen.push_back(99); });
  queue.CancelTimer(cancelled);
  queue.Drain();
  EXPECT_TRUE(seen.empty());
  ASSERT_TRUE(DrainUntil(
      queue, [&] { return seen.size() == 2; }, 2000ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 120ms);
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
  relay::testing::DrainFor(queue, 100ms);
  EXPECT_EQ(seen.size(), 2u);
}

TEST(CallQueueTest, WaitAndDrainReturnsOnTimeWithNothingToDo) {
  TCallQueue queue;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(queue.WaitAndDrain(50ms), 0u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 45ms);
}

}  // namespace
}  // namespace relay::device
