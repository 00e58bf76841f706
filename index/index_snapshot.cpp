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
#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "index/snapshot_checksum.h"
#include "index/snapshot_runs.h"
#include "index/table_parts.h"
#include "platform/platform.h"
#include "platform/staged_file.h"

namespace tandrel::index {
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

std::uint64_t AlignUp(std::uint64_t n) { return (n + kAlignment - 1) / kAlignment * kAlignment; }

std::uint64_t HeaderChecksum(const Header& header) {
  return MixedHash(&header, offsetof(Header, header_checksum));
}

// One section as the table holds it.
struct SectionBytes {
  const void* data;
  std::size_t bytes;
};

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
platform::Mutex& WriterLock() {
  static platform::Mutex lock;
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
  identity.edge_hash = MixedHash(edges.data(), got);
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
  const SectionEntry* s = header.sections;
  const std::optional<std::vector<std::size_t>> blocks = CandidateBlocks(
      reinterpret_cast<const std::uint64_t*>(image + s[kBlockRows].offset),
      reinterpret_cast<const std::uint64_t*>(image + s[kRowSums].offset), header.entry_count, folded_pieces);
  if (!blocks || blocks->size() * kNarrowShare > BlockCount(header.entry_count)) return nullptr;
  return TableOfBlocks({reinterpret_cast<const std::uint32_t*>(image + s[kNameStarts].offset),
                        image + s[kFoldedNames].offset,
                        reinterpret_cast<const std::int8_t*>(image + s[kKinds].offset),
                        reinterpret_cast<const BlockSums*>(image + s[kBlockSums].offset), s[kNames].bytes,
                        header.entry_count},
                       *blocks);
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

  platform::LockGuard hold(WriterLock());
  platform::StagedFile staged(snapshot_path, ".new", 1 << 16);
  if (!staged.IsOpen()) return false;
  platform::File& file = staged.Output();
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
  return staged.Commit(ok, platform::Durability::kUnsynced, platform::ReplaceFileWhenFree);
}

}  // namespace tandrel::index
