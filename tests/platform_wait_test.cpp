// Threads, locks and waits: a stop ends every wait on it at once, a notification made
// under the lock is never missed, and every thread is joined. Run under ThreadSanitizer
// and under Wine as well.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"

namespace tandrel {
namespace {

// Far longer than any test may take: a wait that ends within the bound below was ended
// by its stop or its notification, not by its time.
constexpr std::uint32_t kForever = 3'600'000;
constexpr std::uint32_t kBoundMs = 20'000;

TEST(StoppableWaitTest, AStopEndsTheWaitAtOnceAndWithoutOneItLastsItsTime) {
  platform::StoppableWait plain;
  const std::uint32_t start = platform::TickCount();
  EXPECT_TRUE(plain.For(20)) << "no stop: the time passed";
  EXPECT_GE(platform::TickCount() - start, 20u);

  platform::StopSource stopped_before;
  stopped_before.RequestStop();
  std::atomic<int> full{-1};
  platform::Event ended;
  platform::Thread at_once;
  ASSERT_TRUE(at_once.Start([&](const platform::StopToken&) {
    full.store(platform::StoppableWait(stopped_before.Token()).For(kForever) ? 1 : 0);
    ended.Set();
  }));
  ASSERT_TRUE(ended.WaitFor(kBoundMs));
  EXPECT_EQ(full.load(), 0);

  // The stop may come before the wait sleeps or while it sleeps; both end it.
  platform::StopSource stop;
  platform::Event started;
  platform::Event stopped;
  std::atomic<int> fulls{-1};
  platform::Thread waiting;
  ASSERT_TRUE(waiting.Start([&](const platform::StopToken&) {
    platform::StoppableWait wait(stop.Token());
    started.Set();
    const bool first = wait.For(kForever);
    fulls.store(int{first} + int{wait.For(kForever)});  // and every later wait as well
    stopped.Set();
  }));
  ASSERT_TRUE(started.WaitFor(kBoundMs));
  stop.RequestStop();
  ASSERT_TRUE(stopped.WaitFor(kBoundMs));
  EXPECT_EQ(fulls.load(), 0);
}

TEST(StopTest, OneRequestEndsEveryKindOfWaitOnItsTokens) {
  platform::StopSource stop;
  platform::Mutex lock;
  platform::ConditionVariable never_notified;
  std::atomic<int> waiting{0};
  std::atomic<int> ended_by_stop{0};
  std::vector<platform::Thread> threads(6);
  int started = 0;
  for (std::size_t t = 0; t < threads.size(); ++t) {
    started += threads[t].Start([&, t](const platform::StopToken&) {
      waiting.fetch_add(1);
      bool done = true;
      if (t % 3 == 0) {
        done = platform::StoppableWait(stop.Token()).For(kForever);
      } else {
        platform::LockGuard hold(lock);
        done = t % 3 == 1 ? never_notified.Wait(hold, stop.Token(), [] { return false; })
                          : never_notified.WaitFor(hold, kForever, stop.Token(), [] { return false; });
      }
      if (!done) ended_by_stop.fetch_add(1);
    }) ? 1 : 0;
  }
  EXPECT_EQ(started, 6);
  EXPECT_TRUE(test::WaitUntil([&] { return waiting.load() == started; }));
  stop.RequestStop();
  EXPECT_TRUE(test::WaitUntil([&] { return ended_by_stop.load() == started; }, kBoundMs));
}

TEST(ConditionVariableTest, ANotificationMadeUnderTheLockIsNeverMissed) {
  // Two threads hand a turn back and forth, so each notification comes just as the other
  // thread has tested its condition and is about to sleep. A missed one would end a wait
  // by its bound.
  constexpr int kTurns = 20'000;
  platform::Mutex lock;
  platform::ConditionVariable turned;
  int turn = 0;
  std::atomic<int> missed{0};
  const auto play = [&](int side) {
    platform::LockGuard hold(lock);
    for (int i = 0; i < kTurns; ++i) {
      if (!turned.WaitFor(hold, kBoundMs, [&] { return turn % 2 == side; })) {
        missed.fetch_add(1);
        return;
      }
      ++turn;
      turned.NotifyOne();
    }
  };
  platform::Thread other;
  ASSERT_TRUE(other.Start([&](const platform::StopToken&) { play(1); }));
  play(0);
  other.Wait();
  EXPECT_EQ(missed.load(), 0);
  EXPECT_EQ(turn, 2 * kTurns);
}

TEST(EventTest, ASetReleasesEveryWaiterAndStaysSet) {
  platform::Event event;
  EXPECT_FALSE(event.WaitFor(20)) << "not set: the time passed";
  std::atomic<int> released{0};
  {
    std::vector<platform::Thread> waiters(4);
    for (platform::Thread& waiter : waiters) {
      EXPECT_TRUE(waiter.Start([&](const platform::StopToken&) {
        if (event.WaitFor(kBoundMs)) released.fetch_add(1);
      }));
    }
    event.Set();
  }  // joined
  EXPECT_EQ(released.load(), 4);
  EXPECT_TRUE(event.IsSet());
  EXPECT_TRUE(event.WaitFor(0));
}

TEST(ThreadTest, ABodyThatEndsOnItsOwnLetsGoOfWhatItHeldAndIsJoined) {
  platform::Thread thread;
  EXPECT_FALSE(thread.IsRunning());
  platform::Event release;
  std::atomic<int> runs{0};
  auto held = std::make_shared<int>(0);
  ASSERT_TRUE(thread.Start([&, held](const platform::StopToken&) {
    if (release.WaitFor(kBoundMs)) runs.fetch_add(1);
  }));
  EXPECT_TRUE(thread.IsRunning());
  EXPECT_EQ(held.use_count(), 2) << "the body holds its copy";
  release.Set();
  ASSERT_TRUE(test::WaitUntil([&] { return !thread.IsRunning(); }));
  EXPECT_EQ(held.use_count(), 1) << "the body's copy went with its end, before anyone waited";
  thread.Wait();
  EXPECT_EQ(runs.load(), 1);
}

TEST(ThreadTest, DestructionStopsTheBodyAndWaitsForItsEnd) {
  std::atomic<bool> saw_stop{false};
  std::atomic<bool> finished{false};
  {
    platform::Thread thread;
    ASSERT_TRUE(thread.Start([&](const platform::StopToken& stop) {
      saw_stop.store(!platform::StoppableWait(stop).For(kBoundMs));
      // Work after the stop, which a destruction that did not wait would miss.
      platform::Sleep(20);
      finished.store(true);
    }));
  }
  EXPECT_TRUE(saw_stop.load());
  EXPECT_TRUE(finished.load());
}

TEST(ThreadTest, StartingAgainWaitsForThePreviousBody) {
  platform::Thread thread;
  std::atomic<int> order{0};
  std::atomic<int> first_done_at{-1};
  std::atomic<int> second_started_at{-1};
  ASSERT_TRUE(thread.Start([&](const platform::StopToken&) {
    platform::Sleep(30);
    first_done_at.store(order.fetch_add(1));
  }));
  ASSERT_TRUE(thread.Start([&](const platform::StopToken&) { second_started_at.store(order.fetch_add(1)); }));
  thread.Wait();
  EXPECT_EQ(first_done_at.load(), 0);
  EXPECT_EQ(second_started_at.load(), 1);
}

// Many threads take turns under one lock with short waits, timed and untimed, ended by
// notifications or by one stop; round after round, every thread ends on the stop.
TEST(ThreadStressTest, ManyThreadsWithShortWaitsAllEndOnOneStopRoundAfterRound) {
  constexpr int kRounds = 20;
  constexpr std::size_t kThreads = 16;
  constexpr int kSteps = 400;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE(round);
    platform::Mutex lock;
    platform::ConditionVariable stepped;
    int steps = 0;
    platform::StopSource stop;
    std::atomic<std::size_t> ended{0};
    std::vector<platform::Thread> threads(kThreads);
    std::size_t started = 0;
    for (std::size_t t = 0; t < kThreads; ++t) {
      const bool ok = threads[t].Start([&, t](const platform::StopToken&) {
        platform::StoppableWait pause(stop.Token());
        for (int own = 0; !stop.StopRequested(); ++own) {
          platform::LockGuard hold(lock);
          const int seen = ++steps;
          stepped.NotifyAll();
          if (t % 2 == 0) {
            // Every fourth wait has no time limit: only another step or the stop ends it.
            stepped.WaitFor(hold, own % 4 == 0 ? kForever : 1, stop.Token(), [&] { return steps != seen; });
          } else {
            hold.Unlock();
            pause.For(1);
          }
        }
        ended.fetch_add(1);
      });
      started += ok ? 1 : 0;
    }
    EXPECT_EQ(started, kThreads);
    {
      platform::LockGuard hold(lock);
      EXPECT_TRUE(stepped.WaitFor(hold, kBoundMs, [&] { return steps >= kSteps; }));
    }
    stop.RequestStop();
    if (!test::WaitUntil([&] { return ended.load() == started; }, kBoundMs)) {
      ADD_FAILURE() << ended.load() << " of " << started << " threads saw the stop";
      // Lets the stuck ones go, so that the test fails instead of hanging at the joins.
      platform::LockGuard hold(lock);
      ++steps;
      stepped.NotifyAll();
    }
  }
}

}  // namespace
}  // namespace tandrel
