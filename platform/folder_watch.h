// Folder watches: the changes below a set of root folders as the system reports them,
// without polling. Paths are built as the folder scanner builds them: the root text
// unchanged, then one separator and a name per level, so a change names exactly the
// folder text and name of the index record it touches.
//
// POSIX rests on inotify: one instance per root (an overflow costs that root alone), a
// watch per folder, added as folders appear; the thread blocks in poll() on the
// instances and a wake-up descriptor. Windows rests on ReadDirectoryChangesW with the
// subtree flag, overlapped, one thread for all roots waiting on their events; an empty
// result or ERROR_NOTIFY_ENUM_DIR is its overflow. Wine reports only changes directly in
// a root.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tandrel::platform {

struct FolderChange {
  enum class Kind : std::uint8_t {
    kAppeared,  // `name` now exists in `folder`: created, or moved in from outside
    kVanished,  // `name` is gone from `folder`: deleted, or moved out of the root
    kMoved,     // `from_folder`/`from_name` is now `folder`/`name`, within the root
    kRescan,    // the root's notifications were lost or it went away: rescan it whole
  };
  Kind kind = Kind::kAppeared;
  std::size_t root = 0;  // position in the roots the watch was started with
  std::string folder;
  std::string name;
  std::string from_folder;  // kMoved only
  std::string from_name;
  bool is_folder = false;
};

// Watches roots on a thread of its own and hands over the changes in the order they
// happened, in batches (whatever the system had queued when the thread woke). A folder
// that appears, or moves within its root, comes with what it holds: its kAppeared or
// kMoved is followed by a kAppeared for every entry below it, listed once the folder was
// watched, so that nothing made in it is missed. An entry made meanwhile may come twice;
// the receiver keeps one entry per path.
class FolderWatch {
 public:
  // Called on the watch's thread; it may take its time (changes queue meanwhile, up to
  // the system's limit, beyond which the root gets a kRescan).
  using Receiver = std::function<void(std::vector<FolderChange>& batch)>;

  FolderWatch();
  ~FolderWatch();  // stops
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  // Sets up the watches of every root, then starts the thread. False when the thread
  // could not be started; a root that cannot be watched is only not live.
  [[nodiscard]] bool Start(const std::vector<std::string>& roots, Receiver receive);
  // Whether the changes of root `root` are reported: false while it cannot be watched
  // (missing, a file system without notifications, the system's watch limit reached).
  bool IsLive(std::size_t root) const;
  // Ends the thread; no receiver call runs afterwards.
  void Stop();

  struct State;  // per platform

 private:
  std::unique_ptr<State> state_;
};

}  // namespace tandrel::platform
