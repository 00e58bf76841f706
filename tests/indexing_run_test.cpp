// The merge and the whole run on real trees: order, what the run shows, and that the
// previous index survives every failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "indexing_support.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace tandrel::index {
namespace {

using test::Join;
using test::Record;

class IndexingRunTest : public test::ScratchFolder {
 protected:
  void SetUp() override {
    ScratchFolder::SetUp();
    buckets_ = Path("tmp") + platform::kPathSeparator;
    ASSERT_TRUE(platform::CreateFolder(Path("tmp")));
    tree_ = Path("tree");
    ASSERT_TRUE(platform::CreateFolder(tree_));
    plan_.index_file = Path("db.db");
    plan_.walk_file = Path("dbtemp.db");
    plan_.bucket_folder = buckets_;
  }
  void TearDown() override {
    IndexRunActive.store(0);
    ScratchFolder::TearDown();
  }
  // Three files in two sub-folders: five records.
  void MakeSmallTree() {
    ASSERT_TRUE(platform::CreateFolder(Join(tree_, "s1")));
    ASSERT_TRUE(platform::CreateFolder(Join(tree_, "s2")));
    ASSERT_TRUE(test::WriteWholeFile(Join(tree_, "top.txt"), "1"));
    ASSERT_TRUE(test::WriteWholeFile(Join(Join(tree_, "s1"), "one.txt"), "2"));
    ASSERT_TRUE(test::WriteWholeFile(Join(Join(tree_, "s2"), "two.txt"), "3"));
  }
  IndexRunResult Run(IndexRunObserver& observer) {
    IndexRunActive.store(1);
    return RunIndexing(plan_, observer);
  }
  // Nothing of a run may stay behind but db.db.
  void ExpectNoScratchFiles() {
    EXPECT_FALSE(test::FileExists(plan_.walk_file));
    EXPECT_FALSE(test::FileExists(plan_.index_file + kNewIndexSuffix));
    for (int b = 0; b < kBucketCount; ++b) {
      EXPECT_FALSE(test::FileExists(buckets_ + BucketFileName(b))) << BucketFileName(b);
    }
  }
  std::string buckets_;
  std::string tree_;
  IndexRunPlan plan_;
};

TEST(BucketTest, FirstLetterInEitherCaseElseTheLastBucket) {
  EXPECT_EQ(BucketOf("apfel"), 0);
  EXPECT_EQ(BucketOf("Apfel"), 0);
  EXPECT_EQ(BucketOf("zebra"), 25);
  EXPECT_EQ(BucketOf("Zebra"), 25);
  for (const char* other : {"", "_x", "1.txt", "\xC4rger", "\xE4", "[", "`", "{", "@"}) {
    EXPECT_EQ(BucketOf(other), 26) << other;
  }
  EXPECT_EQ(BucketFileName(0), "a.db");
  EXPECT_EQ(BucketFileName(25), "z.db");
  EXPECT_EQ(BucketFileName(26), "!.db");
}

TEST_F(IndexingRunTest, MergeGroupsByFirstLetterKeepingWalkOrderWithinEachGroup) {
  const std::vector<Record> walk = {
      {"Zebra.txt", "C:\\w", 0}, {"apfel.txt", "C:\\w", 0}, {"_x.txt", "C:\\w", 0},
      {"1.txt", "C:\\w", 0},     {"\xC4rger.txt", "C:\\w", 0}, {"banane.txt", "C:\\w", 1},
      {"b2", "C:\\w\\q", 1},     {"B1", "C:\\w", 0},        {"", "C:\\w", 0}};
  ASSERT_TRUE(test::WriteWholeFile(plan_.walk_file, test::IndexBytes(walk)));
  // Left over from an interrupted run: must not reach the new index.
  ASSERT_TRUE(test::WriteWholeFile(buckets_ + "a.db", test::IndexBytes({{"alt", "C:\\", 0}})));
  {
    platform::File out(plan_.index_file, platform::OpenMode::kCreate);
    ASSERT_TRUE(MergeWalkFile(plan_.walk_file, buckets_, out));
    ASSERT_TRUE(out.Close());
  }
  const std::vector<Record> expected = {
      {"apfel.txt", "C:\\w", 0}, {"banane.txt", "C:\\w", 1}, {"b2", "C:\\w\\q", 1},
      {"B1", "C:\\w", 0},        {"Zebra.txt", "C:\\w", 0},  {"_x.txt", "C:\\w", 0},
      {"1.txt", "C:\\w", 0},     {"\xC4rger.txt", "C:\\w", 0}, {"", "C:\\w", 0}};
  EXPECT_EQ(test::ReadWholeFile(plan_.index_file), test::IndexBytes(expected));
  ExpectNoScratchFiles();
}

TEST_F(IndexingRunTest, ARunShowsItsStepsInOrderAndReloadsTheTable) {
  MakeSmallTree();
  plan_.folders = {"", tree_, ""};
  test::RecordingObserver observer;
  observer.SetBusySearchPolls(2);
  const IndexRunResult result = Run(observer);
  EXPECT_EQ(result.outcome, IndexRunOutcome::kReplaced);
  EXPECT_EQ(result.files, 3);
  EXPECT_EQ(result.seconds, 0);
  EXPECT_EQ(IndexRunActive.load(), 0);
  EXPECT_EQ(IndexMerging.load(), 0);
  EXPECT_EQ(IndexEntryCount(), 5) << "the reload counts files and folders";
  EXPECT_EQ(observer.Lines(), (std::vector<std::string>{
                                  "items off", "busy", "progress Indexiere (0 Dateien)",
                                  "tooltip Tandrel", "progress Optimiere Index...", "items on",
                                  "progress Warte auf Suchvorgang", "search?", "search?", "search?",
                                  "progress Lade Index neu", "done",
                                  "progress Indexierung erfolgreich: 3 Dateien in 0 sek", "idle",
                                  "clear query"}));
  std::vector<Record> records = test::ReadRecords(plan_.index_file);
  ASSERT_EQ(records.size(), 5u);
  std::string first_letters;
  for (const Record& r : records) first_letters += std::get<0>(r)[0];
  EXPECT_EQ(first_letters, "osstt");
  EXPECT_EQ(records[0], (Record{"one.txt", Join(tree_, "s1"), 0}));
  ExpectNoScratchFiles();
}

#ifdef _WIN32
// The user's temporary folder below a profile whose name the code page cannot hold (a
// stroked L, U+0141): the buckets are made in the real folder, not under a look-alike
// name that does not exist.
TEST_F(IndexingRunTest, ARunInATemporaryFolderWhosePathTheCodePageCannotHoldSucceeds) {
  MakeSmallTree();
  const std::wstring temp = test::WideOfAscii(Path("tmp")) + L"\\\u0141ukasz";
  ASSERT_TRUE(test::MakeWideFolder(temp));
  const std::wstring old_tmp = _wgetenv(L"TMP") != nullptr ? _wgetenv(L"TMP") : L"";
  const std::wstring old_temp = _wgetenv(L"TEMP") != nullptr ? _wgetenv(L"TEMP") : L"";
  ASSERT_EQ(_wputenv_s(L"TMP", temp.c_str()), 0);
  ASSERT_EQ(_wputenv_s(L"TEMP", temp.c_str()), 0);
  plan_.folders = {tree_};
  plan_.bucket_folder.clear();  // the user's temporary folder
  test::RecordingObserver observer;
  const IndexRunResult result = Run(observer);
  _wputenv_s(L"TMP", old_tmp.c_str());
  _wputenv_s(L"TEMP", old_temp.c_str());
  EXPECT_EQ(result.outcome, IndexRunOutcome::kReplaced);
  EXPECT_EQ(test::ReadRecords(plan_.index_file).size(), 5u);
  EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(temp))) << "every bucket deleted";
}
#endif

