// Hits on the clipboard: a file list, as a file browser puts it there, and the full
// paths as text.
#include "platform/win32/window/com.h"
#include "platform/win32/window/win32_ui.h"

namespace tandrel::ui {
namespace {

// The clipboard opened for one scope.
class OpenClipboardScope {
 public:
  explicit OpenClipboardScope(HWND owner) : open_(OpenClipboard(owner) != 0) {}
  ~OpenClipboardScope() {
    if (open_) CloseClipboard();
  }
  OpenClipboardScope(const OpenClipboardScope&) = delete;
  OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
  bool IsOpen() const { return open_; }

 private:
  bool open_;
};

// The clipboard owns what it was given; what it refused stays ours and is freed.
void HandOver(UINT format, win32::OwnedGlobal data) {
  if (data && SetClipboardData(format, data.get()) != nullptr) data.Release();
}

}  // namespace

void Win32Ui::PutFilesOnClipboard(const std::vector<std::string>& paths) {
  std::string text;
  for (const std::string& path : paths) {
    if (!text.empty()) text += "\r\n";
    text += path;
  }
  text += '\0';
  // The same lines in UTF-16 with the real names, for those that read text that way.
  std::wstring wide;
  for (const std::wstring& path : win32::RealPathsOf(paths)) {
    if (!wide.empty()) wide += L"\r\n";
    wide += path;
  }
  wide += L'\0';
  const DWORD copy = DROPEFFECT_COPY;
  OpenClipboardScope clipboard(MainHwnd());
  if (!clipboard.IsOpen() || !EmptyClipboard()) return;
  HandOver(CF_HDROP, win32::FileDropOf(paths));
  HandOver(win32::PreferredDropEffectFormat(),
           win32::GlobalCopyOf(std::string(reinterpret_cast<const char*>(&copy), sizeof copy)));
  HandOver(CF_TEXT, win32::GlobalCopyOf(text));
  HandOver(CF_UNICODETEXT,
           win32::GlobalCopyOf(std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t))));
}

}  // namespace tandrel::ui
