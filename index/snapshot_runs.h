// The runs of the names, for counts that read little of a snapshot.
//
// The run section: which three-byte runs occur inside some folded name, one bit per run
// hashed into a power of two of bits, about eight bits for each different run. A query
// piece holding a run whose bit is clear occurs in no name. (A set bit proves nothing.)
//
// The block rows: the entries in blocks of kBlockEntries, and per block which of a power
// of two of hashed rows its names' runs fall into, stored row by row, one bit per block,
// so that a query's runs read a few rows and AND them into the blocks that may hold it.
// Each row has its own checksum (the row sums), and each block the checksums of its
// name starts, folded names and kinds (the block sums): a count then reads and checks
// only the candidate blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "index/index.h"

namespace tandrel::index {

// Whether a run section of this size can be one.
bool ValidRunBytes(std::uint64_t bytes);
std::vector<std::uint8_t> RunBits(const IndexTable& table);
// Whether some piece holds a run that no name holds, by the run section `bits`.
bool RunsRuleOut(const std::uint8_t* bits, std::size_t bytes, const std::vector<std::string>& pieces);

inline constexpr std::size_t kBlockEntries = 256;
// Narrowing pays while at most one block in this many remains: copying a candidate
// entry into the new table costs some twenty times what checking and scanning it costs.
inline constexpr std::size_t kNarrowShare = 32;

std::size_t BlockCount(std::uint64_t entries);
// 64-bit words per row, and rows, of a table of `entries` entries.
std::size_t RowWords(std::uint64_t entries);
std::size_t RowCount(std::uint64_t entries);

struct BlockSums {
  std::uint64_t starts;  // of the block's name starts, the one after its last entry included
  std::uint64_t folded;  // of its folded names
  std::uint64_t kinds;
};
static_assert(sizeof(BlockSums) == 24);

// The block rows, the row sums and the block sums of a table.
struct BlockIndex {
  std::vector<std::uint64_t> rows;
  std::vector<std::uint64_t> row_sums;
  std::vector<BlockSums> block_sums;
};
BlockIndex IndexBlocks(const IndexTable& table);

// The blocks whose rows hold every run of the pieces; none when the pieces hold no run
// or a row read does not match its checksum.
std::optional<std::vector<std::size_t>> CandidateBlocks(const std::uint64_t* rows,
                                                        const std::uint64_t* row_sums,
                                                        std::uint64_t entries,
                                                        const std::vector<std::string>& pieces);

// Where a snapshot's sections for the blocks lie; only their sizes are vouched for.
struct BlockSections {
  const std::uint32_t* starts;  // entries + 1 name starts
  const char* folded;           // name_bytes folded name bytes
  const std::int8_t* kinds;
  const BlockSums* sums;
  std::uint64_t name_bytes;
  std::uint64_t entries;
};
// A table of the blocks' entries alone, their folded names as names and no folders,
// each block checked against its sums; null when one does not match.
std::shared_ptr<const IndexTable> TableOfBlocks(const BlockSections& sections,
                                                const std::vector<std::size_t>& blocks);

}  // namespace tandrel::index
