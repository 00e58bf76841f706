// Windows, controls, events and the message pump.
#include "platform/win32/window/win32_ui.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/window/message_ids.h"

namespace tandrel::ui {
namespace {

using win32::kPostedTimer;
using win32::kPostedTimerMs;
using win32::kStatusBarSubclass;
using win32::kTrayMessage;

constexpr char kWindowClass[] = "TandrelWindow";

DWORD StyleOf(WindowStyle style) {
  switch (style) {
    case WindowStyle::kMain:
      return WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME |
             WS_CLIPCHILDREN;
    case WindowStyle::kResizableDialog: return WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
    case WindowStyle::kFixedDialog: return WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    case WindowStyle::kSplash: break;
  }
  return WS_POPUP;
}

bool IsDialogStyle(WindowStyle style) {
  return style == WindowStyle::kResizableDialog || style == WindowStyle::kFixedDialog;
}

}  // namespace

// Messages before the window's record is set (during CreateWindowEx) and after the
// layer is gone get the default handling.
LRESULT CALLBACK Win32Ui::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  const auto* data = reinterpret_cast<const WindowData*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (data != nullptr) return data->owner->HandleMessage(data->number, hwnd, message, wparam, lparam);
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

LRESULT CALLBACK Win32Ui::StatusBarProc(HWND bar, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                        DWORD_PTR ref_data) {
  const auto* parent = reinterpret_cast<const WindowData*>(ref_data);
  return parent->owner->HandleStatusBarMessage(*parent, bar, message, wparam, lparam);
}

Win32Ui::Win32Ui() {
  INITCOMMONCONTROLSEX controls{sizeof controls,
                                ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS |
                                    ICC_TREEVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hIcon = LoadIconA(wc.hInstance, MAKEINTRESOURCEA(1));  // the application icon
  wc.hIconSm = wc.hIcon;
  wc.lpszClassName = kWindowClass;
  RegisterClassExA(&wc);
  taskbar_created_ = RegisterWindowMessageA("TaskbarCreated");
}

Win32Ui::~Win32Ui() {
  RemoveTrayIcon();
  // Windows still open outlive their records: cut them loose.
  for (const auto& [number, data] : windows_) {
    if (data.status_bar != nullptr) RemoveWindowSubclass(data.status_bar, StatusBarProc, kStatusBarSubclass);
    SetWindowLongPtrA(data.hwnd, GWLP_USERDATA, 0);
  }
}

std::unique_ptr<Ui> CreateSystemUi() { return std::make_unique<Win32Ui>(); }

HWND Win32Ui::Hwnd(WindowId window) const {
  auto found = windows_.find(window);
  return found == windows_.end() ? nullptr : found->second.hwnd;
}

HWND Win32Ui::Control(WindowId window, ControlId id) const {
  auto found = controls_.find({window, id});
  return found == controls_.end() ? nullptr : found->second;
}

bool Win32Ui::OpenWindow(WindowId window, WindowStyle style, std::string_view title, int width, int height) {
  CloseWindow(window);
  const DWORD ws = StyleOf(style);
  const DWORD ex = style == WindowStyle::kSplash ? WS_EX_LAYERED : 0;
  // The menu bar is added later and counts in the inner height, so size for frame only.
  // A splash picture keeps its pixels; every other window is scaled from 96 DPI.
  const int dpi = style == WindowStyle::kSplash ? kLayoutDpi : ScreenDpi();
  RECT outer{0, 0, MulDiv(width, dpi, kLayoutDpi), MulDiv(height, dpi, kLayoutDpi)};
  AdjustWindowRectEx(&outer, ws, FALSE, ex);
  const int screen_w = GetSystemMetrics(SM_CXSCREEN);
  const int screen_h = GetSystemMetrics(SM_CYSCREEN);
  const int w = std::min<int>(outer.right - outer.left, screen_w);
  const int h = std::min<int>(outer.bottom - outer.top, screen_h);
  const std::string caption(title);
  HWND hwnd = CreateWindowExA(ex, kWindowClass, caption.c_str(), ws, (screen_w - w) / 2, (screen_h - h) / 2, w, h,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (hwnd == nullptr) return false;
  WindowData& data = windows_[window];
  data = WindowData{.owner = this, .number = window, .hwnd = hwnd, .style = style};
  data.dpi = InitialDpi(hwnd, style);
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&data));
  if (style == WindowStyle::kSplash) SetLayeredWindowAttributes(hwnd, 0, 0, LWA_ALPHA);
  if (style == WindowStyle::kMain) SetTimer(hwnd, kPostedTimer, kPostedTimerMs, nullptr);
  ::ShowWindow(hwnd, SW_SHOW);
  UpdateWindow(hwnd);
  return true;
}

void Win32Ui::CloseWindow(WindowId window) {
  HWND hwnd = Hwnd(window);
  if (hwnd == nullptr) return;
  // The icon's removal names its window, so it goes while the window still exists.
  if (hwnd == tray_.Window()) tray_.Remove();
  // Events taken from the message queue before the close (two clicks handled in one pass)
  // belong to no window any more.
  std::erase_if(events_, [window](const Event& e) { return e.window == window; });
  std::erase_if(controls_, [window](const auto& c) { return c.first.first == window; });
  std::erase_if(lists_, [window](const auto& c) { return c.first.first == window; });
  std::erase_if(trees_, [window](const auto& c) { return c.first == window; });
  std::erase_if(splitters_, [window](const auto& c) { return c.first.first == window; });
  if (bar_drag_.window == window) bar_drag_ = BarDrag{};
  menus_.ForgetWindow(hwnd);
  // Out of the table, the record still serves the messages that the destruction sends.
  auto record = windows_.extract(window);
  DestroyWindow(hwnd);
}

void Win32Ui::SetSizeBounds(WindowId window, int min_width, int min_height, int max_width, int max_height) {
  auto found = windows_.find(window);
  if (found == windows_.end()) return;
  found->second.min_size = {min_width, min_height};
  found->second.max_size = {max_width, max_height};
}

int Win32Ui::MenuBarHeight(HWND hwnd) const {
  if (GetMenu(hwnd) == nullptr) return 0;
  MENUBARINFO info{};
  info.cbSize = sizeof info;
  if (!GetMenuBarInfo(hwnd, OBJID_MENU, 0, &info)) return GetSystemMetrics(SM_CYMENU);
  return info.rcBar.bottom - info.rcBar.top;
}

void Win32Ui::GetInnerSize(WindowId window, int& width, int& height) const {
  width = height = 0;
  HWND hwnd = Hwnd(window);
  if (hwnd == nullptr) return;
  RECT client{};
  GetClientRect(hwnd, &client);
  width = FromPixels(window, client.right);
  height = FromPixels(window, client.bottom + MenuBarHeight(hwnd));
}

void Win32Ui::SetOpacity(WindowId window, std::uint8_t alpha) {
  if (HWND hwnd = Hwnd(window)) SetLayeredWindowAttributes(hwnd, 0, alpha, LWA_ALPHA);
}

void Win32Ui::SetStayOnTop(WindowId window) {
  if (HWND hwnd = Hwnd(window)) SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void Win32Ui::ShowWindow(WindowId window, bool shown) {
  // SW_SHOW brings the window back in the state it had: maximised, minimised or normal.
  if (HWND hwnd = Hwnd(window)) ::ShowWindow(hwnd, shown ? SW_SHOW : SW_HIDE);
}

void Win32Ui::EnableWindow(WindowId window, bool enabled) {
  if (HWND hwnd = Hwnd(window)) ::EnableWindow(hwnd, enabled);
}

void Win32Ui::ActivateWindow(WindowId window) {
  if (HWND hwnd = Hwnd(window)) SetForegroundWindow(hwnd);
}

void Win32Ui::EnableFlickerFreeErase(WindowId window) {
  auto found = windows_.find(window);
  if (found != windows_.end()) found->second.flicker_free = true;
}

HWND Win32Ui::AddChild(WindowId window, ControlId id, const char* window_class, DWORD style, DWORD ex_style, Rect at,
                       std::string_view text) {
  HWND parent = Hwnd(window);
  if (parent == nullptr) return nullptr;
  const std::string caption(text);
  at = ToPixels(window, at);
  HWND child = CreateWindowExA(ex_style, window_class, caption.c_str(), WS_CHILD | WS_VISIBLE | style, at.x, at.y,
                               at.width, at.height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(NumberOf(id))),
                               GetModuleHandleA(nullptr), nullptr);
  if (child == nullptr) return nullptr;
  SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(MessageFont(Dpi(window))), FALSE);
  controls_[{window, id}] = child;
  return child;
}

