// Window-layer rules that are portable: type-ahead in lists, the place of a folder claim,
// and which drives a folder tree waits for.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "platform/claim_namespace.h"
#include "platform/drive_probe.h"
#include "platform/platform.h"
#include "platform/window/type_ahead.h"
#include "test_support.h"

namespace tandrel {
namespace {

class Names final : public ui::RowSource {
 public:
  explicit Names(std::vector<std::string> names) : names_(std::move(names)) {}
  std::int32_t RowCount() const override { return static_cast<std::int32_t>(names_.size()); }
  std::string_view Cell(std::int32_t row, int column) const override {
    return column == 0 ? std::string_view(names_[static_cast<std::size_t>(row)]) : "other column";
  }

 private:
  std::vector<std::string> names_;
};

// Folds as the program's search does: a-z and 0xE0-0xFE lose 0x20.
std::array<std::uint8_t, 256> UpperFold() {
  std::array<std::uint8_t, 256> fold{};
  for (int i = 0; i < 256; ++i) {
    fold[static_cast<std::size_t>(i)] =
        static_cast<std::uint8_t>((i >= 'a' && i <= 'z') || i >= 0xE0 ? i - 0x20 : i);
  }
  return fold;
}

TEST(TypeAheadTest, FindsTheNextRowStartingWithTheTypedTextFoldedAndWraps) {
  const Names rows({"Alpha.txt", "beta", "\xC4rger.doc", "Bericht", "alt", "b"});
  const auto fold = UpperFold();
  EXPECT_EQ(ui::FindRowByPrefix(rows, "B", 0, false, fold), 1) << "case folded";
  EXPECT_EQ(ui::FindRowByPrefix(rows, "b", 2, false, fold), 3) << "the next one from the start row";
  EXPECT_EQ(ui::FindRowByPrefix(rows, "\xE4r", 0, false, fold), 2) << "accented letters fold too";
  EXPECT_EQ(ui::FindRowByPrefix(rows, "al", 1, false, fold), 4);
  EXPECT_EQ(ui::FindRowByPrefix(rows, "alp", 1, false, fold), -1) << "no wrap asked";
  EXPECT_EQ(ui::FindRowByPrefix(rows, "alp", 1, true, fold), 0) << "wraps to the top";
  EXPECT_EQ(ui::FindRowByPrefix(rows, "ber", 5, true, fold), 3);
  EXPECT_EQ(ui::FindRowByPrefix(rows, "bx", 0, true, fold), -1);
  EXPECT_EQ(ui::FindRowByPrefix(rows, "other", 0, true, fold), -1) << "only the first column counts";
  EXPECT_EQ(ui::FindRowByPrefix(rows, "beta!", 0, true, fold), -1) << "longer than the name";
  EXPECT_EQ(ui::FindRowByPrefix(rows, "b", 99, false, fold), 1) << "a start past the rows is row 0";
  EXPECT_EQ(ui::FindRowByPrefix(Names({}), "a", 0, true, fold), -1);
}

TEST(ClaimPlaceTest, OnlyASessionThatCannotUseTheMachineWideNamespaceClaimsLocally) {
  using platform::ChooseClaimPlace;
  using A = platform::ClaimAttempt;
  using P = platform::ClaimPlace;
  EXPECT_EQ(ChooseClaimPlace(A::kOk, A::kNotFound), P::kMachineWide);
  // Denied with an object there that opens: shared as it should be.
  EXPECT_EQ(ChooseClaimPlace(A::kAccessDenied, A::kOk), P::kMachineWide);
  // Denied with an object there that does not open: another user holds the folder, and
  // a local claim would let both runs write it.
  EXPECT_EQ(ChooseClaimPlace(A::kAccessDenied, A::kAccessDenied), P::kTakenElsewhere);
  // Denied with nothing there: no right to create machine-wide objects.
  EXPECT_EQ(ChooseClaimPlace(A::kAccessDenied, A::kNotFound), P::kSessionLocal);
  EXPECT_EQ(ChooseClaimPlace(A::kAccessDenied, A::kOtherFailure), P::kSessionLocal);
  EXPECT_EQ(ChooseClaimPlace(A::kNotFound, A::kOk), P::kSessionLocal);
  EXPECT_EQ(ChooseClaimPlace(A::kOtherFailure, A::kOk), P::kSessionLocal);
}

// A probe of "N:" that hangs like an offline share until the test lets it go.
struct HangingShare {
  std::mutex lock;
  std::condition_variable released_signal;
  bool released = false;
  std::atomic<int> probes_ended{0};

  bool Probe(const std::string& name) {
    if (name == "N:") {
      // In short waits: under Wine the MinGW condition variable has been seen to miss
      // the release's notification, which one long wait would sit out to its end.
      std::unique_lock<std::mutex> hold(lock);
      for (int waited_ms = 0; !released && waited_ms < 20000; waited_ms += 10) {
        released_signal.wait_for(hold, std::chrono::milliseconds(10));
      }
    }
    const bool ready = name != "E:";
    ++probes_ended;
    return ready;
  }
  void Release() {
    std::lock_guard<std::mutex> hold(lock);
    released = true;
    released_signal.notify_all();
  }
};

TEST(ReadyDrivesTest, AHangingSlowDriveIsLeftOutWithinTheBudgetAndTheOthersKeepTheirOrder) {
  auto share = std::make_shared<HangingShare>();
  const std::vector<platform::DriveCandidate> drives{
      {"C:", false}, {"D:", true}, {"E:", true}, {"N:", true}, {"F:", false}};
  const std::vector<std::string> ready =
      // A budget that the answering probes keep even on a loaded machine under Wine, where
      // starting their threads has taken longer than 300 ms.
      platform::ReadyDrives(drives, [share](const std::string& name) { return share->Probe(name); }, 2000);
  EXPECT_EQ(ready, (std::vector<std::string>{"C:", "D:", "F:"}));
  EXPECT_EQ(share->probes_ended.load(), 4) << "returned while the share still hangs";
  share->Release();
  EXPECT_TRUE(test::WaitUntil([&] { return share->probes_ended.load() == 5; }))
      << "the hanging probe's thread ends once it returns";
}

}  // namespace
}  // namespace tandrel
