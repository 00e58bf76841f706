// The fast scan against a plain pass over every entry, on random tables and queries.
#include <gtest/gtest.h>

#include <random>

#include "search/search.h"

namespace tandrel::search {
namespace {

// What the scan must give: every entry in order, MatchName on its folded name.
std::vector<std::int32_t> PlainScan(const index::IndexTable& table, std::string_view query,
                                    KindFilter filter) {
  const std::string folded_query = FoldCase(query);
  std::vector<std::int32_t> hits;
  for (std::int32_t i = 0; i < table.EntryCount(); ++i) {
    const std::int8_t kind = table.Kind(i);
    if (filter == KindFilter::kFilesOnly && kind != index::kEntryFile) continue;
    if (filter == KindFilter::kFoldersOnly && kind != index::kEntryFolder) continue;
    if (MatchName(FoldCase(table.Name(i)), folded_query)) hits.push_back(i);
  }
  return hits;
}

std::vector<std::int32_t> FastScan(const index::IndexTable& table, std::string_view query,
                                   KindFilter filter, int threads) {
  ScanOptions options;
  options.filter = filter;
  options.threads = threads;
  std::vector<std::int32_t> hits;
  EXPECT_TRUE(ScanIndex(table, query, options, hits));
  return hits;
}

// Names from a small alphabet, so that pieces occur often, in many places, across name
// boundaries and in both cases; some names are empty.
class RandomNames {
 public:
  explicit RandomNames(std::uint32_t seed) : random_(seed) {}

  std::string Text(std::size_t max_length, std::string_view alphabet) {
    std::string text(Pick(max_length + 1), ' ');
    for (char& c : text) c = alphabet[Pick(alphabet.size())];
    return text;
  }
  std::size_t Pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }

 private:
  std::mt19937 random_;
};

constexpr std::string_view kNameBytes = "abAB.c\xE4\xC4\xFF\xDFx";
constexpr std::string_view kQueryBytes = "abAB.c\xE4\xC4\xDF  **x";

std::shared_ptr<const index::IndexTable> RandomTable(RandomNames& random, int entries, std::size_t max_name) {
  index::IndexTableBuilder builder;
  for (int i = 0; i < entries; ++i) {
    builder.Add(random.Text(max_name, kNameBytes), "C:\\f" + std::to_string(i % 7),
                random.Pick(3) == 0 ? index::kEntryFolder : index::kEntryFile);
  }
  return builder.Finish();
}

TEST(ScanIndex, GivesThePlainPassHitsInTableOrder) {
  RandomNames random(20261208);
  for (int round = 0; round < 12; ++round) {
    const auto table = RandomTable(random, 1 + static_cast<int>(random.Pick(3000)), 1 + random.Pick(40));
    for (int q = 0; q < 25; ++q) {
      const std::string query = random.Text(1 + random.Pick(7), kQueryBytes);
      for (const KindFilter filter :
           {KindFilter::kFilesAndFolders, KindFilter::kFilesOnly, KindFilter::kFoldersOnly}) {
        const auto expected = PlainScan(*table, query, filter);
        for (const int threads : {1, 2, 3, 8}) {
          ASSERT_EQ(FastScan(*table, query, filter, threads), expected)
              << "query '" << query << "' threads " << threads << " round " << round;
        }
      }
    }
  }
}

TEST(ScanIndex, LongNamesAndLongPiecesCrossEveryVectorBoundary) {
  RandomNames random(7);
  index::IndexTableBuilder builder;
  std::vector<std::string> names;
  for (int i = 0; i < 400; ++i) {
    names.push_back(random.Text(120, "ab"));
    builder.Add(names.back(), "/f", index::kEntryFile);
  }
  const auto table = builder.Finish();
  for (int q = 0; q < 200; ++q) {
    // Pieces taken from the names themselves, up to whole names, so that most are found.
    const std::string& from = names[random.Pick(names.size())];
    const std::size_t start = random.Pick(from.size() + 1);
    const std::string query = from.substr(start, 1 + random.Pick(70));
    if (query.empty()) continue;
    ASSERT_EQ(FastScan(*table, query, KindFilter::kFilesAndFolders, 2),
              PlainScan(*table, query, KindFilter::kFilesAndFolders))
        << query;
  }
}

TEST(ScanIndex, AnOccurrenceAcrossTwoNamesIsNoHit) {
  index::IndexTableBuilder builder;
  builder.Add("xxab", "/", index::kEntryFile);
  builder.Add("cdyy", "/", index::kEntryFile);
  builder.Add("abcd", "/", index::kEntryFile);
  const auto table = builder.Finish();
  EXPECT_EQ(FastScan(*table, "abcd", KindFilter::kFilesAndFolders, 1), (std::vector<std::int32_t>{2}));
  EXPECT_EQ(FastScan(*table, "ABCD", KindFilter::kFilesAndFolders, 1), (std::vector<std::int32_t>{2}));
}

TEST(ScanIndex, AQueryWithoutPiecesListsEveryEntryOfTheChosenKinds) {
  index::IndexTableBuilder builder;
  builder.Add("", "", index::kEntryFile);
  builder.Add("dir", "C:", index::kEntryFolder);
  builder.Add("file", "C:", index::kEntryFile);
  const auto table = builder.Finish();
  EXPECT_EQ(FastScan(*table, "   ", KindFilter::kFilesAndFolders, 1), (std::vector<std::int32_t>{0, 1, 2}));
  EXPECT_EQ(FastScan(*table, "* *", KindFilter::kFilesOnly, 2), (std::vector<std::int32_t>{0, 2}));
  EXPECT_EQ(FastScan(*table, "***", KindFilter::kFoldersOnly, 1), (std::vector<std::int32_t>{1}));
}

TEST(ScanIndex, TheInitialTableOfOneEmptyEntryMatchesOnlyPiecelessQueries) {
  index::IndexTableBuilder builder;
  builder.Add({}, {}, index::kEntryFile);
  const auto table = builder.Finish();
  EXPECT_EQ(FastScan(*table, "   ", KindFilter::kFilesAndFolders, 0).size(), 1u);
  EXPECT_TRUE(FastScan(*table, "   ", KindFilter::kFoldersOnly, 0).empty());
  EXPECT_TRUE(FastScan(*table, "abc", KindFilter::kFilesAndFolders, 0).empty());
}

TEST(ScanIndex, AStoppedScanSaysSoAndCountsWhatItFound) {
  index::IndexTableBuilder builder;
  for (int i = 0; i < 100000; ++i) builder.Add("name" + std::to_string(i), "/f", index::kEntryFile);
  const auto table = builder.Finish();

  std::atomic<std::int32_t> count{0};
  ScanOptions options;
  options.hit_count = &count;
  std::vector<std::int32_t> hits;
  ASSERT_TRUE(ScanIndex(*table, "name", options, hits));
  EXPECT_EQ(hits.size(), 100000u);
  EXPECT_EQ(count.load(), 100000);

  platform::StopSource stop;
  stop.RequestStop();
  options.stop = stop.Token();
  hits.clear();
  EXPECT_FALSE(ScanIndex(*table, "name", options, hits));
}

}  // namespace
}  // namespace tandrel::search
