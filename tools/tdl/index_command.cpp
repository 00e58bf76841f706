// tdl index: the indexing run without a window.
#include <cstdio>
#include <string>
#include <vector>

#include "index/indexing.h"
#include "platform/platform.h"
#include "tools/tdl/commands.h"
#include "tools/tdl/folder_args.h"

namespace tandrel::tdl {

const char kIndexUsage[] =
    "usage: tdl index [--db FILE] [--settings FILE] [FOLDER...]\n"
    "\n"
    "Rebuilds an index file exactly as Tandrel's \"Aktualisieren\" does: walks the\n"
    "folders given, or else the folder list of the settings file, and replaces the\n"
    "index file with the new index in one step. The walk file dbtemp.db is written\n"
    "beside the index file, the bucket files into a folder of the run's own in the\n"
    "temporary folder, open to no other user and removed afterwards.\n"
    "\n"
    "  --db FILE        the index file (default: db.db beside tdl)\n"
    "  --settings FILE  the settings file whose folders are walked (default:\n"
    "                   settings.conf beside tdl); not together with FOLDERs\n"
    "\n"
    "Progress goes to standard error when it is a terminal; the final line\n"
    "\"Indexierung erfolgreich: N Dateien in T sek\" to standard output.\n"
    "Exit status: 0 done, 2 usage error, unreadable settings file, not one folder\n"
    "could be listed, the index file could not be written or replaced (it then keeps\n"
    "the previous index), or standard output could not be written. Each folder that\n"
    "could not be listed is named on standard error.\n";

namespace {

// Progress on a terminal: one line, rewritten in place.
class TerminalObserver final : public index::IndexRunObserver {
 public:
  explicit TerminalObserver(bool show) : show_(show) {}
  ~TerminalObserver() override {
    if (shown_) std::fputs("\n", stderr);
  }
  void ShowProgress(std::string_view text) override {
    if (!show_ || text.starts_with("Indexierung erfolgreich") || text == index::kIndexRunFailedText) return;
    std::fprintf(stderr, "\r%-40.*s", static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
    shown_ = true;
  }

 private:
  const bool show_;
  bool shown_ = false;
};

const char* FailureText(index::IndexRunOutcome outcome) {
  switch (outcome) {
    case index::IndexRunOutcome::kReplaced: return nullptr;
    case index::IndexRunOutcome::kWalkFailed: return "cannot write the walk file";
    case index::IndexRunOutcome::kMergeFailed: return "cannot write the bucket files or the new index";
    case index::IndexRunOutcome::kNotReplaced: return "cannot replace the index file";
    case index::IndexRunOutcome::kOtherRunBusy: return "another indexing run holds the index";
    case index::IndexRunOutcome::kNoFolderListed: return "not one of the folders could be listed";
  }
  return "failed";
}

}  // namespace

int RunIndexCommand(std::span<const std::string_view> args) {
  FolderArgs parsed;
  if (!ParseFolderArgs(args, "tdl index", kIndexUsage, parsed)) return kExitUsage;
  if (parsed.help) {
    std::fputs(kIndexUsage, stdout);
    return FinishStandardOutput("tdl index") ? 0 : kExitUsage;
  }
  index::IndexRunPlan plan;
  plan.folders = parsed.folders;
  if (!parsed.settings.empty() && !ReadFolderList(parsed.settings, plan.folders)) {
    std::fprintf(stderr, "tdl index: cannot read the settings file %s\n", parsed.settings.c_str());
    return kExitUsage;
  }
  plan.index_file = parsed.db;
  plan.walk_file = platform::FolderOfPath(parsed.db) + index::kWalkFileName;
  plan.reload = false;

  index::IndexRunResult result;
  {
    TerminalObserver observer(platform::StandardErrorIsTerminal());
    index::IndexRunActive.store(1);
    result = index::RunIndexing(plan, observer);
  }
  for (const std::string& folder : result.unlisted_folders) {
    std::fprintf(stderr, "tdl index: cannot list the folder %s\n", folder.c_str());
  }
  if (const char* failure = FailureText(result.outcome)) {
    std::fprintf(stderr, "tdl index: %s; %s keeps the previous index\n", failure,
                 parsed.db.c_str());
    return kExitUsage;
  }
  platform::UseBinaryStandardOutput();
  std::printf("%s\n", index::IndexRunSuccessText(result.files, result.seconds).c_str());
  return FinishStandardOutput("tdl index") ? 0 : kExitUsage;
}

}  // namespace tandrel::tdl
