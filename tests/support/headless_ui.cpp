#include "tests/support/headless_ui.h"

#include <algorithm>

namespace tandrel::ui {
namespace {

// A loop that keeps waiting on an empty queue would never end a test; after this many
// empty waits the main window is closed as a user would.
constexpr int kIdleWaitsBeforeClose = 10000;
constexpr std::size_t kTooltipLimit = 63;

}  // namespace

bool HeadlessUi::OpenWindow(WindowId window, WindowStyle style, std::string_view title, int width,
                            int height) {
  if (refuse_windows_) return false;
  Window& w = windows_[window];
  w = Window{};
  w.style = style;
  w.title = title;
  w.width = width;
  w.height = height;
  return true;
}

void HeadlessUi::CloseWindow(WindowId window) {
  windows_.erase(window);
  // As the window system drops the messages of a destroyed window.
  std::erase_if(events_, [window](const Event& e) { return e.window == window; });
  std::erase_if(controls_, [window](const auto& c) { return c.first.first == window; });
}

void HeadlessUi::SetSizeBounds(WindowId window, int min_width, int min_height, int max_width,
                               int max_height) {
  if (!windows_.count(window)) return;
  Window& w = windows_[window];
  w.min_width = min_width;
  w.min_height = min_height;
  w.max_width = max_width;
  w.max_height = max_height;
}

void HeadlessUi::Resize(WindowId window, int width, int height) {
  if (!windows_.count(window)) return;
  Window& w = windows_[window];
  w.width = std::clamp(width, w.min_width, w.max_width);
  w.height = std::clamp(height, w.min_height, w.max_height);
  Push({.kind = EventKind::kSize, .window = window});
}

HeadlessUi::Control& HeadlessUi::AddControl(WindowId window, ControlId id, ControlKind kind, Rect at) {
  Control& c = controls_[{window, id}];
  c = Control{};
  c.kind = kind;
  c.rect = at;
  return c;
}

void HeadlessUi::AddProgressBar(WindowId window, ControlId id, Rect at, int maximum) {
  AddControl(window, id, ControlKind::kProgressBar, at).progress_max = maximum;
  progress_window_ = window;
  progress_id_ = id;
}
void HeadlessUi::AddList(WindowId window, ControlId id, Rect at, const std::vector<std::string>& columns,
                         const std::vector<int>& widths, ListSelection selection) {
  Control& c = AddControl(window, id, ControlKind::kList, at);
  c.columns = columns;
  c.widths = widths;
  c.widths.resize(columns.size());
  c.selection = selection;
}

void HeadlessUi::SelectTreeFolder(WindowId window, ControlId id, std::string_view path) {
  auto found = controls_.find({window, id});
  if (found != controls_.end() && found->second.kind == ControlKind::kFolderTree) found->second.text = path;
}

void HeadlessUi::AddSplitter(WindowId window, ControlId id, Rect at, ControlId upper_id, ControlId lower_id) {
  Control& c = AddControl(window, id, ControlKind::kSplitter, at);
  c.splitter = Splitter(at, upper_id, lower_id);
  LayOutSplitter(window, c.splitter);
}

void HeadlessUi::DragSplitterBar(WindowId window, ControlId id, int bar_top) {
  auto found = controls_.find({window, id});
  if (found == controls_.end() || found->second.kind != ControlKind::kSplitter) return;
  found->second.splitter.DragBarTo(bar_top);
  LayOutSplitter(window, found->second.splitter);
}

void HeadlessUi::LayOutSplitter(WindowId window, const Splitter& splitter) {
  const SplitPanes panes = splitter.Panes();
  MoveControl(window, splitter.UpperId(), panes.upper);
  MoveControl(window, splitter.LowerId(), panes.lower);
}

int HeadlessUi::AddStatusBar(WindowId, const std::vector<int>& field_widths) {
  status_widths_ = field_widths;
  status_.assign(field_widths.size(), std::string());
  return kStatusBarHeight;
}

void HeadlessUi::MoveControl(WindowId window, ControlId id, Rect at) {
  auto found = controls_.find({window, id});
  if (found == controls_.end()) return;
  found->second.rect = at;
  if (found->second.kind == ControlKind::kSplitter) {
    found->second.splitter.MoveTo(at);
    LayOutSplitter(window, found->second.splitter);
  }
}

void HeadlessUi::SetRows(WindowId window, ControlId id, std::shared_ptr<const RowSource> rows) {
  auto found = controls_.find({window, id});
  if (found == controls_.end()) return;
  found->second.rows = std::move(rows);
  found->second.selected.clear();
}
void HeadlessUi::SelectRow(WindowId window, ControlId id, std::int32_t row) {
  auto found = controls_.find({window, id});
  if (found == controls_.end()) return;
  Control& c = found->second;
  const std::int32_t count = c.rows ? c.rows->RowCount() : 0;
  if (row == -1) {
    if (c.selection == ListSelection::kSingle) return;
    for (std::int32_t r = 0; r < count; ++r) c.selected.insert(r);
  } else if (row >= 0 && row < count) {
    if (c.selection == ListSelection::kSingle) c.selected.clear();
    c.selected.insert(row);
  }
}
void HeadlessUi::SetColumnWidth(WindowId window, ControlId id, int column, int width) {
  auto found = controls_.find({window, id});
  if (found == controls_.end()) return;
  Control& c = found->second;
  if (column < 0 || column >= static_cast<int>(c.widths.size())) return;
  if (width == kFillHeader) {
    int others = 0;
    for (int i = 0; i < static_cast<int>(c.widths.size()); ++i) {
      if (i != column) others += c.widths[i];
    }
    width = std::max(0, c.rect.width - others);
  }
  c.widths[column] = width;
}
void HeadlessUi::SetMenuBar(WindowId, const std::vector<MenuTitle>& titles) {
  for (const MenuTitle& t : titles) {
    for (const MenuItem& item : t.items) {
      item_texts_[item.id] = item.text;
      item_enabled_[item.id] = true;
    }
  }
}
void HeadlessUi::DefinePopupMenu(MenuId menu, const std::vector<MenuItem>& items) {
  popups_[menu] = items;
  for (const MenuItem& item : items) {
    item_texts_[item.id] = item.text;
    item_enabled_[item.id] = true;
  }
}
std::string HeadlessUi::MenuItemText(ItemId item) const {
  auto found = item_texts_.find(item);
  return found == item_texts_.end() ? std::string() : found->second;
}
bool HeadlessUi::MenuItemEnabled(ItemId item) const {
  auto found = item_enabled_.find(item);
  return found != item_enabled_.end() && found->second;
}

bool HeadlessUi::LoadIconImage(ImageId image, const std::uint8_t* bytes, std::size_t size) {
  // The same check a real icon loader makes first: an icon file's header.
  if (size < 6 || bytes[0] != 0 || bytes[1] != 0 || bytes[2] != 1 || bytes[3] != 0) return false;
  icons_.insert(image);
  return true;
}
void HeadlessUi::DrawPictureText(Picture&, int x, int y, std::uint8_t, std::uint8_t,
                                 std::uint8_t, std::string_view text) {
  drawn_texts_.push_back(std::to_string(x) + "," + std::to_string(y) + ":" + std::string(text));
}

bool HeadlessUi::AddTrayIcon(WindowId window, ImageId image, std::string_view tooltip) {
  tray_present_ = true;
  tray_window_ = window;
  tray_image_ = image;
  ApplyTrayTooltip(std::string(tooltip));
  return true;
}
void HeadlessUi::ApplyTrayTooltip(const std::string& tooltip) {
  tray_tooltip_ = tooltip.substr(0, kTooltipLimit);
}
bool HeadlessUi::StartCommandLine(const std::string& command_line, const std::string& working_folder) {
  std::string first;
  if (!command_line.empty() && command_line[0] == '"') {
    first = command_line.substr(1, command_line.find('"', 1) - 1);
  } else {
    first = command_line.substr(0, command_line.find(' '));
  }
  const bool started = programs_.count(first) != 0;
  program_starts_.push_back({command_line, working_folder, started});
  return started;
}

Event HeadlessUi::WaitEvent(std::uint32_t) {
  ApplyPostedUpdates();
  if (events_.empty()) {
    if (++idle_waits_ >= kIdleWaitsBeforeClose) return {.kind = EventKind::kClose, .window = WindowId{0}};
    return {};
  }
  const Event event = events_.front();
  events_.pop_front();
  return event;
}

void HeadlessUi::ApplyStatusText(FieldId field, const std::string& text) {
  const int number = NumberOf(field);
  if (number >= 0 && number < static_cast<int>(status_.size())) status_[number] = text;
}
std::string HeadlessUi::StatusText(FieldId field) const {
  const int number = NumberOf(field);
  return number >= 0 && number < static_cast<int>(status_.size()) ? status_[number] : std::string();
}
void HeadlessUi::ApplyProgress(int maximum, int position) {
  auto found = controls_.find({progress_window_, progress_id_});
  if (found == controls_.end()) return;
  found->second.progress_max = maximum;
  found->second.progress_pos = position;
}

const HeadlessUi::Window* HeadlessUi::FindWindow(WindowId window) const {
  auto found = windows_.find(window);
  return found == windows_.end() ? nullptr : &found->second;
}
const HeadlessUi::Control* HeadlessUi::FindControl(WindowId window, ControlId id) const {
  auto found = controls_.find({window, id});
  return found == controls_.end() ? nullptr : &found->second;
}

}  // namespace tandrel::ui
