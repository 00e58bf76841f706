// The running mark as the updater meets it: held by another thread, as Tandrel holds it
// from another process.
#include <optional>
#include <utility>

#include "platform/platform.h"
#include "test_support.h"

namespace tandrel::platform {
namespace {

class RunningMarkTest : public test::ScratchFolder {};

bool WaitOnOtherThread(const std::string& folder, std::uint32_t timeout_ms) {
  bool ended = false;
  Thread waiter;
  if (!waiter.Start([&](const StopToken&) { ended = WaitUntilNotRunning(folder, timeout_ms); })) {
    ADD_FAILURE() << "no thread";
  }
  waiter.Wait();
  return ended;
}

TEST_F(RunningMarkTest, WaitLastsWhileTheMarkIsHeld) {
  EXPECT_TRUE(WaitOnOtherThread(Root(), 0));  // never held

  FolderClaim mark(ClaimKind::kRunningProgram);
  ASSERT_TRUE(mark.TryClaim(Root()));
  const std::uint32_t start = TickCount();
  EXPECT_FALSE(WaitOnOtherThread(Root(), 300));
  EXPECT_GE(TickCount() - start, 250u);
  EXPECT_TRUE(WaitOnOtherThread(Path("other"), 0));  // another folder's program

  mark.Release();
  EXPECT_TRUE(WaitOnOtherThread(Root(), 0));
}

// The mark travels with its owner: moving it on, or onto itself, gives nothing up, and
// assigning over the last owner does.
TEST_F(RunningMarkTest, AMovedMarkIsHeldUntilItsLastOwnerLetsGo) {
  std::optional<FolderClaim> first(std::in_place, ClaimKind::kRunningProgram);
  ASSERT_TRUE(first->TryClaim(Root()));
  FolderClaim moved = std::move(*first);
  first.reset();
  EXPECT_FALSE(WaitOnOtherThread(Root(), 0));
  FolderClaim& same = moved;
  moved = std::move(same);
  EXPECT_FALSE(WaitOnOtherThread(Root(), 0));
  moved = FolderClaim(ClaimKind::kRunningProgram);
  EXPECT_TRUE(WaitOnOtherThread(Root(), 0));
}

}  // namespace
}  // namespace tandrel::platform
