// tdl fetch: the updater's download from a shell.
#include <cstdio>
#include <optional>
#include <string>

#include "tools/tdl/commands.h"
#include "tools/tdl/options.h"
#include "updater/http.h"

namespace tandrel::tdl {

const char kFetchUsage[] =
    "usage: tdl fetch [--max-bytes N] [--seconds S] URL FILE\n"
    "\n"
    "Downloads URL (http://host[:port]/path) into FILE exactly as the updater does: one\n"
    "GET, no redirects, no retries, no proxy. Only status 200 and 302 are accepted, and\n"
    "the body is stored whole or not at all.\n"
    "\n"
    "  --max-bytes N  refuse a body of more than N bytes as sent, chunk lines included\n"
    "                 (default 1000000000)\n"
    "  --seconds S    give up when the download takes longer than S seconds (default 600)\n"
    "\n"
    "Exit status: 0 downloaded, 1 download failed or no network, 2 usage error.\n";

namespace {

// A whole decimal number from 1 to `most`.
std::optional<std::int64_t> PositiveNumber(const std::string& text, std::int64_t most) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > most) return std::nullopt;
  return value;
}

}  // namespace

int RunFetchCommand(std::span<const std::string_view> args) {
  std::string max_bytes, seconds;
  const ParsedOptions parsed =
      ParseOptions(args, {.values = {{"--max-bytes", &max_bytes, false}, {"--seconds", &seconds, false}},
                          .short_help = true, .help_alone = true, .refused_prefix = "", .empty_operands = false});
  if (parsed.help) {
    std::fputs(kFetchUsage, stdout);
    return 0;
  }
  if (parsed.fault != OptionFault::kNone || parsed.operands.size() != 2) {
    std::fprintf(stderr, "tdl fetch: needs a URL and a file\n\n%s", kFetchUsage);
    return kExitUsage;
  }
  updater::HttpLimits limits;
  if (!max_bytes.empty()) {
    const auto value = PositiveNumber(max_bytes, updater::kHttpBodyLimit);
    if (!value) {
      std::fprintf(stderr, "tdl fetch: --max-bytes takes a number from 1 to %lld\n",
                   static_cast<long long>(updater::kHttpBodyLimit));
      return kExitUsage;
    }
    limits.max_body_bytes = *value;
  }
  if (!seconds.empty()) {
    // Milliseconds of the clock's 32 bits, with room to spare.
    const auto value = PositiveNumber(seconds, 86'400);
    if (!value) {
      std::fputs("tdl fetch: --seconds takes a number from 1 to 86400\n", stderr);
      return kExitUsage;
    }
    limits.deadline_ms = static_cast<std::uint32_t>(*value * 1000);
  }
  const std::string_view url = parsed.operands[0];
  if (!updater::StartHttpNetwork()) {
    std::fputs("tdl fetch: the network layer cannot be started\n", stderr);
    return 1;
  }
  if (!updater::ReceiveHttpFile(url, std::string(parsed.operands[1]), limits)) {
    std::fprintf(stderr, "tdl fetch: download of %.*s failed\n", static_cast<int>(url.size()), url.data());
    return 1;
  }
  return 0;
}

}  // namespace tandrel::tdl
