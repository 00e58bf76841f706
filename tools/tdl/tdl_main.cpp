// tdl: Tandrel's index from a shell.
#include <cstdio>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "tools/tdl/commands.h"

namespace tandrel::tdl {
namespace {

constexpr char kOverview[] =
    "usage: tdl COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  search   list the entries of an index whose names match a query\n"
    "  index    rebuild an index from folders\n"
    "  fetch    download a URL into a file as the updater does\n"
    "\n"
    "tdl COMMAND --help describes a command.\n";

}  // namespace

std::string BesideProgram(std::string_view name) {
  return platform::ProgramFolder() + std::string(name);
}

}  // namespace tandrel::tdl

int main(int argc, char** argv) {
  using namespace tandrel::tdl;
  std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs(kOverview, stderr);
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::fputs(kOverview, stdout);
    return 0;
  }
  const std::span<const std::string_view> rest(args.data() + 1, args.size() - 1);
  if (args[0] == "search") return RunSearchCommand(rest);
  if (args[0] == "index") return RunIndexCommand(rest);
  if (args[0] == "fetch") return RunFetchCommand(rest);
  std::fprintf(stderr, "tdl: unknown command '%.*s'\n\n%s", static_cast<int>(args[0].size()),
               args[0].data(), kOverview);
  return kExitUsage;
}
