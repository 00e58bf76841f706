// One function per verb; each gets the words after the verb, already checked for count.
#pragma once

#include "driver.h"
#include "menus.h"

namespace driver {

// windows_verbs.cpp
int WaitWindowVerb(const Args& args);
int WaitGoneVerb(const Args& args);
int WindowRectVerb(const Args& args);
int ClientSizeVerb(const Args& args);
int ControlRectVerb(const Args& args);
int StatusBarRectVerb(const Args& args);
int MenuBarHeightVerb(const Args& args);
int MoveVerb(const Args& args);
int IsVisibleVerb(const Args& args);
int ShowStateVerb(const Args& args);
int WhiteShareVerb(const Args& args);
int ScrollBarsVerb(const Args& args);

// list_header_verbs.cpp
int HeaderClickVerb(const Args& args);
int HeaderArrowsVerb(const Args& args);
int ListIconVerb(const Args& args);

// control_verbs.cpp
int StatusVerb(const Args& args);
int ListCountVerb(const Args& args);
int ListRowVerb(const Args& args);
int ListRowsVerb(const Args& args);
int ListSelectedCountVerb(const Args& args);
int GetTextVerb(const Args& args);
int SetTextVerb(const Args& args);
int CheckStateVerb(const Args& args);

// input_verbs.cpp
int CommandVerb(const Args& args);
int KeyVerb(const Args& args);
int ClickVerb(const Args& args);
int RightClickClientVerb(const Args& args);
int TrayVerb(const Args& args);
int CloseVerb(const Args& args);

// status_watch_verbs.cpp
int WatchStatusVerb(const Args& args);

// message_box_verbs.cpp
int MessageBoxVerb(const Args& args);
int CloseMessageBoxVerb(const Args& args);

// tree_verbs.cpp
int TreeSelectVerb(const Args& args);
int TreeChildrenVerb(const Args& args);

// dialog_verbs.cpp
int WindowStateVerb(const Args& args);
int ListSelectVerb(const Args& args);
int ListRowRectVerb(const Args& args);
int PickPopupVerb(const Args& args);
int DragClientVerb(const Args& args);

// session_verbs.cpp
int WindowHandleVerb(const Args& args);
int TrayPresentVerb(const Args& args);
int TrayDropVerb(const Args& args);
int TaskbarCreatedVerb(const Args& args);
int EndSessionVerb(const Args& args);
int FocusVerb(const Args& args);
int PressVerb(const Args& args);
int LabelNeedsVerb(const Args& args);
int PopupOpenVerb(const Args& args);
int CharVerb(const Args& args);
int ListFocusedVerb(const Args& args);
// result_action_verbs.cpp
int RequesterTextsVerb(const Args& args);
int BrowseFolderVerb(const Args& args);
int DropTargetVerb(const Args& args);
int ClipboardFilesVerb(const Args& args);
int ScreenPointVerb(const Args& args);
int LogFieldsVerb(const Args& args);

// registry_verbs.cpp
int RunValueVerb(const Args& args);

}  // namespace driver
