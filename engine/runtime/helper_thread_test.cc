#include "engine/runtime/helper_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

namespace vld {
namespace {

TEST(HelperThreadTest, SharesWorkJobAfterJob) {
  // Each round: the helper sums the upper half while the owner sums the lower half.
  std::vector<long long> values(10000);
  std::iota(values.begin(), values.end(), 1);
  THelperThread helper;
  for (int round = 0; round < 200; ++round) {
    long long upper = -1;
    const auto half = values.begin() + 5000;
    helper.Start([&] { upper = std::accumulate(half, values.end(), 0LL); });
    const long long lower = std::accumulate(values.begin(), half, 0LL);
    helper.Wait();
    ASSERT_EQ(lower + upper, 10000LL * 10001 / 2) << "round " << round;
  }
}

TEST(HelperThreadTest, WaitWithoutJobAndEndWithoutJobReturn) {
  THelperThread never;
  never.Wait();
  THelperThread once;
  once.Start([] {});
  once.Wait();
  once.Wait();
}

TEST(HelperThreadTest, EndingWaitsForTheRunningJob) {
  std::atomic<bool> done{false};
  {
    THelperThread helper;
    helper.Start([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      done = true;
    });
  }
  EXPECT_TRUE(done);
}

}  // namespace
}  // namespace vld
