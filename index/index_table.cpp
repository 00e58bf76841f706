// Building the immutable IndexTable: names appended to one arena, folders interned.
#include <array>
#include <cstring>
#include <limits>

#include "index/index.h"

namespace tandrel {
namespace {

constexpr std::size_t kMaxArenaBytes = std::numeric_limits<std::uint32_t>::max();
constexpr std::int32_t kMaxEntries = std::numeric_limits<std::int32_t>::max();

std::uint64_t Mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  return h;
}

// Folder texts are long (full paths), so hash eight bytes at a time.
std::uint64_t HashText(std::string_view text) {
  std::uint64_t h = 0x9e3779b97f4a7c15ULL ^ text.size();
  const char* p = text.data();
  std::size_t n = text.size();
  for (; n >= 8; p += 8, n -= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    h = (h ^ word) * 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 29;
  }
  if (n > 0) {
    std::uint64_t word = 0;
    std::memcpy(&word, p, n);
    h = (h ^ word) * 0xc4ceb9fe1a85ec53ULL;
  }
  return Mix(h);
}

}  // namespace

std::size_t IndexTable::MemoryBytes() const {
  return names_.capacity() + folded_names_.capacity() + folders_.capacity() + kinds_.capacity() +
         sizeof(std::uint32_t) *
             (name_starts_.capacity() + folder_starts_.capacity() + folder_of_.capacity());
}

// Open-addressing set of the folder texts seen so far, mapping each to its number.
// Records of one folder mostly arrive together, so the last folder is tried first.
class IndexTableBuilder::FolderSet {
 public:
  explicit FolderSet(IndexTable& table) : table_(table) { slots_.assign(1024, Slot{}); }

  // The folder's number, adding the folder if it is new; false when the arena is full.
  bool Intern(std::string_view folder, std::uint32_t& number) {
    if (last_ != kEmpty && Text(last_) == folder) {
      number = last_;
      return true;
    }
    const std::uint64_t hash = HashText(folder);
    const std::size_t mask = slots_.size() - 1;
    const auto short_hash = static_cast<std::uint32_t>(hash);
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      const Slot slot = slots_[i];
      if (slot.number == kEmpty) break;
      if (slot.hash == short_hash && Text(slot.number) == folder) {
        number = last_ = slot.number;
        return true;
      }
    }
    if (table_.folders_.size() + folder.size() > kMaxArenaBytes) return false;
    number = last_ = count_++;
    table_.folders_.insert(table_.folders_.end(), folder.begin(), folder.end());
    table_.folder_starts_.push_back(static_cast<std::uint32_t>(table_.folders_.size()));
    if (std::size_t{count_} * 2 > slots_.size()) {
      Grow();
    } else {
      Place(Slot{number, short_hash}, hash);
    }
    return true;
  }

 private:
  static constexpr std::uint32_t kEmpty = std::numeric_limits<std::uint32_t>::max();

  // The hash sits beside the number so that a probe touches one cache line.
  struct Slot {
    std::uint32_t number = kEmpty;
    std::uint32_t hash = 0;  // low half of the folder's hash
  };

  std::string_view Text(std::uint32_t number) const {
    const std::uint32_t begin = table_.folder_starts_[number];
    return {table_.folders_.data() + begin, table_.folder_starts_[number + 1] - begin};
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

  IndexTable& table_;
  std::vector<Slot> slots_;
  std::uint32_t count_ = 0;  // folders so far
  std::uint32_t last_ = kEmpty;
};

IndexTableBuilder::IndexTableBuilder()
    : table_(new IndexTable), folder_set_(std::make_unique<FolderSet>(*table_)) {}

IndexTableBuilder::~IndexTableBuilder() = default;

std::int32_t IndexTableBuilder::EntryCount() const {
  return table_ ? table_->EntryCount() : 0;
}

bool IndexTableBuilder::Add(std::string_view name, std::string_view folder, std::int8_t kind) {
  return BeginEntry(name) && EndEntry(folder, kind);
}

bool IndexTableBuilder::BeginEntry(std::string_view name) {
  if (!table_) {
    table_.reset(new IndexTable);
    folder_set_ = std::make_unique<FolderSet>(*table_);
  }
  IndexTable& t = *table_;
  if (t.EntryCount() == kMaxEntries || t.names_.size() + name.size() > kMaxArenaBytes) {
    return false;
  }
  t.names_.insert(t.names_.end(), name.begin(), name.end());
  return true;
}

bool IndexTableBuilder::EndEntry(std::string_view folder, std::int8_t kind) {
  IndexTable& t = *table_;
  std::uint32_t folder_number = 0;
  if (!folder_set_->Intern(folder, folder_number)) {
    t.names_.resize(t.name_starts_.back());  // take the begun name back
    return false;
  }
  t.name_starts_.push_back(static_cast<std::uint32_t>(t.names_.size()));
  t.folder_of_.push_back(folder_number);
  t.kinds_.push_back(kind);
  return true;
}

namespace {

// Folded once per table, so that a search compares bytes and folds nothing.
void FoldNames(const std::vector<char>& names, std::vector<char>& folded) {
  static constexpr auto kFold = [] {
    std::array<char, 256> map{};
    for (int b = 0; b < 256; ++b) {
      map[static_cast<std::size_t>(b)] =
          static_cast<char>(FoldNameByte(static_cast<std::uint8_t>(b)));
    }
    return map;
  }();
  folded.assign(names.size() + IndexTable::kFoldedArenaPadding, '\0');
  for (std::size_t i = 0; i < names.size(); ++i) {
    folded[i] = kFold[static_cast<std::uint8_t>(names[i])];
  }
}

}  // namespace

std::shared_ptr<const IndexTable> IndexTableBuilder::Finish() {
  if (!table_) table_.reset(new IndexTable);
  folder_set_.reset();
  IndexTable& t = *table_;
  t.names_.shrink_to_fit();
  FoldNames(t.names_, t.folded_names_);
  t.name_starts_.shrink_to_fit();
  t.folders_.shrink_to_fit();
  t.folder_starts_.shrink_to_fit();
  t.folder_of_.shrink_to_fit();
  t.kinds_.shrink_to_fit();
  return std::shared_ptr<const IndexTable>(table_.release());
}

}  // namespace tandrel
