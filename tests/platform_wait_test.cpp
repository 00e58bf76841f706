// The stoppable wait behind the tickers and the run's polls: a stop ends it at once, and
// without one it lasts its time. Run under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "platform/platform.h"

namespace tandrel {
namespace {

// Far longer than any test may take: a wait that ends within the bound below was ended
// by its stop, not by its time.
constexpr std::uint32_t kForever = 3'600'000;
constexpr auto kBound = std::chrono::seconds(60);

TEST(StoppableWaitTest, AStopEndsTheWaitAtOnceAndWithoutOneItLastsItsTime) {
  platform::StoppableWait plain;
  const std::uint32_t start = platform::TickCount();
  EXPECT_TRUE(plain.For(20)) << "no stop: the time passed";
  EXPECT_GE(platform::TickCount() - start, 19u) << "allowing for the clock's rounding";

  std::stop_source stopped_before;
  stopped_before.request_stop();
  platform::StoppableWait already(stopped_before.get_token());
  auto at_once = std::async(std::launch::async, [&] { return already.For(kForever); });
  ASSERT_EQ(at_once.wait_for(kBound), std::future_status::ready);
  EXPECT_FALSE(at_once.get());

  std::stop_source stop;
  platform::StoppableWait waiting(stop.get_token());
  std::promise<void> started;
  auto ended = std::async(std::launch::async, [&] {
    started.set_value();
    const bool full = waiting.For(kForever);
    return std::make_pair(full, waiting.For(kForever));  // and every later wait as well
  });
  started.get_future().wait();
  stop.request_stop();
  ASSERT_EQ(ended.wait_for(kBound), std::future_status::ready);
  EXPECT_EQ(ended.get(), std::make_pair(false, false));
}

}  // namespace
}  // namespace tandrel
