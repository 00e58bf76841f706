// The snapshot file: a header, then the table's seven sections and four for counts,
// each at an offset that is a multiple of 64. All numbers little-endian, as every
// machine this runs on is.
//
//   header: magic "TdlSnap\n", version, header size, the index file's identity, entry
//           and folder counts, per section its offset, size and checksum, and last the
//           checksum of the header bytes before it.
//   sections: names, folded names (with their zero padding), name starts, folders,
//           folder starts, folder numbers, kinds, the three-byte runs of the names,
//           and the block rows with their row sums and block sums.
//
// Reading takes the whole file as one image that the table then keeps (platform::FileImage:
// read into memory and closed at once, so the next indexing run can always replace it;
// or mapped, for a short-lived process).
#include "index/index_snapshot.h"

#include <algorithm>
#include <bit>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "index/table_parts.h"
#include "platform/platform.h"

namespace tandrel {
namespace {

constexpr char kMagic[8] = {'T', 'd', 'l', 'S', 'n', 'a', 'p', '\n'};
constexpr std::size_t kAlignment = 64;
constexpr int kSectionCount = 11;
enum Section {
  kNames, kFoldedNames, kNameStarts, kFolders, kFolderStarts, kFolderOf, kKinds, kRuns,
  kBlockRows, kRowSums, kBlockSums
};

struct SectionEntry {
  std::uint64_t offset;
  std::uint64_t bytes;
  std::uint64_t checksum;
};

struct Header {
  char magic[8];
  std::uint32_t version;
  std::uint32_t header_bytes;
  std::uint64_t index_size;
  std::int64_t index_write_time;
  std::uint64_t index_edge_hash;
  std::uint32_t entry_count;
  std::uint32_t folder_count;
  SectionEntry sections[kSectionCount];
  std::uint64_t header_checksum;
};
static_assert(sizeof(Header) == 320);

// A 64-bit hash in four independent lanes: the header's checksum and the index file's
// edge hash.
constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ULL;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4FULL;

std::uint64_t RotateLeft(std::uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }

std::uint64_t Checksum(const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  std::uint64_t lanes[4] = {kPrime1, kPrime2, ~kPrime1, ~kPrime2};
  std::size_t i = 0;
  for (; i + 32 <= size; i += 32) {
    for (int k = 0; k < 4; ++k) {
      std::uint64_t word;
      std::memcpy(&word, p + i + 8 * static_cast<std::size_t>(k), 8);
      lanes[k] = RotateLeft(lanes[k] + word * kPrime2, 31) * kPrime1;
    }
  }
  std::uint64_t h = size * kPrime1;
  for (const std::uint64_t lane : lanes) h = RotateLeft(h ^ lane, 27) * kPrime1 + kPrime2;
  for (; i < size; ++i) h = RotateLeft(h ^ (p[i] * kPrime1), 11) * kPrime2;
  h ^= h >> 33;
  h *= kPrime2;
  h ^= h >> 29;
  return h;
}

// The sections' checksum: per 32-bit word position modulo 8, the sum of the words and
// the sum of those running sums (Fletcher's scheme, modulo 2^64), mixed at the end. It
// runs at memory speed, which matters since a load checks every byte it uses; a flipped
// bit always changes the first sum, a moved word the second.
struct SectionSums {
  std::uint64_t words[8] = {};
  std::uint64_t running[8] = {};
};

#if defined(__SSE2__)
void AddBlocks(const char* p, std::size_t blocks, SectionSums& sums) {
  const __m128i zero = _mm_setzero_si128();
  __m128i w01 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums.words));
  __m128i w23 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums.words + 2));
  __m128i w45 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums.words + 4));
  __m128i w67 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums.words + 6));
  __m128i r01 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums.running));
  __m128i r23 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums.running + 2));
  __m128i r45 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums.running + 4));
  __m128i r67 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums.running + 6));
  for (std::size_t b = 0; b < blocks; ++b, p += 32) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    // unpacklo of words 0..3 holds words 0 and 1, unpackhi words 2 and 3.
    w01 = _mm_add_epi64(w01, _mm_unpacklo_epi32(low, zero));
    w23 = _mm_add_epi64(w23, _mm_unpackhi_epi32(low, zero));
    w45 = _mm_add_epi64(w45, _mm_unpacklo_epi32(high, zero));
    w67 = _mm_add_epi64(w67, _mm_unpackhi_epi32(high, zero));
    r01 = _mm_add_epi64(r01, w01);
    r23 = _mm_add_epi64(r23, w23);
    r45 = _mm_add_epi64(r45, w45);
    r67 = _mm_add_epi64(r67, w67);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(sums.words), w01);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(sums.words + 2), w23);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(sums.words + 4), w45);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(sums.words + 6), w67);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(sums.running), r01);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(sums.running + 2), r23);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(sums.running + 4), r45);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(sums.running + 6), r67);
}
#else
void AddBlocks(const char* p, std::size_t blocks, SectionSums& sums) {
  for (std::size_t b = 0; b < blocks; ++b, p += 32) {
    std::uint32_t words[8];
    std::memcpy(words, p, sizeof words);
    for (int k = 0; k < 8; ++k) {
      sums.words[k] += words[k];
      sums.running[k] += sums.words[k];
    }
  }
}
#endif

