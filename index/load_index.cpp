// Loading an index file into a new table.
#include "index/index.h"

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
  IndexTableBuilder builder;
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

void LoadIndex(const PendingEventHook& hook) {
  std::shared_ptr<const IndexTable> table = ReadIndexFile(kIndexFileName, hook);
  if (table) PublishIndexTable(std::move(table));
}

}  // namespace tandrel
