// Process-wide state of the application shell.
#include "app/shell.h"

namespace tandrel::app {

int MainHidden = 0;

}  // namespace tandrel::app
