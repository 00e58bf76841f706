// The window layer on the real window system (ANSI functions throughout). Its helpers,
// one file each: the tray icon, the menus, the owner-data lists.
#pragma once

#include <windows.h>
// After windows.h: it relies on its types.
#include <commctrl.h>

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <string>
#include <utility>
#include <vector>

#include "platform/drive_probe.h"
#include "platform/win32/handles.h"
#include "platform/win32/window/com.h"
#include "platform/win32/window/file_icons.h"
#include "platform/win32/window/menu_table.h"
#include "platform/win32/window/owner_data_list.h"
#include "platform/win32/window/tray_icon.h"
#include "platform/window/splitter.h"
#include "platform/window/ui.h"

namespace tandrel::ui {

class Win32Ui : public Ui {
 public:
  Win32Ui();
  ~Win32Ui() override;

  // Windows, message boxes and events (win32_ui.cpp).
  bool OpenWindow(WindowId window, WindowStyle style, std::string_view title, int width, int height) override;
  void CloseWindow(WindowId window) override;
  bool WindowExists(WindowId window) const override { return Hwnd(window) != nullptr; }
  void SetSizeBounds(WindowId window, int min_width, int min_height, int max_width, int max_height) override;
  void GetInnerSize(WindowId window, int& width, int& height) const override;
  void SetOpacity(WindowId window, std::uint8_t alpha) override;
  void SetStayOnTop(WindowId window) override;
  void ShowWindow(WindowId window, bool shown) override;
  void EnableWindow(WindowId window, bool enabled) override;
  void ActivateWindow(WindowId window) override;
  void EnableFlickerFreeErase(WindowId window) override;
  void ShowMessage(std::string_view title, std::string_view text) override;
  bool AskYesNo(std::string_view title, std::string_view text) override;
  Event WaitEvent(std::uint32_t timeout_ms) override;
  void HandleOnePendingEvent() override;

  // Controls (win32_ui.cpp) and owner-data lists (owner_data_list.cpp).
  void AddPicture(WindowId window, ControlId id, Rect at, const Picture& picture) override;
  void AddTextField(WindowId window, ControlId id, Rect at) override;
  void AddButton(WindowId window, ControlId id, Rect at, std::string_view text) override;
  void AddCheckBox(WindowId window, ControlId id, Rect at, std::string_view text) override;
  void AddProgressBar(WindowId window, ControlId id, Rect at, int maximum) override;
  void AddList(WindowId window, ControlId id, Rect at, const std::vector<std::string>& columns,
               const std::vector<int>& widths, ListSelection selection) override;
  void AddFolderTree(WindowId window, ControlId id, Rect at) override;
  void AddSplitter(WindowId window, ControlId id, Rect at, ControlId upper_id, ControlId lower_id) override;
  int AddStatusBar(WindowId window, const std::vector<int>& field_widths) override;
  void MoveControl(WindowId window, ControlId id, Rect at) override;
  std::optional<Rect> ControlRect(WindowId window, ControlId id) const override;
  void SetFont(WindowId window, ControlId id, const FontSpec& font) override;
  void SetChecked(WindowId window, ControlId id, bool checked) override;
  bool IsChecked(WindowId window, ControlId id) const override;
  std::string Text(WindowId window, ControlId id) const override;
  void Focus(WindowId window, ControlId id) override;
  void SetTabOrder(WindowId window, const std::vector<ControlId>& order) override;  // keyboard.cpp
  void SetRows(WindowId window, ControlId id, std::shared_ptr<const RowSource> rows) override;
  std::int32_t RowCount(WindowId window, ControlId id) const override;
  void SelectRow(WindowId window, ControlId id, std::int32_t row) override;
  std::int32_t SelectedRow(WindowId window, ControlId id) const override;
  void SetColumnWidth(WindowId window, ControlId id, int column, int width) override;
  void SetListRedraw(WindowId window, ControlId id, bool redraw) override;
  std::shared_ptr<const RowSource> Rows(WindowId window, ControlId id) const override;
  std::vector<std::int32_t> SelectedRows(WindowId window, ControlId id) const override;
  void SetSortArrow(WindowId window, ControlId id, int column, bool descending) override;

