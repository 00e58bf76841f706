// Building the immutable IndexTable: names appended to one arena, folders interned.
#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "index/index.h"
#include "index/table_arena.h"
#include "index/table_parts.h"

namespace tandrel::index {
namespace {

constexpr std::size_t kMaxArenaBytes = std::numeric_limits<std::uint32_t>::max();
constexpr std::int32_t kMaxEntries = std::numeric_limits<std::int32_t>::max();
// AddBlock copies names in steps of this many bytes.
constexpr std::size_t kCopyStep = 16;

std::uint64_t Mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  return h;
}

// Folder texts are long paths that share their beginnings, so the hash takes the
// length and a few words where they differ (the end, the middle) rather than every
// byte; the comparison after a hash hit settles it.
std::uint64_t HashText(std::string_view text) {
  const char* p = text.data();
  const std::size_t n = text.size();
  std::uint64_t h = 0x9e3779b97f4a7c15ULL ^ n;
  auto take = [&h](const char* at, std::size_t bytes) {
    std::uint64_t word = 0;
    std::memcpy(&word, at, bytes);
    h = (h ^ word) * 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 29;
  };
  if (n <= 16) {
    if (n > 8) take(p + 8, n - 8);
    if (n > 0) take(p, n < 8 ? n : 8);
  } else {
    take(p + n - 8, 8);
    take(p + n - 16, 8);
    take(p + n / 2 - 4, 8);
    take(p, 8);
  }
  return Mix(h);
}

// Copies kCopyStep bytes of names and their folded form (FoldNameBytes).
void CopyAndFoldStep(const char* from, char* to, char* folded_to) {
#if defined(__SSE2__)
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
  // a-z moved to the bottom of the signed range, where one comparison finds them.
  const __m128i shifted = _mm_add_epi8(bytes, _mm_set1_epi8(0x80 - 0x61));
  const __m128i letter = _mm_cmplt_epi8(shifted, _mm_set1_epi8(static_cast<char>(0x80 + 26)));
  const __m128i high = _mm_cmpeq_epi8(_mm_max_epu8(bytes, _mm_set1_epi8(static_cast<char>(0xE0))), bytes);
  const __m128i lower = _mm_and_si128(_mm_or_si128(letter, high), _mm_set1_epi8(0x20));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(to), bytes);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(folded_to), _mm_sub_epi8(bytes, lower));
#else
  std::memcpy(to, from, kCopyStep);
  FoldNameBytes(from, kCopyStep, folded_to);
#endif
}

}  // namespace

// The builder's blocks; the finished table keeps them.
struct IndexTableBuilder::Sections {
  TableArena<char> names;
  TableArena<char> folded_names;
  TableArena<std::uint32_t> name_starts;
  TableArena<char> folders;
  TableArena<std::uint32_t> folder_starts;
  TableArena<std::uint32_t> folder_of;
  TableArena<std::int8_t> kinds;

  bool Ready() {
    return (name_starts.size() > 0 || name_starts.PushBack(0)) &&
           (folder_starts.size() > 0 || folder_starts.PushBack(0));
  }
  std::size_t Bytes() const {
    return names.capacity() + folded_names.capacity() + folders.capacity() + kinds.capacity() +
           sizeof(std::uint32_t) *
               (name_starts.capacity() + folder_starts.capacity() + folder_of.capacity());
  }
};

// Open-addressing set of the folder texts seen so far, mapping each to its number.
// Records of one folder mostly arrive together, so the last folder is tried first.
class IndexTableBuilder::FolderSet {
 public:
  explicit FolderSet(Sections& sections) : sections_(sections) { slots_.assign(1024, Slot{}); }

  // The folder's number, adding the folder if it is new; false when the arena is full.
  bool Intern(std::string_view folder, std::uint32_t& number) {
    if (last_ != kEmpty && Text(last_) == folder) {
      number = last_;
      return true;
    }
    const std::uint64_t hash = HashText(folder);
    if (!Find(folder, hash, number) && !Insert(folder, hash, number)) return false;
    last_ = number;
    last_hash_ = hash;
    return true;
  }