void Win32Ui::AddPicture(WindowId window, ControlId id, Rect at, const Picture& picture) {
  HWND control = AddChild(window, id, "STATIC", SS_BITMAP, 0, at, "");
  if (control == nullptr || picture.width <= 0) return;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), picture.width, -picture.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  win32::OwnedBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap) return;
  std::memcpy(bits, picture.bgra.data(), std::min(picture.bgra.size(), std::size_t(picture.width) * picture.height * 4));
  SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap.get()));
  const Rect placed = ToPixels(window, at);
  MoveWindow(control, placed.x, placed.y, placed.width, placed.height, TRUE);
  pictures_.push_back(std::move(bitmap));
}

void Win32Ui::AddTextField(WindowId window, ControlId id, Rect at) {
  AddChild(window, id, "EDIT", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, at, "");
}

void Win32Ui::AddButton(WindowId window, ControlId id, Rect at, std::string_view text) {
  AddChild(window, id, "BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, at, text);
}

void Win32Ui::AddCheckBox(WindowId window, ControlId id, Rect at, std::string_view text) {
  if (HWND box = AddChild(window, id, "BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, 0, at, text)) {
    const Rect fitted = FitCheckBoxToLabel(box, ToPixels(window, at));
    MoveWindow(box, fitted.x, fitted.y, fitted.width, fitted.height, TRUE);
  }
}

void Win32Ui::AddProgressBar(WindowId window, ControlId id, Rect at, int maximum) {
  HWND bar = AddChild(window, id, PROGRESS_CLASSA, PBS_SMOOTH, 0, at, "");
  if (bar == nullptr) return;
  windows_[window].progress_bar = bar;
  SendMessageA(bar, PBM_SETRANGE32, 0, maximum);
}

void Win32Ui::AddList(WindowId window, ControlId id, Rect at, const std::vector<std::string>& columns,
                      const std::vector<int>& widths, ListSelection selection) {
  const DWORD single = selection == ListSelection::kSingle ? LVS_SINGLESEL : 0;
  HWND list = AddChild(window, id, WC_LISTVIEWA,
                       WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS | single,
                       WS_EX_CLIENTEDGE, at, "");
  if (list == nullptr) return;
  // Tips show the cells a column cuts off; rows show their type's icon from the system's
  // list, which the list shares and never destroys.
  constexpr DWORD kExtended = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP | LVS_EX_LABELTIP;
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, kExtended, kExtended);
  if (HIMAGELIST icons = win32::FileIcons::SmallImageList()) {
    SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(icons));
  }
  for (std::size_t i = 0; i < columns.size(); ++i) {
    std::string text = columns[i];
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = text.data();
    column.cx = ToPixels(window, i < widths.size() ? widths[i] : 100);
    SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
  lists_.insert_or_assign({window, id}, win32::OwnerDataList(list));
}

int Win32Ui::AddStatusBar(WindowId window, const std::vector<int>& field_widths) {
  auto found = windows_.find(window);
  if (found == windows_.end()) return 0;
  WindowData& parent = found->second;
  HWND bar = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, parent.hwnd,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
  if (bar == nullptr) return 0;
  parent.status_bar = bar;
  parent.status_fields = field_widths;
  // In the message font like the controls, so that its height follows the DPI.
  SendMessageA(bar, WM_SETFONT, reinterpret_cast<WPARAM>(MessageFont(parent.dpi)), FALSE);
  SendMessageA(bar, WM_SIZE, 0, 0);
  SetStatusFields(parent);
  SetWindowSubclass(bar, StatusBarProc, kStatusBarSubclass, reinterpret_cast<DWORD_PTR>(&parent));
  RECT r{};
  GetWindowRect(bar, &r);
  return FromPixels(window, r.bottom - r.top);
}

void Win32Ui::MoveControl(WindowId window, ControlId id, Rect at) {
  auto splitter = splitters_.find({window, id});
  if (splitter != splitters_.end()) {
    splitter->second.MoveTo(ToPixels(window, at));
    LayOutSplitter(window, splitter->second);
    return;
  }
  HWND control = Control(window, id);
  if (control == nullptr) return;
  at = ToPixels(window, at);
  if (IsCheckBox(control)) at = FitCheckBoxToLabel(control, at);
  // Without the copied bits: a moved control paints itself whole at its new place
  // instead of showing its old picture there, half covered by what lay beside it.
  SetWindowPos(control, nullptr, at.x, at.y, at.width, at.height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
}

std::optional<Rect> Win32Ui::ControlRect(WindowId window, ControlId id) const {
  auto splitter = splitters_.find({window, id});
  if (splitter != splitters_.end()) return FromPixels(window, splitter->second.Area());
  HWND control = Control(window, id);
  if (control == nullptr) return std::nullopt;
  RECT r{};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return FromPixels(window, Rect{r.left, r.top, r.right - r.left, r.bottom - r.top});
}

void Win32Ui::SetFont(WindowId window, ControlId id, const FontSpec& font) {
  HWND control = Control(window, id);
  if (control == nullptr) return;
  control_fonts_[{window, id}] = font;  // made again for another DPI
  if (HFONT made = FontFor(font, Dpi(window))) SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(made), TRUE);
}

void Win32Ui::SetChecked(WindowId window, ControlId id, bool checked) {
  if (HWND control = Control(window, id)) SendMessageA(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Win32Ui::IsChecked(WindowId window, ControlId id) const {
  HWND control = Control(window, id);
  return control != nullptr && SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::string Win32Ui::Text(WindowId window, ControlId id) const {
  HWND control = Control(window, id);
  if (control == nullptr) return {};
  if (IsFolderTree(window, id)) return SelectedFolderPath(control);
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(control)) + 1, '\0');
  const int got = GetWindowTextA(control, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(std::max(got, 0)));
  return text;
}

void Win32Ui::Focus(WindowId window, ControlId id) {
  HWND control = Control(window, id);
  if (control == nullptr) return;
  SetFocus(control);
  // Kept for the next activation too: a window shown again from the tray is activated
  // after this call, and would otherwise give the focus back to the control it had.
  windows_[window].focus = control;
}

win32::OwnerDataList* Win32Ui::List(WindowId window, ControlId id) {
  auto found = lists_.find({window, id});
  return found == lists_.end() ? nullptr : &found->second;
}

const win32::OwnerDataList* Win32Ui::List(WindowId window, ControlId id) const {
  auto found = lists_.find({window, id});
  return found == lists_.end() ? nullptr : &found->second;
}

void Win32Ui::SetRows(WindowId window, ControlId id, std::shared_ptr<const RowSource> rows) {
  if (win32::OwnerDataList* list = List(window, id)) list->SetRows(std::move(rows));
}

std::int32_t Win32Ui::RowCount(WindowId window, ControlId id) const {
  const win32::OwnerDataList* list = List(window, id);
  return list == nullptr ? 0 : list->RowCount();
}

void Win32Ui::SelectRow(WindowId window, ControlId id, std::int32_t row) {
  if (win32::OwnerDataList* list = List(window, id)) list->SelectRow(row);
}

std::shared_ptr<const RowSource> Win32Ui::Rows(WindowId window, ControlId id) const {
  const win32::OwnerDataList* list = List(window, id);
  return list == nullptr ? nullptr : list->Rows();
}

std::vector<std::int32_t> Win32Ui::SelectedRows(WindowId window, ControlId id) const {
  const win32::OwnerDataList* list = List(window, id);
  return list == nullptr ? std::vector<std::int32_t>{} : list->SelectedRows();
}

std::int32_t Win32Ui::SelectedRow(WindowId window, ControlId id) const {
  const win32::OwnerDataList* list = List(window, id);
  return list == nullptr ? -1 : list->SelectedRow();
}

void Win32Ui::SetColumnWidth(WindowId window, ControlId id, int column, int width) {
  if (win32::OwnerDataList* list = List(window, id)) {
    list->SetColumnWidth(column, width == kFillHeader ? width : ToPixels(window, width));
  }
}

void Win32Ui::SetListRedraw(WindowId window, ControlId id, bool redraw) {
  if (win32::OwnerDataList* list = List(window, id)) list->SetRedraw(redraw);
}

void Win32Ui::SetSortArrow(WindowId window, ControlId id, int column, bool descending) {
  if (win32::OwnerDataList* list = List(window, id)) list->SetSortArrow(column, descending);
}

void Win32Ui::ShowMessage(std::string_view title, std::string_view text) {
  const std::string t(title);
  const std::string m(text);
  // Owned by an open dialog, which stays above all windows and would hide a box owned by
  // the main window; else by the main window, whatever numbers the program gave them.
  HWND main = nullptr;
  HWND dialog = nullptr;
  for (const auto& [number, data] : windows_) {
    if (data.style == WindowStyle::kMain) main = data.hwnd;
    if (IsDialogStyle(data.style)) dialog = data.hwnd;
  }
  HWND owner = dialog != nullptr ? dialog : main;
  MessageBoxA(owner, m.c_str(), t.c_str(), MB_OK);
}

// What workers post goes to the main window's bars.
void Win32Ui::ApplyStatusText(FieldId field, const std::string& text) {
  const WindowData* main = MainWindowData();
  if (main == nullptr || main->status_bar == nullptr) return;
  SendMessageA(main->status_bar, SB_SETTEXTA, NumberOf(field), reinterpret_cast<LPARAM>(text.c_str()));
}

void Win32Ui::ApplyProgress(int maximum, int position) {
  const WindowData* main = MainWindowData();
  if (main == nullptr || main->progress_bar == nullptr) return;
  SendMessageA(main->progress_bar, PBM_SETRANGE32, 0, maximum);
  SendMessageA(main->progress_bar, PBM_SETPOS, position, 0);
}

// ---------------------------------------------------------------------------------------
// Events

void Win32Ui::Queue(const Event& event) {
  // A drag of the frame sends a stream of size messages; one layout per pass is enough.
  if (event.kind == EventKind::kSize) {
    for (const Event& queued : events_) {
      if (queued.kind == EventKind::kSize && queued.window == event.window) return;
    }
  }
  events_.push_back(event);
}

void Win32Ui::HandleMessageFromQueue(MSG& message) {
  if (TranslateDialogKey(message) || menus_.TranslateShortcut(message)) return;
  TranslateMessage(&message);
  DispatchMessageA(&message);
}

void Win32Ui::PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) HandleMessageFromQueue(message);
}

