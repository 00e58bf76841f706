// tandrel_driver VERB ARGS...: one action on another program's windows per start.
// Exit 0 on success, 1 when a wait timed out or a window or control is missing, 2 on
// usage errors.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>

#include "verbs.h"

namespace {

using driver::Args;

struct Verb {
  const char* name;
  std::size_t min_args;
  std::size_t max_args;
  const char* usage;
  int (*run)(const Args&);
};

const Verb kVerbs[] = {
    {"wait-window", 1, 2, "TITLE [TIMEOUT_MS]", driver::WaitWindowVerb},
    {"wait-gone", 1, 2, "TITLE [TIMEOUT_MS]", driver::WaitGoneVerb},
    {"window-rect", 1, 1, "TITLE", driver::WindowRectVerb},
    {"client-size", 1, 1, "TITLE", driver::ClientSizeVerb},
    {"control-rect", 2, 2, "TITLE ID", driver::ControlRectVerb},
    {"statusbar-rect", 1, 1, "TITLE", driver::StatusBarRectVerb},
    {"menu-bar-height", 1, 1, "TITLE", driver::MenuBarHeightVerb},
    {"move", 5, 5, "TITLE X Y WIDTH HEIGHT", driver::MoveVerb},
    {"is-visible", 1, 1, "TITLE", driver::IsVisibleVerb},
    {"show-state", 2, 2, "TITLE maximized|normal", driver::ShowStateVerb},
    {"white-share", 2, 2, "TITLE CONTROL_ID", driver::WhiteShareVerb},
    {"scroll-bars", 2, 2, "TITLE CONTROL_ID", driver::ScrollBarsVerb},
    {"status", 2, 2, "TITLE FIELD", driver::StatusVerb},
    {"watch-status", 4, 4, "TITLE FIELD TIMEOUT_MS UNTIL_PREFIX", driver::WatchStatusVerb},
    {"list-count", 2, 2, "TITLE ID", driver::ListCountVerb},
    {"list-row", 3, 3, "TITLE ID ROW", driver::ListRowVerb},
    {"list-rows", 2, 2, "TITLE ID", driver::ListRowsVerb},
    {"list-selected-count", 2, 2, "TITLE ID", driver::ListSelectedCountVerb},
    {"get-text", 2, 2, "TITLE ID", driver::GetTextVerb},
    {"set-text", 3, 3, "TITLE ID TEXT", driver::SetTextVerb},
    {"check-state", 2, 2, "TITLE ID", driver::CheckStateVerb},
    {"menu-items", 1, 1, "TITLE", driver::MenuItemsVerb},
    {"popup-items", 0, 1, "[TIMEOUT_MS]", driver::PopupItemsVerb},
    {"close-popup", 0, 1, "[TIMEOUT_MS]", driver::ClosePopupVerb},
    {"message-box", 0, 1, "[TIMEOUT_MS]", driver::MessageBoxVerb},
    {"close-message-box", 0, 1, "[TIMEOUT_MS]", driver::CloseMessageBoxVerb},
    {"command", 2, 2, "TITLE ID", driver::CommandVerb},
    {"key", 3, 4, "TITLE CONTROL_ID VK [ctrl]", driver::KeyVerb},
    {"click", 2, 2, "TITLE CONTROL_ID", driver::ClickVerb},
    {"right-click-client", 3, 3, "TITLE X Y", driver::RightClickClientVerb},
    {"tray", 2, 2, "TITLE MSG", driver::TrayVerb},
    {"close", 1, 1, "TITLE", driver::CloseVerb},
    {"tree-select", 3, 3, "TITLE ID PATH", driver::TreeSelectVerb},
    {"tree-children", 2, 3, "TITLE ID [PATH]", driver::TreeChildrenVerb},
    {"window-state", 1, 1, "TITLE", driver::WindowStateVerb},
    {"list-select", 3, 3, "TITLE ID ROW", driver::ListSelectVerb},
    {"list-row-rect", 3, 3, "TITLE ID ROW", driver::ListRowRectVerb},
    {"pick-popup", 1, 2, "POSITION [TIMEOUT_MS]", driver::PickPopupVerb},
    {"drag-client", 4, 4, "TITLE X Y1 Y2", driver::DragClientVerb},
    {"run-value", 1, 1, "NAME", driver::RunValueVerb},
    {"window-handle", 1, 1, "TITLE", driver::WindowHandleVerb},
    {"tray-present", 1, 1, "HWND", driver::TrayPresentVerb},
    {"tray-drop", 1, 1, "HWND", driver::TrayDropVerb},
    {"taskbar-created", 0, 0, "", driver::TaskbarCreatedVerb},
    {"end-session", 1, 1, "TITLE", driver::EndSessionVerb},
    {"focus", 1, 1, "TITLE", driver::FocusVerb},
    {"press", 1, 2, "VK [shift]", driver::PressVerb},
    {"label-needs", 2, 2, "TITLE ID", driver::LabelNeedsVerb},
    {"popup-open", 0, 1, "[TIMEOUT_MS]", driver::PopupOpenVerb},
    {"char", 3, 3, "TITLE ID CODE", driver::CharVerb},
    {"list-focused", 2, 2, "TITLE ID", driver::ListFocusedVerb},
    {"requester-texts", 0, 1, "[TIMEOUT_MS]", driver::RequesterTextsVerb},
    {"browse-folder", 1, 2, "PATH [TIMEOUT_MS]", driver::BrowseFolderVerb},
    {"drop-target", 4, 4, "TITLE X Y TIMEOUT_MS", driver::DropTargetVerb},
    {"clipboard-files", 0, 0, "", driver::ClipboardFilesVerb},
    {"log-fields", 4, 4, "TITLE FIELD_A FIELD_B FILE", driver::LogFieldsVerb},
    {"screen-point", 3, 3, "TITLE X Y", driver::ScreenPointVerb},
    {"header-click", 3, 3, "TITLE ID COLUMN", driver::HeaderClickVerb},
    {"header-arrows", 2, 2, "TITLE ID", driver::HeaderArrowsVerb},
    {"list-icon", 3, 3, "TITLE ID ROW", driver::ListIconVerb},
};

int PrintUsage() {
  std::fprintf(stderr, "usage: tandrel_driver VERB ARGS...\n");
  for (const Verb& verb : kVerbs) std::fprintf(stderr, "  %s %s\n", verb.name, verb.usage);
  return driver::kUsage;
}

}  // namespace

int main(int argc, char** argv) {
  // The suite compares bytes; the C runtime must not turn "\n" into "\r\n".
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 2) return PrintUsage();
  const Args args(argv + 2, argv + argc);
  for (const Verb& verb : kVerbs) {
    if (std::strcmp(verb.name, argv[1]) != 0) continue;
    if (args.size() < verb.min_args || args.size() > verb.max_args) {
      std::fprintf(stderr, "usage: tandrel_driver %s %s\n", verb.name, verb.usage);
      return driver::kUsage;
    }
    return verb.run(args);
  }
  return PrintUsage();
}
