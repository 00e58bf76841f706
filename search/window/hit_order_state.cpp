// The order the result list shows its hits in: changed by clicks on the list's header,
// kept for later searches. The rank that arranges them is built once per table on a
// thread of its own; the arranging waits for it on a worker, never on the main thread.
//
// Every post of rows happens under `order_lock` and only for the newest generation
// (a finished search or a header click), so a slower older job never overwrites what a
// newer one listed.
#include "search/window/search_window_internal.h"

namespace tandrel::search_window {
namespace {

platform::Mutex order_lock;
platform::ConditionVariable rank_changed;
search::HitOrder order;                                  // main thread writes, under the lock
std::uint64_t generation = 0;                    // raised by each listing and click
std::shared_ptr<const search::SearchHits> listed;        // the last search's hits in table order
std::weak_ptr<const index::IndexTable> rank_table;      // the table the rank is (being) built for
std::shared_ptr<const search::SortRank> rank;            // null while it is being built

// Declared after the state they use, so destroyed before it.
platform::Thread RankThread;     // started by search threads only, which run one at a time
platform::Thread ArrangeThread;  // started by the main thread only

bool SameTable(const std::weak_ptr<const index::IndexTable>& a, const std::shared_ptr<const index::IndexTable>& b) {
  return !a.owner_before(b) && !b.owner_before(a);
}

// The rank of `table`, once built; null when `stop` came first.
std::shared_ptr<const search::SortRank> WaitForRank(const std::shared_ptr<const index::IndexTable>& table,
                                            const platform::StopToken& stop) {
  platform::LockGuard hold(order_lock);
  std::shared_ptr<const search::SortRank> found;
  rank_changed.Wait(hold, stop, [&] {
    if (rank != nullptr && SameTable(rank_table, table)) found = rank;
    return found != nullptr;
  });
  return found;
}

std::shared_ptr<const ui::RowSource> RowsInOrder(const search::SearchHits& hits, search::HitOrder in, const platform::StopToken& stop) {
  std::vector<std::int32_t> arranged = hits.Hits();
  if (in.column != search::SortColumn::kIndexOrder) {
    const auto found = WaitForRank(hits.TablePtr(), stop);
    if (found == nullptr) return nullptr;
    search::ArrangeLiveHits(*found, *hits.TablePtr(), hits.Added(), arranged, in);
  }
  return std::make_shared<const SearchHitRows>(hits.Rearranged(std::move(arranged)));
}

// The column whose header shows the arrow, -1 for none.
int ArrowColumn(search::HitOrder in) {
  switch (in.column) {
    case search::SortColumn::kName: return 0;
    case search::SortColumn::kFolder: return 1;
    case search::SortColumn::kIndexOrder: break;
  }
  return -1;
}

}  // namespace

void PrepareSortRank(const std::shared_ptr<const index::IndexTable>& table) {
  {
    platform::LockGuard hold(order_lock);
    if (SameTable(rank_table, table)) return;
    rank_table = table;
    rank = nullptr;
  }
  auto build = [table](const platform::StopToken& stop) {
    auto built = search::SortRank::Build(*table, stop);
    if (built == nullptr) return;
    platform::LockGuard hold(order_lock);
    if (!SameTable(rank_table, table)) return;
    rank = std::move(built);
    rank_changed.NotifyAll();
  };
  RankThread.RequestStop();  // a rank for an older table is wanted no more
  // Without a thread to spare the search thread builds it, rather than wait for nothing.
  if (!RankThread.Start(build)) build(platform::StopToken{});
}

void PostNoHits(ui::StatusPoster& ui, const SearchControls& c) {
  platform::LockGuard hold(order_lock);
  listed = nullptr;
  ++generation;
  ui.PostListRows(c.window, c.result_list, nullptr, -1);
}

bool PostHitsInOrder(ui::StatusPoster& ui, const SearchControls& c, search::SearchHits hits, const platform::StopToken& stop) {
  auto shown = std::make_shared<const search::SearchHits>(std::move(hits));
  platform::LockGuard hold(order_lock);
  listed = shown;
  const std::uint64_t mine = ++generation;
  const search::HitOrder in = order;
  hold.Unlock();
  auto rows = RowsInOrder(*shown, in, stop);
  hold.Lock();
  if (rows == nullptr) return false;
  // A header click since took these hits over and lists them itself.
  if (generation == mine) ui.PostListRows(c.window, c.result_list, std::move(rows), 1);
  return true;
}

void ResetHitOrder() {
  platform::LockGuard hold(order_lock);
  order = search::HitOrder{};
  ++generation;
}

void ClickResultHeader(ui::Ui& ui, const SearchControls& c, int column) {
  platform::LockGuard hold(order_lock);
  order = search::NextHitOrder(order, column == 0 ? search::SortColumn::kName : search::SortColumn::kFolder);
  const search::HitOrder in = order;
  const std::uint64_t mine = ++generation;
  std::shared_ptr<const search::SearchHits> hits = listed;
  hold.Unlock();
  ui.SetSortArrow(c.window, c.result_list, ArrowColumn(in), in.descending);
  if (hits == nullptr) return;
  ui::StatusPoster& poster = ui;
  auto arrange = [&poster, c, hits, in, mine](const platform::StopToken& stop) {
    auto rows = RowsInOrder(*hits, in, stop);
    if (rows == nullptr) return;
    platform::LockGuard hold_posts(order_lock);
    if (generation == mine) poster.PostListRows(c.window, c.result_list, std::move(rows), 1);
  };
  ArrangeThread.RequestStop();  // its order is wanted no more
  if (ArrangeThread.Start(arrange)) return;
  // Without a thread to spare the main thread arranges them, if the rank is there already.
  platform::StopSource no_wait;
  no_wait.RequestStop();
  arrange(no_wait.Token());
}

}  // namespace tandrel::search_window
