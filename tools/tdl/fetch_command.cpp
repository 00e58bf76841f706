// tdl fetch: the updater's download from a shell.
#include <cstdio>
#include <string>

#include "tools/tdl/commands.h"
#include "tools/tdl/options.h"
#include "updater/http.h"

namespace tandrel::tdl {

const char kFetchUsage[] =
    "usage: tdl fetch URL FILE\n"
    "\n"
    "Downloads URL (http://host[:port]/path) into FILE exactly as the updater does: one\n"
    "GET, no redirects, no retries, no proxy. Only status 200 and 302 are accepted, and\n"
    "the body is stored whole or not at all.\n"
    "\n"
    "Exit status: 0 downloaded, 1 download failed or no network, 2 usage error.\n";

int RunFetchCommand(std::span<const std::string_view> args) {
  const ParsedOptions parsed =
      ParseOptions(args, {.short_help = true, .help_alone = true, .refused_prefix = "", .empty_operands = false});
  if (parsed.help) {
    std::fputs(kFetchUsage, stdout);
    return 0;
  }
  if (parsed.fault != OptionFault::kNone || parsed.operands.size() != 2) {
    std::fprintf(stderr, "tdl fetch: needs a URL and a file\n\n%s", kFetchUsage);
    return kExitUsage;
  }
  const std::string_view url = parsed.operands[0];
  if (!updater::StartHttpNetwork()) {
    std::fputs("tdl fetch: the network layer cannot be started\n", stderr);
    return 1;
  }
  if (!updater::ReceiveHttpFile(url, std::string(parsed.operands[1]))) {
    std::fprintf(stderr, "tdl fetch: download of %.*s failed\n", static_cast<int>(url.size()), url.data());
    return 1;
  }
  return 0;
}

}  // namespace tandrel::tdl