  // Menus and shortcuts (menu_table.cpp), images (images.cpp), the tray (tray_icon.cpp).
  void SetMenuBar(WindowId window, const std::vector<MenuTitle>& titles) override;
  void DefinePopupMenu(MenuId menu, const std::vector<MenuItem>& items) override;
  void ShowPopupMenu(WindowId window, MenuId menu) override;
  void SetMenuItemText(ItemId item, std::string_view text) override;
  void AddShortcut(WindowId window, Shortcut key, ItemId event_id) override;
  bool LoadIconImage(ImageId image, const std::uint8_t* bytes, std::size_t size) override;
  void DrawPictureText(Picture& picture, int x, int y, std::uint8_t red, std::uint8_t green,
                       std::uint8_t blue, std::string_view text) override;
  bool AddTrayIcon(WindowId window, ImageId image, std::string_view tooltip) override;
  void RemoveTrayIcon() override;

  // The shell (shell.cpp, folder_requester.cpp, drag_source.cpp, clipboard.cpp).
  bool StartCommandLine(const std::string& command_line, const std::string& working_folder) override;
  bool StartProgram(const std::string& program, std::string_view arguments,
                    const std::string& working_folder) override;
  bool OpenWithShell(const std::string& path, std::string_view parameters,
                     const std::string& working_folder) override;
  bool ShowInFolder(const std::string& folder, const std::vector<std::string>& names) override;
  std::optional<std::string> ChooseFolder(std::string_view title) override;
  void DragFiles(const std::vector<std::string>& paths) override;
  void PutFilesOnClipboard(const std::vector<std::string>& paths) override;
  void ShowShellMenu(const std::vector<std::string>& paths) override;  // shell_menu.cpp

 protected:
  void ApplyStatusText(FieldId field, const std::string& text) override;
  void ApplyProgress(int maximum, int position) override;
  void ApplyTrayImage(ImageId image) override;
  void ApplyTrayTooltip(const std::string& tooltip) override;
  void ApplyMenuItemEnabled(ItemId item, bool enabled) override;

 private:
  using ControlKey = std::pair<WindowId, ControlId>;

  // One per open window, reached from its window procedure through the window's user
  // data (and from its status bar's subclass through the reference data).
  struct WindowData {
    Win32Ui* owner = nullptr;
    WindowId number{-1};
    HWND hwnd = nullptr;
    WindowStyle style = WindowStyle::kMain;
    POINT min_size{0, 0};
    POINT max_size{0, 0};
    bool flicker_free = false;
    HWND focus = nullptr;  // the control that had the keyboard focus when it was left
    HWND status_bar = nullptr;
    HWND progress_bar = nullptr;  // the one the posted progress moves
    int dpi = kLayoutDpi;         // the window's monitor's; the splash stays at kLayoutDpi
    std::vector<int> status_fields{};  // in layout pixels, scaled again when the DPI changes
  };

