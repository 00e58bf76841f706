// A window layer without windows: it keeps the state a real one would show, takes its
// events from a queue that tests fill, and records message boxes and popup menus.
#pragma once

#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/window/splitter.h"
#include "platform/window/ui.h"

namespace tandrel::ui {

class HeadlessUi : public Ui {
 public:
  static constexpr int kStatusBarHeight = 23;

  struct Window {
    WindowStyle style = WindowStyle::kMain;
    std::string title;
    int width = 0, height = 0;
    int min_width = 0, min_height = 0, max_width = 1 << 20, max_height = 1 << 20;
    bool shown = true, enabled = true, on_top = false, flicker_free = false, active = false;
    std::uint8_t opacity = 255;
    std::vector<std::uint8_t> opacity_steps;
  };
  enum class ControlKind { kPicture, kTextField, kButton, kCheckBox, kProgressBar, kList, kFolderTree, kSplitter };
  struct Control {
    ControlKind kind = ControlKind::kButton;
    Rect rect;
    std::string text;
    bool checked = false;
    FontSpec font;
    int progress_max = 0, progress_pos = 0;
    std::vector<std::string> columns;
    std::vector<int> widths;
    std::shared_ptr<const RowSource> rows;
    std::set<std::int32_t> selected;
    ListSelection selection = ListSelection::kMultiple;
    bool redraw = true;
    int sort_arrow_column = -1;
    bool sort_descending = false;
    Splitter splitter;  // kSplitter only
  };

  // Test side: events to deliver, and what was shown.
  void Push(const Event& event) { events_.push_back(event); }
  // Sets the inner size as a drag of the frame would (bounds applied) and queues the
  // size event.
  void Resize(WindowId window, int width, int height);
  void TypeText(WindowId window, ControlId id, std::string_view text) { controls_[{window, id}].text = text; }
  // Selects a folder in a folder tree as the user would: `path` ends with the separator,
  // an empty path selects nothing.
  void SelectTreeFolder(WindowId window, ControlId id, std::string_view path);
  // Drags a splitter's bar so that its top lies at `bar_top`.
  void DragSplitterBar(WindowId window, ControlId id, int bar_top);
  // While set, windows cannot be opened, as when the system refuses to create them.
  void RefuseWindows(bool refuse) { refuse_windows_ = refuse; }
  // What the user answers to the next Yes/No questions (No unless set).
  void AnswerQuestions(bool yes) { answer_yes_ = yes; }
  // The answer of the next folder requesters (cancelled unless set).
  void AnswerFolderRequester(std::optional<std::string> answer) { folder_answer_ = std::move(answer); }
  // Command lines whose first word (quoted or not) is one of these paths start; every
  // other command line is refused, as a document's or a folder's path is.
  void AcceptPrograms(std::set<std::string> paths) { programs_ = std::move(paths); }
  // Whether the selecting file browser succeeds.
  void ShowInFolderSucceeds(bool succeeds) { show_in_folder_succeeds_ = succeeds; }

  struct ProgramStart {
    std::string command_line, working_folder;
    bool started = false;
  };
  struct ShellOpen {
    std::string path, parameters, working_folder;
  };
  struct FolderShown {
    std::string folder;
    std::vector<std::string> names;
  };

