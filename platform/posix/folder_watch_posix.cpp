// Folder watches on inotify. Each root has an instance of its own, so that an overflow
// costs that root a rescan and no other. The watch thread sleeps in poll() on the
// instances and an eventfd that Stop writes to; it wakes only when something happened.
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "platform/folder_watch.h"
#include "platform/posix/descriptor.h"
#include "platform/platform.h"

namespace tandrel::platform {
// Named rather than anonymous: the State of the header's FolderWatch holds these types.
namespace inotify {

constexpr std::uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                     IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// A move's two halves come one after the other, but may straddle two reads: the first
// half waits this long for its partner before it counts as a move out of the root.
constexpr int kMovePartnerWaitMs = 20;

std::string Join(const std::string& folder, const char* name) {
  std::string path;
  path.reserve(folder.size() + 1 + std::strlen(name));
  path.assign(folder).push_back(kPathSeparator);
  path.append(name);
  return path;
}

bool StartsBelow(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
         path[folder.size()] == kPathSeparator;
}

// The first half of a move, waiting for the second.
struct PendingMove {
  std::uint32_t cookie = 0;
  std::string folder;
  std::string name;
  bool is_folder = false;
};

class RootWatch {
 public:
  RootWatch(std::string root, std::size_t number) : root_(std::move(root)), number_(number) {}
  ~RootWatch() { Close(); }
  RootWatch(const RootWatch&) = delete;
  RootWatch& operator=(const RootWatch&) = delete;

  // A new instance with a watch on every folder of the tree; false when the root itself
  // cannot be watched.
  bool Open() {
    Close();
    fd_.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!fd_) return false;
    limit_reached_ = false;
    if (!WatchTree(root_) || limit_reached_) {
      Close();
      return false;
    }
    return true;
  }
  int Fd() const { return fd_.get(); }
  bool IsOpen() const { return static_cast<bool>(fd_); }
  bool HasPendingMove() const { return pending_.has_value(); }

  // Reads everything queued into `out`; false when the instance broke down.
  void Drain(std::vector<FolderChange>& out) {
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
      const ssize_t got = ::read(fd_.get(), buffer, sizeof buffer);
      if (got <= 0) break;  // EAGAIN: all read
      for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        if (!Handle(*event, out)) return;  // the instance was renewed: the rest is moot
      }
    }
  }

  // The first half of a move found no partner in time: it left the root.
  void FlushPendingMove(std::vector<FolderChange>& out) {
    if (!pending_) return;
    PendingMove move = std::move(*pending_);
    pending_.reset();
    if (move.is_folder) ForgetTree(Join(move.folder, move.name.c_str()));
    out.push_back(Change(FolderChange::Kind::kVanished, move.folder, move.name, move.is_folder));
  }

 private:
  void Close() {
    fd_.Reset();
    paths_.clear();
    pending_.reset();
  }

  FolderChange Change(FolderChange::Kind kind, std::string folder, std::string name,
                      bool is_folder) const {
    FolderChange change;
    change.kind = kind;
    change.root = number_;
    change.folder = std::move(folder);
    change.name = std::move(name);
    change.is_folder = is_folder;
    return change;
  }

  // Watches `folder` and every folder below it, as the scanner would enter them (links
  // too; a folder reached twice in one walk is not entered again). A folder watched
  // already is still walked: a folder below it may have appeared and moved before its
  // creation was read, so that its watch could not be added then.
  //
  // With `listed`, every entry below `folder` goes there as kAppeared, listed after its
  // folder's watch was added: what came before the watch is listed, what comes after is
  // reported by it, and what falls in between is both (the receiver adds a path once).
  // The receiver cannot list it itself: by the time it does, the folder may have moved
  // on, while changes read later still name it here.
  bool WatchTree(const std::string& folder, std::vector<FolderChange>* listed = nullptr) {
    std::unordered_set<int> walked;
    return WatchTree(folder, walked, listed);
  }
  bool WatchTree(const std::string& folder, std::unordered_set<int>& walked,
                 std::vector<FolderChange>* listed, bool via_link = false) {
    const int wd = ::inotify_add_watch(fd_.get(), folder.c_str(), kWatchMask);
    if (wd < 0) {
      if (errno == ENOSPC || errno == ENOMEM) limit_reached_ = true;
      return false;
    }
    if (!walked.insert(wd).second) return true;
    const auto [known, added] = paths_.emplace(wd, folder);
    if (!added && known->second != folder) {
      // A folder reached through a link keeps the path it was watched by.
      if (via_link) return true;
      // The folder moved into one that was not watched yet, so that the move's second
      // half never came: it is here now, and its first half, still to be read, must
      // not take its watches with it as a move out of the root.
      RenameTree(std::string(known->second), folder);
    }
    FolderListing listing(folder);
    FolderEntry entry;
    while (listing.Next(entry)) {
      if (entry.name == "." || entry.name == "..") continue;
      if (entry.name.find_first_of("\r\n") != std::string::npos) continue;
      if (listed != nullptr) {
        listed->push_back(Change(FolderChange::Kind::kAppeared, folder, entry.name, entry.is_folder));
      }
      if (entry.is_folder) WatchTree(Join(folder, entry.name.c_str()), walked, listed, entry.is_link);
    }
    return true;
  }

  // A folder left the root: its watches and those below it go.
  void ForgetTree(const std::string& folder) {
    for (auto it = paths_.begin(); it != paths_.end();) {
      if (it->second == folder || StartsBelow(it->second, folder)) {
        ::inotify_rm_watch(fd_.get(), it->first);
        it = paths_.erase(it);
      } else {
        ++it;
      }
    }
  }

  // A folder moved within the root: the watches stay, their paths follow it.
  void RenameTree(const std::string& from, const std::string& to) {
    for (auto& [wd, path] : paths_) {
      if (path == from) {
        path = to;
      } else if (StartsBelow(path, from)) {
        path = to + path.substr(from.size());
      }
    }
  }

  // False when the instance was renewed (an overflow, or the root went away).
  bool Handle(const inotify_event& event, std::vector<FolderChange>& out) {
    if (event.mask & IN_Q_OVERFLOW) return Renew(out);
    if (event.mask & IN_IGNORED) {
      paths_.erase(event.wd);
      return true;
    }
    const bool partner = (event.mask & IN_MOVED_TO) && pending_ && pending_->cookie == event.cookie;
    // Anything but its partner ends a waiting move first: a folder that left the root
    // loses its watches before an event from one of them is read as still inside.
    if (!partner) FlushPendingMove(out);
    const auto found = paths_.find(event.wd);
    if (found == paths_.end()) return true;
    if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
      // Below the root the parent reports it; the root itself has no watched parent.
      return found->second != root_ || Renew(out);
    }
    if (event.len == 0) return true;
    const std::string folder = found->second;
    const char* name = event.name;
    if (std::strpbrk(name, "\r\n") != nullptr) return true;  // the scanner leaves these out
    const bool is_folder = (event.mask & IN_ISDIR) != 0;
    if (event.mask & IN_MOVED_FROM) {
      pending_ = PendingMove{event.cookie, folder, name, is_folder};
      return true;
    }
    if (partner) {
      FolderChange change = Change(FolderChange::Kind::kMoved, folder, name, is_folder);
      change.from_folder = std::move(pending_->folder);
      change.from_name = std::move(pending_->name);
      pending_.reset();
      if (!is_folder) {
        out.push_back(std::move(change));
        return true;
      }
      const std::string to = Join(folder, name);
      RenameTree(Join(change.from_folder, change.from_name.c_str()), to);
      out.push_back(std::move(change));
      // A folder renamed before its creation was handled never got its watch; the
      // receiver takes the moved subtree from the listing.
      WatchTree(to, &out);
      return limit_reached_ ? Renew(out) : true;
    }
    if (event.mask & (IN_MOVED_TO | IN_CREATE)) return Appeared(folder, name, is_folder, out);
    if (event.mask & IN_DELETE) {
      out.push_back(Change(FolderChange::Kind::kVanished, folder, name, is_folder));
    }
    return true;
  }

  bool Appeared(const std::string& folder, const char* name, bool is_folder,
                std::vector<FolderChange>& out) {
    out.push_back(Change(FolderChange::Kind::kAppeared, folder, name, is_folder));
    if (!is_folder) return true;
    WatchTree(Join(folder, name), &out);
    // Past the system's limit the root can no longer follow every folder.
    return limit_reached_ ? Renew(out) : true;
  }

  // Notifications were lost: watch the tree anew, then ask for a rescan, which starts
  // after the watches are in place and so misses nothing.
  bool Renew(std::vector<FolderChange>& out) {
    Open();
    out.push_back(Change(FolderChange::Kind::kRescan, root_, {}, true));
    return false;
  }

  std::string root_;
  std::size_t number_;
  OwnedDescriptor fd_;
  bool limit_reached_ = false;
  std::unordered_map<int, std::string> paths_;  // watch descriptor: folder path
  std::optional<PendingMove> pending_;
};

}  // namespace inotify

