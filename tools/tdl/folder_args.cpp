// The command line of the commands over folders.
#include "tools/tdl/folder_args.h"

#include <cstdio>
#include <optional>

#include "index/index.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "tools/tdl/options.h"

namespace tandrel::tdl {

bool ParseFolderArgs(std::span<const std::string_view> args, std::string_view command, const char* usage,
                     FolderArgs& out) {
  const auto fault = [&](std::string_view what) {
    std::fprintf(stderr, "%.*s: %.*s\n\n%s", static_cast<int>(command.size()), command.data(),
                 static_cast<int>(what.size()), what.data(), usage);
    return false;
  };
  const ParsedOptions parsed = ParseOptions(
      args, {.values = {{"--db", &out.db, false}, {"--settings", &out.settings, false}},
             .short_help = true,
             .double_dash_ends_options = true,
             .empty_operands = false});
  switch (parsed.fault) {
    case OptionFault::kNone: break;
    case OptionFault::kMissingValue: return fault(std::string(parsed.culprit) + " needs a file");
    case OptionFault::kUnknownOption: return fault(UnknownOptionText(parsed.culprit));
    case OptionFault::kTooManyOperands: break;
    case OptionFault::kEmptyOperand: return fault("an empty folder name");
  }
  if (parsed.help) {
    out.help = true;
    return true;
  }
  out.folders.assign(parsed.operands.begin(), parsed.operands.end());
  if (!out.settings.empty() && !out.folders.empty()) return fault("give FOLDERs or --settings, not both");
  const std::string beside = platform::ProgramFolder();
  if (out.db.empty()) out.db = beside + index::kIndexFileName;
  if (out.folders.empty() && out.settings.empty()) out.settings = beside + settings::kSettingsFileName;
  return true;
}

bool ReadFolderList(const std::string& path, std::vector<std::string>& folders) {
  const std::optional<settings::StoredSettings> stored = settings::ReadSettingsFile(path);
  if (!stored) return false;
  folders.assign(stored->folders.begin(), stored->folders.end());
  return true;
}

}  // namespace tandrel::tdl
