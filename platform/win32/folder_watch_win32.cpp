// Folder watches on Windows: ReadDirectoryChangesW on each root with the subtree flag,
// overlapped, so that one thread waits for all roots and a stop request at once and
// wakes only when something happened. Names come as UTF-16 paths relative to the root
// and are turned into their stored form, name by name, as the folder listing gives them.
//
// The system reports a folder moved in, or renamed, by its own name only: what it holds
// is listed here, as the scanner would list it. A read that comes back empty, or with
// ERROR_NOTIFY_ENUM_DIR, lost changes (the buffer overflowed): the root is rescanned.
// Wine 8.0 reports only changes directly in the root, whatever the subtree flag says.
#include <windows.h>

#include <memory>
#include <algorithm>
#include <cstddef>
#include <optional>

#include "platform/folder_watch.h"
#include "platform/platform.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide_paths.h"

namespace tandrel::platform {
// Named rather than anonymous: the State of the header's FolderWatch holds these types.
namespace change_reads {

constexpr DWORD kNotifyFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME;
// Network shares refuse a buffer above 64 KB.
constexpr DWORD kBufferBytes = 64 * 1024;
// A rename's first half waits this long for its second before it counts as a move out.
constexpr DWORD kRenamePartnerWaitMs = 20;
// One handle of the wait is the stop event.
constexpr std::size_t kMostRoots = MAXIMUM_WAIT_OBJECTS - 1;

// `folder`, one separator and `name`, as the scanner joins them.
std::string Join(const std::string& folder, std::string_view name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());
  path.assign(folder).push_back(kPathSeparator);
  path.append(name);
  return path;
}

class RootWatch {
 public:
  RootWatch(std::string root, std::size_t number) : root_(std::move(root)), number_(number) {}
  ~RootWatch() { Close(); }
  RootWatch(const RootWatch&) = delete;
  RootWatch& operator=(const RootWatch&) = delete;