  // Intern for the folders of a block's entries, into numbers[0, count); how many were
  // interned (fewer only when the arena is full). After the first-letter regrouping
  // most records change folder, and a probe of a set of thousands of folders misses
  // the cache twice (slot, then text), so the slots of the entries sixteen places ahead
  // are fetched, and the texts their slots name eight places ahead, while the current
  // entry is settled.
  std::size_t InternBlock(const char* block, const BlockEntry* entries, std::size_t count,
                          std::uint32_t* numbers) {
    constexpr std::size_t kAhead = 16;
    constexpr std::size_t kRing = 32;  // a power of two above kAhead
    std::array<std::uint64_t, kRing> hashes;
    std::array<bool, kRing> same_as_previous;
    auto folder = [&](std::size_t i) {
      return std::string_view(block + entries[i].folder, entries[i].folder_size);
    };
    std::uint64_t previous_hash = last_hash_;
    auto prepare = [&](std::size_t j) {
      if (entries[j].same_folder && (j > 0 || last_ != kEmpty)) {
        hashes[j % kRing] = previous_hash;
        same_as_previous[j % kRing] = true;
        return;
      }
      const std::uint64_t hash = HashText(folder(j));
      const bool same = hash == previous_hash &&
                        (j > 0 ? folder(j) == folder(j - 1) : last_ != kEmpty && Text(last_) == folder(0));
      previous_hash = hash;
      hashes[j % kRing] = hash;
      same_as_previous[j % kRing] = same;
      if (!same) __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
    };
    auto fetch_text = [&](std::size_t j) {
      if (same_as_previous[j % kRing]) return;
      const Slot slot = slots_[hashes[j % kRing] & (slots_.size() - 1)];
      if (slot.number != kEmpty) {
        // Folder texts are paths of some 80 bytes: two cache lines.
        const char* text = sections_.folders.data() + sections_.folder_starts.data()[slot.number];
        __builtin_prefetch(text);
        __builtin_prefetch(text + 64);
      }
    };
    for (std::size_t j = 0; j < kAhead && j < count; ++j) prepare(j);
    for (std::size_t j = 0; j < kAhead / 2 && j < count; ++j) fetch_text(j);
    for (std::size_t i = 0; i < count; ++i) {
      if (i + kAhead < count) prepare(i + kAhead);
      if (i + kAhead / 2 < count) fetch_text(i + kAhead / 2);
      if (!same_as_previous[i % kRing]) {
        const std::uint64_t hash = hashes[i % kRing];
        std::uint32_t number = 0;
        if (!Find(folder(i), hash, number) && !Insert(folder(i), hash, number)) return i;
        last_ = number;
        last_hash_ = hash;
      }
      numbers[i] = last_;
    }
    return count;
  }

 private:
  static constexpr std::uint32_t kEmpty = std::numeric_limits<std::uint32_t>::max();

  // The hash sits beside the number so that a probe touches one cache line.
  struct Slot {
    std::uint32_t number = kEmpty;
    std::uint32_t hash = 0;  // low half of the folder's hash
  };

  bool Find(std::string_view folder, std::uint64_t hash, std::uint32_t& number) const {
    const std::size_t mask = slots_.size() - 1;
    const auto short_hash = static_cast<std::uint32_t>(hash);
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      const Slot slot = slots_[i];
      if (slot.number == kEmpty) return false;
      if (slot.hash == short_hash && Text(slot.number) == folder) {
        number = slot.number;
        return true;
      }
    }
  }

  // Adds a folder that Find did not find; false when the arena is full.
  bool Insert(std::string_view folder, std::uint64_t hash, std::uint32_t& number) {
    if (sections_.folders.size() + folder.size() > kMaxArenaBytes ||
        !sections_.folders.Append(folder.data(), folder.size())) {
      return false;
    }
    if (!sections_.folder_starts.PushBack(static_cast<std::uint32_t>(sections_.folders.size()))) {
      sections_.folders.Truncate(sections_.folder_starts.back());
      return false;
    }
    number = count_++;
    if (std::size_t{count_} * 2 > slots_.size()) {
      Grow();
    } else {
      Place(Slot{number, static_cast<std::uint32_t>(hash)}, hash);
    }
    return true;
  }

  std::string_view Text(std::uint32_t number) const {
    const std::uint32_t* starts = sections_.folder_starts.data();
    return {sections_.folders.data() + starts[number], starts[number + 1] - starts[number]};
  }

  void Place(Slot slot, std::uint64_t hash) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i].number != kEmpty) i = (i + 1) & mask;
    slots_[i] = slot;
  }

  void Grow() {
    slots_.assign(slots_.size() * 2, Slot{});
    for (std::uint32_t n = 0; n < count_; ++n) {
      const std::uint64_t hash = HashText(Text(n));
      Place(Slot{n, static_cast<std::uint32_t>(hash)}, hash);
    }
  }

  Sections& sections_;
  std::vector<Slot> slots_;
  std::uint32_t count_ = 0;  // folders so far
  std::uint32_t last_ = kEmpty;
  std::uint64_t last_hash_ = 0;  // HashText of folder last_
};