  const Window* FindWindow(WindowId window) const;
  const Control* FindControl(WindowId window, ControlId id) const;
  const std::vector<std::pair<std::string, std::string>>& MessageBoxes() const { return boxes_; }
  const std::vector<std::pair<std::string, std::string>>& Questions() const { return questions_; }
  const std::vector<ProgramStart>& ProgramStarts() const { return program_starts_; }
  const std::vector<ShellOpen>& ShellOpens() const { return shell_opens_; }
  const std::vector<FolderShown>& FoldersShown() const { return folders_shown_; }
  const std::vector<std::string>& FolderRequesterTitles() const { return requester_titles_; }
  const std::vector<std::vector<std::string>>& Drags() const { return drags_; }
  const std::vector<std::vector<std::string>>& Clipboards() const { return clipboards_; }
  const std::vector<std::vector<std::string>>& ShellMenus() const { return shell_menus_; }
  const std::vector<MenuId>& PopupsShown() const { return popups_shown_; }
  std::string StatusText(FieldId field) const;
  std::string MenuItemText(ItemId item) const;
  bool MenuItemEnabled(ItemId item) const;
  bool TrayPresent() const { return tray_present_; }
  bool TrayRemovedWhileItsWindowExisted() const { return tray_removed_with_window_; }
  ImageId TrayImage() const { return tray_image_; }
  const std::string& TrayTooltip() const { return tray_tooltip_; }
  const std::set<ImageId>& LoadedIcons() const { return icons_; }
  const std::vector<std::string>& DrawnTexts() const { return drawn_texts_; }
  std::vector<std::pair<Shortcut, ItemId>> Shortcuts() const { return shortcuts_; }
  // The window and control that have the keyboard focus.
  std::pair<WindowId, ControlId> FocusedControl() const { return focus_; }
  // The order Tab walks, as the program set it.
  std::vector<ControlId> TabOrder(WindowId window) const {
    auto found = tab_orders_.find(window);
    return found == tab_orders_.end() ? std::vector<ControlId>{} : found->second;
  }
  int HandledPendingEvents() const { return pending_handled_; }
  // Shows what workers posted, as the next wait for events would.
  void ApplyPosted() { ApplyPostedUpdates(); }

  // Windows, message boxes and events.
  bool OpenWindow(WindowId window, WindowStyle style, std::string_view title, int width, int height) override;
  void CloseWindow(WindowId window) override;
  bool WindowExists(WindowId window) const override { return windows_.count(window) != 0; }
  void SetSizeBounds(WindowId window, int min_width, int min_height, int max_width, int max_height) override;
  void GetInnerSize(WindowId window, int& width, int& height) const override {
    const Window* w = FindWindow(window);
    width = w ? w->width : 0;
    height = w ? w->height : 0;
  }
  void SetOpacity(WindowId window, std::uint8_t alpha) override {
    if (Window* w = EditWindow(window)) w->opacity_steps.push_back(w->opacity = alpha);
  }
  void SetStayOnTop(WindowId window) override {
    if (Window* w = EditWindow(window)) w->on_top = true;
  }
  void ShowWindow(WindowId window, bool shown) override {
    if (Window* w = EditWindow(window)) w->shown = shown;
  }
  void EnableWindow(WindowId window, bool enabled) override {
    if (Window* w = EditWindow(window)) w->enabled = enabled;
  }
  void ActivateWindow(WindowId window) override {
    for (auto& [number, w] : windows_) w.active = number == window;
  }
  void EnableFlickerFreeErase(WindowId window) override {
    if (Window* w = EditWindow(window)) w->flicker_free = true;
  }
  void ShowMessage(std::string_view title, std::string_view text) override { boxes_.emplace_back(title, text); }
  bool AskYesNo(std::string_view title, std::string_view text) override {
    questions_.emplace_back(title, text);
    return answer_yes_;
  }
  Event WaitEvent(std::uint32_t timeout_ms) override;
  void HandleOnePendingEvent() override { ++pending_handled_; }

