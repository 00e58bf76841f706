// A run killed at random moments, the merge and the replacement included, never leaves
// anything but the previous complete index or the new complete one in db.db.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "indexing_support.h"

namespace tandrel::index {
namespace {

using test::Join;

class IndexKillTest : public test::ScratchFolder {};

TEST_F(IndexKillTest, DbDbIsAlwaysTheOldOrTheNewIndex) {
  const std::string tree = Path("tree");
  ASSERT_TRUE(platform::CreateFolder(tree));
  for (int d = 0; d < 20; ++d) {
    const std::string folder = Join(tree, "d" + std::to_string(d));
    ASSERT_TRUE(platform::CreateFolder(folder));
    for (int f = 0; f < 100; ++f) {
      ASSERT_TRUE(test::WriteWholeFile(Join(folder, "Datei " + std::to_string(f) + ".txt"), ""));
    }
  }
  ASSERT_TRUE(platform::CreateFolder(Path("tmp")));
  IndexRunPlan plan;
  plan.folders.assign(40, tree);  // 84,000 records: a merge of a few megabytes
  plan.index_file = Path("db.db");
  plan.walk_file = Path("dbtemp.db");
  plan.bucket_folder = Path("tmp") + platform::kPathSeparator;
  plan.reload = false;

  // The new index, from one run that is not disturbed.
  IndexRunObserver quiet;
  const std::uint32_t start = platform::TickCount();
  ASSERT_EQ(RunIndexing(plan, quiet).outcome, IndexRunOutcome::kReplaced);
  const std::uint32_t run_ms = std::max<std::uint32_t>(platform::TickCount() - start, 10);
  const std::string fresh = test::ReadWholeFile(plan.index_file);
  ASSERT_EQ(test::ReadRecords(plan.index_file).size(), 40u * 2020u);
  const std::string old = test::IndexBytes({{"alt.txt", "C:\\alt", 0}, {"b", "C:\\", 1}});

  std::mt19937 random(12345);
  int saw_old = 0;
  int saw_new = 0;
  for (int round = 0; round < 12; ++round) {
    ASSERT_TRUE(test::WriteWholeFile(plan.index_file, old));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      IndexRunObserver none;
      RunIndexing(plan, none);
      ::_exit(0);
    }
    // Anywhere from the walk to just past the end of the run.
    platform::Sleep(std::uniform_int_distribution<std::uint32_t>(0, run_ms * 11 / 10)(random));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const std::string now = test::ReadWholeFile(plan.index_file);
    ASSERT_TRUE(now == old || now == fresh) << "round " << round << ": " << now.size() << " bytes";
    (now == old ? saw_old : saw_new) += 1;
  }
  // The next run finds whatever the killed ones left and still builds the new index.
  ASSERT_EQ(RunIndexing(plan, quiet).outcome, IndexRunOutcome::kReplaced);
  EXPECT_EQ(test::ReadWholeFile(plan.index_file), fresh);
  EXPECT_GT(saw_old, 0);
  std::printf("kills leaving the old index: %d, the new one: %d\n", saw_old, saw_new);
}

}  // namespace
}  // namespace tandrel::index
