#include "verbs.h"

namespace driver {
namespace {

struct StaticTexts {
  std::string lines;
};

// The icon of a message box is a static control too; only ones with text count.
BOOL CALLBACK CollectStaticText(HWND child, LPARAM context) {
  auto* texts = reinterpret_cast<StaticTexts*>(context);
  if (ClassName(child) != "Static") return TRUE;
  const std::string text = WindowText(child);
  if (text.empty()) return TRUE;
  if (!texts->lines.empty()) texts->lines += "\n";
  texts->lines += text;
  return TRUE;
}

struct ButtonSearch {
  HWND found;
};

BOOL CALLBACK FindFirstButton(HWND child, LPARAM context) {
  auto* search = reinterpret_cast<ButtonSearch*>(context);
  if (ClassName(child) != "Button" || !IsWindowVisible(child)) return TRUE;
  search->found = child;
  return FALSE;
}

HWND WaitDialog(unsigned timeout_ms) {
  HWND dialog = nullptr;
  PollUntil(timeout_ms, [&] { return (dialog = FindVisibleWindowOfClass("#32770")) != nullptr; });
  return dialog;
}

}  // namespace

int MessageBoxVerb(const Args& args) {
  unsigned timeout_ms = 0;
  if (!ParseTimeout(args, 0, &timeout_ms)) return kUsage;
  HWND dialog = WaitDialog(timeout_ms);
  if (dialog == nullptr) return kNotFound;
  StaticTexts texts;
  EnumChildWindows(dialog, CollectStaticText, reinterpret_cast<LPARAM>(&texts));
  PrintLine(WindowText(dialog));
  PrintLine(texts.lines);
  return kOk;
}

// Presses OK, or the first button when there is none, and waits until the box is gone.
int CloseMessageBoxVerb(const Args& args) {
  unsigned timeout_ms = 0;
  if (!ParseTimeout(args, 0, &timeout_ms)) return kUsage;
  HWND dialog = FindVisibleWindowOfClass("#32770");
  if (dialog == nullptr) {
    PrintError("no message box open");
    return kNotFound;
  }
  HWND button = GetDlgItem(dialog, IDOK);
  if (button == nullptr) {
    ButtonSearch search{nullptr};
    EnumChildWindows(dialog, FindFirstButton, reinterpret_cast<LPARAM>(&search));
    button = search.found;
  }
  const int id = button != nullptr ? GetDlgCtrlID(button) : IDOK;
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  return PollUntil(timeout_ms, [&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); })
             ? kOk
             : kNotFound;
}

}  // namespace driver