// The sums of a run of blocks followed by another of `blocks` blocks with sums `next`.
void AppendSums(SectionSums& sums, const SectionSums& next, std::size_t blocks) {
  for (int k = 0; k < 8; ++k) {
    sums.running[k] += next.running[k] + blocks * sums.words[k];
    sums.words[k] += next.words[k];
  }
}

std::uint64_t FinishChecksum(SectionSums sums, const char* data, std::size_t size) {
  // The last part block as if zeros followed; the size in the mix tells them apart.
  char last[32] = {};
  if (size % 32 != 0) std::memcpy(last, data + size / 32 * 32, size % 32);
  AddBlocks(last, 1, sums);
  std::uint64_t h = size * kPrime1;
  for (int k = 0; k < 8; ++k) {
    h = RotateLeft(h ^ (sums.words[k] * kPrime2), 29) * kPrime1;
    h = RotateLeft(h ^ (sums.running[k] * kPrime1), 31) * kPrime2;
  }
  h ^= h >> 33;
  h *= kPrime2;
  h ^= h >> 29;
  return h;
}

std::uint64_t SectionChecksum(const void* data, std::size_t size) {
  const auto* p = static_cast<const char*>(data);
  SectionSums sums;
  AddBlocks(p, size / 32, sums);
  return FinishChecksum(sums, p, size);
}

// Below this many bytes to check, a second thread costs more than it saves.
constexpr std::size_t kSplitCheckBytes = 256 * 1024;

// Whether every section [data, data + size) matches its checksum. With enough bytes the
// front half of each section is summed on a second thread (the two cores then also fetch
// a mapped image's pages side by side), and the halves' sums are joined.
struct CheckedSection {
  const char* data;
  std::size_t size;
  std::uint64_t checksum;
};

bool ChecksumsHold(const std::vector<CheckedSection>& sections, const platform::FileImage* fetch) {
  std::size_t total = 0;
  for (const CheckedSection& section : sections) total += section.size;
  std::vector<SectionSums> front(sections.size());
  const auto sum_front = [&] {
    for (std::size_t i = 0; i < sections.size(); ++i) {
      const std::size_t blocks = sections[i].size / 64;
      if (fetch) fetch->Fetch(static_cast<std::size_t>(sections[i].data - fetch->Data()), blocks * 32);
      AddBlocks(sections[i].data, blocks, front[i]);
    }
  };
  std::thread helper;
  if (total >= kSplitCheckBytes) {
    helper = std::thread(sum_front);
  } else {
    sum_front();
  }
  std::vector<SectionSums> back(sections.size());
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const std::size_t skip = sections[i].size / 64 * 32;
    if (fetch) fetch->Fetch(static_cast<std::size_t>(sections[i].data - fetch->Data()) + skip, sections[i].size - skip);
    AddBlocks(sections[i].data + skip, (sections[i].size - skip) / 32, back[i]);
  }
  if (helper.joinable()) helper.join();
  bool hold = true;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    AppendSums(front[i], back[i], (sections[i].size - sections[i].size / 64 * 32) / 32);
    hold = hold && FinishChecksum(front[i], sections[i].data, sections[i].size) == sections[i].checksum;
  }
  return hold;
}

std::uint64_t AlignUp(std::uint64_t n) { return (n + kAlignment - 1) / kAlignment * kAlignment; }