  // Opens the root and starts the first read; false when the root cannot be watched.
  bool Open() {
    const std::optional<std::wstring> wide = win32::WidePathOf(root_);
    if (!wide) return false;
    wide_root_ = *wide;
    while (wide_root_.size() > 3 && (wide_root_.back() == L'\\' || wide_root_.back() == L'/')) {
      wide_root_.pop_back();
    }
    folder_ = win32::OwnedHandle(::CreateFileW(
        wide_root_.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
    if (folder_.get() == INVALID_HANDLE_VALUE) {
      (void)folder_.Release();
      return false;
    }
    event_ = win32::OwnedHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    buffer_ = std::make_unique<DWORD[]>(kBufferBytes / sizeof(DWORD));
    if (!event_ || !StartRead()) {
      Close();
      return false;
    }
    return true;
  }
  bool IsOpen() const { return reading_; }
  bool HasOldName() const { return old_name_.has_value(); }
  bool HasFoldersToRelist() const { return !relist_.empty(); }

  // A rename's first half whose second did not follow: the name left the root (Wine
  // reports a move out so, and may split a rename's halves over two reads).
  void FlushOldName(std::vector<FolderChange>& out) {
    if (old_name_) out.push_back(Change(FolderChange::Kind::kVanished, old_name_->folder, old_name_->name, false));
    old_name_.reset();
  }
  // Lists the folders that appeared once more, now that the notifications are quiet:
  // Wine may list a folder that was just moved in as empty. What comes twice, the
  // receiver keeps once.
  void RelistFolders(std::vector<FolderChange>& out) {
    for (const std::string& folder : relist_) {
      FolderListing listing(folder);
      ListTree(listing, folder, out);
    }
    relist_.clear();
  }
  HANDLE Event() const { return event_.get(); }
  bool HasResult() const { return reading_ && HasOverlappedIoCompleted(&overlapped_); }

  // Takes the finished read's changes into `out` and starts the next read. A root that
  // can no longer be read is closed and rescanned once (it may be gone).
  void TakeResult(std::vector<FolderChange>& out) {
    DWORD bytes = 0;
    const BOOL done = ::GetOverlappedResult(folder_.get(), &overlapped_, &bytes, FALSE);
    reading_ = false;
    const DWORD error = done ? ERROR_SUCCESS : ::GetLastError();
    if (done && bytes > 0) {
      Parse(bytes, out);
    } else if (done || error == ERROR_NOTIFY_ENUM_DIR) {
      out.push_back(Change(FolderChange::Kind::kRescan, root_, {}, true));
    } else {
      Close();
      out.push_back(Change(FolderChange::Kind::kRescan, root_, {}, true));
      return;
    }
    if (!StartRead()) {
      Close();
      out.push_back(Change(FolderChange::Kind::kRescan, root_, {}, true));
    }
  }

 private:
  bool StartRead() {
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = event_.get();
    ::ResetEvent(event_.get());
    reading_ = ::ReadDirectoryChangesW(folder_.get(), buffer_.get(), kBufferBytes, TRUE, kNotifyFilter,
                                       nullptr, &overlapped_, nullptr) != FALSE;
    return reading_;
  }

  // A read still running owns the buffer until the system has let it go.
  void Close() {
    if (reading_) {
      ::CancelIoEx(folder_.get(), &overlapped_);
      DWORD ignored = 0;
      (void)::GetOverlappedResult(folder_.get(), &overlapped_, &ignored, TRUE);
      reading_ = false;
    }
    folder_.Reset();
    event_.Reset();
  }

  FolderChange Change(FolderChange::Kind kind, std::string folder, std::string name, bool is_folder) const {
    FolderChange change;
    change.kind = kind;
    change.root = number_;
    change.folder = std::move(folder);
    change.name = std::move(name);
    change.is_folder = is_folder;
    return change;
  }

  // A path below the root as reported, split into the stored folder text and name.
  struct Reported {
    std::wstring relative;
    std::string folder;
    std::string name;
  };
  Reported Split(std::wstring relative) const {
    Reported reported;
    std::string folder = root_;
    std::size_t begin = 0;
    for (;;) {
      const std::size_t end = relative.find_first_of(L"\\/", begin);
      const std::string name = win32::StoredNameOf(std::wstring_view(relative).substr(
          begin, end == std::wstring::npos ? std::wstring::npos : end - begin));
      if (end == std::wstring::npos) {
        reported.name = name;
        break;
      }
      folder = Join(folder, name);
      begin = end + 1;
    }
    reported.folder = std::move(folder);
    reported.relative = std::move(relative);
    return reported;
  }

  bool IsFolderNow(const std::wstring& relative) const {
    const DWORD attributes = ::GetFileAttributesW((wide_root_ + L'\\' + relative).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  void Parse(DWORD bytes, std::vector<FolderChange>& out) {
    const auto* base = reinterpret_cast<const unsigned char*>(buffer_.get());
    for (DWORD at = 0;;) {
      constexpr DWORD kHead = offsetof(FILE_NOTIFY_INFORMATION, FileName);
      if (at > bytes || bytes - at < kHead) break;
      const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(base + at);
      // The name's length is the system's word; it is held to the bytes it sent.
      const DWORD name_bytes = std::min<DWORD>(info->FileNameLength, bytes - at - kHead);
      std::wstring relative(info->FileName, name_bytes / sizeof(WCHAR));
      if (!relative.empty() && relative.find_first_of(L"\r\n") == std::wstring::npos) {
        Reported reported = Split(std::move(relative));
        switch (info->Action) {
          case FILE_ACTION_RENAMED_OLD_NAME:
            FlushOldName(out);
            old_name_ = std::move(reported);
            break;
          case FILE_ACTION_RENAMED_NEW_NAME:
            if (old_name_) {
              Moved(std::move(*old_name_), std::move(reported), out);
              old_name_.reset();
            } else {
              Appeared(std::move(reported), out);
            }
            break;
          case FILE_ACTION_ADDED:
            FlushOldName(out);
            Appeared(std::move(reported), out);
            break;
          case FILE_ACTION_REMOVED:
            FlushOldName(out);
            out.push_back(Change(FolderChange::Kind::kVanished, reported.folder, reported.name, false));
            break;
          default: break;
        }
      }
      if (info->NextEntryOffset == 0) break;
      at += info->NextEntryOffset;
    }
  }

  void Appeared(Reported reported, std::vector<FolderChange>& out) {
    const bool is_folder = IsFolderNow(reported.relative);
    out.push_back(Change(FolderChange::Kind::kAppeared, reported.folder, reported.name, is_folder));
    if (is_folder) ListTree(Join(reported.folder, reported.name), out);
  }

  void Moved(Reported from, Reported to, std::vector<FolderChange>& out) {
    const bool is_folder = IsFolderNow(to.relative);
    FolderChange change = Change(FolderChange::Kind::kMoved, to.folder, to.name, is_folder);
    change.from_folder = std::move(from.folder);
    change.from_name = std::move(from.name);
    out.push_back(std::move(change));
    if (is_folder) ListTree(Join(to.folder, to.name), out);
  }

  // Everything below a folder that appeared, as kAppeared, in the scanner's order. The
  // system reports what is made in it from now on; what falls in between comes twice,
  // and the receiver keeps one entry per path.
  void ListTree(const std::string& folder, std::vector<FolderChange>& out) {
    FolderListing listing(folder);
    ListTree(listing, folder, out);
    relist_.push_back(folder);
  }
  void ListTree(FolderListing& listing, const std::string& folder, std::vector<FolderChange>& out) {
    // Links are not followed here: the subtree flag does not follow them either, and a
    // link back up would make the listing endless.
    FolderEntry entry;
    while (listing.Next(entry)) {
      if (entry.name == "." || entry.name == "..") continue;
      if (entry.name.find_first_of("\r\n") != std::string::npos) continue;
      out.push_back(Change(FolderChange::Kind::kAppeared, folder, entry.name, entry.is_folder));
      if (!entry.is_folder || entry.is_link) continue;
      const std::string sub = Join(folder, entry.name);
      FolderListing inner(listing, sub);
      ListTree(inner, sub, out);
    }
  }

  std::string root_;
  std::wstring wide_root_;
  std::size_t number_;
  win32::OwnedHandle folder_;
  win32::OwnedHandle event_;
  OVERLAPPED overlapped_{};
  std::unique_ptr<DWORD[]> buffer_;  // DWORD-aligned, as the system asks
  bool reading_ = false;
  std::optional<Reported> old_name_;  // a rename's first half, waiting for its second
  std::vector<std::string> relist_;   // folders that appeared, to be listed once more
};

}  // namespace change_reads

struct FolderWatch::State {
  std::vector<std::unique_ptr<change_reads::RootWatch>> roots;  // one per distinct root text
  std::unique_ptr<std::atomic<bool>[]> live;      // by position in `roots`
  std::vector<std::size_t> watch_of;              // each given root's position in `roots`
  win32::OwnedHandle wake;  // set by Stop
  Receiver receive;
  Thread thread;

  void Loop(const StopToken& stop) {
    std::vector<HANDLE> handles;
    std::vector<FolderChange> batch;
    while (!stop.StopRequested()) {
      handles.assign(1, wake.get());
      bool pending = false;  // a rename's half, or folders to list again
      for (const auto& root : roots) {
        if (root->IsOpen()) handles.push_back(root->Event());
        pending = pending || root->HasOldName() || root->HasFoldersToRelist();
      }
      const DWORD woke = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(),
                                                  FALSE, pending ? change_reads::kRenamePartnerWaitMs : INFINITE);
      if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED) return;
      batch.clear();
      for (std::size_t i = 0; i < roots.size(); ++i) {
        change_reads::RootWatch& root = *roots[i];
        if (root.HasResult()) {
          root.TakeResult(batch);
        } else if (woke == WAIT_TIMEOUT) {
          root.FlushOldName(batch);
          root.RelistFolders(batch);
        }
        live[i].store(root.IsOpen(), std::memory_order_release);
      }
      if (!batch.empty()) receive(batch);
    }
  }
};

FolderWatch::FolderWatch() = default;

FolderWatch::~FolderWatch() { Stop(); }

bool FolderWatch::Start(const std::vector<std::string>& roots, Receiver receive) {
  Stop();
  auto state = std::make_unique<State>();
  state->wake = win32::OwnedHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!state->wake) return false;
  state->live = std::make_unique<std::atomic<bool>[]>(roots.size());
  for (std::size_t i = 0; i < roots.size(); ++i) {
    // A root given twice is watched once: its changes name the same paths.
    const auto first = std::find(roots.begin(), roots.begin() + static_cast<std::ptrdiff_t>(i), roots[i]);
    if (first != roots.begin() + static_cast<std::ptrdiff_t>(i)) {
      state->watch_of.push_back(state->watch_of[static_cast<std::size_t>(first - roots.begin())]);
      continue;
    }
    const std::size_t position = state->roots.size();
    state->watch_of.push_back(position);
    state->roots.push_back(std::make_unique<change_reads::RootWatch>(roots[i], i));
    // Past the wait's limit of handles a root is not watched: its owner rescans it.
    state->live[position].store(position < change_reads::kMostRoots && state->roots.back()->Open());
  }
  state->receive = std::move(receive);
  State* raw = state.get();
  if (!state->thread.Start([raw](const StopToken& stop) { raw->Loop(stop); })) return false;
  state_ = std::move(state);
  return true;
}

bool FolderWatch::IsLive(std::size_t root) const {
  return state_ != nullptr && root < state_->watch_of.size() &&
         state_->live[state_->watch_of[root]].load(std::memory_order_acquire);
}

void FolderWatch::Stop() {
  if (!state_) return;
  state_->thread.RequestStop();
  ::SetEvent(state_->wake.get());
  state_->thread.Wait();
  state_.reset();
}

}  // namespace tandrel::platform