TEST_F(IndexingRunTest, NoFoldersGiveAnEmptyIndexAndZeroCounts) {
  ASSERT_TRUE(test::WriteWholeFile(plan_.index_file, test::IndexBytes({{"old", "C:\\", 0}})));
  test::RecordingObserver observer;
  const IndexRunResult result = Run(observer);
  EXPECT_EQ(result.outcome, IndexRunOutcome::kReplaced);
  EXPECT_EQ(test::ReadWholeFile(plan_.index_file), "");
  EXPECT_EQ(IndexEntryCount(), 0);
  EXPECT_EQ(IndexRunSuccessText(result.files, result.seconds),
            "Indexierung erfolgreich: 0 Dateien in 0 sek");
  ExpectNoScratchFiles();
}

TEST_F(IndexingRunTest, ThePreviousIndexSurvivesEveryFailure) {
  MakeSmallTree();
  plan_.folders = {tree_};
  plan_.reload = false;
  const std::string old = test::IndexBytes({{"old.txt", "C:\\alt", 0}});
  struct Case {
    const char* what;
    IndexRunOutcome outcome;
    std::function<void(IndexRunPlan&)> spoil;
  };
  const std::vector<Case> cases = {
      {"walk file cannot be created", IndexRunOutcome::kWalkFailed,
       [this](IndexRunPlan& p) { p.walk_file = Join(Path("missing"), "dbtemp.db"); }},
      {"bucket folder missing", IndexRunOutcome::kMergeFailed,
       [this](IndexRunPlan& p) { p.bucket_folder = Path("gone") + platform::kPathSeparator; }},
      {"new index cannot be created", IndexRunOutcome::kMergeFailed,
       [](IndexRunPlan& p) { ASSERT_TRUE(platform::CreateFolder(p.index_file + kNewIndexSuffix)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(test::WriteWholeFile(plan_.index_file, old));
    IndexRunPlan plan = plan_;
    c.spoil(plan);
    test::RecordingObserver observer;
    IndexRunActive.store(1);
    const IndexRunResult result = RunIndexing(plan, observer);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(test::ReadWholeFile(plan_.index_file), old);
    EXPECT_EQ(IndexRunActive.load(), 0);
    const std::vector<std::string> lines = observer.Lines();
    EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end()),
              (std::vector<std::string>{"done", std::string("progress ") + kIndexRunFailedText, "idle",
                                        "clear query"}))
        << "the run ends as usual, saying it failed";
    EXPECT_FALSE(test::FileExists(plan.walk_file));
    for (int b = 0; b < kBucketCount; ++b) {
      EXPECT_FALSE(test::FileExists(buckets_ + BucketFileName(b)));
    }
    std::filesystem::remove(plan_.index_file + kNewIndexSuffix);
  }
}

TEST_F(IndexingRunTest, FoldersThatCannotBeListedAreNamedAndIfNoneCanTheIndexStays) {
  MakeSmallTree();
  const std::string old = test::IndexBytes({{"old.txt", "C:\\alt", 0}});
  ASSERT_TRUE(test::WriteWholeFile(plan_.index_file, old));
  const std::string gone = Path("unplugged");
  const std::string typo = Path("tre");
  plan_.folders = {"", gone, "", typo};
  test::RecordingObserver observer;
  IndexRunResult result = Run(observer);
  EXPECT_EQ(result.outcome, IndexRunOutcome::kNoFolderListed);
  EXPECT_EQ(result.unlisted_folders, (std::vector<std::string>{gone, typo}));
  EXPECT_EQ(test::ReadWholeFile(plan_.index_file), old);
  EXPECT_EQ(IndexRunActive.load(), 0);
  EXPECT_EQ(IndexMerging.load(), 0);
  const std::vector<std::string> lines = observer.Lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), std::string("progress ") + kIndexRunFailedText), lines.end());
  ExpectNoScratchFiles();

  plan_.folders = {gone, tree_};  // one listable folder is a walk as always
  result = Run(observer);
  EXPECT_EQ(result.outcome, IndexRunOutcome::kReplaced);
  EXPECT_EQ(result.unlisted_folders, std::vector<std::string>{gone});
  EXPECT_EQ(test::ReadRecords(plan_.index_file).size(), 5u);
  ExpectNoScratchFiles();
}

