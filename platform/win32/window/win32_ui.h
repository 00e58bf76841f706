// The window layer on the real window system (ANSI functions throughout).
#pragma once

#include <windows.h>
// After windows.h: it relies on its types.
#include <commctrl.h>

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/splitter.h"
#include "platform/ui.h"
#include "platform/win32/handles.h"
#include "platform/win32/win32_com.h"

namespace tandrel::ui {

class Win32Ui : public Ui {
 public:
  Win32Ui();
  ~Win32Ui() override;

  bool OpenWindow(int window, WindowStyle style, std::string_view title, int width, int height) override;
  void CloseWindow(int window) override;
  bool WindowExists(int window) const override { return Hwnd(window) != nullptr; }
  void SetSizeBounds(int window, int min_width, int min_height, int max_width, int max_height) override;
  void GetInnerSize(int window, int& width, int& height) const override;
  void SetOpacity(int window, std::uint8_t alpha) override;
  void SetStayOnTop(int window) override;
  void ShowWindow(int window, bool shown) override;
  void EnableWindow(int window, bool enabled) override;
  void ActivateWindow(int window) override;
  void EnableFlickerFreeErase(int window) override;

  void AddPicture(int window, int id, Rect at, const Picture& picture) override;
  void AddTextField(int window, int id, Rect at) override;
  void AddButton(int window, int id, Rect at, std::string_view text) override;
  void AddCheckBox(int window, int id, Rect at, std::string_view text) override;
  void AddProgressBar(int window, int id, Rect at, int maximum) override;
  void AddList(int window, int id, Rect at, const std::vector<std::string>& columns,
               const std::vector<int>& widths, ListSelection selection) override;
  void AddFolderTree(int window, int id, Rect at) override;
  void AddSplitter(int window, int id, Rect at, int upper_id, int lower_id) override;
  int AddStatusBar(int window, const std::vector<int>& field_widths) override;
  void MoveControl(int window, int id, Rect at) override;
  std::optional<Rect> ControlRect(int window, int id) const override;
  void SetFont(int window, int id, const FontSpec& font) override;
  void SetChecked(int window, int id, bool checked) override;
  bool IsChecked(int window, int id) const override;
  std::string Text(int window, int id) const override;
  void Focus(int window, int id) override;

  void SetRows(int window, int id, std::shared_ptr<const RowSource> rows) override;
  std::int32_t RowCount(int window, int id) const override;
  void SelectRow(int window, int id, std::int32_t row) override;
  std::int32_t SelectedRow(int window, int id) const override;
  void SetColumnWidth(int window, int id, int column, int width) override;
  void SetListRedraw(int window, int id, bool redraw) override;
  std::shared_ptr<const RowSource> Rows(int window, int id) const override;
  std::vector<std::int32_t> SelectedRows(int window, int id) const override;

  void SetMenuBar(int window, const std::vector<MenuTitle>& titles) override;
  void DefinePopupMenu(int menu, const std::vector<MenuItem>& items) override;
  void ShowPopupMenu(int window, int menu) override;
  void SetMenuItemText(int item, std::string_view text) override;

  bool LoadIconImage(int image, const std::uint8_t* bytes, std::size_t size) override;
  void DrawPictureText(Picture& picture, int x, int y, std::uint8_t red, std::uint8_t green,
                       std::uint8_t blue, std::string_view text) override;

  bool AddTrayIcon(int window, int image, std::string_view tooltip) override;
  void RemoveTrayIcon() override;
  void AddShortcut(int window, Shortcut key, int event_id) override;
  void ShowMessage(std::string_view title, std::string_view text) override;

  // The shell (win32_shell.cpp, win32_folder_requester.cpp, win32_drag_source.cpp,
  // win32_clipboard.cpp).
  bool AskYesNo(std::string_view title, std::string_view text) override;
  bool StartProgram(const std::string& command_line, const std::string& working_folder) override;
  bool OpenWithShell(const std::string& path, const std::string& parameters,
                     const std::string& working_folder) override;
  bool ShowInFolder(const std::string& folder, const std::vector<std::string>& names) override;
  std::optional<std::string> ChooseFolder(std::string_view title) override;
  void DragFiles(const std::vector<std::string>& paths) override;
  void PutFilesOnClipboard(const std::vector<std::string>& paths) override;

  Event WaitEvent(std::uint32_t timeout_ms) override;
  void HandleOnePendingEvent() override;

 protected:
  void ApplyStatusText(int field, const std::string& text) override;
  void ApplyProgress(int maximum, int position) override;
  void ApplyTrayImage(int image) override;
  void ApplyTrayTooltip(const std::string& tooltip) override;
  void ApplyMenuItemEnabled(int item, bool enabled) override;

