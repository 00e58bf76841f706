// The live index against the disk: after a random sequence of file operations the live
// table holds what a fresh walk of the same folders finds, and so does the index file
// with its journal read by a new reader. The journal's damaged and foreign forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <tuple>

#include "index/index_journal.h"
#include "index/indexing.h"
#include "index/live_keeper.h"
#include "platform/folder_watch.h"
#include "search/search.h"
#include "test_support.h"

namespace tandrel::index {
namespace {

namespace fs = std::filesystem;
using Entry = std::tuple<std::string, std::string, int>;  // name, folder, kind
using Entries = std::map<Entry, int>;                     // a multiset with its counts

class Collect final : public ScanSink {
 public:
  void Add(std::string_view name, std::string_view folder, std::int8_t kind) override {
    ++entries[{std::string(name), std::string(folder), kind}];
  }
  Entries entries;
};

Entries FreshWalk(const std::vector<std::string>& roots) {
  Collect collect;
  for (const std::string& root : roots) ScanFolder(root, collect);
  return collect.entries;
}

Entries LiveEntries(const LiveIndexVersion& version) {
  Entries entries;
  ForEachLiveEntry(version, [&](std::string_view name, std::string_view folder, std::int8_t kind) {
    ++entries[{std::string(name), std::string(folder), kind}];
  });
  return entries;
}

std::string Describe(const Entries& want, const Entries& got) {
  std::string text;
  int shown = 0;
  for (const auto& [entry, count] : want) {
    const auto found = got.find(entry);
    if ((found == got.end() || found->second != count) && shown++ < 5) {
      text += "missing " + std::get<1>(entry) + "/" + std::get<0>(entry) + "\n";
    }
  }
  for (const auto& [entry, count] : got) {
    const auto found = want.find(entry);
    if ((found == want.end() || found->second != count) && shown++ < 10) {
      text += "extra " + std::get<1>(entry) + "/" + std::get<0>(entry) + "\n";
    }
  }
  return text;
}

// Random operations on the disk: files and folders made, deleted, renamed and moved,
// within a root, between the roots and to and from a folder outside them.
class DiskShuffle {
 public:
  DiskShuffle(std::vector<std::string> places, unsigned seed) : places_(std::move(places)), random_(seed) {}

  void Step() {
    const int what = Pick(100);
    const std::string folder = RandomFolder();
    if (what < 30) {
      test::WriteWholeFile(folder + "/" + NewName(), "x");
    } else if (what < 42) {
      MakeTree(folder + "/" + NewName(), 1 + Pick(3));
    } else if (what < 62) {
      if (const auto victim = RandomEntry(folder)) {
        std::error_code ignored;
        fs::remove_all(*victim, ignored);
      }
    } else if (what < 80) {
      if (const auto from = RandomEntry(folder)) Move(*from, folder + "/" + NewName());
    } else {
      if (const auto from = RandomEntry(folder)) Move(*from, RandomFolder() + "/" + NewName());
    }
  }

 private:
  int Pick(int below) { return std::uniform_int_distribution<int>(0, below - 1)(random_); }

  std::string NewName() {
    static const char* const kStems[] = {"brief", "\xC4rger", "\xFC" "ber", "Stra\xDF" "e", "a b", "note"};
    return std::string(kStems[Pick(6)]) + std::to_string(counter_++) + (Pick(2) ? ".txt" : "");
  }

  // A folder reached from a random place by a few random steps down.
  std::string RandomFolder() {
    std::string folder = places_[static_cast<std::size_t>(Pick(static_cast<int>(places_.size())))];
    for (int depth = 0; depth < 6 && Pick(3) != 0; ++depth) {
      std::vector<std::string> subfolders;
      std::error_code ignored;
      for (const auto& item : fs::directory_iterator(folder, ignored)) {
        if (item.is_directory(ignored)) subfolders.push_back(item.path().string());
      }
      if (subfolders.empty()) break;
      folder = subfolders[static_cast<std::size_t>(Pick(static_cast<int>(subfolders.size())))];
    }
    return folder;
  }