TEST_F(IndexingRunTest, AnIndexFileThatCannotBeReplacedStaysAndNothingIsLeftBehind) {
  MakeSmallTree();
  plan_.folders = {tree_};
  plan_.reload = false;
  // A folder in the index file's place cannot be replaced by a file.
  ASSERT_TRUE(platform::CreateFolder(plan_.index_file));
  ASSERT_TRUE(test::WriteWholeFile(Join(plan_.index_file, "keep"), "k"));
  test::RecordingObserver observer;
  EXPECT_EQ(Run(observer).outcome, IndexRunOutcome::kNotReplaced);
  EXPECT_EQ(test::ReadWholeFile(Join(plan_.index_file, "keep")), "k");
  ExpectNoScratchFiles();
}

TEST_F(IndexingRunTest, AReaderHoldingTheIndexOpenKeepsWhatItOpened) {
  MakeSmallTree();
  plan_.folders = {tree_};
  plan_.reload = false;
  const std::string old = test::IndexBytes({{"old.txt", "C:\\alt", 0}});
  ASSERT_TRUE(test::WriteWholeFile(plan_.index_file, old));
  // Opened as the program opens every file: others may read it, delete it or rename it.
  platform::File reader(plan_.index_file, platform::OpenMode::kRead);
  ASSERT_TRUE(reader.IsOpen());
  test::RecordingObserver observer;
  const IndexRunOutcome outcome = Run(observer).outcome;
  std::string seen(old.size() + 1, '\0');
  seen.resize(reader.Read(seen.data(), seen.size()));
  EXPECT_EQ(seen, old) << "the reader reads the index it opened, complete";
#ifdef _WIN32
  // Renaming over a file that is open at all is refused there (Wine does; so does Windows
  // without POSIX rename semantics): the run fails and changes nothing.
  EXPECT_EQ(outcome, IndexRunOutcome::kNotReplaced);
  EXPECT_EQ(test::ReadWholeFile(plan_.index_file), old);
  ExpectNoScratchFiles();
  EXPECT_TRUE(reader.Close());
  EXPECT_EQ(Run(observer).outcome, IndexRunOutcome::kReplaced) << "once the reader is gone";
  // A reader that lets go within the run's wait (a short `tdl search`) fails nothing.
  ASSERT_TRUE(test::WriteWholeFile(plan_.index_file, old));
  platform::File brief(plan_.index_file, platform::OpenMode::kRead);
  ASSERT_TRUE(brief.IsOpen());
  platform::Thread closer;
  ASSERT_TRUE(closer.Start([&brief](const platform::StopToken&) {
    platform::Sleep(150);
    (void)brief.Close();  // opened for reading: nothing to lose
  }));
  EXPECT_EQ(Run(observer).outcome, IndexRunOutcome::kReplaced);
  closer.Wait();
#else
  EXPECT_EQ(outcome, IndexRunOutcome::kReplaced);
#endif
  EXPECT_EQ(test::ReadRecords(plan_.index_file).size(), 5u);
  ExpectNoScratchFiles();
}

