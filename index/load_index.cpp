// Loading an index file into a new table: from its snapshot when one matches, else
// from the text, whose table then gets its snapshot.
#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "index/block_stage.h"
#include "index/index.h"
#include "index/index_snapshot.h"

namespace tandrel::index {
namespace {

// Larger than the 4 KiB default: one read per 64 KiB measurably speeds up loading a
// large index (see benchmarks/index_load_benchmark.cpp).
constexpr std::size_t kLoadBufferSize = 64 * 1024;

// The pending-event hook runs at most once per block read and only when this long has
// passed since its last call.
constexpr std::uint32_t kHookIntervalMs = 2;

using BlockEntry = IndexTableBuilder::BlockEntry;

// Where the next text starts after the terminator at `line_end` (CR LF counts as one).
// False when [line_end, end) does not settle it: no terminator yet, or a CR whose next
// byte is not read yet.
bool SkipLineEnd(const char* line_end, const char* end, const char*& next) {
  if (line_end == end) return false;
  next = line_end + 1;
  if (*line_end == '\r') {
    if (next == end) return false;
    if (*next == '\n') ++next;
  }
  return true;
}

// The end of the line that starts at `p`, and where the next text starts; false as
// for SkipLineEnd.
bool SplitLine(const char* p, const char* end, const char*& line_end, const char*& next) {
  line_end = platform::FindLineEnd(p, end);
  return SkipLineEnd(line_end, end, next);
}

bool IsLineEnd(char c) { return c == '\r' || c == '\n' || c == '\0'; }

// Whether the line at `p` is `previous` (and a terminator follows it within `end`).
// Four records in ten repeat the folder of the one before: one comparison then finds
// both the line's end and that the folder set need not look it up.
bool RepeatsLine(const char* p, const char* end, std::string_view previous) {
  const std::size_t n = previous.size();
  return n > 0 && static_cast<std::size_t>(end - p) > n && IsLineEnd(p[n]) && p[n - 1] == previous[n - 1] &&
         std::memcmp(p, previous.data(), n) == 0;
}

// Parses the records that lie complete in [block, end) into `entries`; where the first
// record that goes on past `end` starts. `previous_folder` is the folder of the record
// before (in this block or the one before, which must stay unchanged), updated.
const char* ParseRecords(const char* block, const char* end, std::string_view& previous_folder,
                         std::vector<BlockEntry>& entries) {
  const char* p = block;
  while (p != end) {
    const char* name_end = nullptr;
    const char* folder = nullptr;
    const char* folder_end = nullptr;
    const char* kind = nullptr;
    if (!SplitLine(p, end, name_end, folder)) break;
    const bool same_folder = RepeatsLine(folder, end, previous_folder);
    if (same_folder) {
      folder_end = folder + previous_folder.size();
      if (!SkipLineEnd(folder_end, end, kind)) break;
    } else if (!SplitLine(folder, end, folder_end, kind)) {
      break;
    }
    if (kind == end) break;
    entries.push_back({static_cast<std::uint32_t>(p - block), static_cast<std::uint32_t>(name_end - p),
                       static_cast<std::uint32_t>(folder - block),
                       static_cast<std::uint32_t>(folder_end - folder), static_cast<std::int8_t>(*kind),
                       same_folder});
    previous_folder = std::string_view(folder, static_cast<std::size_t>(folder_end - folder));
    p = kind + 1;
  }
  return p;
}

// The one record that [p, end) holds at the end of the file, where texts that are
// missing read as empty and a missing kind as 0.
BlockEntry ParseLastRecord(const char* block, const char* p, const char* end) {
  auto line = [&](std::uint32_t& offset, std::uint32_t& size) {
    const char* line_end = platform::FindLineEnd(p, end);
    offset = static_cast<std::uint32_t>(p - block);
    size = static_cast<std::uint32_t>(line_end - p);
    p = line_end;
    if (p == end) return;
    if (*p++ == '\r' && p != end && *p == '\n') ++p;
  };
  BlockEntry entry;
  line(entry.name, entry.name_size);
  line(entry.folder, entry.folder_size);
  entry.kind = p != end ? static_cast<std::int8_t>(*p) : std::int8_t{0};
  return entry;
}

}  // namespace

std::shared_ptr<const IndexTable> ReadIndexFile(const std::string& path,
                                                const PendingEventHook& hook) {
  // The file's own buffer is bypassed: the records are parsed in place in the block, and
  // each read fills it straight from the system.
  platform::File file(path, platform::OpenMode::kRead, 16);
  if (!file.IsOpen()) return nullptr;
  const std::optional<platform::FileStamp> stamp = file.Stamp();
  IndexTableBuilder builder(stamp ? stamp->size : 0);
  // This thread reads and splits the records; the stage's thread adds those of the
  // blocks before to the table, which is about as much work again.
  BlockStage stage(builder);
  const char* rest_of_last = nullptr;  // a record begun in the last read, in its block
  std::size_t filled = 0;              // its bytes, which come first in the next block
  std::size_t wanted_size = kLoadBufferSize;
  std::string_view previous_folder;  // in the block handed last or the current one
  std::uint32_t last_hook = platform::TickCount();
  for (;;) {
    BlockStage::Block& block = stage.Next();
    if (block.bytes.size() < wanted_size) block.bytes.resize(wanted_size);
    if (filled > 0) std::memcpy(block.bytes.data(), rest_of_last, filled);
    // One system read at a time: the hook then also runs while a slow disk or a pipe
    // trickles the file in.
    const std::size_t got = file.ReadSome(block.bytes.data() + filled, block.bytes.size() - filled);
    filled += got;
    const bool at_end = got == 0;
    const char* begin = block.bytes.data();
    const char* end = begin + filled;
    block.entries.clear();
    const char* rest = ParseRecords(begin, end, previous_folder, block.entries);
    // The previous folder may lie in the block handed last, which stays as it is, but no
    // further back: after a block without a record it would, in one given out again.
    if (block.entries.empty()) previous_folder = {};
    if (at_end && rest != end) {
      block.entries.push_back(ParseLastRecord(begin, rest, end));
      rest = end;
    }
    block.size = filled;
    stage.Hand(block.entries.size());
    // A table that cannot grow any further keeps what it has, as if the file ended here.
    if (at_end || stage.Failed()) break;
    if (hook) {
      const std::uint32_t now = platform::TickCount();
      if (now - last_hook >= kHookIntervalMs) {
        hook();
        last_hook = now;
      }
    }
    rest_of_last = rest;
    filled = static_cast<std::size_t>(end - rest);
    // A record longer than a block takes a larger one, up to what the offsets into it
    // can address; no table takes a text that long, so the load ends there as at a
    // table that cannot grow.
    if (filled > std::numeric_limits<std::uint32_t>::max() / 2) break;
    wanted_size = std::max(kLoadBufferSize, 2 * filled);
  }
  stage.Finish();
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

LoadedIndex LoadIndexFile(const std::string& path, const LoadOptions& options) {
  LoadedIndex loaded;
  // Taken before the text is read: a change while it is read then keeps a snapshot of
  // the older text from being written as if it were the newer one.
  const std::optional<IndexFileIdentity> identity = IdentifyIndexFile(path);
  loaded.identity = identity;
  if (identity && options.use_snapshot && options.search_only && !options.required_pieces.empty()) {
    loaded.table = SnapshotCountTable(SnapshotPathFor(path), *identity, options.required_pieces);
    if (loaded.table) {
      loaded.from_snapshot = true;
      return loaded;
    }
  }
  if (identity && options.use_snapshot) {
    loaded.table = ReadIndexSnapshot(SnapshotPathFor(path), *identity, nullptr,
                                     {.map = options.map_snapshot, .search_only = options.search_only});
    if (loaded.table) {
      loaded.from_snapshot = true;
      return loaded;
    }
  }
  loaded.table = ReadIndexFile(path, options.hook);
  if (loaded.table && identity) {
    loaded.renew_snapshot = [path, before = *identity, table = loaded.table] {
      return RenewSnapshotOf(path, before, *table);
    };
  }
  return loaded;
}

LoadedIndex RenewIndexSnapshot(const std::string& index_path) {
  LoadOptions text_only;
  text_only.use_snapshot = false;
  LoadedIndex loaded = LoadIndexFile(index_path, text_only);
  if (loaded.renew_snapshot) loaded.renew_snapshot();
  loaded.renew_snapshot = nullptr;
  return loaded;
}

void LoadIndex(const PendingEventHook& hook) {
  WaitForIndexSnapshotWrite();
  LoadOptions options;
  options.hook = hook;
  LoadedIndex loaded = LoadIndexFile(kIndexFileName, options);
  if (!loaded.table) return;
  PublishIndexTable(loaded.table, loaded.identity);
  if (loaded.renew_snapshot) {
    // Without a thread the snapshot is not written; the next load reads the text again.
    (void)SnapshotWriter().Start(
        [renew = std::move(loaded.renew_snapshot)](const platform::StopToken&) { renew(); });
  }
}

void WaitForIndexSnapshotWrite() { SnapshotWriter().Wait(); }

}  // namespace tandrel::index