std::uint64_t HeaderChecksum(const Header& header) {
  return Checksum(&header, offsetof(Header, header_checksum));
}

// One section as the table holds it.
struct SectionBytes {
  const void* data;
  std::size_t bytes;
};

// The run section: which three-byte runs occur inside some folded name, one bit per run
// hashed into a power of two of bits, about eight bits for each different run. A query
// piece holding a run whose bit is clear occurs in no name: such a count is answered
// from this section alone. (A set bit proves nothing.)
constexpr std::size_t kMinRunBytes = 64;
constexpr std::size_t kMaxRunBytes = std::size_t{1} << 21;

std::uint32_t RunAt(const char* p) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(p[0])) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(p[1])) << 8 |
         static_cast<std::uint8_t>(p[2]);
}

std::size_t RunBit(std::uint32_t run, std::size_t bits) {
  const int shift = 64 - std::countr_zero(bits);
  return static_cast<std::size_t>((run * kPrime1) >> shift);
}

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

// Whether some piece holds a run that no name holds.
bool RunsRuleOut(const std::uint8_t* bits, std::size_t bytes, const std::vector<std::string>& pieces) {
  for (const std::string& piece : pieces) {
    for (std::size_t at = 0; at + 3 <= piece.size(); ++at) {
      const std::size_t bit = RunBit(RunAt(piece.data() + at), bytes * 8);
      if ((bits[bit / 8] & (1u << (bit % 8))) == 0) return true;
    }
  }
  return false;
}

// The block rows: the entries in blocks of kBlockEntries, and per block which of a power
// of two of hashed rows its names' runs fall into, stored row by row, one bit per block,
// so that a query's runs read a few rows and AND them into the blocks that may hold it.
// Each row has its own checksum (the row sums), and each block the checksums of its
// name starts, folded names and kinds (the block sums): a count then reads and checks
// only the candidate blocks.
constexpr std::size_t kBlockEntries = 256;
// Narrowing pays while at most one block in this many remains: copying a candidate
// entry into the new table costs some twenty times what checking and scanning it costs.
constexpr std::size_t kNarrowShare = 32;
// Rows: about eight per block, so that a small table keeps a small snapshot, up to 2048
// (a block's 256 names hold some thousand different runs).
constexpr std::size_t kMinRows = 64;
constexpr std::size_t kMaxRows = 2048;

std::size_t RowOf(std::uint32_t run, std::size_t rows) {
  return static_cast<std::size_t>((run * kPrime2) >> (64 - std::countr_zero(rows)));
}

std::size_t BlockCount(std::uint64_t entries) {
  return static_cast<std::size_t>((entries + kBlockEntries - 1) / kBlockEntries);
}
std::size_t RowWords(std::uint64_t entries) { return (BlockCount(entries) + 63) / 64; }
std::size_t RowCount(std::uint64_t entries) {
  return std::clamp(std::bit_ceil(BlockCount(entries) * 8), kMinRows, kMaxRows);
}

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

std::array<SectionBytes, kSectionCount> SectionsOf(const IndexTable& table,
                                                   const std::vector<std::uint8_t>& runs,
                                                   const BlockIndex& blocks) {
  const auto count = static_cast<std::size_t>(table.EntryCount());
  const auto folders = static_cast<std::size_t>(table.DistinctFolderCount());
  const std::size_t name_bytes = table.NameStarts()[count];
  return {{{table.NameArena(), name_bytes},
           {table.FoldedNameArena(), name_bytes + IndexTable::kFoldedArenaPadding},
           {table.NameStarts(), sizeof(std::uint32_t) * (count + 1)},
           {table.FolderArena(), table.FolderStarts()[folders]},
           {table.FolderStarts(), sizeof(std::uint32_t) * (folders + 1)},
           {table.FolderOf(), sizeof(std::uint32_t) * count},
           {table.Kinds(), count},
           {runs.data(), runs.size()},
           {blocks.rows.data(), sizeof(std::uint64_t) * blocks.rows.size()},
           {blocks.row_sums.data(), sizeof(std::uint64_t) * blocks.row_sums.size()},
           {blocks.block_sums.data(), sizeof(BlockSums) * blocks.block_sums.size()}}};
}

