// The window layer as the application shell sees it: windows, controls, menus, the tray
// icon and message boxes, all addressed by small numbers, and one stream of events.
//
// Ui is implemented twice: on Windows by the real window system (platform/win32), and
// headless (tests/support) so that the shell's logic runs in native unit tests.
// Every call is for the main thread, except the ones under "Safe from any thread",
// which worker threads use to report progress; those never wait for the main thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tandrel::ui {

// ---------------------------------------------------------------------------------------
// Values

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

// A decoded picture: width x height pixels, four bytes each in the order B, G, R, A.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bgra;
};

struct FontSpec {
  std::string face;
  int points = 0;
};

struct MenuItem {
  int id = 0;
  std::string text;
  int image = -1;  // icon number shown beside the text, -1 for none
};
struct MenuTitle {
  std::string text;
  std::vector<MenuItem> items;
};

enum class WindowStyle {
  kMain,             // caption, system menu, minimise and maximise boxes, resizable, centred
  kSplash,           // borderless, centred, layered (whole-window opacity)
  kResizableDialog,  // caption, system menu, resizable, no minimise or maximise box, centred
  kFixedDialog,      // caption and system menu, fixed size, centred
};

enum class EventKind {
  kNone,
  kMenu,             // a menu item, popup item or shortcut: `id` is its number
  kControl,          // a control of `window`: `id` and `action`
  kClose,            // the close box of `window`
  kSize,             // `window` changed its size
  kTray,             // the tray icon: `action` is kLeftDoubleClick or kRightButton
  kRightButtonDown,  // right button pressed over `window` at client position x, y
  kEndSession,       // the user logs off or the system shuts down: the process ends next
};

// A list's kRightClick also comes from the context-menu key and Shift+F10; kCopy is
// Ctrl+C pressed in a list, kDeleteKey the Del key.
enum class Action { kNone, kLeftClick, kRightClick, kLeftDoubleClick, kDragStart, kRightButton, kDeleteKey,
                    kCopy };

struct Event {
  EventKind kind = EventKind::kNone;
  int window = -1;
  int id = 0;
  Action action = Action::kNone;
  int x = 0;
  int y = 0;
};

// The rows an owner-data list shows. The list asks for the cells of visible rows only,
// so a million rows cost nothing until they are scrolled into view.
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual std::int32_t RowCount() const = 0;
  virtual std::string_view Cell(std::int32_t row, int column) const = 0;
};

inline constexpr int kFillHeader = -1;  // column width: fill the rest of the header

enum class ListSelection { kMultiple, kSingle };

enum class Shortcut { kCtrlA, kReturn };

// ---------------------------------------------------------------------------------------

class Ui {
 public:
  virtual ~Ui() = default;

  // Windows. Sizes are inner sizes: for a window with a menu bar the bar counts in the
  // height, so a window opened at 900 x 600 reports 900 x 600 whatever its menu takes.
  virtual bool OpenWindow(int window, WindowStyle style, std::string_view title, int width,
                          int height) = 0;
  virtual void CloseWindow(int window) = 0;
  virtual bool WindowExists(int window) const = 0;
  virtual void SetSizeBounds(int window, int min_width, int min_height, int max_width,
                             int max_height) = 0;
  virtual void GetInnerSize(int window, int& width, int& height) const = 0;
  virtual void SetOpacity(int window, std::uint8_t alpha) = 0;
  virtual void SetStayOnTop(int window) = 0;
  virtual void ShowWindow(int window, bool shown) = 0;
  virtual void EnableWindow(int window, bool enabled) = 0;
  virtual void ActivateWindow(int window) = 0;
  // Background erase that leaves visible child controls out, so they do not flicker.
  virtual void EnableFlickerFreeErase(int window) = 0;

