// Window-layer rules that are portable: type-ahead in lists and which drives a folder
// tree waits for.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

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

// A probe of "N:" that hangs like an offline share until the test lets it go.
struct HangingShare {
  platform::Event released;
  std::atomic<int> share_probes{0};
  std::atomic<int> probes_ended{0};

  bool Probe(const std::string& name) {
    if (name == "N:") {
      ++share_probes;
      released.WaitFor(20000);
    }
    const bool ready = name != "E:";
    ++probes_ended;
    return ready;
  }
};

TEST(DriveProberTest, AHangingSlowDriveIsLeftOutWithinTheBudgetProbedOnceAndJoined) {
  HangingShare share;
  const auto probe = [&share](const std::string& name) { return share.Probe(name); };
  const std::vector<platform::DriveCandidate> drives{
      {"C:", false}, {"D:", true}, {"E:", true}, {"N:", true}, {"F:", false}};
  {
    platform::DriveProber prober;
    // A budget that the answering probes keep even on a loaded machine under Wine, where
    // starting their threads has taken longer than 300 ms.
    EXPECT_EQ(prober.ReadyDrives(drives, probe, 2000), (std::vector<std::string>{"C:", "D:", "F:"}));
    EXPECT_EQ(share.probes_ended.load(), 4) << "returned while the share still hangs";
    // Asked again while the share still hangs: its running probe is waited for, not
    // joined by another one. Whether D: answers within so short a budget is left open.
    const std::vector<std::string> again = prober.ReadyDrives(drives, probe, 50);
    EXPECT_EQ(std::count(again.begin(), again.end(), "N:"), 0);
    EXPECT_EQ(share.share_probes.load(), 1);
    share.released.Set();
  }  // the released probe's thread is joined here
  EXPECT_EQ(share.probes_ended.load(), 9);
}

}  // namespace
}  // namespace tandrel