Event Win32Ui::WaitEvent(std::uint32_t timeout_ms) {
  ApplyPostedUpdates();
  PumpMessages();
  if (events_.empty()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, timeout_ms, QS_ALLINPUT);
    PumpMessages();
  }
  ApplyPostedUpdates();
  if (events_.empty()) return {};
  const Event event = events_.front();
  events_.pop_front();
  return event;
}

void Win32Ui::HandleOnePendingEvent() {
  MSG message;
  if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) HandleMessageFromQueue(message);
}

// Fills the background except where visible child controls lie, so a resize repaints
// nothing twice. Check boxes and other typed buttons paint no background of their own
// and so get it from here.
bool Win32Ui::EraseAroundControls(HWND hwnd, HDC dc) {
  RECT client{};
  GetClientRect(hwnd, &client);
  win32::OwnedRegion region(CreateRectRgnIndirect(&client));
  for (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    char class_name[32] = {};
    GetClassNameA(child, class_name, sizeof class_name - 1);
    const LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
    if (lstrcmpiA(class_name, "Button") == 0 && (style & BS_TYPEMASK) != 0) continue;
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
    win32::OwnedRegion cut(CreateRectRgnIndirect(&r));
    CombineRgn(region.get(), region.get(), cut.get(), RGN_DIFF);
  }
  FillRgn(dc, region.get(), GetSysColorBrush(COLOR_BTNFACE));
  return true;
}