  // Controls, numbered per window.
  virtual void AddPicture(int window, int id, Rect at, const Picture& picture) = 0;
  virtual void AddTextField(int window, int id, Rect at) = 0;
  virtual void AddButton(int window, int id, Rect at, std::string_view text) = 0;
  virtual void AddCheckBox(int window, int id, Rect at, std::string_view text) = 0;
  virtual void AddProgressBar(int window, int id, Rect at, int maximum) = 0;
  virtual void AddList(int window, int id, Rect at, const std::vector<std::string>& columns,
                       const std::vector<int>& widths, ListSelection selection) = 0;
  // A tree of the file system's drives and folders (no files), sorted by name and filled
  // as the user expands it. Its Text is the selected folder's full path ending in the
  // path separator, empty with nothing selected.
  virtual void AddFolderTree(int window, int id, Rect at) = 0;
  // Lays out the controls `upper_id` and `lower_id` (added before) one above the other
  // inside `at`, split by a bar the user can drag (platform/splitter.h), initially halfway. MoveControl on the splitter lays them out again, the bar keeping
  // its share of the height.
  virtual void AddSplitter(int window, int id, Rect at, int upper_id, int lower_id) = 0;
  // Returns the bar's outer height.
  virtual int AddStatusBar(int window, const std::vector<int>& field_widths) = 0;
  virtual void MoveControl(int window, int id, Rect at) = 0;
  virtual std::optional<Rect> ControlRect(int window, int id) const = 0;
  virtual void SetFont(int window, int id, const FontSpec& font) = 0;
  virtual void SetChecked(int window, int id, bool checked) = 0;
  virtual bool IsChecked(int window, int id) const = 0;
  virtual std::string Text(int window, int id) const = 0;
  virtual void Focus(int window, int id) = 0;

  // Owner-data lists.
  // New rows clear the selection: row numbers of the old rows mean nothing in the new.
  virtual void SetRows(int window, int id, std::shared_ptr<const RowSource> rows) = 0;
  virtual std::int32_t RowCount(int window, int id) const = 0;
  virtual void SelectRow(int window, int id, std::int32_t row) = 0;  // -1: every row
  // The first selected row, -1 when none is.
  virtual std::int32_t SelectedRow(int window, int id) const = 0;
  virtual void SetColumnWidth(int window, int id, int column, int width) = 0;
  virtual void SetListRedraw(int window, int id, bool redraw) = 0;
  // The rows the list shows now (null when it shows none), and its selected rows from
  // the first to the last.
  virtual std::shared_ptr<const RowSource> Rows(int window, int id) const = 0;
  virtual std::vector<std::int32_t> SelectedRows(int window, int id) const = 0;

  // Menus. Item numbers are the event ids.
  virtual void SetMenuBar(int window, const std::vector<MenuTitle>& titles) = 0;
  virtual void DefinePopupMenu(int menu, const std::vector<MenuItem>& items) = 0;
  virtual void ShowPopupMenu(int window, int menu) = 0;  // at the pointer
  virtual void SetMenuItemText(int item, std::string_view text) = 0;

  // Images: icons from .ico bytes, and text drawn onto a picture in the drawing layer's
  // default font. (Names avoid LoadIcon/DrawText/MessageBox, which windows.h defines.)
  virtual bool LoadIconImage(int image, const std::uint8_t* bytes, std::size_t size) = 0;
  virtual void DrawPictureText(Picture& picture, int x, int y, std::uint8_t red,
                               std::uint8_t green, std::uint8_t blue, std::string_view text) = 0;

  // The tray icon of `window`.
  virtual bool AddTrayIcon(int window, int image, std::string_view tooltip) = 0;
  virtual void RemoveTrayIcon() = 0;
  virtual void AddShortcut(int window, Shortcut key, int event_id) = 0;

  // A message box with one OK button, owned by the open dialog if there is one (it stays
  // above the dialog), else by the main window; returns when closed.
  virtual void ShowMessage(std::string_view title, std::string_view text) = 0;
  // A message box with Yes and No, owned by the main window; true for Yes.
  virtual bool AskYesNo(std::string_view title, std::string_view text) = 0;

  // The shell, for the result list's hits. Paths are full paths; none of these reports
  // a failure to the user.
  // Starts a program by its command line in `working_folder`; false when the system
  // refuses (for instance because the first word names no program).
  virtual bool StartProgram(const std::string& command_line, const std::string& working_folder) = 0;
  // The shell's default action for `path` (a document's registered application, the
  // file browser for a folder), in a normal window.
  virtual bool OpenWithShell(const std::string& path, const std::string& parameters,
                             const std::string& working_folder) = 0;
  // Opens `folder` (ending with the path separator) in the file browser with the items
  // `names` inside it selected: one window for all of them.
  virtual bool ShowInFolder(const std::string& folder, const std::vector<std::string>& names) = 0;
  // The system's folder requester, owned by the main window: the chosen folder's path,
  // an empty text for a chosen place that has no file-system path, none when cancelled.
  virtual std::optional<std::string> ChooseFolder(std::string_view title) = 0;
  // Offers the files as a file list to drag and drop, for copying only; returns when the
  // drop (or its cancellation) is done.
  virtual void DragFiles(const std::vector<std::string>& paths) = 0;
  // Puts the files on the clipboard as a file list and as text, one path a line.
  virtual void PutFilesOnClipboard(const std::vector<std::string>& paths) = 0;

