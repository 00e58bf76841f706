// The hits' orders against a stable sort by folded texts, on random tables whose names
// and folders repeat and differ only in case.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "search/search.h"

namespace tandrel::search {
namespace {

constexpr std::string_view kBytes = "aAbB\xE4\xC4\xDF.";

std::shared_ptr<const index::IndexTable> RandomTable(std::mt19937& random, int entries) {
  auto pick = [&random](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
  auto text = [&](std::size_t max_length) {
    std::string t(pick(max_length + 1), ' ');
    for (char& c : t) c = kBytes[pick(kBytes.size())];
    return t;
  };
  index::IndexTableBuilder builder;
  for (int i = 0; i < entries; ++i) {
    EXPECT_TRUE(builder.Add(text(3), "C:\\" + text(2), index::kEntryFile));
  }
  return builder.Finish();
}

// What an order must give: the hits in entry order, stably sorted by the folded text.
std::vector<std::int32_t> StableSorted(const index::IndexTable& table, std::vector<std::int32_t> hits, HitOrder order) {
  std::sort(hits.begin(), hits.end());
  if (order.column == SortColumn::kIndexOrder) return hits;
  auto text = [&](std::int32_t e) {
    return FoldCase(order.column == SortColumn::kName ? table.Name(e) : table.Folder(e));
  };
  std::stable_sort(hits.begin(), hits.end(), [&](std::int32_t a, std::int32_t b) {
    return order.descending ? text(b) < text(a) : text(a) < text(b);
  });
  return hits;
}

TEST(HitOrderTest, ArrangesLikeAStableSortOfTheFoldedTextsBothWaysForFewAndManyHits) {
  std::mt19937 random(7);
  const auto table = RandomTable(random, 3000);
  const auto rank = SortRank::Build(*table);
  ASSERT_NE(rank, nullptr);
  const HitOrder orders[] = {{SortColumn::kName, false}, {SortColumn::kName, true},  {SortColumn::kFolder, false},
                             {SortColumn::kFolder, true}, {SortColumn::kIndexOrder, false}};
  // Few hits are sorted, many are picked from the whole rank: both must agree.
  for (std::size_t every : {1u, 3u, 97u}) {
    std::vector<std::int32_t> hits;
    for (std::int32_t e = 0; e < table->EntryCount(); e += static_cast<std::int32_t>(every)) hits.push_back(e);
    std::shuffle(hits.begin(), hits.end(), random);
    for (const HitOrder& order : orders) {
      std::vector<std::int32_t> arranged = hits;
      rank->Arrange(arranged, order);
      EXPECT_EQ(arranged, StableSorted(*table, hits, order))
          << "every " << every << " column " << static_cast<int>(order.column) << " desc " << order.descending;
    }
  }
}

// The hits of a live version: table entries and added ones (numbered after the table's),
// against a stable sort of all of them in entry order.
TEST(HitOrderTest, ALiveVersionsHitsArrangeLikeAStableSortOfTableAndAddedEntries) {
  std::mt19937 random(11);
  const auto table = RandomTable(random, 2000);
  const auto added = RandomTable(random, 40);
  const auto rank = SortRank::Build(*table);
  ASSERT_NE(rank, nullptr);
  const std::int32_t count = table->EntryCount();
  auto text = [&](std::int32_t e, SortColumn column) {
    const index::IndexTable& holder = e < count ? *table : *added;
    const std::int32_t at = e < count ? e : e - count;
    return FoldCase(column == SortColumn::kName ? holder.Name(at) : holder.Folder(at));
  };
  // Every third table entry (some removed), all but a few added ones.
  std::vector<std::int32_t> hits;
  for (std::int32_t e = 0; e < count; e += 3) hits.push_back(e);
  for (std::int32_t a = 0; a < added->EntryCount(); ++a) {
    if (a % 7 != 3) hits.push_back(count + a);
  }
  std::shuffle(hits.begin(), hits.end(), random);
  const HitOrder orders[] = {{SortColumn::kName, false},   {SortColumn::kName, true},
                             {SortColumn::kFolder, false}, {SortColumn::kFolder, true},
                             {SortColumn::kIndexOrder, false}, {SortColumn::kIndexOrder, true}};
  for (const HitOrder& order : orders) {
    std::vector<std::int32_t> expected = hits;
    std::sort(expected.begin(), expected.end());
    if (order.column == SortColumn::kIndexOrder) {
      if (order.descending) std::reverse(expected.begin(), expected.end());
    } else {
      std::stable_sort(expected.begin(), expected.end(), [&](std::int32_t a, std::int32_t b) {
        return order.descending ? text(b, order.column) < text(a, order.column)
                                : text(a, order.column) < text(b, order.column);
      });
    }
    std::vector<std::int32_t> arranged = hits;
    ArrangeLiveHits(*rank, *table, added.get(), arranged, order);
    EXPECT_EQ(arranged, expected) << "column " << static_cast<int>(order.column) << " desc " << order.descending;
  }
}

TEST(HitOrderTest, HeaderClicksGoAscendingDescendingThenBackToTheTablesOrder) {
  HitOrder order;
  order = NextHitOrder(order, SortColumn::kName);
  EXPECT_EQ(order, (HitOrder{SortColumn::kName, false}));
  order = NextHitOrder(order, SortColumn::kName);
  EXPECT_EQ(order, (HitOrder{SortColumn::kName, true}));
  EXPECT_EQ(NextHitOrder(order, SortColumn::kFolder), (HitOrder{SortColumn::kFolder, false}));
  EXPECT_EQ(NextHitOrder(order, SortColumn::kName), HitOrder{});
}

TEST(HitOrderTest, AStoppedBuildGivesNothing) {
  std::mt19937 random(3);
  const auto table = RandomTable(random, 50);
  platform::StopSource stop;
  stop.RequestStop();
  EXPECT_EQ(SortRank::Build(*table, stop.Token()), nullptr);
}

}  // namespace
}  // namespace tandrel::search
