// The values the window layer's calls take and give: object numbers, geometry, pictures,
// menus and the events of the one event stream.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tandrel::ui {

// Windows, controls, menus, menu items, images and status-bar fields are addressed by
// small fixed numbers, one number space per kind: each space its own type, so that a
// number of one cannot stand where another's is wanted. The program names the values.
enum class WindowId : int {};
enum class ControlId : int {};  // numbered per window
enum class MenuId : int {};
enum class ItemId : int {};     // menu items and shortcuts: also the event ids
enum class ImageId : int {};
enum class FieldId : int {};    // fields of a window's status bar

inline constexpr ImageId kNoImage{-1};

// The plain number, where the window system or a table wants one.
template <class Number>
constexpr int NumberOf(Number number) {
  return static_cast<int>(number);
}

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
  ItemId id{};
  std::string text;
  ImageId image = kNoImage;  // icon shown beside the text
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
  kMenu,             // a menu item, popup item or shortcut: `item` is its number
  kControl,          // a control of `window`: `control` and `action`
  kClose,            // the close box of `window`
  kSize,             // `window` changed its size
  kTray,             // the tray icon: `action` is kLeftDoubleClick or kRightButton
  kRightButtonDown,  // right button pressed over `window` at client position x, y
  kEndSession,       // the user logs off or the system shuts down: the process ends next
};

// A list's kRightClick also comes from the context-menu key and Shift+F10 (kShiftRightClick
// with Shift held down); kCopy is Ctrl+C pressed in a list, kDeleteKey the Del key,
// kHeaderClick a click on the header of the list's column `column`.
enum class Action { kNone, kLeftClick, kRightClick, kLeftDoubleClick, kDragStart, kRightButton, kDeleteKey,
                    kCopy, kHeaderClick, kShiftRightClick };

struct Event {
  EventKind kind = EventKind::kNone;
  WindowId window{-1};
  ControlId control{};  // kControl only
  ItemId item{};        // kMenu only
  Action action = Action::kNone;
  int x = 0;
  int y = 0;
  int column = 0;  // kHeaderClick only
};

inline Event MenuEvent(WindowId window, ItemId item) {
  return {.kind = EventKind::kMenu, .window = window, .item = item};
}
inline Event ControlEvent(WindowId window, ControlId control, Action action) {
  return {.kind = EventKind::kControl, .window = window, .control = control, .action = action};
}

// The rows an owner-data list shows. The list asks for the cells of visible rows only,
// so a million rows cost nothing until they are scrolled into view.
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual std::int32_t RowCount() const = 0;
  virtual std::string_view Cell(std::int32_t row, int column) const = 0;
  // The row stands for a folder (its icon shows one).
  virtual bool IsFolder(std::int32_t /*row*/) const { return false; }
};

inline constexpr int kFillHeader = -1;  // column width: fill the rest of the header

enum class ListSelection { kMultiple, kSingle };

enum class Shortcut { kCtrlA, kReturn };

}  // namespace tandrel::ui
