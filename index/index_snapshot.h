// The snapshot: a binary image of a loaded table beside its index file, so that a new
// process gets the table by reading a few contiguous blocks instead of parsing the text.
// It is only ever a cache of the index file: it names the index file it was made from
// (size, last-write time, a hash of its first and last blocks), and a snapshot that does
// not match, is damaged, or has a version this program does not know is not used.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "index/index.h"

namespace tandrel::index {

inline constexpr std::size_t kIdentityBlockBytes = 16 * 1024;

// None when the file cannot be opened or read.
std::optional<IndexFileIdentity> IdentifyIndexFile(const std::string& index_path);

inline constexpr std::uint32_t kSnapshotVersion = 2;

// Why a snapshot was or was not used.
enum class SnapshotVerdict {
  kUsed,
  kMissing,          // no snapshot file, or it cannot be read
  kDamagedHeader,    // too short, wrong magic, header checksum wrong
  kUnknownVersion,   // a version other than kSnapshotVersion, older or newer
  kOtherIndexFile,   // made from another version of the index file
  kDamagedSection,   // a section out of bounds, of the wrong size, or its checksum wrong
  kInconsistent,     // checksums right, contents impossible (offsets out of order, ...)
};

// How a snapshot is read.
struct SnapshotReading {
  // Mapped rather than read into memory (platform::FileImage::Map): for a short-lived
  // process, which then fetches only what it reads.
  bool map = false;
  // For a table that is only searched and counted, never listed: only the sections a
  // search reads (folded names, name starts, kinds) are checked and fetched. The names
  // stay safe to read but are not vouched for, and every folder reads as empty.
  bool search_only = false;
};

// Reads the snapshot at `snapshot_path` if it was made from the index file version
// `identity`; null with the reason otherwise.
std::shared_ptr<const IndexTable> ReadIndexSnapshot(const std::string& snapshot_path,
                                                    const IndexFileIdentity& identity,
                                                    SnapshotVerdict* verdict = nullptr,
                                                    SnapshotReading reading = {});
// The same check on a snapshot image already in memory (the fuzzer's entry); the table
// keeps its own copy of the bytes.
std::shared_ptr<const IndexTable> ReadIndexSnapshotImage(const void* bytes, std::size_t size,
                                                         const IndexFileIdentity& identity,
                                                         SnapshotVerdict* verdict = nullptr,
                                                         bool search_only = false);

// A table for counting the names that hold all of `folded_pieces` (a query's pieces,
// case-folded), read from the snapshot at `snapshot_path` of the index file version
// `identity` without its whole name sections: empty when the names' three-byte runs show
// that no name holds them all, else the entries of the blocks that may hold them (their
// folded names as names, no folders), when those are few. Null when it cannot narrow the
// search so (no usable snapshot, pieces without runs, too many blocks): then the whole
// table is needed.
std::shared_ptr<const IndexTable> SnapshotCountTable(const std::string& snapshot_path,
                                                     const IndexFileIdentity& identity,
                                                     const std::vector<std::string>& folded_pieces);
// The same on an image in memory; `fetch` is the mapped image it lies in, if any.
std::shared_ptr<const IndexTable> SnapshotImageCountTable(const char* image, std::size_t size,
                                                          const IndexFileIdentity& identity,
                                                          const std::vector<std::string>& folded_pieces,
                                                          const platform::FileImage* fetch = nullptr);

// Writes the snapshot of `table`, made from the index file version `identity`, under a
// temporary name and then renames it into place, so that `snapshot_path` is always
// either the previous snapshot or the new one, complete. A rename that a reader blocks
// for a moment is tried again for a short while. False when nothing was replaced.
bool WriteIndexSnapshot(const IndexTable& table, const IndexFileIdentity& identity,
                        const std::string& snapshot_path);

}  // namespace tandrel::index
