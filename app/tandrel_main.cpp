// The Windows program. Command-line arguments are not read.
#include "app/app.h"
#include "platform/platform.h"

int main() {
  auto ui = tandrel::ui::CreateSystemUi();
  tandrel::RunTandrel(*ui);
  // The quit sequence is done; running workers end with the process.
  tandrel::platform::EndProcess(0);
}