IndexTableBuilder::IndexTableBuilder(std::uint64_t text_bytes)
    : sections_(std::make_unique<Sections>()),
      folder_set_(std::make_unique<FolderSet>(*sections_)) {
  if (text_bytes > 0) {
    // Names and folders cannot hold more bytes than the text, and every record but a
    // cut-off last one takes at least 5 bytes. A reservation the system refuses is
    // no failure: the sections then grow as they fill.
    const std::size_t bytes = static_cast<std::size_t>(std::min<std::uint64_t>(text_bytes, kMaxArenaBytes));
    const std::size_t entries = bytes / 5 + 1;
    Sections& s = *sections_;
    s.names.Reserve(bytes);
    s.folded_names.Reserve(bytes + IndexTable::kFoldedArenaPadding);
    s.folders.Reserve(bytes);
    s.name_starts.Reserve(entries + 1);
    s.folder_starts.Reserve(entries + 1);
    s.folder_of.Reserve(entries);
    s.kinds.Reserve(entries);
  }
}

IndexTableBuilder::~IndexTableBuilder() = default;

std::int32_t IndexTableBuilder::EntryCount() const {
  return sections_ ? static_cast<std::int32_t>(sections_->kinds.size()) : 0;
}

bool IndexTableBuilder::Add(std::string_view name, std::string_view folder, std::int8_t kind) {
  return BeginEntry(name) && EndEntry(folder, kind);
}

bool IndexTableBuilder::BeginEntry(std::string_view name) {
  if (!sections_) {
    sections_ = std::make_unique<Sections>();
    folder_set_ = std::make_unique<FolderSet>(*sections_);
  }
  Sections& s = *sections_;
  if (!s.Ready() || s.kinds.size() == static_cast<std::size_t>(kMaxEntries) ||
      s.names.size() + name.size() > kMaxArenaBytes) {
    return false;
  }
  const std::size_t at = s.names.size();
  if (!s.folded_names.GrowForOverwrite(name.size())) return false;
  if (!s.names.Append(name.data(), name.size())) {
    s.folded_names.Truncate(at);
    return false;
  }
  FoldNameBytes(name.data(), name.size(), s.folded_names.data() + at);
  return true;
}

bool IndexTableBuilder::EndEntry(std::string_view folder, std::int8_t kind) {
  Sections& s = *sections_;
  std::uint32_t folder_number = 0;
  const std::size_t entries = s.kinds.size();
  const bool added = folder_set_->Intern(folder, folder_number) &&
                     s.name_starts.PushBack(static_cast<std::uint32_t>(s.names.size())) &&
                     s.folder_of.PushBack(folder_number) && s.kinds.PushBack(kind);
  if (!added) {
    // Take the begun entry back; an interned folder may stay, unused.
    s.names.Truncate(s.name_starts.data()[entries]);
    s.folded_names.Truncate(s.name_starts.data()[entries]);
    s.name_starts.Truncate(entries + 1);
    s.folder_of.Truncate(entries);
  }
  return added;
}