 private:
  // One per open window, reached from its window procedure through the window's user
  // data (and from its status bar's subclass through the reference data).
  struct WindowData {
    Win32Ui* owner = nullptr;
    int number = -1;
    HWND hwnd = nullptr;
    WindowStyle style = WindowStyle::kMain;
    POINT min_size{0, 0};
    POINT max_size{0, 0};
    bool flicker_free = false;
    HWND focus = nullptr;  // the control that had the keyboard focus when it was left
    HWND status_bar = nullptr;
    HWND progress_bar = nullptr;  // the one the posted progress moves
  };
  struct ListData {
    std::shared_ptr<const RowSource> rows;
  };

  // The window procedure of every window this layer opens, and its status bar's
  // subclass: both hand the message to the layer that owns the window.
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK StatusBarProc(HWND bar, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                        DWORD_PTR ref_data);
  LRESULT HandleMessage(int window, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleStatusBarMessage(const WindowData& parent, HWND bar, UINT message, WPARAM wparam, LPARAM lparam);

  HWND Hwnd(int window) const;
  const WindowData* MainWindowData() const;  // the window of style kMain, null when none is open
  HWND MainHwnd() const;
  HWND Control(int window, int id) const;
  HWND AddChild(int window, int id, const char* window_class, DWORD style, DWORD ex_style,
                Rect at, std::string_view text);
  void Queue(const Event& event);
  void PumpMessages();
  void HandleMessageFromQueue(MSG& message);
  bool Translate(MSG& message);
  // Keyboard (win32_keyboard.cpp): Tab, Shift+Tab, Esc and Return in dialog windows, the
  // focus kept across deactivation, and type-ahead in owner-data lists.
  bool TranslateDialogKey(const MSG& message);
  void RememberFocus(int window, HWND hwnd);
  bool RestoreFocus(int window, HWND hwnd);
  LRESULT AnswerFindItem(int window, int id, LPARAM lparam, bool wide) const;
  // Check boxes (win32_check_box.cpp).
  static bool IsCheckBox(HWND control);
  static Rect FitCheckBoxToLabel(HWND control, Rect at);
  bool EraseAroundControls(HWND hwnd, HDC dc);
  LRESULT HandleNotify(int window, const NMHDR& header, LPARAM lparam);
  LRESULT HandleListNotify(int window, int id, const ListData& list, const NMHDR& header, LPARAM lparam);
  // Queues the click a control reports; false for any other notification.
  bool QueueMouseNotify(int window, int id, UINT code);
  // Folder trees (win32_folder_tree.cpp).
  LRESULT HandleTreeNotify(int window, int id, const NMHDR& header, LPARAM lparam);
  bool IsFolderTree(int window, int id) const { return trees_.count({window, id}) != 0; }
  void ExpandFolderItem(HWND tree, HTREEITEM item);
  std::string SelectedFolderPath(HWND tree) const;
  // Splitters (win32_splitter.cpp): their bars are dragged in the parent's client area.
  void LayOutSplitter(int window, const Splitter& splitter);
  bool HandleSplitterMouse(int window, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  HBITMAP MenuBitmap(int image);
  HMENU MenuOfItem(int item) const;
  void RebuildAccelerators();
  // Adds the tray icon again with its current image and tip, after Explorer restarted.
  void ReAddTrayIcon();
  int MenuBarHeight(HWND hwnd) const;

  win32::OleSession ole_;  // first: OLE stays up until every window is gone
  std::map<int, WindowData> windows_;
  std::map<std::pair<int, int>, HWND> controls_;
  std::map<std::pair<int, int>, ListData> lists_;
  std::set<std::pair<int, int>> trees_;
  std::map<std::pair<int, int>, Splitter> splitters_;
  struct BarDrag {
    int window = -1;
    int id = -1;
    int grab = 0;  // pointer's distance below the bar's top when the drag began
  };
  BarDrag bar_drag_;
  std::deque<Event> events_;

  std::map<int, win32::OwnedIcon> icons_;
  std::map<int, win32::OwnedBitmap> menu_bitmaps_;
  std::vector<win32::OwnedBitmap> pictures_;
  std::map<std::pair<std::string, int>, win32::OwnedFont> fonts_;
  std::vector<HMENU> menus_;  // every menu holding items, for item lookups
  std::map<int, win32::OwnedMenu> popups_;
  HMENU menu_bar_ = nullptr;  // owned by its window

  int tray_window_ = -1;
  bool tray_added_ = false;
  int tray_image_ = -1;
  std::string tray_tooltip_;
  UINT taskbar_created_ = 0;  // broadcast when Explorer (re)starts; its icons are gone

  std::vector<ACCEL> accelerators_;
  win32::OwnedAccelerators accelerator_table_;
  HWND accelerator_window_ = nullptr;
};

}  // namespace tandrel::ui
