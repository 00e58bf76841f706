// Numbered windows, message boxes and the one stream of events. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>

#include "platform/window/values.h"

namespace tandrel::ui {

class WindowSet {
 public:
  // Windows. Sizes are inner sizes: for a window with a menu bar the bar counts in the
  // height, so a window opened at 900 x 600 reports 900 x 600 whatever its menu takes.
  virtual bool OpenWindow(WindowId window, WindowStyle style, std::string_view title, int width,
                          int height) = 0;
  virtual void CloseWindow(WindowId window) = 0;
  virtual bool WindowExists(WindowId window) const = 0;
  virtual void SetSizeBounds(WindowId window, int min_width, int min_height, int max_width,
                             int max_height) = 0;
  virtual void GetInnerSize(WindowId window, int& width, int& height) const = 0;
  virtual void SetOpacity(WindowId window, std::uint8_t alpha) = 0;
  virtual void SetStayOnTop(WindowId window) = 0;
  virtual void ShowWindow(WindowId window, bool shown) = 0;
  virtual void EnableWindow(WindowId window, bool enabled) = 0;
  virtual void ActivateWindow(WindowId window) = 0;
  // Background erase that leaves visible child controls out, so they do not flicker.
  virtual void EnableFlickerFreeErase(WindowId window) = 0;

  // A message box with one OK button, owned by the open dialog if there is one (it stays
  // above the dialog), else by the main window; returns when closed. (Names avoid
  // MessageBox, which windows.h defines.)
  virtual void ShowMessage(std::string_view title, std::string_view text) = 0;
  // A message box with Yes and No, owned by the main window; true for Yes.
  virtual bool AskYesNo(std::string_view title, std::string_view text) = 0;

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

 protected:
  ~WindowSet() = default;

  // Hands an event to the urgent handler; false when none is set (queue it instead).
  bool DeliverUrgent(const Event& event) {
    if (!urgent_handler_) return false;
    urgent_handler_(event);
    return true;
  }

 private:
  UrgentEventHandler urgent_handler_;
};

}  // namespace tandrel::ui
