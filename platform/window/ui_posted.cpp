// Updates that worker threads post to the window layer. Each kind keeps only its newest
// value (menu states keep their order), so a worker that reports every few milliseconds
// costs one short lock and nothing more; the main thread shows the result once per pass.
#include "platform/window/ui.h"

namespace tandrel::ui {

void Ui::PostStatusText(FieldId field_id, std::string_view text) {
  const int field = NumberOf(field_id);
  if (field < 0) return;
  platform::LockGuard hold(posted_lock_);
  if (posted_.status_texts.size() <= static_cast<std::size_t>(field)) {
    posted_.status_texts.resize(static_cast<std::size_t>(field) + 1);
  }
  posted_.status_texts[static_cast<std::size_t>(field)] = std::string(text);
  posted_any_.store(true, std::memory_order_release);
}

void Ui::PostProgress(int maximum, int position) {
  platform::LockGuard hold(posted_lock_);
  posted_.progress = {maximum, position};
  posted_any_.store(true, std::memory_order_release);
}

void Ui::PostTrayImage(ImageId image) {
  platform::LockGuard hold(posted_lock_);
  posted_.tray_image = image;
  posted_any_.store(true, std::memory_order_release);
}

void Ui::PostTrayTooltip(std::string_view tooltip) {
  platform::LockGuard hold(posted_lock_);
  posted_.tray_tooltip = std::string(tooltip);
  posted_any_.store(true, std::memory_order_release);
}

void Ui::PostMenuItemEnabled(ItemId item, bool enabled) {
  platform::LockGuard hold(posted_lock_);
  auto& states = posted_.menu_states;
  std::erase_if(states, [item](const auto& s) { return s.first == item; });
  states.emplace_back(item, enabled);
  posted_any_.store(true, std::memory_order_release);
}

void Ui::PostListRows(WindowId window, ControlId id, std::shared_ptr<const RowSource> rows,
                      int fill_column) {
  platform::LockGuard hold(posted_lock_);
  auto& lists = posted_.list_rows;
  std::erase_if(lists, [&](const auto& l) { return l.window == window && l.id == id; });
  lists.push_back({window, id, std::move(rows), fill_column});
  posted_any_.store(true, std::memory_order_release);
}

void Ui::ApplyPostedUpdates() {
  if (!posted_any_.load(std::memory_order_acquire)) return;
  Posted taken;
  {
    platform::LockGuard hold(posted_lock_);
    taken = std::move(posted_);
    posted_ = Posted{};
    posted_any_.store(false, std::memory_order_relaxed);
  }
  // Shown outside the lock: a window call may take a while, and workers must not wait.
  for (std::size_t field = 0; field < taken.status_texts.size(); ++field) {
    if (taken.status_texts[field]) ApplyStatusText(FieldId(field), *taken.status_texts[field]);
  }
  if (taken.progress) ApplyProgress(taken.progress->first, taken.progress->second);
  if (taken.tray_image) ApplyTrayImage(*taken.tray_image);
  if (taken.tray_tooltip) ApplyTrayTooltip(*taken.tray_tooltip);
  for (const auto& [item, enabled] : taken.menu_states) ApplyMenuItemEnabled(item, enabled);
  for (const auto& list : taken.list_rows) {
    SetListRedraw(list.window, list.id, false);
    SetRows(list.window, list.id, list.rows);
    if (list.fill_column >= 0) SetColumnWidth(list.window, list.id, list.fill_column, kFillHeader);
    SetListRedraw(list.window, list.id, true);
  }
}

}  // namespace tandrel::ui
