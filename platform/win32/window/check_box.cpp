// Check boxes as wide as their labels: the layout gives each a fixed width, which cuts
// the label off under larger interface fonts.
#include <algorithm>
#include <string>

#include "platform/win32/window/win32_ui.h"

namespace tandrel::ui {

bool Win32Ui::IsCheckBox(HWND control) {
  const LONG_PTR style = GetWindowLongPtrA(control, GWL_STYLE);
  const LONG_PTR type = style & BS_TYPEMASK;
  return type == BS_AUTOCHECKBOX || type == BS_CHECKBOX;
}

// The box, the gap after it and the label in the control's own font. The right edge
// stays where the layout put it, so a wider box grows to the left.
Rect Win32Ui::FitCheckBoxToLabel(HWND control, Rect at) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(control)) + 1, '\0');
  const int got = GetWindowTextA(control, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(std::max(got, 0)));
  SIZE label{};
  {
    win32::WindowDc dc(control);
    if (dc.get() == nullptr) return at;
    auto font = reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0));
    win32::Selected selected(dc.get(), font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
    GetTextExtentPoint32A(dc.get(), text.c_str(), static_cast<int>(text.size()), &label);
  }
  constexpr int kGapAndFocusFrame = 8;
  const int needed = GetSystemMetrics(SM_CXMENUCHECK) + kGapAndFocusFrame + label.cx;
  if (needed <= at.width) return at;
  return {at.x + at.width - needed, at.y, needed, at.height};
}

}  // namespace tandrel::ui