TEST_F(IndexingRunTest, TwoRunsOnOneIndexTakeTurnsAndOneThatMayNotWaitGivesUp) {
  MakeSmallTree();
  plan_.folders = {tree_, tree_, tree_};
  plan_.reload = false;
  test::RecordingObserver first_observer;
  test::RecordingObserver second_observer;
  IndexRunResult first;
  IndexRunResult second;
  {
    platform::Thread a;
    platform::Thread b;
    ASSERT_TRUE(a.Start([&](const platform::StopToken&) { first = RunIndexing(plan_, first_observer); }));
    ASSERT_TRUE(b.Start([&](const platform::StopToken&) { second = RunIndexing(plan_, second_observer); }));
  }
  EXPECT_EQ(first.outcome, IndexRunOutcome::kReplaced);
  EXPECT_EQ(second.outcome, IndexRunOutcome::kReplaced);
  EXPECT_EQ(first.files, 9);
  EXPECT_EQ(second.files, 9);
  EXPECT_EQ(test::ReadRecords(plan_.index_file).size(), 15u);
  ExpectNoScratchFiles();

  // Another holder of the index folder: a run that may not wait ends at once.
  const std::string before = test::ReadWholeFile(plan_.index_file);
  platform::FolderClaim other;
  ASSERT_TRUE(other.TryClaim(Root()));
  plan_.wait_for_other_run = false;
  test::RecordingObserver observer;
  IndexRunResult busy;
  platform::Thread other_thread;
  ASSERT_TRUE(other_thread.Start([&](const platform::StopToken&) { busy = RunIndexing(plan_, observer); }));
  other_thread.Wait();
  EXPECT_EQ(busy.outcome, IndexRunOutcome::kOtherRunBusy);
  EXPECT_EQ(observer.Lines(), (std::vector<std::string>{"items off", "items on"}));
  EXPECT_EQ(test::ReadWholeFile(plan_.index_file), before);
}