  // The window procedure of every window this layer opens, and its status bar's
  // subclass: both hand the message to the layer that owns the window.
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK StatusBarProc(HWND bar, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                        DWORD_PTR ref_data);
  LRESULT HandleMessage(WindowId window, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleStatusBarMessage(const WindowData& parent, HWND bar, UINT message, WPARAM wparam, LPARAM lparam);

  // Layout numbers (sizes, positions, column and field widths, pointer positions) are
  // pixels at 96 DPI, the same on every screen; this boundary scales them to the window's
  // DPI (dpi.cpp). At 96 DPI nothing changes.
  static constexpr int kLayoutDpi = 96;
  int Dpi(WindowId window) const;
  int ToPixels(WindowId window, int value) const { return MulDiv(value, Dpi(window), kLayoutDpi); }
  int FromPixels(WindowId window, int value) const { return MulDiv(value, kLayoutDpi, Dpi(window)); }
  Rect ToPixels(WindowId window, Rect at) const;
  Rect FromPixels(WindowId window, Rect at) const;
  // The system's message font, and a font of the program's, made for `dpi`.
  HFONT MessageFont(int dpi);
  HFONT FontFor(const FontSpec& font, int dpi);
  // After a move to a monitor of another DPI: fonts and status fields made for the new one.
  void ApplyDpi(WindowId window, int dpi);
  void SetStatusFields(const WindowData& data);
  static int InitialDpi(HWND hwnd, WindowStyle style);
  static int ScreenDpi();  // before a window exists

  HWND Hwnd(WindowId window) const;
  const WindowData* MainWindowData() const;  // the window of style kMain, null when none is open
  HWND MainHwnd() const;
  HWND Control(WindowId window, ControlId id) const;
  win32::OwnerDataList* List(WindowId window, ControlId id);
  const win32::OwnerDataList* List(WindowId window, ControlId id) const;
  HWND AddChild(WindowId window, ControlId id, const char* window_class, DWORD style, DWORD ex_style,
                Rect at, std::string_view text);
  void Queue(const Event& event);
  void PumpMessages();
  void HandleMessageFromQueue(MSG& message);
  // Keyboard (keyboard.cpp): Tab, Shift+Tab and Down in every window, Esc and Return in
  // dialog windows, and the focus kept across deactivation.
  bool TranslateDialogKey(const MSG& message);
  void RememberFocus(WindowId window, HWND hwnd);
  bool RestoreFocus(WindowId window, HWND hwnd);
  // Check boxes (check_box.cpp).
  static bool IsCheckBox(HWND control);
  static Rect FitCheckBoxToLabel(HWND control, Rect at);
  bool EraseAroundControls(HWND hwnd, HDC dc);
  LRESULT HandleNotify(WindowId window, const NMHDR& header, LPARAM lparam);
  LRESULT HandleListNotify(WindowId window, ControlId id, const win32::OwnerDataList& list, const NMHDR& header,
                           LPARAM lparam);
  // Queues the click a control reports; false for any other notification.
  bool QueueMouseNotify(WindowId window, ControlId id, UINT code);
  // Folder trees (folder_tree.cpp).
  LRESULT HandleTreeNotify(WindowId window, ControlId id, const NMHDR& header, LPARAM lparam);
  bool IsFolderTree(WindowId window, ControlId id) const { return trees_.count({window, id}) != 0; }
  void ExpandFolderItem(HWND tree, HTREEITEM item);
  std::string SelectedFolderPath(HWND tree) const;
  // Splitters (splitter.cpp): their bars are dragged in the parent's client area.
  void LayOutSplitter(WindowId window, const Splitter& splitter);
  bool HandleSplitterMouse(WindowId window, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  HICON Icon(ImageId image) const;
  int MenuBarHeight(HWND hwnd) const;

  win32::OleSession ole_;  // first: OLE stays up until every window is gone
  std::map<WindowId, WindowData> windows_;
  std::map<ControlKey, HWND> controls_;
  std::map<ControlKey, win32::OwnerDataList> lists_;
  win32::FileIcons file_icons_;
  // The shell's menu while it is open: it draws and fills some of its submenus itself,
  // from messages its owner window hands on.
  IContextMenu2* open_shell_menu_ = nullptr;
  // True when the open shell menu took the message.
  bool ForwardToShellMenu(UINT message, WPARAM wparam, LPARAM lparam);
  std::set<ControlKey> trees_;
  // Outlives every folder tree: a drive's probe that still hangs when its dialog closes
  // keeps its thread here, and the next tree waits for that probe instead of starting
  // another. The program ends without destroying it, so a hanging probe never holds up
  // the quit.
  platform::DriveProber drive_prober_;
  std::map<ControlKey, Splitter> splitters_;
  struct BarDrag {
    WindowId window{-1};
    ControlId id{-1};
    int grab = 0;  // pointer's distance below the bar's top when the drag began
  };
  BarDrag bar_drag_;
  std::deque<Event> events_;

  std::map<ImageId, win32::OwnedIcon> icons_;
  std::vector<win32::OwnedBitmap> pictures_;
  std::map<std::tuple<std::string, int, int>, win32::OwnedFont> fonts_;  // face, points, DPI
  std::map<int, win32::OwnedFont> message_fonts_;                       // by DPI
  std::map<ControlKey, FontSpec> control_fonts_;  // the controls SetFont gave a font of their own
  win32::MenuTable menus_{icons_};
  win32::TrayIcon tray_;
  UINT taskbar_created_ = 0;  // broadcast when Explorer (re)starts; its icons are gone
};

}  // namespace tandrel::ui