std::size_t IndexTableBuilder::AddBlock(const char* block, std::size_t block_size,
                                        const BlockEntry* entries, std::size_t count) {
  if (count == 0) return 0;
  if (!sections_) {
    sections_ = std::make_unique<Sections>();
    folder_set_ = std::make_unique<FolderSet>(*sections_);
  }
  Sections& s = *sections_;
  std::size_t name_bytes = 0;
  for (std::size_t i = 0; i < count; ++i) name_bytes += entries[i].name_size;
  const std::size_t before = s.kinds.size();
  const bool fits = s.Ready() && count <= static_cast<std::size_t>(kMaxEntries) - before &&
                    name_bytes <= kMaxArenaBytes - s.names.size() &&
                    s.names.ReserveMore(name_bytes + kCopyStep) &&
                    s.folded_names.ReserveMore(name_bytes + kCopyStep) &&
                    s.name_starts.ReserveMore(count) && s.folder_of.ReserveMore(count) &&
                    s.kinds.ReserveMore(count);
  if (!fits) {
    // Near a limit: one at a time, up to the entry that no longer fits.
    std::size_t added = 0;
    for (; added < count; ++added) {
      const BlockEntry& e = entries[added];
      if (!Add({block + e.name, e.name_size}, {block + e.folder, e.folder_size}, e.kind)) break;
    }
    return added;
  }
  // Room is reserved, so none of the growing below can fail.
  s.folder_of.GrowForOverwrite(count);
  const std::size_t added = folder_set_->InternBlock(block, entries, count, s.folder_of.data() + before);
  s.folder_of.Truncate(before + added);
  if (added < count) {
    name_bytes = 0;
    for (std::size_t i = 0; i < added; ++i) name_bytes += entries[i].name_size;
  }
  const std::size_t name_at = s.names.size();
  s.names.GrowForOverwrite(name_bytes);
  s.folded_names.GrowForOverwrite(name_bytes);
  s.name_starts.GrowForOverwrite(added);
  s.kinds.GrowForOverwrite(added);
  char* names = s.names.data() + name_at;
  char* folded = s.folded_names.data() + name_at;
  std::uint32_t* starts = s.name_starts.data() + before + 1;
  std::int8_t* kinds = s.kinds.data() + before;
  auto end = static_cast<std::uint32_t>(name_at);
  for (std::size_t i = 0; i < added; ++i) {
    const BlockEntry& e = entries[i];
    // Names are short: whole steps (past the name's end, within the block and the
    // reserved room) instead of calls that sort out the length first.
    if (std::size_t{e.name} + e.name_size + kCopyStep <= block_size) {
      for (std::uint32_t k = 0; k < e.name_size; k += kCopyStep) {
        CopyAndFoldStep(block + e.name + k, names + k, folded + k);
      }
    } else {
      std::memcpy(names, block + e.name, e.name_size);
      FoldNameBytes(block + e.name, e.name_size, folded);
    }
    names += e.name_size;
    folded += e.name_size;
    end += e.name_size;
    starts[i] = end;
    kinds[i] = e.kind;
  }
  return added;
}

// Branch-free, so that the compiler handles many bytes per step.
void FoldNameBytes(const char* from, std::size_t count, char* to) {
  for (std::size_t i = 0; i < count; ++i) {
    const auto byte = static_cast<std::uint8_t>(from[i]);
    const bool lower = static_cast<std::uint8_t>(byte - 0x61) < 26 || byte >= 0xE0;
    to[i] = static_cast<char>(byte - (lower ? 0x20 : 0));
  }
}

std::shared_ptr<const IndexTable> IndexTableBuilder::Finish() {
  if (!sections_) sections_ = std::make_unique<Sections>();
  folder_set_.reset();
  std::shared_ptr<Sections> s(sections_.release());
  // Without even a first offset there is no memory to build anything in.
  if (!s->Ready()) return nullptr;
  // The names were folded as they came.
  static constexpr char kPadding[IndexTable::kFoldedArenaPadding] = {};
  if (!s->folded_names.Append(kPadding, sizeof kPadding)) return nullptr;
  s->names.Trim();
  s->folded_names.Trim();
  s->name_starts.Trim();
  s->folders.Trim();
  s->folder_starts.Trim();
  s->folder_of.Trim();
  s->kinds.Trim();
  IndexTableParts parts;
  parts.names = s->names.data();
  parts.folded_names = s->folded_names.data();
  parts.name_starts = s->name_starts.data();
  parts.folders = s->folders.data();
  parts.folder_starts = s->folder_starts.data();
  parts.folder_of = s->folder_of.data();
  parts.kinds = s->kinds.data();
  parts.count = static_cast<std::int32_t>(s->kinds.size());
  parts.folder_count = static_cast<std::int32_t>(s->folder_starts.size()) - 1;
  parts.memory_bytes = s->Bytes();
  parts.storage = std::move(s);
  return IndexTableParts::Assemble(std::move(parts));
}

}  // namespace tandrel::index
