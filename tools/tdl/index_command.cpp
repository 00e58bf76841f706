// tdl index: rebuilding an index without a window.
#include <cstdio>

#include "tools/tdl/commands.h"

namespace tandrel::tdl {

const char kIndexUsage[] = "usage: tdl index [--db FILE] [--settings FILE] [FOLDER...]\n";

// Replaced by the indexing run's command; until then it refuses to run.
int RunIndexCommand(std::span<const std::string_view>) {
  std::fputs("tdl index: not available in this build\n", stderr);
  return kExitUsage;
}

}  // namespace tandrel::tdl
