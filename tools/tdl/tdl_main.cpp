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
    "  watch    rebuild an index, then keep it current while running (Linux)\n"
    "  fetch    download a URL into a file as the updater does\n"
    "  publish  write a signed update package and its version.def (Linux)\n"
    "  unpack   install an update package into a folder\n"
    "  verify   check a release's digests and signature\n"
    "  keygen   make a signing key pair (Linux)\n"
    "\n"
    "tdl COMMAND --help describes a command.\n";

}  // namespace

bool FinishStandardOutput(const char* command) {
  // A write error sticks to the stream, so one test after the flush covers every write.
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
  std::fprintf(stderr, "%s: cannot write to standard output\n", command);
  return false;
}

}  // namespace tandrel::tdl

int main(int argc, char** argv) {
  using namespace tandrel::tdl;
  tandrel::platform::LoadLibrariesFromSystemFolderOnly();
  std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs(kOverview, stderr);
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::fputs(kOverview, stdout);
    return FinishStandardOutput("tdl") ? 0 : kExitUsage;
  }
  const std::span<const std::string_view> rest(args.data() + 1, args.size() - 1);
  if (args[0] == "search") return RunSearchCommand(rest);
  if (args[0] == "index") return RunIndexCommand(rest);
  if (args[0] == "watch") return RunWatchCommand(rest);
  if (args[0] == "fetch") return RunFetchCommand(rest);
  if (args[0] == "publish") return RunPublishCommand(rest);
  if (args[0] == "unpack") return RunUnpackCommand(rest);
  if (args[0] == "verify") return RunVerifyCommand(rest);
  if (args[0] == "keygen") return RunKeygenCommand(rest);
  std::fprintf(stderr, "tdl: unknown command '%.*s'\n\n%s", static_cast<int>(args[0].size()),
               args[0].data(), kOverview);
  return kExitUsage;
}