#ifndef _WIN32
// Without a bucket folder of its own a run regroups in a folder that it makes for itself in
// the temporary folder, open to its user alone, and removes afterwards: names another user
// planted in a shared temporary folder are never opened.
TEST_F(IndexingRunTest, BucketsGoIntoAPrivateFolderMadeForTheRun) {
  MakeSmallTree();
  plan_.folders = {tree_};
  plan_.bucket_folder.clear();
  const std::string shared = Path("shared-tmp");
  const std::string victim = Path("victim");
  ASSERT_TRUE(platform::CreateFolder(shared));
  ASSERT_TRUE(test::WriteWholeFile(victim, "keep"));
  for (const char* planted : {"a.db", "t.db", "!.db"}) {
    ASSERT_EQ(::symlink(victim.c_str(), Join(shared, planted).c_str()), 0);
  }
  struct SeesTheTemporaryFolder : test::RecordingObserver {
    std::string folder;
    std::vector<std::string> merge_folders;  // new folders at the merge, with their modes
    void ShowProgress(std::string_view text) override {
      if (text != "Optimiere Index...") return;
      for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        struct stat st {};
        if (::lstat(entry.path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        const bool own = st.st_uid == ::geteuid();
        merge_folders.push_back(std::to_string(st.st_mode & 07777) + (own ? " own" : " other"));
      }
    }
  } observer;
  observer.folder = shared;
  const char* saved = std::getenv("TMPDIR");
  const std::string previous = saved != nullptr ? saved : "";
  ::setenv("TMPDIR", shared.c_str(), 1);
  const IndexRunResult result = Run(observer);
  if (saved != nullptr) {
    ::setenv("TMPDIR", previous.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }

  EXPECT_EQ(result.outcome, IndexRunOutcome::kReplaced);
  EXPECT_EQ(test::ReadRecords(plan_.index_file).size(), 5u);
  EXPECT_EQ(observer.merge_folders, std::vector<std::string>{std::to_string(0700) + " own"});
  EXPECT_EQ(test::ReadWholeFile(victim), "keep");
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(shared)) left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"!.db", "a.db", "t.db"})) << "only the planted links stay";
}
#endif

TEST_F(IndexingRunTest, RunsWithStatesOfTheirOwnRunAtOnceWithoutMixingTheirRecords) {
  // Both runs have walked and neither has merged when they go on: each one's walk file
  // and count must hold its own tree alone.
  // Each run waits there until both have arrived.
  struct Meeting {
    platform::Mutex lock;
    platform::ConditionVariable all_here;
    int missing = 2;
  } walked;
  struct MeetAfterWalk : test::RecordingObserver {
    explicit MeetAfterWalk(Meeting& meet) : meet_(meet) {}
    void ShowProgress(std::string_view text) override {
      if (text != "Optimiere Index...") return;
      platform::LockGuard hold(meet_.lock);
      if (--meet_.missing == 0) meet_.all_here.NotifyAll();
      EXPECT_TRUE(meet_.all_here.WaitFor(hold, 20000, [this] { return meet_.missing == 0; }));
    }
    Meeting& meet_;
  };
  struct Side {
    IndexRunPlan plan;
    IndexRunState state;
    std::vector<Record> expected;
    IndexRunResult result;
  };
  Side sides[2];
  for (int s = 0; s < 2; ++s) {
    const std::string own = Path(s == 0 ? "a" : "b");
    const std::string tree = Join(own, "tree");
    ASSERT_TRUE(platform::CreateFolder(own));
    ASSERT_TRUE(platform::CreateFolder(tree));
    ASSERT_TRUE(platform::CreateFolder(Join(own, "tmp")));
    for (int f = 0; f < 3 + 4 * s; ++f) {
      const std::string name = std::string(1, static_cast<char>('a' + s)) + std::to_string(f);
      ASSERT_TRUE(test::WriteWholeFile(Join(tree, name), ""));
      sides[s].expected.emplace_back(name, tree, 0);
    }
    sides[s].plan.folders = {tree};
    sides[s].plan.index_file = Join(own, "db.db");
    sides[s].plan.walk_file = Join(own, "dbtemp.db");
    sides[s].plan.bucket_folder = Join(own, "tmp") + platform::kPathSeparator;
    sides[s].plan.reload = false;
    sides[s].state.active.store(1);
  }
  IndexFileCount.store(-1);
  {
    MeetAfterWalk first(walked);
    MeetAfterWalk second(walked);
    platform::Thread a;
    platform::Thread b;
    ASSERT_TRUE(a.Start([&](const platform::StopToken&) {
      sides[0].result = RunIndexing(sides[0].plan, first, sides[0].state);
    }));
    ASSERT_TRUE(b.Start([&](const platform::StopToken&) {
      sides[1].result = RunIndexing(sides[1].plan, second, sides[1].state);
    }));
  }
  for (Side& side : sides) {
    SCOPED_TRACE(side.plan.index_file);
    EXPECT_EQ(side.result.outcome, IndexRunOutcome::kReplaced);
    EXPECT_EQ(side.result.files, static_cast<std::int32_t>(side.expected.size()));
    EXPECT_EQ(side.state.active.load(), 0);
    std::vector<Record> records = test::ReadRecords(side.plan.index_file);
    std::sort(records.begin(), records.end());
    std::sort(side.expected.begin(), side.expected.end());
    EXPECT_EQ(records, side.expected);
    EXPECT_FALSE(test::FileExists(side.plan.walk_file));
  }
  EXPECT_EQ(IndexFileCount.load(), -1) << "the process-wide run is not touched";
}

