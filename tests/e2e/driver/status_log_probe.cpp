// Runs inside the program under test: logs every change of two status-bar fields as the
// program makes it (see StatusLogBlock).
#include "menu_probe.h"
// After windows.h, which menu_probe.h brings in: commctrl.h relies on its types.
#include <commctrl.h>

#include <cstring>
#include <string>

namespace {

// Set by the driver's thread before the bar's procedure is replaced; the rest belongs to
// the bar's own thread, which makes every change.
WNDPROC original = nullptr;
UINT start_message = 0;
bool started = false;
unsigned field_a = 0;
unsigned field_b = 0;
std::string texts[2];
std::string log_path;

std::string FieldText(HWND window, unsigned field) {
  char text[1024] = {};
  const LRESULT length = CallWindowProcA(original, window, SB_GETTEXTLENGTHA, field, 0);
  if ((length & 0xFFFF) >= sizeof text) return {};
  CallWindowProcA(original, window, SB_GETTEXTA, field, reinterpret_cast<LPARAM>(text));
  return text;
}

void AppendPair() {
  HANDLE file = CreateFileA(log_path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string line = texts[0] + "|" + texts[1] + "\n";
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
}

LRESULT CALLBACK LoggingProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == start_message) {
    texts[0] = FieldText(window, field_a);
    texts[1] = FieldText(window, field_b);
    AppendPair();
    started = true;
    return 0;
  }
  const LRESULT result = CallWindowProcA(original, window, message, wparam, lparam);
  if (started && (message == SB_SETTEXTA || message == SB_SETTEXTW)) {
    const unsigned field = static_cast<unsigned>(wparam & 0xFF);
    if (field == field_a || field == field_b) {
      const std::string now = FieldText(window, field);
      std::string& kept = texts[field == field_a ? 0 : 1];
      if (now != kept) {
        kept = now;
        AppendPair();
      }
    }
  }
  return result;
}

}  // namespace

extern "C" __declspec(dllexport) DWORD WINAPI LogStatusFields(LPVOID parameter) {
  const auto* block = static_cast<const driver::StatusLogBlock*>(parameter);
  if (original != nullptr || !IsWindow(block->bar)) return 1;  // one log per program
  field_a = block->field_a;
  field_b = block->field_b;
  log_path.assign(block->path, strnlen(block->path, sizeof block->path));
  start_message = RegisterWindowMessageA("TandrelStatusLogStart");
  original = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(block->bar, GWLP_WNDPROC));
  SetWindowLongPtrA(block->bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LoggingProc));
  // The first line is written on the bar's thread, in order with the changes after it.
  DWORD_PTR done = 0;
  return SendMessageTimeoutA(block->bar, start_message, 0, 0, SMTO_NORMAL, 10000, &done) ? 0 : 1;
}
