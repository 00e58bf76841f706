// Copying hits into a chosen folder: QueueCopies and CancelCopies on the main thread,
// CopyWorker on a thread of its own.
#include <string>
#include <utility>
#include <vector>

#include "index/index.h"
#include "search/actions/copy_worker_testing.h"
#include "search/actions/result_actions_internal.h"

namespace tandrel::actions {
namespace {

constexpr char kRequesterTitle[] = "Kopieren nach...";

// Set by tests while no worker runs (the worker's start orders it before the worker's reads).
std::function<void(const std::string&)> copy_gate;

std::string WorkingText(std::int32_t pending) {
  return ui::Centred("Working... (" + std::to_string(pending) + ")");
}

// A folder hit: the last level of the target is created if need be, and the files
// directly inside the source are copied into it; subfolders are neither made nor entered.
void CopyFolderFiles(const std::string& source, const std::string& target) {
  platform::FolderListing listing(source);
  if (!listing.IsOpen()) return;
  if (!platform::IdentifyFolder(target) && !platform::CreateFolderNamedAs(target, source)) return;
  platform::FolderEntry entry;
  while (listing.Next(entry)) {
    if (entry.is_folder) continue;
    // As for a file hit, a failed copy counts as done; the others are still tried.
    (void)platform::CopyFileReplacing(source + platform::kPathSeparator + entry.name,
                                      target + platform::kPathSeparator + entry.name);
  }
}

// The outcome is not looked at: a failed copy counts as done.
void CopyHit(const CopyJob& job) {
  const std::string source = job.source_folder + job.name;
  if (source == job.destination) return;  // a file copied onto itself stays as it is
  if (platform::CopyFileReplacing(source, job.destination)) return;
  CopyFolderFiles(source, job.destination);
}

void ClearCopyFields(ui::StatusPoster& ui, const ResultControls& c) {
  ui.PostStatusText(c.copy_field, "");
  // An indexing run shows its progress there; its text stays.
  if (index::IndexRunActive.load() == 0) ui.PostStatusText(c.name_field, "");
}

void CopyWorker(ui::StatusPoster& ui, const ResultControls c) {
  for (;;) {
    std::optional<CopyJobQueue::Taken> taken = CopyQueue.Take([&] { ClearCopyFields(ui, c); });
    if (!taken) return;
    ui.PostStatusText(c.copy_field, WorkingText(taken->pending));
    if (index::IndexRunActive.load() == 0) ui.PostStatusText(c.name_field, ui::Centred(taken->job.name));
    if (copy_gate) copy_gate(taken->job.name);
    CopyHit(taken->job);
    const std::int32_t left = CopyQueue.Finish();
    if (left == 0) {
      ClearCopyFields(ui, c);
    } else {
      ui.PostStatusText(c.copy_field, WorkingText(left));
    }
  }
}

}  // namespace

void QueueCopies(ui::Ui& ui, const ResultControls& c) {
  // The rows the user chose from, before the requester gives a finishing search a chance.
  const std::vector<Hit> hits = SelectedHits(ui, c);
  if (hits.empty()) return;
  const std::optional<std::string> chosen = ui.ChooseFolder(kRequesterTitle);
  if (!chosen) return;
  std::string destination = *chosen;
  if (destination.empty() || destination.back() != platform::kPathSeparator) {
    destination += platform::kPathSeparator;
  }
  if (destination.size() == 1) return;  // a place without a file-system path

  std::vector<CopyJob> batch;
  batch.reserve(hits.size());
  for (const Hit& hit : hits) {
    batch.push_back({hit.folder + platform::kPathSeparator, hit.name, destination + hit.name});
  }
  if (!CopyQueue.Append(std::move(batch))) return;  // the running worker takes them
  if (!CopyThread.Start([&ui, c](const platform::StopToken&) { CopyWorker(ui, c); })) CopyQueue.WorkerNotStarted();
}

void CancelCopies(ui::Ui&, const ResultControls&) { CopyQueue.DropQueued(); }

std::int32_t PendingCopies() { return CopyQueue.Pending(); }

bool CopyWorkerRunning() { return CopyThread.IsRunning(); }

void WaitForCopyWorker() { CopyThread.Wait(); }

void SetCopyGate(std::function<void(const std::string& name)> gate) { copy_gate = std::move(gate); }

}  // namespace tandrel::actions