// Each notification goes to the control that sent it; the others' (the status bar's
// clicks) mean nothing here.
LRESULT Win32Ui::HandleNotify(WindowId window, const NMHDR& header, LPARAM lparam) {
  const ControlId id{static_cast<int>(header.idFrom)};
  if (IsFolderTree(window, id)) return HandleTreeNotify(window, id, header, lparam);
  auto list = lists_.find({window, id});
  if (list != lists_.end()) return HandleListNotify(window, id, list->second, header, lparam);
  return 0;
}

bool Win32Ui::QueueMouseNotify(WindowId window, ControlId id, UINT code) {
  switch (code) {
    case NM_DBLCLK: Queue(ControlEvent(window, id, Action::kLeftDoubleClick)); return true;
    case NM_RCLICK: Queue(ControlEvent(window, id, Action::kRightClick)); return true;
    case NM_CLICK: Queue(ControlEvent(window, id, Action::kLeftClick)); return true;
    default: return false;
  }
}

LRESULT Win32Ui::HandleListNotify(WindowId window, ControlId id, const win32::OwnerDataList& list,
                                  const NMHDR& header, LPARAM lparam) {
  // Shift with a right click asks for the shell's own menu.
  if (header.code == NM_RCLICK && GetKeyState(VK_SHIFT) < 0) {
    Queue(ControlEvent(window, id, Action::kShiftRightClick));
    return 0;
  }
  if (QueueMouseNotify(window, id, header.code)) return 0;
  switch (header.code) {
    case LVN_GETDISPINFOA: list.AnswerDisplayInfo(*reinterpret_cast<NMLVDISPINFOA*>(lparam), file_icons_); return 0;
    case LVN_GETINFOTIPA: list.AnswerInfoTip(*reinterpret_cast<NMLVGETINFOTIPA*>(lparam)); return 0;
    case LVN_GETINFOTIPW: list.AnswerInfoTip(*reinterpret_cast<NMLVGETINFOTIPW*>(lparam)); return 0;
    case LVN_COLUMNCLICK: {
      Event click = ControlEvent(window, id, Action::kHeaderClick);
      click.column = reinterpret_cast<const NMLISTVIEW*>(lparam)->iSubItem;
      Queue(click);
      return 0;
    }
    case LVN_ODFINDITEMA: return list.AnswerFindItem(lparam, false, TypeAheadFold());
    case LVN_ODFINDITEMW: return list.AnswerFindItem(lparam, true, TypeAheadFold());
    case LVN_KEYDOWN: {
      const WORD key = reinterpret_cast<const NMLVKEYDOWN*>(lparam)->wVKey;
      if (key == VK_DELETE) Queue(ControlEvent(window, id, Action::kDeleteKey));
      if (key == 'C' && GetKeyState(VK_CONTROL) < 0) Queue(ControlEvent(window, id, Action::kCopy));
      return 0;
    }
    case LVN_BEGINDRAG: Queue(ControlEvent(window, id, Action::kDragStart)); return 0;
    default: return 0;
  }
}

