// The live index's changes: the removed bits, the added entries, the lookup that finds
// a table entry by its path without a pass over the table, and publishing.
#include "index/live_index.h"

#include <algorithm>
#include <span>

namespace tandrel::index {

// The table's entries by folder, and within a folder by name: built once per table, so
// that a change by path costs a hash look-up and a binary search. The folders are also
// kept in text order, where every folder below one is in a single run.
class LiveIndex::TableLookup {
 public:
  explicit TableLookup(const IndexTable& table) : table_(table) {
    const std::int32_t folders = table.DistinctFolderCount();
    const std::int32_t count = table.EntryCount();
    folder_numbers_.reserve(static_cast<std::size_t>(folders));
    sorted_folders_.reserve(static_cast<std::size_t>(folders));
    for (std::int32_t f = 0; f < folders; ++f) {
      folder_numbers_.emplace(FolderText(static_cast<std::uint32_t>(f)), static_cast<std::uint32_t>(f));
      sorted_folders_.push_back(static_cast<std::uint32_t>(f));
    }
    std::sort(sorted_folders_.begin(), sorted_folders_.end(),
              [&](std::uint32_t a, std::uint32_t b) { return FolderText(a) < FolderText(b); });
    // Counting sort by folder, then each folder's entries by name.
    first_.assign(static_cast<std::size_t>(folders) + 1, 0);
    for (std::int32_t i = 0; i < count; ++i) ++first_[table.FolderOf()[i] + 1];
    for (std::size_t f = 1; f < first_.size(); ++f) first_[f] += first_[f - 1];
    by_folder_.resize(static_cast<std::size_t>(count));
    std::vector<std::uint32_t> next(first_.begin(), first_.end() - 1);
    for (std::int32_t i = 0; i < count; ++i) by_folder_[next[table.FolderOf()[i]]++] = i;
    for (std::int32_t f = 0; f < folders; ++f) {
      std::sort(by_folder_.begin() + first_[f], by_folder_.begin() + first_[f + 1],
                [&](std::int32_t a, std::int32_t b) { return table.Name(a) < table.Name(b); });
    }
  }

  std::span<const std::int32_t> InFolder(std::string_view folder) const {
    const auto found = folder_numbers_.find(folder);
    if (found == folder_numbers_.end()) return {};
    return InFolder(found->second);
  }

  std::span<const std::int32_t> WithPath(std::string_view folder, std::string_view name) const {
    const std::span<const std::int32_t> all = InFolder(folder);
    const auto range = std::equal_range(
        all.begin(), all.end(), name, [&](const auto& a, const auto& b) { return NameOf(a) < NameOf(b); });
    return {range.first, range.second};
  }

  // Calls `visit(entry)` for every entry whose folder text starts with `prefix`.
  template <class Visit>
  void ForEachWithFolderPrefix(std::string_view prefix, Visit visit) const {
    auto at = std::lower_bound(sorted_folders_.begin(), sorted_folders_.end(), prefix,
                               [&](std::uint32_t f, std::string_view text) { return FolderText(f) < text; });
    for (; at != sorted_folders_.end() && FolderText(*at).starts_with(prefix); ++at) {
      for (const std::int32_t entry : InFolder(*at)) visit(entry);
    }
  }

 private:
  std::string_view FolderText(std::uint32_t f) const {
    const std::uint32_t begin = table_.FolderStarts()[f];
    return {table_.FolderArena() + begin, table_.FolderStarts()[f + 1] - begin};
  }
  std::span<const std::int32_t> InFolder(std::uint32_t f) const {
    return {by_folder_.data() + first_[f], first_[f + 1] - first_[f]};
  }
  std::string_view NameOf(std::int32_t entry) const { return table_.Name(entry); }
  static std::string_view NameOf(std::string_view name) { return name; }

