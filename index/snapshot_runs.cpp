// The runs of the names: which three-byte runs some folded name holds, and per block of
// entries which hashed rows its names' runs fall into.
#include "index/snapshot_runs.h"

#include <algorithm>
#include <bit>

#include "index/snapshot_checksum.h"

namespace tandrel::index {
namespace {

constexpr std::size_t kMinRunBytes = 64;
constexpr std::size_t kMaxRunBytes = std::size_t{1} << 21;
constexpr std::size_t kMinRows = 64;
constexpr std::size_t kMaxRows = 2048;

std::uint32_t RunAt(const char* p) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(p[0])) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(p[1])) << 8 |
         static_cast<std::uint8_t>(p[2]);
}

std::size_t RunBit(std::uint32_t run, std::size_t bits) {
  const int shift = 64 - std::countr_zero(bits);
  return static_cast<std::size_t>((run * kPrime1) >> shift);
}

std::size_t RowOf(std::uint32_t run, std::size_t rows) {
  return static_cast<std::size_t>((run * kPrime2) >> (64 - std::countr_zero(rows)));
}

}  // namespace

bool ValidRunBytes(std::uint64_t bytes) {
  return bytes >= kMinRunBytes && bytes <= kMaxRunBytes && std::has_single_bit(bytes);
}

std::vector<std::uint8_t> RunBits(const IndexTable& table) {
  // First exactly, one bit for each of the 2^24 runs, to count the different ones.
  std::vector<std::uint64_t> exact(std::size_t{1} << 18);
  const char* arena = table.FoldedNameArena();
  const std::uint32_t* starts = table.NameStarts();
  for (std::int32_t i = 0; i < table.EntryCount(); ++i) {
    for (std::uint32_t at = starts[i]; at + 3 <= starts[i + 1]; ++at) {
      const std::uint32_t run = RunAt(arena + at);
      exact[run >> 6] |= std::uint64_t{1} << (run & 63);
    }
  }
  std::size_t different = 0;
  for (const std::uint64_t word : exact) different += static_cast<std::size_t>(std::popcount(word));
  const std::size_t bytes = std::clamp(std::bit_ceil(different), kMinRunBytes, kMaxRunBytes);
  std::vector<std::uint8_t> bits(bytes);
  for (std::size_t w = 0; w < exact.size(); ++w) {
    for (std::uint64_t word = exact[w]; word != 0; word &= word - 1) {
      const auto run = static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(word)));
      const std::size_t bit = RunBit(run, bytes * 8);
      bits[bit / 8] = static_cast<std::uint8_t>(bits[bit / 8] | (1u << (bit % 8)));
    }
  }
  return bits;
}

bool RunsRuleOut(const std::uint8_t* bits, std::size_t bytes, const std::vector<std::string>& pieces) {
  for (const std::string& piece : pieces) {
    for (std::size_t at = 0; at + 3 <= piece.size(); ++at) {
      const std::size_t bit = RunBit(RunAt(piece.data() + at), bytes * 8);
      if ((bits[bit / 8] & (1u << (bit % 8))) == 0) return true;
    }
  }
  return false;
}

std::size_t BlockCount(std::uint64_t entries) {
  return static_cast<std::size_t>((entries + kBlockEntries - 1) / kBlockEntries);
}
std::size_t RowWords(std::uint64_t entries) { return (BlockCount(entries) + 63) / 64; }
// Rows: about eight per block, so that a small table keeps a small snapshot, up to 2048
// (a block's 256 names hold some thousand different runs).
std::size_t RowCount(std::uint64_t entries) {
  return std::clamp(std::bit_ceil(BlockCount(entries) * 8), kMinRows, kMaxRows);
}