LRESULT Win32Ui::HandleMessage(WindowId window, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (HandleSplitterMouse(window, hwnd, message, wparam, lparam)) return message == WM_SETCURSOR ? TRUE : 0;
  if (ForwardToShellMenu(message, wparam, lparam)) return message == WM_INITMENUPOPUP ? 0 : TRUE;
  if (message == taskbar_created_ && taskbar_created_ != 0) {
    if (hwnd == tray_.Window()) tray_.AddAgain();
    return 0;
  }
  switch (message) {
    case WM_CLOSE: Queue({EventKind::kClose, window}); return 0;
    case WM_SIZE: {
      auto found = windows_.find(window);
      if (found != windows_.end() && found->second.status_bar != nullptr) {
        SendMessageA(found->second.status_bar, WM_SIZE, 0, 0);
      }
      if (!DeliverUrgent({EventKind::kSize, window})) Queue({EventKind::kSize, window});
      // The status bar keeps what it painted when it grows (its text would show twice,
      // shifted), and so may a control the layout has not moved: all of it is painted anew.
      RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
      return 0;
    }
    case WM_QUERYENDSESSION: return TRUE;
    case WM_ENDSESSION:
      if (wparam != FALSE && !DeliverUrgent({EventKind::kEndSession, window})) {
        Queue({EventKind::kEndSession, window});
      }
      return 0;
    case WM_TIMER:
      if (wparam != kPostedTimer) break;
      ApplyPostedUpdates();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        RememberFocus(window, hwnd);
      } else if (HIWORD(wparam) == 0 && RestoreFocus(window, hwnd)) {
        return 0;
      }
      break;
    case WM_GETMINMAXINFO: {
      auto found = windows_.find(window);
      if (found == windows_.end() || found->second.max_size.x == 0) break;
      // Bounds are inner sizes with the menu bar counted, so only the frame is added.
      auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
      const DWORD ws = static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE));
      const WindowData& data = found->second;
      RECT lo{0, 0, ToPixels(window, data.min_size.x), ToPixels(window, data.min_size.y)};
      RECT hi{0, 0, ToPixels(window, data.max_size.x), ToPixels(window, data.max_size.y)};
      AdjustWindowRectEx(&lo, ws, FALSE, 0);
      AdjustWindowRectEx(&hi, ws, FALSE, 0);
      info->ptMinTrackSize = {lo.right - lo.left, lo.bottom - lo.top};
      info->ptMaxTrackSize = {hi.right - hi.left, hi.bottom - hi.top};
      return 0;
    }
    case WM_ERASEBKGND: {
      auto found = windows_.find(window);
      if (found != windows_.end() && found->second.flicker_free) {
        return EraseAroundControls(hwnd, reinterpret_cast<HDC>(wparam)) ? 1 : 0;
      }
      break;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      if (lparam == 0) {
        Queue(MenuEvent(window, ItemId{id}));  // menu item or shortcut
      } else if (HIWORD(wparam) == BN_CLICKED) {
        Queue(ControlEvent(window, ControlId{id}, Action::kLeftClick));
      }
      return 0;
    }
    case WM_NOTIFY: return HandleNotify(window, *reinterpret_cast<NMHDR*>(lparam), lparam);
    case WM_CONTEXTMENU: {
      // From the keyboard (context-menu key, Shift+F10) the position is -1, -1; a list
      // then opens its menu as a right click does, which has reported itself already.
      const ControlId id{GetDlgCtrlID(reinterpret_cast<HWND>(wparam))};
      const bool from_keyboard = static_cast<short>(LOWORD(lparam)) == -1 && static_cast<short>(HIWORD(lparam)) == -1;
      if (from_keyboard && lists_.count({window, id}) != 0) {
        Queue(ControlEvent(window, id, Action::kRightClick));
        return 0;
      }
      break;
    }
    case WM_RBUTTONDOWN:
      Queue({.kind = EventKind::kRightButtonDown, .window = window,
             .x = FromPixels(window, static_cast<short>(LOWORD(lparam))),
             .y = FromPixels(window, static_cast<short>(HIWORD(lparam)))});
      return 0;
    case WM_DPICHANGED: {
      // Moved to a monitor of another DPI: fonts for it, then the size the system
      // suggests, whose size change lays the controls out at the new scale.
      ApplyDpi(window, HIWORD(wparam));
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case kTrayMessage:
      if (lparam == WM_LBUTTONDBLCLK) Queue({.kind = EventKind::kTray, .window = window, .action = Action::kLeftDoubleClick});
      if (lparam == WM_RBUTTONDOWN) Queue({.kind = EventKind::kTray, .window = window, .action = Action::kRightButton});
      return 0;
    default: break;
  }
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

// A right button press over the status bar counts as one over its window.
LRESULT Win32Ui::HandleStatusBarMessage(const WindowData& parent, HWND bar, UINT message, WPARAM wparam,
                                        LPARAM lparam) {
  if (message == WM_RBUTTONDOWN) {
    POINT at{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
    MapWindowPoints(bar, parent.hwnd, &at, 1);
    Queue({.kind = EventKind::kRightButtonDown, .window = parent.number, .x = FromPixels(parent.number, at.x),
           .y = FromPixels(parent.number, at.y)});
    return 0;
  }
  return DefSubclassProc(bar, message, wparam, lparam);
}

}  // namespace tandrel::ui