// Offsets ascending from 0, the last one `end`.
bool StartsAscend(const std::uint32_t* starts, std::size_t count, std::uint64_t end) {
  if (starts[0] != 0 || starts[count] != end) return false;
  std::uint32_t bad = 0;
  for (std::size_t i = 0; i < count; ++i) bad |= starts[i] > starts[i + 1] ? 1u : 0u;
  return bad == 0;
}

bool FolderNumbersBelow(const std::uint32_t* numbers, std::size_t count, std::uint32_t limit) {
  std::uint32_t bad = 0;
  for (std::size_t i = 0; i < count; ++i) bad |= numbers[i] >= limit ? 1u : 0u;
  return bad == 0;
}

// The owner of a snapshot's bytes: one block from the C heap, aligned as the sections
// need (malloc gives at least 16 bytes; the sections need 4).
struct ImageBlock {
  explicit ImageBlock(std::size_t size) : data(static_cast<char*>(std::malloc(size ? size : 1))) {}
  ~ImageBlock() { std::free(data); }
  ImageBlock(const ImageBlock&) = delete;
  ImageBlock& operator=(const ImageBlock&) = delete;
  char* data;
};

SnapshotVerdict Fail(SnapshotVerdict* out, SnapshotVerdict verdict) {
  if (out) *out = verdict;
  return verdict;
}

// What a reading checks of an image: everything, what a search reads, or only the runs.
enum class Reach { kWhole, kSearch, kRuns };
constexpr bool kSearched[kSectionCount] = {false, true, true, false, false, false, true, false, false, false, false};

bool Checks(Reach reach, int section) {
  switch (reach) {
    case Reach::kWhole: return true;
    case Reach::kSearch: return kSearched[section];
    // The rows are checked one by one as they are read, the blocks likewise.
    case Reach::kRuns: return section == kRuns || section == kRowSums || section == kBlockSums;
  }
  return true;
}

