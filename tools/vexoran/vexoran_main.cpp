// Vexoran.exe: the companion re-indexer that the Run key starts at logon. It has no
// window and takes no arguments: from its own folder it reads settings.conf, renews
// db.db there exactly as Tandrel's "Aktualisieren" does, and ends.
//
// When another run of the same user already renews this index at the same moment
// (Tandrel, or the re-indexer of a second logon), it ends at once: that run's index is
// just as new, and the two never write the same files.
#include <optional>

#include "index/indexing.h"
#include "platform/platform.h"
#include "settings/settings.h"

int main() {
  using namespace tandrel;
  platform::LoadLibrariesFromSystemFolderOnly();
  if (!platform::SetCurrentFolder(platform::ProgramFolder())) platform::EndProcess(1);
  // Without a settings file there is no folder list to renew the index from; an empty
  // index must not replace the one there is.
  if (!platform::CanOpenForReading(settings::kSettingsFileName)) {
    platform::EndProcess(0);
  }
  // A file that vanished or became unreadable since is no folder list either; this run
  // fails rather than walk nothing.
  const std::optional<settings::StoredSettings> stored = settings::ReadSettingsFile(settings::kSettingsFileName);
  if (!stored) platform::EndProcess(1);
  index::IndexRunPlan plan;
  plan.folders.assign(stored->folders.begin(), stored->folders.end());
  plan.reload = false;
  plan.wait_for_other_run = false;
  index::IndexRunObserver silent;
  index::IndexRunActive.store(1);
  const index::IndexRunResult result = index::RunIndexing(plan, silent);
  const bool ok = result.outcome == index::IndexRunOutcome::kReplaced ||
                  result.outcome == index::IndexRunOutcome::kOtherRunBusy;
  platform::EndProcess(ok ? 0 : 1);
}