struct FolderWatch::State {
  std::vector<std::unique_ptr<inotify::RootWatch>> roots;
  std::unique_ptr<std::atomic<bool>[]> live;
  OwnedDescriptor wake_fd;
  Receiver receive;
  Thread thread;

  void Loop(const StopToken& stop) {
    std::vector<pollfd> fds;
    std::vector<FolderChange> batch;
    while (!stop.StopRequested()) {
      fds.assign(1, pollfd{wake_fd.get(), POLLIN, 0});
      bool pending_move = false;
      for (const auto& root : roots) {
        fds.push_back(pollfd{root->Fd(), POLLIN, 0});  // -1 for a root not watched: ignored
        pending_move = pending_move || root->HasPendingMove();
      }
      const int ready = ::poll(fds.data(), fds.size(), pending_move ? inotify::kMovePartnerWaitMs : -1);
      if (ready < 0 && errno != EINTR) return;
      if (fds[0].revents != 0) return;  // Stop
      batch.clear();
      for (std::size_t i = 0; i < roots.size(); ++i) {
        inotify::RootWatch& root = *roots[i];
        if (fds[i + 1].revents != 0) {
          root.Drain(batch);
        } else if (ready == 0) {
          root.FlushPendingMove(batch);
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
  state->wake_fd.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!state->wake_fd) return false;
  state->live = std::make_unique<std::atomic<bool>[]>(roots.size());
  for (std::size_t i = 0; i < roots.size(); ++i) {
    state->roots.push_back(std::make_unique<inotify::RootWatch>(roots[i], i));
    state->live[i].store(state->roots.back()->Open());
  }
  state->receive = std::move(receive);
  State* raw = state.get();
  if (!state->thread.Start([raw](const StopToken& stop) { raw->Loop(stop); })) return false;
  state_ = std::move(state);
  return true;
}

bool FolderWatch::IsLive(std::size_t root) const {
  return state_ != nullptr && root < state_->roots.size() &&
         state_->live[root].load(std::memory_order_acquire);
}

void FolderWatch::Stop() {
  if (!state_) return;
  state_->thread.RequestStop();
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(state_->wake_fd.get(), &one, sizeof one);
  state_->thread.Wait();
  state_.reset();
}

}  // namespace tandrel::platform