// Checks an image in place and, when it holds, describes the table in it (the runs
// alone for Reach::kRuns). `fetch`, when given, is the mapped image to fetch the checked
// sections of.
SnapshotVerdict CheckImage(const char* image, std::size_t size, const IndexFileIdentity& identity,
                           Reach reach, const platform::FileImage* fetch, IndexTableParts& parts,
                           const std::uint8_t** runs = nullptr) {
  Header header;
  if (size < sizeof(Header)) return SnapshotVerdict::kDamagedHeader;
  std::memcpy(&header, image, sizeof(Header));
  if (std::memcmp(header.magic, kMagic, sizeof(kMagic)) != 0) return SnapshotVerdict::kDamagedHeader;
  // The version comes before the header checksum: a later version may lay out its
  // header differently.
  if (header.version != kSnapshotVersion) return SnapshotVerdict::kUnknownVersion;
  if (header.header_bytes != sizeof(Header) || header.header_checksum != HeaderChecksum(header)) {
    return SnapshotVerdict::kDamagedHeader;
  }
  if (header.index_size != identity.size || header.index_write_time != identity.write_time ||
      header.index_edge_hash != identity.edge_hash) {
    return SnapshotVerdict::kOtherIndexFile;
  }
  const std::uint64_t count = header.entry_count;
  const std::uint64_t folders = header.folder_count;
  if (count > 0x7FFFFFFFu || folders > count + 1) return SnapshotVerdict::kInconsistent;
  const SectionEntry* s = header.sections;
  const std::uint64_t name_bytes = s[kNames].bytes;
  const std::uint64_t expected[kSectionCount] = {
      name_bytes, name_bytes + IndexTable::kFoldedArenaPadding, 4 * (count + 1),
      s[kFolders].bytes, 4 * (folders + 1), 4 * count, count, s[kRuns].bytes,
      8 * RowCount(count) * RowWords(count), 8 * RowCount(count), sizeof(BlockSums) * BlockCount(count)};
  if (!ValidRunBytes(s[kRuns].bytes)) return SnapshotVerdict::kDamagedSection;
  std::uint64_t end = AlignUp(sizeof(Header));
  std::uint64_t gap = sizeof(Header);  // where the zero bytes before this section begin
  for (int k = 0; k < kSectionCount; ++k) {
    if (s[k].offset != end || s[k].bytes != expected[k] || s[k].bytes > size ||
        s[k].offset > size - s[k].bytes ||
        std::any_of(image + gap, image + s[k].offset, [](char c) { return c != 0; })) {
      return SnapshotVerdict::kDamagedSection;
    }
    gap = s[k].offset + s[k].bytes;
    end = AlignUp(gap);
  }
  if (s[kBlockSums].offset + s[kBlockSums].bytes != size) return SnapshotVerdict::kDamagedSection;
  std::vector<CheckedSection> checked;
  for (int k = 0; k < kSectionCount; ++k) {
    if (Checks(reach, k)) checked.push_back({image + s[k].offset, s[k].bytes, s[k].checksum});
  }
  if (!ChecksumsHold(checked, fetch)) return SnapshotVerdict::kDamagedSection;
  if (reach == Reach::kRuns) {
    *runs = reinterpret_cast<const std::uint8_t*>(image + s[kRuns].offset);
    parts.memory_bytes = s[kRuns].bytes;
    return SnapshotVerdict::kUsed;
  }
  const bool search_only = reach == Reach::kSearch;
  parts.names = image + s[kNames].offset;
  parts.folded_names = image + s[kFoldedNames].offset;
  parts.name_starts = reinterpret_cast<const std::uint32_t*>(image + s[kNameStarts].offset);
  parts.folders = image + s[kFolders].offset;
  parts.folder_starts = reinterpret_cast<const std::uint32_t*>(image + s[kFolderStarts].offset);
  parts.folder_of = reinterpret_cast<const std::uint32_t*>(image + s[kFolderOf].offset);
  parts.kinds = reinterpret_cast<const std::int8_t*>(image + s[kKinds].offset);
  parts.count = static_cast<std::int32_t>(count);
  parts.folder_count = static_cast<std::int32_t>(folders);
  // The search reads past the last name into the padding, and relies on the offsets.
  const char* padding = parts.folded_names + name_bytes;
  if (std::any_of(padding, padding + IndexTable::kFoldedArenaPadding, [](char c) { return c != 0; }) ||
      !StartsAscend(parts.name_starts, count, name_bytes)) {
    return SnapshotVerdict::kInconsistent;
  }
  if (!search_only && (!StartsAscend(parts.folder_starts, folders, s[kFolders].bytes) ||
                       !FolderNumbersBelow(parts.folder_of, count, static_cast<std::uint32_t>(folders)))) {
    return SnapshotVerdict::kInconsistent;
  }
  parts.memory_bytes = size;
  return SnapshotVerdict::kUsed;
}

// A search-only table puts every entry in one empty folder: the snapshot's folder
// numbers were never checked, so nothing may follow them. The zeros cost no memory
// until they are read.
struct FolderlessStorage {
  std::shared_ptr<const void> image;
  std::unique_ptr<std::uint32_t, decltype(&std::free)> zeros{nullptr, &std::free};
};

std::shared_ptr<const IndexTable> AssembleChecked(IndexTableParts parts,
                                                  std::shared_ptr<const void> image,
                                                  bool search_only) {
  if (!search_only) {
    parts.storage = std::move(image);
    return IndexTableParts::Assemble(std::move(parts));
  }
  static constexpr char kNoFolderText[1] = {};
  static constexpr std::uint32_t kNoFolderStarts[2] = {0, 0};
  auto storage = std::make_shared<FolderlessStorage>();
  storage->image = std::move(image);
  storage->zeros.reset(static_cast<std::uint32_t*>(
      std::calloc(static_cast<std::size_t>(parts.count) + 1, sizeof(std::uint32_t))));
  if (!storage->zeros) return nullptr;
  parts.folders = kNoFolderText;
  parts.folder_starts = kNoFolderStarts;
  parts.folder_of = storage->zeros.get();
  parts.folder_count = 1;
  parts.storage = std::move(storage);
  return IndexTableParts::Assemble(std::move(parts));
}

std::shared_ptr<const IndexTable> TableFromBlock(std::shared_ptr<ImageBlock> block,
                                                 std::size_t size,
                                                 const IndexFileIdentity& identity,
                                                 bool search_only, SnapshotVerdict* verdict) {
  IndexTableParts parts;
  if (Fail(verdict, CheckImage(block->data, size, identity, search_only ? Reach::kSearch : Reach::kWhole,
                               nullptr, parts)) !=
      SnapshotVerdict::kUsed) {
    return nullptr;
  }
  return AssembleChecked(std::move(parts), std::move(block), search_only);
}