  // Events: waits at most `timeout_ms` for the next one (kNone when none came).
  virtual Event WaitEvent(std::uint32_t timeout_ms) = 0;
  // Lets the window system handle one pending message, without waiting.
  virtual void HandleOnePendingEvent() = 0;

  // Events that cannot wait for the next WaitEvent: size changes (so that a frame drag
  // lays the window out live, inside the window system's own move loop) and the end of
  // the session (the process may be ended as soon as its handling returns). With a
  // handler set, the layer hands these to it at once instead of queueing them.
  using UrgentEventHandler = std::function<void(const Event&)>;
  void SetUrgentEventHandler(UrgentEventHandler handler) { urgent_handler_ = std::move(handler); }

  // Type-ahead in lists: a typed text finds the next row whose first column starts with
  // it, both compared byte by byte through this table (the application's case fold).
  void SetTypeAheadFold(const std::array<std::uint8_t, 256>& fold) { type_ahead_fold_ = fold; }

  // The button that Return presses in a dialog window; Esc acts as its close box.
  void SetDefaultButton(int window, int id) { default_buttons_[window] = id; }

  // ---- Safe from any thread ----------------------------------------------------------
  // Each records the newest value and returns at once; the main thread shows it during
  // its next wait for events (at the latest within one loop pass).
  void PostStatusText(int field, std::string_view text);
  void PostProgress(int maximum, int position);
  void PostTrayImage(int image);
  void PostTrayTooltip(std::string_view tooltip);
  void PostMenuItemEnabled(int item, bool enabled);
  // Replaces the rows of an owner-data list with redrawing off, then sizes column
  // `fill_column` to fill the rest of the header (-1: no column is sized).
  void PostListRows(int window, int id, std::shared_ptr<const RowSource> rows, int fill_column);

 protected:
  // Shows what the Post* calls recorded; the implementations call it from WaitEvent.
  void ApplyPostedUpdates();

  virtual void ApplyStatusText(int field, const std::string& text) = 0;
  virtual void ApplyProgress(int maximum, int position) = 0;
  virtual void ApplyTrayImage(int image) = 0;
  virtual void ApplyTrayTooltip(const std::string& tooltip) = 0;
  virtual void ApplyMenuItemEnabled(int item, bool enabled) = 0;

  // Hands an event to the urgent handler; false when none is set (queue it instead).
  bool DeliverUrgent(const Event& event) {
    if (!urgent_handler_) return false;
    urgent_handler_(event);
    return true;
  }
  const std::array<std::uint8_t, 256>& TypeAheadFold() const { return type_ahead_fold_; }
  // The default button of `window`, -1 for none.
  int DefaultButton(int window) const {
    auto found = default_buttons_.find(window);
    return found == default_buttons_.end() ? -1 : found->second;
  }

 private:
  static std::array<std::uint8_t, 256> IdentityFold() {
    std::array<std::uint8_t, 256> table{};
    for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint8_t>(i);
    return table;
  }

  UrgentEventHandler urgent_handler_;
  std::array<std::uint8_t, 256> type_ahead_fold_ = IdentityFold();
  std::map<int, int> default_buttons_;

  struct Posted {
    std::vector<std::optional<std::string>> status_texts;
    std::optional<std::pair<int, int>> progress;
    std::optional<int> tray_image;
    std::optional<std::string> tray_tooltip;
    std::vector<std::pair<int, bool>> menu_states;  // in order, newest last
    struct ListRows {
      int window = 0;
      int id = 0;
      std::shared_ptr<const RowSource> rows;
      int fill_column = -1;
    };
    std::vector<ListRows> list_rows;  // the newest per list
  };
  std::mutex posted_lock_;
  Posted posted_;
  std::atomic<bool> posted_any_{false};  // lets the main thread skip the lock when idle
};

}  // namespace tandrel::ui

namespace tandrel::ui {
// The window system's own layer (Windows builds only).
std::unique_ptr<Ui> CreateSystemUi();
}  // namespace tandrel::ui
