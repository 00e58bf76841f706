// tdl fetch: the updater's download from a shell.
#include <cstdio>
#include <string>

#include "tools/tdl/commands.h"
#include "updater/http.h"

namespace tandrel::tdl {

const char kFetchUsage[] =
    "usage: tdl fetch URL FILE\n"
    "\n"
    "Downloads URL (http://host[:port]/path) into FILE exactly as the updater does: one\n"
    "GET, no redirects, no retries, no proxy. Only status 200 and 302 are accepted, and\n"
    "the body is stored whole or not at all.\n"
    "\n"
    "Exit status: 0 downloaded, 1 download failed, 2 usage error or no network.\n";

int RunFetchCommand(std::span<const std::string_view> args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kFetchUsage, stdout);
    return 0;
  }
  if (args.size() != 2 || args[0].empty() || args[1].empty()) {
    std::fprintf(stderr, "tdl fetch: needs a URL and a file\n\n%s", kFetchUsage);
    return kExitUsage;
  }
  if (!updater::StartHttpNetwork()) {
    std::fputs("tdl fetch: the network layer cannot be started\n", stderr);
    return kExitUsage;
  }
  if (!updater::ReceiveHttpFile(args[0], std::string(args[1]))) {
    std::fprintf(stderr, "tdl fetch: download of %.*s failed\n", static_cast<int>(args[0].size()),
                 args[0].data());
    return 1;
  }
  return 0;
}

}  // namespace tandrel::tdl
