// The snapshot reader on arbitrary bytes, whole and for a search only: it either refuses
// them or gives a table whose every entry can be read and searched, never a read out of
// bounds.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "index/index_snapshot.h"
#include "search/search.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tandrel;
  // The identity the input claims for itself (the fields after magic, version and
  // header size), so that the fuzzer gets past the identity check to the sections.
  index::IndexFileIdentity identity;
  if (size >= 40) {
    std::memcpy(&identity.size, data + 16, 8);
    std::memcpy(&identity.write_time, data + 24, 8);
    std::memcpy(&identity.edge_hash, data + 32, 8);
  }
  std::size_t bytes = 0;
  // The table for a count, which reads the runs, the rows and the candidate blocks only.
  static const std::vector<std::string> pieces = search::QueryPieces("abc*de fgh");
  if (const auto counted = index::SnapshotImageCountTable(reinterpret_cast<const char*>(data), size, identity, pieces)) {
    std::vector<std::int32_t> hits;
    search::ScanOptions options;
    options.threads = 1;
    search::ScanIndex(*counted, "abc*de fgh", options, hits);
    bytes += hits.size();
  }
  // Read whole, and for a search only, which checks less and so lets more through.
  for (const bool search_only : {false, true}) {
    const auto table = index::ReadIndexSnapshotImage(data, size, identity, nullptr, search_only);
    if (!table) continue;
    for (std::int32_t i = 0; i < table->EntryCount(); ++i) {
      bytes += table->Name(i).size() + table->FoldedName(i).size() + table->Folder(i).size();
      bytes += static_cast<std::uint8_t>(table->Kind(i));
    }
    for (const char* query : {"ab", "a*b c", "   "}) {
      std::vector<std::int32_t> hits;
      search::ScanOptions options;
      options.threads = 1;
      search::ScanIndex(*table, query, options, hits);
      bytes += hits.size();
    }
  }
  return bytes == static_cast<std::size_t>(-1) ? 1 : 0;
}
