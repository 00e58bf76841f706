// Loading an index file into a new table: from its snapshot when one matches, else
// from the text, whose table then gets its snapshot.
#include "index/index.h"
#include "index/index_snapshot.h"

namespace tandrel {
namespace {

// Larger than the 4 KiB default: one read per 64 KiB measurably speeds up loading a
// large index (see benchmarks/index_load_benchmark.cpp).
constexpr std::size_t kLoadBufferSize = 64 * 1024;

// How often the load looks at the clock, and how long it lets pass between two calls of
// the pending-event hook. Looking at the clock per record would cost more than the
// record itself.
constexpr std::int32_t kRecordsPerClockCheck = 256;
constexpr std::uint32_t kHookIntervalMs = 2;

}  // namespace

std::shared_ptr<const IndexTable> ReadIndexFile(const std::string& path,
                                                const PendingEventHook& hook) {
  platform::File file(path, platform::OpenMode::kRead, kLoadBufferSize);
  if (!file.IsOpen()) return nullptr;
  const std::optional<platform::FileStamp> stamp = file.Stamp();
  IndexTableBuilder builder(stamp ? stamp->size : 0);
  std::string spill;
  std::uint32_t last_hook = platform::TickCount();
  std::int32_t until_clock_check = kRecordsPerClockCheck;
  while (!file.AtEnd()) {
    // Each text goes to the table straight from the read buffer. A table that cannot
    // grow any further keeps what it has, as if the file ended here.
    if (!builder.BeginEntry(file.ReadLineView(spill))) break;
    const std::string_view folder = file.ReadLineView(spill);
    if (!builder.EndEntry(folder, file.ReadByte())) break;
    if (hook && --until_clock_check == 0) {
      until_clock_check = kRecordsPerClockCheck;
      const std::uint32_t now = platform::TickCount();
      if (now - last_hook >= kHookIntervalMs) {
        hook();
        last_hook = now;
      }
    }
  }
  return builder.Finish();
}

std::string SnapshotPathFor(const std::string& index_path) {
  const std::size_t base = index_path.find_last_of("\\/") + 1;  // 0 when there is none
  const std::string_view name = std::string_view(index_path).substr(base);
  if (name.size() > 3 && name.substr(name.size() - 3) == ".db") {
    return index_path.substr(0, index_path.size() - 3) + ".snap";
  }
  return index_path + ".snap";
}

namespace {

// Writes the snapshot of a table read from the text of `index_path` in the version
// `before`, unless the file has changed since.
bool RenewSnapshotOf(const std::string& index_path, const IndexFileIdentity& before,
                     const IndexTable& table) {
  const std::optional<IndexFileIdentity> now = IdentifyIndexFile(index_path);
  return now && *now == before && WriteIndexSnapshot(table, before, SnapshotPathFor(index_path));
}

// Writes a snapshot after LoadIndex, so that the window shows without waiting for it.
// Started by LoadIndex's thread; waited for by the next LoadIndex.
platform::Thread& SnapshotWriter() {
  static platform::Thread writer;
  return writer;
}

}  // namespace

LoadedIndex LoadIndexFile(const std::string& path, bool use_snapshot,
                          const PendingEventHook& hook) {
  LoadedIndex loaded;
  // Taken before the text is read: a change while it is read then keeps a snapshot of
  // the older text from being written as if it were the newer one.
  const std::optional<IndexFileIdentity> identity = IdentifyIndexFile(path);
  if (identity && use_snapshot) {
    loaded.table = ReadIndexSnapshot(SnapshotPathFor(path), *identity);
    if (loaded.table) {
      loaded.from_snapshot = true;
      return loaded;
    }
  }
  loaded.table = ReadIndexFile(path, hook);
  if (loaded.table && identity) {
    loaded.renew_snapshot = [path, before = *identity, table = loaded.table] {
      return RenewSnapshotOf(path, before, *table);
    };
  }
  return loaded;
}

std::shared_ptr<const IndexTable> RenewIndexSnapshot(const std::string& index_path) {
  LoadedIndex loaded = LoadIndexFile(index_path, false);
  if (loaded.renew_snapshot) loaded.renew_snapshot();
  return loaded.table;
}

void LoadIndex(const PendingEventHook& hook) {
  WaitForIndexSnapshotWrite();
  LoadedIndex loaded = LoadIndexFile(kIndexFileName, true, hook);
  if (!loaded.table) return;
  PublishIndexTable(loaded.table);
  if (loaded.renew_snapshot) {
    SnapshotWriter().Start([renew = std::move(loaded.renew_snapshot)](std::stop_token) { renew(); });
  }
}

void WaitForIndexSnapshotWrite() { SnapshotWriter().Wait(); }

}  // namespace tandrel