  const IndexTable& table_;
  std::unordered_map<std::string_view, std::uint32_t> folder_numbers_;
  std::vector<std::uint32_t> sorted_folders_;  // folder numbers in the order of their texts
  std::vector<std::uint32_t> first_;
  std::vector<std::int32_t> by_folder_;
};

LiveIndex::LiveIndex(std::shared_ptr<const IndexTable> table)
    : table_(std::move(table)),
      removed_((static_cast<std::size_t>(table_->EntryCount()) + 63) / 64, 0) {}

LiveIndex::~LiveIndex() = default;
LiveIndex::LiveIndex(LiveIndex&&) noexcept = default;
LiveIndex& LiveIndex::operator=(LiveIndex&&) noexcept = default;

std::string LiveIndex::PathKey(std::string_view folder, std::string_view name) {
  // LF ends a text in the index records, so it never occurs in either part.
  std::string key;
  key.reserve(folder.size() + 1 + name.size());
  key.append(folder).push_back('\n');
  key.append(name);
  return key;
}

bool LiveIndex::Apply(const LiveStep& step) {
  switch (step.kind) {
    case LiveStep::Kind::kRemoveTableEntry:
      if (step.number >= static_cast<std::uint32_t>(table_->EntryCount())) return false;
      if ((removed_[step.number >> 6] >> (step.number & 63)) & 1U) return false;
      RemoveTableEntry(step.number);
      return true;
    case LiveStep::Kind::kAdd:
      if (step.entry_kind != kEntryFile && step.entry_kind != kEntryFolder) return false;
      if (added_.size() >= 0x7FFFFFFF) return false;
      added_.push_back({step.name, step.folder, step.entry_kind, true});
      ++added_live_;
      ++step_count_;
      changed_since_publish_ = true;
      if (lookup_) IndexAdded(static_cast<std::uint32_t>(added_.size() - 1));
      return true;
    case LiveStep::Kind::kRemoveAdded:
      if (step.number >= added_.size() || !added_[step.number].live) return false;
      RemoveAdded(step.number);
      return true;
  }
  return false;
}

void LiveIndex::RemoveTableEntry(std::uint32_t entry) {
  removed_[entry >> 6] |= std::uint64_t{1} << (entry & 63);
  ++removed_count_;
  ++step_count_;
  changed_since_publish_ = true;
}

void LiveIndex::RemoveAdded(std::uint32_t number) {
  Added& added = added_[number];
  added.live = false;
  --added_live_;
  ++step_count_;
  changed_since_publish_ = true;
  if (!lookup_) return;
  const auto drop = [number](auto& map, const std::string& key) {
    const auto found = map.find(key);
    if (found == map.end()) return;
    std::erase(found->second, number);
    if (found->second.empty()) map.erase(found);
  };
  drop(added_by_path_, PathKey(added.folder, added.name));
  drop(added_by_folder_, added.folder);
}

void LiveIndex::IndexAdded(std::uint32_t number) {
  const Added& added = added_[number];
  added_by_path_[PathKey(added.folder, added.name)].push_back(number);
  added_by_folder_[added.folder].push_back(number);
}

void LiveIndex::EnsureLookup() {
  if (lookup_) return;
  lookup_ = std::make_unique<TableLookup>(*table_);
  for (std::uint32_t n = 0; n < added_.size(); ++n) {
    if (added_[n].live) IndexAdded(n);
  }
}

void LiveIndex::Record(LiveStep step) {
  const bool applied = Apply(step);
  if (applied) steps_.push_back(std::move(step));
}

void LiveIndex::Add(std::string_view folder, std::string_view name, std::int8_t kind) {
  EnsureLookup();
  for (const std::int32_t entry : lookup_->WithPath(folder, name)) {
    if (!((removed_[static_cast<std::size_t>(entry) >> 6] >> (entry & 63)) & 1U)) return;
  }
  if (added_by_path_.contains(PathKey(folder, name))) return;
  LiveStep step;
  step.kind = LiveStep::Kind::kAdd;
  step.entry_kind = kind;
  step.name = name;
  step.folder = folder;
  Record(std::move(step));
}

void LiveIndex::Remove(std::string_view folder, std::string_view name) {
  EnsureLookup();
  for (const std::int32_t entry : lookup_->WithPath(folder, name)) RemoveIfLive(entry);
  if (const auto found = added_by_path_.find(PathKey(folder, name)); found != added_by_path_.end()) {
    const std::vector<std::uint32_t> numbers = found->second;  // Record changes the map
    for (const std::uint32_t number : numbers) Record({LiveStep::Kind::kRemoveAdded, number, kEntryFile, {}, {}});
  }
  // Whatever the path held goes too, even where its own entry is missing: a change
  // reported below a folder can come before the folder's entry, or without it when the
  // folder moved on before it could be listed.
  std::string below(folder);
  below.push_back(platform::kPathSeparator);
  below.append(name);
  RemoveBelow(below);
}

void LiveIndex::RemoveIfLive(std::int32_t entry) {
  if ((removed_[static_cast<std::size_t>(entry) >> 6] >> (entry & 63)) & 1U) return;
  Record({LiveStep::Kind::kRemoveTableEntry, static_cast<std::uint32_t>(entry), kEntryFile, {}, {}});
}

void LiveIndex::RemoveBelow(std::string_view folder) {
  EnsureLookup();
  // By the folder texts alone: everything in `folder` and in any folder below it.
  for (const std::int32_t entry : lookup_->InFolder(folder)) RemoveIfLive(entry);
  std::string prefix(folder);
  prefix.push_back(platform::kPathSeparator);
  lookup_->ForEachWithFolderPrefix(prefix, [&](std::int32_t entry) { RemoveIfLive(entry); });
  std::vector<std::uint32_t> numbers;
  if (const auto found = added_by_folder_.find(folder); found != added_by_folder_.end()) numbers = found->second;
  for (auto at = added_by_folder_.lower_bound(prefix);
       at != added_by_folder_.end() && at->first.starts_with(prefix); ++at) {
    numbers.insert(numbers.end(), at->second.begin(), at->second.end());
  }
  for (const std::uint32_t number : numbers) Record({LiveStep::Kind::kRemoveAdded, number, kEntryFile, {}, {}});
}

void LiveIndex::BeginWalk(std::string_view folder) {
  EnsureLookup();
  walk_folder_ = folder;
  walk_found_.assign(removed_.size(), 0);
  walk_found_added_.assign(added_.size(), false);
}

void LiveIndex::Found(std::string_view folder, std::string_view name, std::int8_t kind) {
  bool other_kind = false;
  for (const std::int32_t entry : lookup_->WithPath(folder, name)) {
    if ((removed_[static_cast<std::size_t>(entry) >> 6] >> (entry & 63)) & 1U) continue;
    if (table_->Kind(entry) != kind) {
      other_kind = true;
      continue;
    }
    walk_found_[static_cast<std::size_t>(entry) >> 6] |= std::uint64_t{1} << (entry & 63);
    return;
  }
  if (const auto found = added_by_path_.find(PathKey(folder, name)); found != added_by_path_.end()) {
    for (const std::uint32_t number : found->second) {
      if (added_[number].kind != kind) {
        other_kind = true;
        continue;
      }
      if (number < walk_found_added_.size()) walk_found_added_[number] = true;
      return;
    }
  }
  // A file where a folder was, or the reverse: the entry found replaces it. The walk
  // lists a folder before what it holds, so nothing found so far is below it.
  if (other_kind) Remove(folder, name);
  Add(folder, name, kind);
}

void LiveIndex::EndWalk(bool remove_missed) {
  if (!remove_missed) {
    walk_found_.clear();
    walk_found_added_.clear();
    walk_folder_.clear();
    return;
  }
  // Entries added during the walk were found by it or came from a change after it.
  const auto missed = [&](std::int32_t entry) {
    if (!((walk_found_[static_cast<std::size_t>(entry) >> 6] >> (entry & 63)) & 1U)) RemoveIfLive(entry);
  };
  for (const std::int32_t entry : lookup_->InFolder(walk_folder_)) missed(entry);
  const std::string prefix = walk_folder_ + platform::kPathSeparator;
  lookup_->ForEachWithFolderPrefix(prefix, missed);
  std::vector<std::uint32_t> numbers;
  const auto collect = [&](const std::vector<std::uint32_t>& in) {
    for (const std::uint32_t number : in) {
      if (number < walk_found_added_.size() && !walk_found_added_[number]) numbers.push_back(number);
    }
  };
  if (const auto found = added_by_folder_.find(walk_folder_); found != added_by_folder_.end()) collect(found->second);
  for (auto at = added_by_folder_.lower_bound(prefix); at != added_by_folder_.end() && at->first.starts_with(prefix);
       ++at) {
    collect(at->second);
  }
  for (const std::uint32_t number : numbers) Record({LiveStep::Kind::kRemoveAdded, number, kEntryFile, {}, {}});
  walk_found_.clear();
  walk_found_added_.clear();
  walk_folder_.clear();
}

std::vector<LiveStep> LiveIndex::TakeSteps() { return std::exchange(steps_, {}); }

LiveIndexVersion LiveIndex::Publish() {
  if (!changed_since_publish_ && published_.table) return published_;
  LiveIndexVersion version;
  version.table = table_;
  version.removed_count = removed_count_;
  if (removed_count_ > 0) version.removed = std::make_shared<const std::vector<std::uint64_t>>(removed_);
  if (added_live_ > 0) {
    IndexTableBuilder builder;
    for (const Added& added : added_) {
      if (added.live) (void)builder.Add(added.name, added.folder, added.kind);
    }
    version.added = builder.Finish();
  }
  published_ = version;
  changed_since_publish_ = false;
  return version;
}

void LiveIndexSlot::Publish(LiveIndexVersion version) {
  {
    platform::LockGuard hold(lock_);
    std::swap(version_, version);
  }
  // The previous version is freed here, outside the lock, if this was its last holder.
}

LiveIndexVersion LiveIndexSlot::Current() const {
  platform::LockGuard hold(lock_);
  return version_;
}

namespace {
struct ProcessLiveIndex {
  platform::Mutex lock;  // held while the slot is read, so that it is not replaced meanwhile
  const LiveIndexSlot* slot = nullptr;
};
ProcessLiveIndex& ProcessLive() {
  static ProcessLiveIndex live;
  return live;
}
}  // namespace

void UseLiveIndexSlot(const LiveIndexSlot* slot) {
  ProcessLiveIndex& live = ProcessLive();
  platform::LockGuard hold(live.lock);
  live.slot = slot;
}

LiveIndexVersion CurrentLiveIndex() {
  {
    ProcessLiveIndex& live = ProcessLive();
    platform::LockGuard hold(live.lock);
    if (live.slot != nullptr) {
      LiveIndexVersion version = live.slot->Current();
      if (version.table) return version;
    }
  }
  LiveIndexVersion loaded;
  loaded.table = CurrentIndexTable();
  return loaded;
}

}  // namespace tandrel::index
