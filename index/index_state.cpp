// Process-wide state of the index subsystem.

#include "index/index.h"
#include "index/indexing.h"

namespace tandrel::index {

// The run that the window starts and the quit sequence waits for. Its parts go by the
// names the rest of the program uses:
IndexRunState ProcessIndexRun;
// Set to 1 by the main thread that starts a run, back to 0 by the run's thread.
std::atomic<int>& IndexRunActive = ProcessIndexRun.active;
// Written by the run's thread only.
std::atomic<int>& IndexMerging = ProcessIndexRun.merging;
// Raised by the run's thread (scanner), read by its ticker.
std::atomic<std::int32_t>& IndexFileCount = ProcessIndexRun.file_count;
// Written by the run's thread; abandoned by the quit sequence on the main thread.
WalkFile& IndexTempFile = ProcessIndexRun.walk_file;

namespace {

std::shared_ptr<const IndexTable> InitialTable() {
  IndexTableBuilder builder;
  builder.Add({}, {}, kEntryFile);
  return builder.Finish();
}

// The published table. Written by LoadIndex only: the main thread at start-up and the
// indexing run's thread on reload; read from any thread. Readers copy the pointer and
// keep their snapshot alive for as long as they use it. The lock guards nothing but the
// pointer copy (a few nanoseconds, once per search); libstdc++'s atomic<shared_ptr>
// would do the same with a hand-made spin lock that ThreadSanitizer cannot follow.
struct TableSlot {
  platform::Mutex lock;
  std::shared_ptr<const IndexTable> table = InitialTable();
  std::optional<IndexFileIdentity> identity;  // of the file `table` was read from
};

TableSlot& Slot() {
  static TableSlot slot;
  return slot;
}

}  // namespace

std::shared_ptr<const IndexTable> CurrentIndexTable() {
  TableSlot& slot = Slot();
  platform::LockGuard hold(slot.lock);
  return slot.table;
}

std::int32_t IndexEntryCount() { return CurrentIndexTable()->EntryCount(); }

std::shared_ptr<const IndexTable> PublishedIndexTableOf(const IndexFileIdentity& identity) {
  TableSlot& slot = Slot();
  platform::LockGuard hold(slot.lock);
  return slot.identity == identity ? slot.table : nullptr;
}

void PublishIndexTable(std::shared_ptr<const IndexTable> table, std::optional<IndexFileIdentity> identity) {
  if (!table) return;
  TableSlot& slot = Slot();
  {
    platform::LockGuard hold(slot.lock);
    slot.table.swap(table);
    slot.identity = identity;
  }
  // `table` now holds the previous snapshot; if it was the last reference it is freed
  // here, outside the lock.
}

}  // namespace tandrel::index
