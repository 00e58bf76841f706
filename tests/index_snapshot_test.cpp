#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "index/index.h"
#include "index/index_snapshot.h"
#include "index/indexing.h"
#include "search/search.h"
#include "test_support.h"

namespace tandrel::index {
namespace {

using platform::File;
using platform::OpenMode;

// Random names and folders of every byte a name can hold (no CR, LF, NUL), with a
// pool of folders so that folders repeat as in a real index.
std::string RandomIndexText(std::mt19937& random, int records) {
  std::uniform_int_distribution<int> byte(1, 255);
  std::uniform_int_distribution<int> length(0, 12);
  std::vector<std::string> folders;
  for (int f = 0; f < 1 + records / 8; ++f) {
    std::string folder = "C:\\F" + std::to_string(f);
    for (int n = length(random); n > 0; --n) {
      const char c = static_cast<char>(byte(random));
      if (c != '\r' && c != '\n') folder.push_back(c);
    }
    folders.push_back(folder);
  }
  std::string text;
  for (int r = 0; r < records; ++r) {
    for (int n = length(random); n > 0; --n) {
      const char c = static_cast<char>(byte(random));
      if (c != '\r' && c != '\n') text.push_back(c);
    }
    text += "\r\n" + folders[random() % folders.size()] + "\r\n";
    text.push_back(static_cast<char>(random() % 2));
  }
  return text;
}

// The same hits for every query, with either filter.
void ExpectSameSearches(const IndexTable& a, const IndexTable& b) {
  for (const char* query : {"   ", "a", "\xE4*b", "ab c", "F1", "\xFC\xDF"}) {
    for (const search::KindFilter filter : {search::KindFilter::kFilesAndFolders, search::KindFilter::kFoldersOnly}) {
      std::vector<std::int32_t> hits_a, hits_b;
      search::ScanOptions options;
      options.filter = filter;
      search::ScanIndex(a, query, options, hits_a);
      search::ScanIndex(b, query, options, hits_b);
      EXPECT_EQ(hits_a, hits_b) << query;
    }
  }
}

void ExpectSameTables(const IndexTable& a, const IndexTable& b) {
  ASSERT_EQ(a.EntryCount(), b.EntryCount());
  EXPECT_EQ(a.DistinctFolderCount(), b.DistinctFolderCount());
  for (std::int32_t i = 0; i < a.EntryCount(); ++i) {
    ASSERT_EQ(a.Name(i), b.Name(i)) << i;
    ASSERT_EQ(a.FoldedName(i), b.FoldedName(i)) << i;
    ASSERT_EQ(a.Folder(i), b.Folder(i)) << i;
    ASSERT_EQ(a.Kind(i), b.Kind(i)) << i;
  }
  ExpectSameSearches(a, b);
}

// Where section `k` of a snapshot image lies (the header's table of sections follows
// 48 bytes of magic, version, sizes, identity and counts).
std::pair<std::size_t, std::size_t> SectionOf(const std::string& image, int k) {
  std::uint64_t at[2];
  std::memcpy(at, image.data() + 48 + 24 * k, sizeof at);
  return {static_cast<std::size_t>(at[0]), static_cast<std::size_t>(at[1])};
}
enum { kNamesSection = 0, kFoldedSection = 1, kStartsSection = 2, kFoldersSection = 3,
       kFolderOfSection = 5, kKindsSection = 6, kRunsSection = 7, kRowsSection = 8,
       kRowSumsSection = 9, kBlockSumsSection = 10 };

std::size_t CountHits(const IndexTable& table, std::string_view query) {
  std::vector<std::int32_t> hits;
  search::ScanIndex(table, query, {}, hits);
  return hits.size();
}

class IndexSnapshotTest : public test::ScratchFolder {
 protected:
  void SetUp() override {
    ScratchFolder::SetUp();
    db_ = Path("db.db");
    snap_ = SnapshotPathFor(db_);
  }
  // db.db with `text`, and its snapshot as an indexing run leaves it.
  std::shared_ptr<const IndexTable> WriteIndexAndSnapshot(std::string_view text) {
    EXPECT_TRUE(test::WriteWholeFile(db_, text));
    auto table = RenewIndexSnapshot(db_).table;
    EXPECT_TRUE(test::FileExists(snap_));
    return table;
  }
  // The snapshot is not used, and the load gives exactly what the text gives.
  void ExpectTextLoad(const char* why) {
    SCOPED_TRACE(why);
    const LoadedIndex loaded = LoadIndexFile(db_);
    ASSERT_TRUE(loaded.table);
    EXPECT_FALSE(loaded.from_snapshot);
    ExpectSameTables(*loaded.table, *ReadIndexFile(db_));
  }
  std::string db_;
  std::string snap_;
};

TEST(SnapshotPathTest, DbBecomesSnapOtherNamesGetItAppended) {
  EXPECT_EQ(SnapshotPathFor("db.db"), kSnapshotFileName);
  EXPECT_EQ(SnapshotPathFor("C:\\x.db\\1m.db"), "C:\\x.db\\1m.snap");
  EXPECT_EQ(SnapshotPathFor("/tmp/x.db/index"), "/tmp/x.db/index.snap");
  EXPECT_EQ(SnapshotPathFor("/tmp/.db"), "/tmp/.db.snap");
}

TEST_F(IndexSnapshotTest, RoundTripEqualsTheTextLoadInEveryFieldAndSearch) {
  std::mt19937 random(15);
  for (const int records : {0, 1, 2, 37, 5000}) {
    SCOPED_TRACE(records);
    std::string text = RandomIndexText(random, records);
    if (records == 37) text += "cut off\r\nmid";  // a record that the file ends inside
    const auto from_text = WriteIndexAndSnapshot(text);
    ASSERT_TRUE(from_text);
    const LoadedIndex loaded = LoadIndexFile(db_);
    ASSERT_TRUE(loaded.table);
    EXPECT_TRUE(loaded.from_snapshot);
    EXPECT_FALSE(loaded.renew_snapshot);
    ExpectSameTables(*loaded.table, *from_text);
    EXPECT_LE(loaded.table->MemoryBytes(), text.size() * 3 + 2048);  // header, runs and rows: 2 KiB
  }
}

TEST_F(IndexSnapshotTest, MappedAndSearchOnlyReadingsAnswerAsTheTextDoes) {
  std::mt19937 random(21);
  // Large enough for the checksums to be summed in two halves on two threads.
  const auto from_text = WriteIndexAndSnapshot(RandomIndexText(random, 20000));
  ASSERT_GT(std::filesystem::file_size(snap_), 400'000u);
  LoadOptions mapped;
  mapped.map_snapshot = true;
  const LoadedIndex whole = LoadIndexFile(db_, mapped);
  ASSERT_TRUE(whole.from_snapshot);
  ExpectSameTables(*whole.table, *from_text);
  mapped.search_only = true;
  const LoadedIndex searched = LoadIndexFile(db_, mapped);
  ASSERT_TRUE(searched.from_snapshot);
  ExpectSameSearches(*searched.table, *from_text);
  EXPECT_EQ(searched.table->Folder(7), "") << "unchecked folders are never shown";

  // A search-only reading holds the searched sections to their checksums, and only
  // those: the others may be damaged, even out of bounds, without harm.
  const std::string good = test::ReadWholeFile(snap_);
  const IndexFileIdentity identity = *IdentifyIndexFile(db_);
  for (const int k : {kFoldedSection, kStartsSection, kKindsSection, kNamesSection,
                      kFoldersSection, kFolderOfSection, kRunsSection, kRowsSection,
                      kRowSumsSection, kBlockSumsSection}) {
    SCOPED_TRACE(k);
    const auto [offset, bytes] = SectionOf(good, k);
    std::string bad = good;
    std::memset(bad.data() + offset + bytes / 2, 0xFF, 4);
    EXPECT_FALSE(ReadIndexSnapshotImage(bad.data(), bad.size(), identity));
    const auto table = ReadIndexSnapshotImage(bad.data(), bad.size(), identity, nullptr, true);
    const bool searched_section = k == kFoldedSection || k == kStartsSection || k == kKindsSection;
    ASSERT_EQ(table == nullptr, searched_section);
    if (table) {
      ExpectSameSearches(*table, *from_text);
      EXPECT_EQ(table->Folder(table->EntryCount() - 1), "");
    }
  }
}

TEST_F(IndexSnapshotTest, ACountFromTheRunsOrTheCandidateBlocksIsTheTextsEvenWhenThoseAreDamaged) {
  std::mt19937 random(33);
  const auto from_text = WriteIndexAndSnapshot(RandomIndexText(random, 20000));
  LoadOptions counting;
  counting.map_snapshot = true;
  counting.search_only = true;
  // The count through the snapshot, and how many entries the table it gave holds.
  const auto count_through_snapshot = [&](const std::string& query) {
    counting.required_pieces = search::QueryPieces(query);
    const LoadedIndex loaded = LoadIndexFile(db_, counting);
    EXPECT_TRUE(loaded.table);
    return loaded.table ? std::make_pair(CountHits(*loaded.table, query), loaded.table->EntryCount())
                        : std::make_pair(std::size_t{0}, 0);
  };
  // Names' own texts, mostly held by a block or two; random ones, mostly by none.
  std::vector<std::string> queries;
  std::int32_t first_named = -1;
  for (std::int32_t i = 0; queries.size() < 20; i += 97) {
    if (from_text->Name(i).size() < 10) continue;
    queries.emplace_back(from_text->Name(i));
    if (first_named < 0) first_named = i;
  }
  for (int q = 0; q < 20; ++q) {
    std::string query;
    for (int n = 0; n < 5; ++n) query.push_back(static_cast<char>('A' + random() % 60));
    queries.push_back(query + (q % 2 ? "" : " ab*c"));
  }
  const auto expect_text_counts = [&](const char* why) {
    SCOPED_TRACE(why);
    int ruled_out = 0;
    int narrowed = 0;
    for (const std::string& query : queries) {
      SCOPED_TRACE(query);
      const auto [hits, entries] = count_through_snapshot(query);
      EXPECT_EQ(hits, CountHits(*from_text, query));
      ruled_out += entries == 0 ? 1 : 0;
      narrowed += entries > 0 && entries < from_text->EntryCount() ? 1 : 0;
    }
    return std::make_pair(ruled_out, narrowed);
  };
  const auto [ruled_out, narrowed] = expect_text_counts("intact");
  EXPECT_GT(ruled_out, 10) << "queries held by no name are answered from the runs";
  EXPECT_GT(narrowed, 4) << "names' own texts are counted in a few blocks";

  // Zeroed runs or rows would rule out every query, changed block sums, name starts or
  // a queried name would count wrong blocks or miss a hit; checksums keep each from
  // being used.
  const std::string good = test::ReadWholeFile(snap_);
  for (const int k : {kRunsSection, kRowsSection, kRowSumsSection, kBlockSumsSection, kStartsSection,
                      kFoldedSection}) {
    std::string damaged = good;
    auto [offset, bytes] = SectionOf(damaged, k);
    if (k == kStartsSection) offset += bytes / 3, bytes = 64;
    if (k == kFoldedSection) offset += from_text->NameStarts()[first_named], bytes = 4;
    std::memset(damaged.data() + offset, 0, bytes);
    ASSERT_TRUE(test::WriteWholeFile(snap_, damaged));
    expect_text_counts(("section " + std::to_string(k)).c_str());
  }
}

TEST_F(IndexSnapshotTest, EveryDamageOrMismatchFallsBackToTheText) {
  std::mt19937 random(7);
  WriteIndexAndSnapshot(RandomIndexText(random, 40));
  const std::string good = test::ReadWholeFile(snap_);
  const IndexFileIdentity identity = *IdentifyIndexFile(db_);
  SnapshotVerdict verdict = SnapshotVerdict::kMissing;
  ASSERT_TRUE(ReadIndexSnapshot(snap_, identity, &verdict));
  EXPECT_EQ(verdict, SnapshotVerdict::kUsed);

  // Each identity field on its own.
  for (int field = 0; field < 3; ++field) {
    IndexFileIdentity other = identity;
    if (field == 0) other.size += 1;
    if (field == 1) other.write_time += 1;
    if (field == 2) other.edge_hash ^= 1;
    EXPECT_FALSE(ReadIndexSnapshotImage(good.data(), good.size(), other, &verdict)) << field;
    EXPECT_EQ(verdict, SnapshotVerdict::kOtherIndexFile) << field;
  }
  // Every byte matters, padding included: one flipped byte anywhere is refused.
  for (std::size_t at = 0; at < good.size(); ++at) {
    std::string bad = good;
    bad[at] = static_cast<char>(bad[at] ^ (1 << (at % 8)));
    ASSERT_FALSE(ReadIndexSnapshotImage(bad.data(), bad.size(), identity, &verdict)) << at;
  }
  for (const std::size_t keep : {std::size_t{0}, std::size_t{7}, std::size_t{100}, good.size() / 2,
                                 good.size() - 1}) {
    EXPECT_FALSE(ReadIndexSnapshotImage(good.data(), keep, identity, &verdict)) << keep;
  }
  std::string longer = good + std::string(64, '\0');
  EXPECT_FALSE(ReadIndexSnapshotImage(longer.data(), longer.size(), identity, &verdict));
  // Versions older and newer than this program's (the version follows the magic).
  for (const std::uint32_t version : {kSnapshotVersion - 1, kSnapshotVersion + 1, 0xFFFFFFFFu}) {
    std::string bad = good;
    std::memcpy(bad.data() + 8, &version, sizeof version);
    EXPECT_FALSE(ReadIndexSnapshotImage(bad.data(), bad.size(), identity, &verdict)) << version;
    EXPECT_EQ(verdict, SnapshotVerdict::kUnknownVersion) << version;
    ASSERT_TRUE(test::WriteWholeFile(snap_, bad));
    ExpectTextLoad("unknown version on disk");
  }
  // The same through the file, for a truncated and a damaged snapshot; then none at all.
  ASSERT_TRUE(test::WriteWholeFile(snap_, good.substr(0, good.size() - 3)));
  ExpectTextLoad("truncated");
  std::string flipped = good;
  flipped[flipped.size() - 1] ^= 1;
  ASSERT_TRUE(test::WriteWholeFile(snap_, flipped));
  ExpectTextLoad("flipped kind");
  ASSERT_TRUE(platform::RemoveFile(snap_));
  ExpectTextLoad("missing");
}

TEST_F(IndexSnapshotTest, IndexFileReplacedByAnotherWriterIsAlwaysHonoured) {
  namespace fs = std::filesystem;
  std::mt19937 random(3);
  const std::string text = RandomIndexText(random, 3000);
  ASSERT_GT(text.size(), 3 * kIdentityBlockBytes);
  WriteIndexAndSnapshot(text);
  const std::filesystem::file_time_type written = fs::last_write_time(fs::path(db_));
  const std::string stale = test::ReadWholeFile(snap_);
  const auto restore = [&] { ASSERT_TRUE(test::WriteWholeFile(snap_, stale)); };

  // Longer: the size differs.
  ASSERT_TRUE(test::WriteWholeFile(db_, text + "neu\r\nC:\\\r\n\x01"));
  ExpectTextLoad("longer");

  // A folder far from both ends renamed, same length.
  std::string middle = text;
  const std::size_t at = middle.find("C:\\F", middle.size() / 2);
  ASSERT_NE(at, std::string::npos);
  middle[at + 3] = 'G';
  // The very text and write time the snapshot was made from: it is used again.
  ASSERT_TRUE(test::WriteWholeFile(db_, text));
  fs::last_write_time(fs::path(db_), written);
  restore();
  if (!LoadIndexFile(db_).from_snapshot) {
    // Where the write time cannot be set back exactly, the cases below cannot be made.
    GTEST_SKIP() << "the file system does not take the write time back exactly";
  }
  std::string head = text;
  head[0] = head[0] == 'Q' ? 'R' : 'Q';
  ASSERT_TRUE(test::WriteWholeFile(db_, head));
  fs::last_write_time(fs::path(db_), written);
  ExpectTextLoad("first block changed, size and time kept");

  std::string tail = text;
  tail[tail.size() - 6] = tail[tail.size() - 6] == 'Q' ? 'R' : 'Q';
  ASSERT_TRUE(test::WriteWholeFile(db_, tail));
  fs::last_write_time(fs::path(db_), written);
  ExpectTextLoad("last block changed, size and time kept");

  ASSERT_TRUE(test::WriteWholeFile(db_, middle));
  fs::last_write_time(fs::path(db_), written + std::chrono::seconds(2));
  ExpectTextLoad("middle changed, a later write time");
}

TEST_F(IndexSnapshotTest, ReplacedWhileAReaderHoldsTheSnapshotOpen) {
  std::mt19937 random(11);
  const std::string first_text = RandomIndexText(random, 200);
  WriteIndexAndSnapshot(first_text);
  const std::string first = test::ReadWholeFile(snap_);
  {
    // A short-lived tdl reading the snapshot while the indexing run replaces it: it
    // reads the whole snapshot and closes it once the writer is at the rename. Here the
    // rename succeeds over the open file; Wine, like some Windows file systems, refuses
    // it while the file is open, and the writer tries again after the close.
    File reader(snap_, OpenMode::kRead);
    ASSERT_TRUE(reader.IsOpen());
    std::string seen(first.size() + 1, '\0');
    bool writer_came = false;
    platform::Thread close_later;
    ASSERT_TRUE(close_later.Start([&](const platform::StopToken&) {
      seen.resize(reader.Read(seen.data(), seen.size()));
#ifdef _WIN32
      writer_came = test::WaitUntil([&] { return std::filesystem::exists(snap_ + ".new"); });
#else
      writer_came = test::WaitUntil([&] { return test::ReadWholeFile(snap_) != first; });
#endif
      (void)reader.Close();  // opened for reading: nothing to lose
    }));
    const std::string second_text = RandomIndexText(random, 300);
    ASSERT_TRUE(test::WriteWholeFile(db_, second_text));
    const bool replaced = WriteIndexSnapshot(*ReadIndexFile(db_), *IdentifyIndexFile(db_), snap_);
    close_later.Wait();
    EXPECT_TRUE(writer_came) << "the writer never got to the rename while the reader held the file";
    EXPECT_TRUE(replaced);
    EXPECT_EQ(seen, first) << "the reader read the snapshot it opened, complete";
    const LoadedIndex loaded = LoadIndexFile(db_);
    EXPECT_TRUE(loaded.from_snapshot) << "the new snapshot is in place";
    ExpectSameTables(*loaded.table, *ReadIndexFile(db_));
  }
  {
    // A table loaded from the snapshot keeps nothing open that blocks the next one.
    const LoadedIndex held = LoadIndexFile(db_);
    ASSERT_TRUE(held.from_snapshot);
    ASSERT_TRUE(test::WriteWholeFile(db_, first_text));
    EXPECT_TRUE(RenewIndexSnapshot(db_).table);
    EXPECT_EQ(held.table->EntryCount(), 300) << "the held table stays whole";
    EXPECT_TRUE(LoadIndexFile(db_).from_snapshot);
  }
  {
    // A short-lived tdl with the snapshot mapped: the writer's rename waits until the
    // mapping is gone where the system refuses to replace a mapped file.
    LoadOptions mapped;
    mapped.map_snapshot = true;
    LoadedIndex held = LoadIndexFile(db_, mapped);
    ASSERT_TRUE(held.from_snapshot);
    const std::string before = test::ReadWholeFile(snap_);
    bool writer_came = false;
    std::int32_t held_count = 0;
    platform::Thread release_later;
    ASSERT_TRUE(release_later.Start([&](const platform::StopToken&) {
#ifdef _WIN32
      writer_came = test::WaitUntil([&] { return std::filesystem::exists(snap_ + ".new"); });
#else
      writer_came = test::WaitUntil([&] { return test::ReadWholeFile(snap_) != before; });
#endif
      held_count = held.table->EntryCount();
      held.table.reset();
    }));
    EXPECT_TRUE(test::WriteWholeFile(db_, RandomIndexText(random, 100)));
    EXPECT_TRUE(RenewIndexSnapshot(db_).table);
    release_later.Wait();
    EXPECT_TRUE(writer_came);
    EXPECT_EQ(held_count, 200) << "the mapped table stayed whole while it was replaced";
    const LoadedIndex loaded = LoadIndexFile(db_);
    EXPECT_TRUE(loaded.from_snapshot) << "the new snapshot is in place";
    ExpectSameTables(*loaded.table, *ReadIndexFile(db_));
  }
  EXPECT_FALSE(test::FileExists(snap_ + ".new"));
}

TEST_F(IndexSnapshotTest, IndexingRunAndLoadIndexWriteTheSnapshot) {
  const std::string tree = Path("tree");
  ASSERT_TRUE(platform::CreateFolder(tree));
  ASSERT_TRUE(test::WriteWholeFile(tree + platform::kPathSeparator + "brief.txt", "x"));
  ASSERT_TRUE(platform::CreateFolder(Path("tmp")));
  IndexRunPlan plan;
  plan.folders = {tree};
  plan.index_file = db_;
  plan.walk_file = Path("dbtemp.db");
  plan.bucket_folder = Path("tmp") + platform::kPathSeparator;
  plan.reload = false;
  IndexRunObserver observer;
  IndexRunActive.store(1);
  ASSERT_EQ(RunIndexing(plan, observer).outcome, IndexRunOutcome::kReplaced);
  const LoadedIndex loaded = LoadIndexFile(db_);
  ASSERT_TRUE(loaded.from_snapshot);
  ASSERT_EQ(loaded.table->EntryCount(), 1);
  EXPECT_EQ(loaded.table->Name(0), "brief.txt");

  // LoadIndex renews a missing snapshot behind the published table.
  ASSERT_TRUE(platform::RemoveFile(snap_));
  ASSERT_TRUE(platform::SetCurrentFolder(Root()));
  LoadIndex();
  WaitForIndexSnapshotWrite();
  EXPECT_EQ(IndexEntryCount(), 1);
  EXPECT_TRUE(LoadIndexFile(kIndexFileName).from_snapshot);
  platform::SetCurrentFolder(platform::TemporaryFolder());
}

}  // namespace
}  // namespace tandrel::index