#ifndef _WIN32
// A walk file whose writes start failing half-way (here: the file size limit).
TEST_F(IndexingRunTest, AWalkFileThatLosesAWriteKeepsThePreviousIndexAndSaysSo) {
  for (int f = 0; f < 100; ++f) {
    ASSERT_TRUE(test::WriteWholeFile(Join(tree_, "a rather long file name " + std::to_string(f)), ""));
  }
  plan_.folders = {tree_};
  plan_.reload = false;
  const std::string old = test::IndexBytes({{"old.txt", "C:\\alt", 0}});
  ASSERT_TRUE(test::WriteWholeFile(plan_.index_file, old));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{2048, 2048};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(3);
    test::RecordingObserver observer;
    IndexRunActive.store(1);
    const IndexRunOutcome outcome = RunIndexing(plan_, observer).outcome;
    if (outcome != IndexRunOutcome::kWalkFailed) ::_exit(10 + static_cast<int>(outcome));
    const std::vector<std::string> lines = observer.Lines();
    ::_exit(lines.size() > 3 && lines[lines.size() - 3] == std::string("progress ") + kIndexRunFailedText
                ? 0
                : 4);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "3: no limit, 4: no failure text, 10+: another outcome";
  EXPECT_EQ(test::ReadWholeFile(plan_.index_file), old);
  ExpectNoScratchFiles();
}
#endif

TEST_F(IndexingRunTest, TheTickerShowsTheCountUntilStoppedAndNeverAfter) {
  IndexFileCount.store(42);
  struct Counting : test::RecordingObserver {
    std::atomic<int> updates{0};
    void ShowProgress(std::string_view text) override {
      EXPECT_EQ(text, "Indexieren (42 Dateien)");
      updates.fetch_add(1);
    }
    void ShowTooltip(std::string_view text) override { EXPECT_EQ(text, "Indexieren (42 Dateien)"); }
  } counting;
  {
    platform::Thread ticker;
    ASSERT_TRUE(ticker.Start([&](const platform::StopToken& stop) { IndexTicker(counting, stop); }));
    ASSERT_TRUE(test::WaitUntil([&] { return counting.updates.load() >= 2; })) << "no updates";
  }
  // The wait that saw the running ticker's updates sees none for three periods now.
  const int seen = counting.updates.load();
  EXPECT_FALSE(test::WaitUntil([&] { return counting.updates.load() != seen; }, 750))
      << "an update after the ticker was stopped";
}

}  // namespace
}  // namespace tandrel::index