// Snapshot writers of this process, one at a time: they share the temporary name.
std::mutex& WriterLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

std::optional<IndexFileIdentity> IdentifyIndexFile(const std::string& index_path) {
  platform::File file(index_path, platform::OpenMode::kRead, 16);
  const std::optional<platform::FileStamp> stamp = file.Stamp();
  if (!stamp) return std::nullopt;
  IndexFileIdentity identity{stamp->size, stamp->write_time, 0};
  std::array<char, 2 * kIdentityBlockBytes> edges{};
  std::size_t got = file.Read(edges.data(), std::min<std::uint64_t>(stamp->size, kIdentityBlockBytes));
  if (stamp->size > kIdentityBlockBytes) {
    const std::uint64_t tail = std::max<std::uint64_t>(kIdentityBlockBytes, stamp->size - kIdentityBlockBytes);
    if (!file.Seek(tail)) return std::nullopt;
    got += file.Read(edges.data() + got, static_cast<std::size_t>(stamp->size - tail));
  }
  identity.edge_hash = Checksum(edges.data(), got);
  return identity;
}

std::shared_ptr<const IndexTable> ReadIndexSnapshotImage(const void* bytes, std::size_t size,
                                                         const IndexFileIdentity& identity,
                                                         SnapshotVerdict* verdict,
                                                         bool search_only) {
  auto block = std::make_shared<ImageBlock>(size);
  if (block->data == nullptr) return Fail(verdict, SnapshotVerdict::kMissing), nullptr;
  if (size > 0) std::memcpy(block->data, bytes, size);
  return TableFromBlock(std::move(block), size, identity, search_only, verdict);
}

std::shared_ptr<const IndexTable> ReadIndexSnapshot(const std::string& snapshot_path,
                                                    const IndexFileIdentity& identity,
                                                    SnapshotVerdict* verdict,
                                                    SnapshotReading reading) {
  std::shared_ptr<const platform::FileImage> image =
      reading.map ? platform::FileImage::Map(snapshot_path) : platform::FileImage::Open(snapshot_path);
  if (!image) return Fail(verdict, SnapshotVerdict::kMissing), nullptr;
  IndexTableParts parts;
  if (Fail(verdict, CheckImage(image->Data(), image->Size(), identity,
                               reading.search_only ? Reach::kSearch : Reach::kWhole,
                               reading.map ? image.get() : nullptr, parts)) != SnapshotVerdict::kUsed) {
    return nullptr;
  }
  return AssembleChecked(std::move(parts), std::move(image), reading.search_only);
}

namespace {

// The blocks whose rows hold every run of the pieces, or none when the pieces hold no
// run or a row does not match its checksum.
std::optional<std::vector<std::size_t>> CandidateBlocks(const char* image, const Header& header,
                                                        const std::vector<std::string>& pieces) {
  const SectionEntry* s = header.sections;
  const std::size_t words = RowWords(header.entry_count);
  const std::size_t row_count = RowCount(header.entry_count);
  const auto* rows = reinterpret_cast<const std::uint64_t*>(image + s[kBlockRows].offset);
  const auto* row_sums = reinterpret_cast<const std::uint64_t*>(image + s[kRowSums].offset);
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
      if (block < BlockCount(header.entry_count)) candidates.push_back(block);
    }
  }
  return candidates;
}