  std::optional<std::string> RandomEntry(const std::string& folder) {
    std::vector<std::string> items;
    std::error_code ignored;
    for (const auto& item : fs::directory_iterator(folder, ignored)) items.push_back(item.path().string());
    if (items.empty()) return std::nullopt;
    return items[static_cast<std::size_t>(Pick(static_cast<int>(items.size())))];
  }

  void MakeTree(const std::string& folder, int depth) {
    if (!platform::CreateFolder(folder)) return;
    for (int i = Pick(4); i > 0; --i) test::WriteWholeFile(folder + "/" + NewName(), "y");
    if (depth > 1) MakeTree(folder + "/" + NewName(), depth - 1);
  }

  static void Move(const std::string& from, const std::string& to) {
    // A folder moved into itself fails, as it should; the shuffle just goes on.
    std::error_code ignored;
    fs::rename(from, to, ignored);
  }

  std::vector<std::string> places_;
  std::mt19937 random_;
  int counter_ = 0;
};

// The shuffle's seed: a fixed one, or gtest's random seed when one is asked for
// (--gtest_random_seed=N, or --gtest_shuffle, which gives each repetition its own).
unsigned ShuffleSeed() {
  if (GTEST_FLAG_GET(random_seed) == 0 && !GTEST_FLAG_GET(shuffle)) return 2311;
  return static_cast<unsigned>(testing::UnitTest::GetInstance()->random_seed());
}

class LiveIndexTest : public test::ScratchFolder {};

// An indexing run over `folders` into `db`, as "Aktualisieren" makes it; true when it
// replaced the index.
[[nodiscard]] bool IndexOnce(const std::vector<std::string>& folders, const std::string& db, const std::string& walk_file) {
  IndexRunPlan plan;
  plan.folders = folders;
  plan.index_file = db;
  plan.walk_file = walk_file;
  plan.reload = false;
  IndexRunObserver quiet;
  IndexRunState state;
  state.active = 1;
  return RunIndexing(plan, quiet, state).outcome == IndexRunOutcome::kReplaced;
}

TEST_F(LiveIndexTest, FollowsRandomOperationsAndSurvivesARestart) {
  const std::vector<std::string> roots = {Path("one"), Path("two")};
  for (const std::string& folder : {Path("one"), Path("two"), Path("outside"), Path("index")}) {
    ASSERT_TRUE(platform::CreateFolder(folder));
  }
  const unsigned seed = ShuffleSeed();
  SCOPED_TRACE("seed " + std::to_string(seed));
  DiskShuffle shuffle({Path("one"), Path("two"), Path("outside")}, seed);
  for (int i = 0; i < 300; ++i) shuffle.Step();

  const std::string db = Path("index") + "/db.db";
  ASSERT_TRUE(IndexOnce(roots, db, Path("index") + "/dbtemp.db"));

  LiveIndexKeeper keeper;
  // A small fold limit, so that the sequence folds the journal into db.db several times.
  ASSERT_TRUE(keeper.Open(db, {.fold_divisor = 4, .min_fold_bytes = 16 * 1024}));
  platform::FolderWatch watch;
  ASSERT_TRUE(watch.Start(roots, [&](std::vector<platform::FolderChange>& batch) { keeper.Apply(batch, roots); }));
  ASSERT_TRUE(watch.IsLive(0) && watch.IsLive(1));

  for (int i = 0; i < 3000; ++i) shuffle.Step();
  const Entries fresh = FreshWalk(roots);
  ASSERT_GT(fresh.size(), 200u);
  EXPECT_TRUE(test::WaitUntil([&] { return LiveEntries(keeper.Slot().Current()) == fresh; }, 20000, 5))
      << Describe(fresh, LiveEntries(keeper.Slot().Current()));
  watch.Stop();
  EXPECT_GT(keeper.Folds(), 0u);

  // A new reader, as after a quit: db.db, then the journal.
  const LoadedLiveIndex restarted = LoadLiveIndex(db);
  ASSERT_TRUE(restarted.index_read);
  EXPECT_TRUE(restarted.journal.belongs && restarted.journal.whole);
  const Entries reloaded = LiveEntries(restarted.live->Publish());
  EXPECT_TRUE(reloaded == fresh) << Describe(fresh, reloaded);
}

TEST_F(LiveIndexTest, CatchUpRecordsOnlyWhatChangedWhileNoOneWatched) {
  const std::string root = Path("Daten");
  ASSERT_TRUE(platform::CreateFolder(root));
  ASSERT_TRUE(platform::CreateFolder(root + "/Mappe"));
  for (const char* file : {"/alt.txt", "/bleibt.txt", "/Mappe/innen.txt", "/Mappe/auch.txt"}) {
    ASSERT_TRUE(test::WriteWholeFile(root + file, "x"));
  }
  const std::string db = Path("db.db");
  ASSERT_TRUE(IndexOnce({root}, db, Path("dbtemp.db")));

  LiveIndexKeeper keeper;
  ASSERT_TRUE(keeper.Open(db));
  EXPECT_TRUE(keeper.CatchUp(root));
  EXPECT_EQ(keeper.JournalBytes(), kJournalHeaderBytes) << "nothing changed, nothing recorded";

  // Gone, new, a folder become a file of its name, a new folder with a file.
  ASSERT_TRUE(platform::RemoveFile(root + "/alt.txt"));
  ASSERT_TRUE(test::WriteWholeFile(root + "/neu.txt", "x"));
  std::filesystem::remove_all(root + "/Mappe");
  ASSERT_TRUE(test::WriteWholeFile(root + "/Mappe", "x"));
  ASSERT_TRUE(platform::CreateFolder(root + "/\xC4rger"));
  ASSERT_TRUE(test::WriteWholeFile(root + "/\xC4rger/drin.txt", "x"));
  EXPECT_TRUE(keeper.CatchUp(root));
  const Entries fresh = FreshWalk({root});
  EXPECT_EQ(LiveEntries(keeper.Slot().Current()), fresh);
  EXPECT_EQ(LiveEntries(LoadLiveIndex(db).live->Publish()), fresh);
  // A second catch-up finds nothing to record.
  const std::uint64_t bytes = keeper.JournalBytes();
  EXPECT_TRUE(keeper.CatchUp(root));
  EXPECT_EQ(keeper.JournalBytes(), bytes);

  std::filesystem::remove_all(root);
  EXPECT_FALSE(keeper.CatchUp(root));
  EXPECT_TRUE(LiveEntries(keeper.Slot().Current()).empty());
}

// A table of `names` in one folder, written as db.db.
std::string WriteIndex(const std::string& db, const std::vector<std::string>& names) {
  platform::File file(db, platform::OpenMode::kCreate);
  for (const std::string& name : names) WriteIndexRecord(file, name, "C:\\Daten", kEntryFile);
  EXPECT_TRUE(file.Close());
  return db;
}

TEST_F(LiveIndexTest, JournalKeepsWhatWasWholeAndIgnoresAnotherIndexFile) {
  const std::string db = WriteIndex(Path("db.db"), {"alt.txt", "brief.txt", "rest.txt"});
  const std::string journal = JournalPathFor(db);
  EXPECT_EQ(journal, Path("db.journal"));
  {
    LiveIndexKeeper keeper;
    ASSERT_TRUE(keeper.Open(db));
    platform::FolderChange gone{platform::FolderChange::Kind::kVanished, 0, "C:\\Daten", "brief.txt", {}, {}, false};
    platform::FolderChange made{platform::FolderChange::Kind::kAppeared, 0, "C:\\Daten", "neu.txt", {}, {}, false};
    keeper.Apply({gone}, {});
    keeper.Apply({made}, {});
  }
  const std::string whole = test::ReadWholeFile(journal);
  const auto entries_after = [&](std::string_view bytes) {
    EXPECT_TRUE(test::WriteWholeFile(journal, bytes));
    return LiveEntries(LoadLiveIndex(db).live->Publish());
  };
  const Entry alt{"alt.txt", "C:\\Daten", 0}, brief{"brief.txt", "C:\\Daten", 0},
      rest{"rest.txt", "C:\\Daten", 0}, neu{"neu.txt", "C:\\Daten", 0};
  EXPECT_EQ(entries_after(whole), (Entries{{alt, 1}, {rest, 1}, {neu, 1}}));
  // The last record cut short at every length, or one of its bytes changed: the first
  // record still stands, the second is ignored.
  const std::size_t last = whole.size() - JournalRecord({LiveStep{LiveStep::Kind::kAdd, 0, kEntryFile, "neu.txt", "C:\\Daten"}}).size();
  for (std::size_t cut = last; cut < whole.size(); ++cut) {
    EXPECT_EQ(entries_after(whole.substr(0, cut)), (Entries{{alt, 1}, {rest, 1}})) << cut;
  }
  std::string flipped = whole;
  flipped.back() ^= 0x20;
  EXPECT_EQ(entries_after(flipped), (Entries{{alt, 1}, {rest, 1}}));
  // A record whose hash fits but whose second step does not apply (entry 0 removed
  // twice) applies not at all.
  const LiveStep remove_alt{LiveStep::Kind::kRemoveTableEntry, 0, kEntryFile, {}, {}};
  EXPECT_EQ(entries_after(whole.substr(0, last) + JournalRecord({remove_alt, remove_alt})),
            (Entries{{alt, 1}, {rest, 1}}));

  // Opening a torn journal folds what stood into db.db and starts an empty journal.
  ASSERT_TRUE(test::WriteWholeFile(journal, whole.substr(0, whole.size() - 1)));
  {
    LiveIndexKeeper keeper;
    ASSERT_TRUE(keeper.Open(db));
  }
  EXPECT_EQ(test::ReadWholeFile(journal).size(), kJournalHeaderBytes);
  EXPECT_EQ(LiveEntries(LoadLiveIndex(db).live->Publish()), (Entries{{alt, 1}, {rest, 1}}));

  // The same journal beside another db.db (written anew: another size and contents)
  // is ignored, and a writer replaces it.
  ASSERT_TRUE(test::WriteWholeFile(journal, whole));
  WriteIndex(db, {"alt.txt", "brief.txt", "rest.txt", "viert.txt"});
  const LoadedLiveIndex foreign = LoadLiveIndex(db);
  EXPECT_FALSE(foreign.journal.belongs);
  EXPECT_EQ(LiveEntries(foreign.live->Publish()).size(), 4u);
}

TEST_F(LiveIndexTest, SearchListsTheTableButTheRemovedThenTheAdded) {
  IndexTableBuilder builder;
  for (const char* name : {"brief1", "anderes", "brief2", "brief3"}) ASSERT_TRUE(builder.Add(name, "X", kEntryFile));
  LiveIndex live(builder.Finish());
  live.Add("X", "Brief0", kEntryFile);
  live.Remove("X", "brief2");
  live.Add("X", "brief1", kEntryFile);  // there already: nothing added
  const LiveIndexVersion version = live.Publish();
  std::vector<std::int32_t> hits;
  std::atomic<std::int32_t> count{0};
  search::ScanOptions options;
  options.hit_count = &count;
  ASSERT_TRUE(search::ScanLiveIndex(version, "brief", options, hits));
  EXPECT_EQ(hits, (std::vector<std::int32_t>{0, 3, 4}));
  EXPECT_EQ(count.load(), 3);
  EXPECT_EQ(version.LiveCount(), 4);
}

}  // namespace
}  // namespace tandrel::index