  // Controls and lists: each keeps what the window system would show.
  void AddPicture(WindowId window, ControlId id, Rect at, const Picture&) override {
    AddControl(window, id, ControlKind::kPicture, at);
  }
  void AddTextField(WindowId window, ControlId id, Rect at) override {
    AddControl(window, id, ControlKind::kTextField, at);
  }
  void AddButton(WindowId window, ControlId id, Rect at, std::string_view text) override {
    AddControl(window, id, ControlKind::kButton, at).text = text;
  }
  void AddCheckBox(WindowId window, ControlId id, Rect at, std::string_view text) override {
    AddControl(window, id, ControlKind::kCheckBox, at).text = text;
  }
  void AddProgressBar(WindowId window, ControlId id, Rect at, int maximum) override;
  void AddList(WindowId window, ControlId id, Rect at, const std::vector<std::string>& columns,
               const std::vector<int>& widths, ListSelection selection) override;
  void AddFolderTree(WindowId window, ControlId id, Rect at) override {
    AddControl(window, id, ControlKind::kFolderTree, at);
  }
  void AddSplitter(WindowId window, ControlId id, Rect at, ControlId upper_id, ControlId lower_id) override;
  int AddStatusBar(WindowId window, const std::vector<int>& field_widths) override;
  void MoveControl(WindowId window, ControlId id, Rect at) override;
  std::optional<Rect> ControlRect(WindowId window, ControlId id) const override {
    const Control* c = FindControl(window, id);
    return c == nullptr ? std::nullopt : std::optional<Rect>(c->rect);
  }
  void SetFont(WindowId window, ControlId id, const FontSpec& font) override {
    if (Control* c = EditControl(window, id)) c->font = font;
  }
  void SetChecked(WindowId window, ControlId id, bool checked) override {
    if (Control* c = EditControl(window, id)) c->checked = checked;
  }
  bool IsChecked(WindowId window, ControlId id) const override {
    const Control* c = FindControl(window, id);
    return c != nullptr && c->checked;
  }
  std::string Text(WindowId window, ControlId id) const override {
    const Control* c = FindControl(window, id);
    return c ? c->text : std::string();
  }
  void Focus(WindowId window, ControlId id) override { focus_ = {window, id}; }
  void SetTabOrder(WindowId window, const std::vector<ControlId>& order) override { tab_orders_[window] = order; }
  void SetRows(WindowId window, ControlId id, std::shared_ptr<const RowSource> rows) override;
  std::shared_ptr<const RowSource> Rows(WindowId window, ControlId id) const override {
    const Control* c = FindControl(window, id);
    return c ? c->rows : nullptr;
  }
  std::int32_t RowCount(WindowId window, ControlId id) const override {
    const Control* c = FindControl(window, id);
    return c && c->rows ? c->rows->RowCount() : 0;
  }
  void SelectRow(WindowId window, ControlId id, std::int32_t row) override;
  std::int32_t SelectedRow(WindowId window, ControlId id) const override {
    const Control* c = FindControl(window, id);
    return c == nullptr || c->selected.empty() ? -1 : *c->selected.begin();
  }
  std::vector<std::int32_t> SelectedRows(WindowId window, ControlId id) const override {
    const Control* c = FindControl(window, id);
    if (c == nullptr) return {};
    return std::vector<std::int32_t>(c->selected.begin(), c->selected.end());  // a set: in order
  }
  void SetColumnWidth(WindowId window, ControlId id, int column, int width) override;
  void SetListRedraw(WindowId window, ControlId id, bool redraw) override {
    if (Control* c = EditControl(window, id)) c->redraw = redraw;
  }
  void SetSortArrow(WindowId window, ControlId id, int column, bool descending) override {
    if (Control* c = EditControl(window, id)) {
      c->sort_arrow_column = column;
      c->sort_descending = descending;
    }
  }

  // Menus, the tray and images.
  void SetMenuBar(WindowId window, const std::vector<MenuTitle>& titles) override;
  void DefinePopupMenu(MenuId menu, const std::vector<MenuItem>& items) override;
  void ShowPopupMenu(WindowId, MenuId menu) override {
    if (popups_.count(menu)) popups_shown_.push_back(menu);
  }
  void SetMenuItemText(ItemId item, std::string_view text) override { item_texts_[item] = text; }
  void AddShortcut(WindowId, Shortcut key, ItemId event_id) override { shortcuts_.emplace_back(key, event_id); }
  bool LoadIconImage(ImageId image, const std::uint8_t* bytes, std::size_t size) override;
  void DrawPictureText(Picture& picture, int x, int y, std::uint8_t red, std::uint8_t green,
                       std::uint8_t blue, std::string_view text) override;
  bool AddTrayIcon(WindowId window, ImageId image, std::string_view tooltip) override;
  void RemoveTrayIcon() override {
    // The real tray names the icon by its window: removed after the window, it stays.
    if (tray_present_) tray_removed_with_window_ = WindowExists(tray_window_);
    tray_present_ = false;
  }

