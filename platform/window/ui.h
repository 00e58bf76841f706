// The window layer as the application shell sees it: numbered windows and their events
// (window_set.h), controls and owner-data lists (controls.h), menus, the tray icon and
// images (menus.h), the shell (shell.h), and the status poster that worker threads use
// (status_poster.h).
//
// Ui is implemented twice: on Windows by the real window system (platform/win32/window),
// and headless (tests/support) so that the shell's logic runs in native unit tests.
// Every call is for the main thread, except the status poster's, which worker threads
// use to report progress; those never wait for the main thread.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/threads.h"
#include "platform/window/controls.h"
#include "platform/window/menus.h"
#include "platform/window/shell.h"
#include "platform/window/status_poster.h"
#include "platform/window/values.h"
#include "platform/window/window_set.h"

namespace tandrel::ui {

class Ui : public WindowSet, public Controls, public Menus, public Shell, public StatusPoster {
 public:
  virtual ~Ui() = default;

  // ---- The status poster: safe from any thread ----------------------------------------
  // Each records the newest value and returns at once; the main thread shows it during
  // its next wait for events (at the latest within one loop pass).
  void PostStatusText(FieldId field, std::string_view text) final;
  void PostProgress(int maximum, int position) final;
  void PostTrayImage(ImageId image) final;
  void PostTrayTooltip(std::string_view tooltip) final;
  void PostMenuItemEnabled(ItemId item, bool enabled) final;
  void PostListRows(WindowId window, ControlId id, std::shared_ptr<const RowSource> rows,
                    int fill_column) final;

 protected:
  // Shows what the Post* calls recorded; the implementations call it from WaitEvent.
  void ApplyPostedUpdates();

  virtual void ApplyStatusText(FieldId field, const std::string& text) = 0;
  virtual void ApplyProgress(int maximum, int position) = 0;
  virtual void ApplyTrayImage(ImageId image) = 0;
  virtual void ApplyTrayTooltip(const std::string& tooltip) = 0;
  virtual void ApplyMenuItemEnabled(ItemId item, bool enabled) = 0;

 private:
  struct Posted {
    std::vector<std::optional<std::string>> status_texts;
    std::optional<std::pair<int, int>> progress;
    std::optional<ImageId> tray_image;
    std::optional<std::string> tray_tooltip;
    std::vector<std::pair<ItemId, bool>> menu_states;  // in order, newest last
    struct ListRows {
      WindowId window{};
      ControlId id{};
      std::shared_ptr<const RowSource> rows;
      int fill_column = -1;
    };
    std::vector<ListRows> list_rows;  // the newest per list
  };
  platform::Mutex posted_lock_;
  Posted posted_;
  std::atomic<bool> posted_any_{false};  // lets the main thread skip the lock when idle
};

}  // namespace tandrel::ui

namespace tandrel::ui {
// The window system's own layer (Windows builds only).
std::unique_ptr<Ui> CreateSystemUi();
}  // namespace tandrel::ui