BlockIndex IndexBlocks(const IndexTable& table) {
  const auto count = static_cast<std::size_t>(table.EntryCount());
  const std::size_t words = RowWords(count);
  const std::size_t row_count = RowCount(count);
  BlockIndex index;
  index.rows.assign(row_count * words, 0);
  const char* arena = table.FoldedNameArena();
  const std::uint32_t* starts = table.NameStarts();
  for (std::size_t block = 0; block < BlockCount(count); ++block) {
    const std::size_t first = block * kBlockEntries;
    const std::size_t last = std::min(count, first + kBlockEntries);
    for (std::size_t i = first; i < last; ++i) {
      for (std::uint32_t at = starts[i]; at + 3 <= starts[i + 1]; ++at) {
        index.rows[RowOf(RunAt(arena + at), row_count) * words + block / 64] |= std::uint64_t{1} << (block % 64);
      }
    }
    index.block_sums.push_back({SectionChecksum(starts + first, sizeof(std::uint32_t) * (last - first + 1)),
                                SectionChecksum(arena + starts[first], starts[last] - starts[first]),
                                SectionChecksum(table.Kinds() + first, last - first)});
  }
  for (std::size_t row = 0; row < row_count; ++row) {
    index.row_sums.push_back(SectionChecksum(index.rows.data() + row * words, sizeof(std::uint64_t) * words));
  }
  return index;
}

std::optional<std::vector<std::size_t>> CandidateBlocks(const std::uint64_t* rows,
                                                        const std::uint64_t* row_sums,
                                                        std::uint64_t entries,
                                                        const std::vector<std::string>& pieces) {
  const std::size_t words = RowWords(entries);
  const std::size_t row_count = RowCount(entries);
  std::vector<bool> wanted(row_count);
  for (const std::string& piece : pieces) {
    for (std::size_t at = 0; at + 3 <= piece.size(); ++at) {
      wanted[RowOf(RunAt(piece.data() + at), row_count)] = true;
    }
  }
  std::vector<std::uint64_t> blocks(words, ~std::uint64_t{0});
  bool any = false;
  for (std::size_t row = 0; row < row_count; ++row) {
    if (!wanted[row]) continue;
    const std::uint64_t* bits = rows + row * words;
    if (SectionChecksum(bits, sizeof(std::uint64_t) * words) != row_sums[row]) return std::nullopt;
    for (std::size_t w = 0; w < words; ++w) blocks[w] &= bits[w];
    any = true;
  }
  if (!any) return std::nullopt;
  std::vector<std::size_t> candidates;
  for (std::size_t w = 0; w < words; ++w) {
    for (std::uint64_t word = blocks[w]; word != 0; word &= word - 1) {
      const std::size_t block = w * 64 + static_cast<std::size_t>(std::countr_zero(word));
      if (block < BlockCount(entries)) candidates.push_back(block);
    }
  }
  return candidates;
}

std::shared_ptr<const IndexTable> TableOfBlocks(const BlockSections& sections,
                                                const std::vector<std::size_t>& blocks) {
  const std::uint32_t* starts = sections.starts;
  const char* folded = sections.folded;
  const std::int8_t* kinds = sections.kinds;
  const BlockSums* sums = sections.sums;
  const auto count = static_cast<std::size_t>(sections.entries);
  // Sized once, as for a text of the blocks' records: names and five bytes each.
  std::uint64_t text_bytes = 0;
  for (const std::size_t block : blocks) {
    const std::size_t first = block * kBlockEntries;
    const std::size_t last = std::min(count, first + kBlockEntries);
    text_bytes += 5 * (last - first) + (starts[last] >= starts[first] ? starts[last] - starts[first] : 0);
  }
  IndexTableBuilder builder(std::min<std::uint64_t>(text_bytes, sections.name_bytes + 5 * count));
  for (const std::size_t block : blocks) {
    const std::size_t first = block * kBlockEntries;
    const std::size_t last = std::min(count, first + kBlockEntries);
    if (SectionChecksum(starts + first, sizeof(std::uint32_t) * (last - first + 1)) != sums[block].starts ||
        SectionChecksum(kinds + first, last - first) != sums[block].kinds) {
      return nullptr;
    }
    for (std::size_t i = first; i < last; ++i) {
      if (starts[i] > starts[i + 1]) return nullptr;
    }
    if (starts[last] > sections.name_bytes ||
        SectionChecksum(folded + starts[first], starts[last] - starts[first]) != sums[block].folded) {
      return nullptr;
    }
    for (std::size_t i = first; i < last; ++i) {
      const std::string_view name(folded + starts[i], starts[i + 1] - starts[i]);
      if (!builder.Add(name, {}, kinds[i])) return nullptr;
    }
  }
  return builder.Finish();
}

}  // namespace tandrel::index