// A table of the candidate blocks' entries alone, their folded names as names and no
// folders, each block checked against its sums; null when one does not match.
std::shared_ptr<const IndexTable> TableOfBlocks(const char* image, const Header& header,
                                                const std::vector<std::size_t>& blocks) {
  const SectionEntry* s = header.sections;
  const auto* starts = reinterpret_cast<const std::uint32_t*>(image + s[kNameStarts].offset);
  const char* folded = image + s[kFoldedNames].offset;
  const auto* kinds = reinterpret_cast<const std::int8_t*>(image + s[kKinds].offset);
  const auto* sums = reinterpret_cast<const BlockSums*>(image + s[kBlockSums].offset);
  const std::size_t count = header.entry_count;
  // Sized once, as for a text of the blocks' records: names and five bytes each.
  std::uint64_t text_bytes = 0;
  for (const std::size_t block : blocks) {
    const std::size_t first = block * kBlockEntries;
    const std::size_t last = std::min(count, first + kBlockEntries);
    text_bytes += 5 * (last - first) + (starts[last] >= starts[first] ? starts[last] - starts[first] : 0);
  }
  IndexTableBuilder builder(std::min<std::uint64_t>(text_bytes, s[kNames].bytes + 5 * count));
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
    if (starts[last] > s[kNames].bytes ||
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

}  // namespace

std::shared_ptr<const IndexTable> SnapshotImageCountTable(const char* image, std::size_t size,
                                                          const IndexFileIdentity& identity,
                                                          const std::vector<std::string>& folded_pieces,
                                                          const platform::FileImage* fetch) {
  IndexTableParts parts;
  const std::uint8_t* runs = nullptr;
  if (CheckImage(image, size, identity, Reach::kRuns, fetch, parts, &runs) != SnapshotVerdict::kUsed) {
    return nullptr;
  }
  if (RunsRuleOut(runs, parts.memory_bytes, folded_pieces)) return IndexTableBuilder().Finish();
  Header header;
  std::memcpy(&header, image, sizeof(Header));
  const std::optional<std::vector<std::size_t>> blocks = CandidateBlocks(image, header, folded_pieces);
  if (!blocks || blocks->size() * kNarrowShare > BlockCount(header.entry_count)) return nullptr;
  return TableOfBlocks(image, header, *blocks);
}

std::shared_ptr<const IndexTable> SnapshotCountTable(const std::string& snapshot_path,
                                                     const IndexFileIdentity& identity,
                                                     const std::vector<std::string>& folded_pieces) {
  // Mapped: only the header, the small sections and the rows and blocks used are read.
  const std::unique_ptr<platform::FileImage> image = platform::FileImage::Map(snapshot_path);
  return image ? SnapshotImageCountTable(image->Data(), image->Size(), identity, folded_pieces, image.get())
               : nullptr;
}

bool WriteIndexSnapshot(const IndexTable& table, const IndexFileIdentity& identity,
                        const std::string& snapshot_path) {
  const std::vector<std::uint8_t> runs = RunBits(table);
  const BlockIndex blocks = IndexBlocks(table);
  const std::array<SectionBytes, kSectionCount> sections = SectionsOf(table, runs, blocks);
  Header header{};
  std::memcpy(header.magic, kMagic, sizeof(kMagic));
  header.version = kSnapshotVersion;
  header.header_bytes = sizeof(Header);
  header.index_size = identity.size;
  header.index_write_time = identity.write_time;
  header.index_edge_hash = identity.edge_hash;
  header.entry_count = static_cast<std::uint32_t>(table.EntryCount());
  header.folder_count = static_cast<std::uint32_t>(table.DistinctFolderCount());
  std::uint64_t end = AlignUp(sizeof(Header));
  for (int k = 0; k < kSectionCount; ++k) {
    header.sections[k] = {end, sections[k].bytes, SectionChecksum(sections[k].data, sections[k].bytes)};
    end = AlignUp(end + sections[k].bytes);
  }
  header.header_checksum = HeaderChecksum(header);

  std::lock_guard<std::mutex> hold(WriterLock());
  const std::string staged = snapshot_path + ".new";
  platform::File file(staged, platform::OpenMode::kCreate, 1 << 16);
  if (!file.IsOpen()) return false;
  static constexpr char kZeros[kAlignment] = {};
  bool ok = file.Write(std::string_view(reinterpret_cast<const char*>(&header), sizeof(header)));
  std::uint64_t at = sizeof(header);
  for (int k = 0; k < kSectionCount && ok; ++k) {
    ok = file.Write(std::string_view(kZeros, header.sections[k].offset - at));
    // An empty section may have no block at all.
    if (ok && sections[k].bytes > 0) {
      ok = file.Write(std::string_view(static_cast<const char*>(sections[k].data), sections[k].bytes));
    }
    at = header.sections[k].offset + sections[k].bytes;
  }
  // No sync: a snapshot that a power cut leaves incomplete fails its checksums and is
  // simply not used.
  ok = file.Close() && ok;
  if (ok && platform::ReplaceFileWhenFree(staged, snapshot_path)) return true;
  platform::RemoveFile(staged);
  return false;
}

}  // namespace tandrel