  // The shell: what was asked of it is recorded.
  bool StartCommandLine(const std::string& command_line, const std::string& working_folder) override;
  bool OpenWithShell(const std::string& path, std::string_view parameters,
                     const std::string& working_folder) override {
    shell_opens_.push_back({path, std::string(parameters), working_folder});
    return true;
  }
  bool ShowInFolder(const std::string& folder, const std::vector<std::string>& names) override {
    if (!show_in_folder_succeeds_) return false;
    folders_shown_.push_back({folder, names});
    return true;
  }
  std::optional<std::string> ChooseFolder(std::string_view title) override {
    requester_titles_.emplace_back(title);
    return folder_answer_;
  }
  void DragFiles(const std::vector<std::string>& paths) override { drags_.push_back(paths); }
  void PutFilesOnClipboard(const std::vector<std::string>& paths) override { clipboards_.push_back(paths); }
  void ShowShellMenu(const std::vector<std::string>& paths) override { shell_menus_.push_back(paths); }

 protected:
  void ApplyStatusText(FieldId field, const std::string& text) override;
  void ApplyProgress(int maximum, int position) override;
  void ApplyTrayImage(ImageId image) override { tray_image_ = image; }
  void ApplyTrayTooltip(const std::string& tooltip) override;
  void ApplyMenuItemEnabled(ItemId item, bool enabled) override { item_enabled_[item] = enabled; }

 private:
  Control& AddControl(WindowId window, ControlId id, ControlKind kind, Rect at);
  Window* EditWindow(WindowId window) {
    auto found = windows_.find(window);
    return found == windows_.end() ? nullptr : &found->second;
  }
  Control* EditControl(WindowId window, ControlId id) {
    auto found = controls_.find({window, id});
    return found == controls_.end() ? nullptr : &found->second;
  }
  void LayOutSplitter(WindowId window, const Splitter& splitter);

  std::map<WindowId, Window> windows_;
  std::map<std::pair<WindowId, ControlId>, Control> controls_;
  std::deque<Event> events_;
  int idle_waits_ = 0;
  std::vector<std::pair<std::string, std::string>> boxes_;
  std::vector<MenuId> popups_shown_;
  std::map<MenuId, std::vector<MenuItem>> popups_;
  std::map<ItemId, std::string> item_texts_;
  std::map<ItemId, bool> item_enabled_;
  std::vector<std::string> status_;
  std::vector<int> status_widths_;
  bool tray_present_ = false;
  WindowId tray_window_{-1};
  bool tray_removed_with_window_ = false;
  ImageId tray_image_ = kNoImage;
  std::string tray_tooltip_;
  std::set<ImageId> icons_;
  std::vector<std::string> drawn_texts_;
  std::vector<std::pair<Shortcut, ItemId>> shortcuts_;
  std::pair<WindowId, ControlId> focus_{WindowId{-1}, ControlId{-1}};
  std::map<WindowId, std::vector<ControlId>> tab_orders_;
  int pending_handled_ = 0;
  WindowId progress_window_{-1};
  ControlId progress_id_{-1};
  bool refuse_windows_ = false;
  bool answer_yes_ = false;
  std::vector<std::pair<std::string, std::string>> questions_;
  std::optional<std::string> folder_answer_;
  std::vector<std::string> requester_titles_;
  std::set<std::string> programs_;
  bool show_in_folder_succeeds_ = true;
  std::vector<ProgramStart> program_starts_;
  std::vector<ShellOpen> shell_opens_;
  std::vector<FolderShown> folders_shown_;
  std::vector<std::vector<std::string>> drags_;
  std::vector<std::vector<std::string>> clipboards_;
  std::vector<std::vector<std::string>> shell_menus_;
};

}  // namespace tandrel::ui
