// The quit sequence.
#include "app/object_numbers.h"
#include "app/settings.h"
#include "app/shell.h"

namespace tandrel {

void QuitProgram(ui::Ui& ui) {
  ui.CloseWindow(kMainWindow);
  ui.RemoveTrayIcon();
  StoreAutostartFlag();
  // An indexing run that replaces db.db is waited for, and an abandoned walk file
  // removed, once indexing runs exist; until then there is nothing to wait for.
}

}  // namespace tandrel
