// The install journal and the moves it guards. Every step can be repeated after a crash:
// the state of each target follows from which of NAME, NAME.tdl-new and NAME.tdl-old
// exist, so finishing and undoing work from any point between two moves.
#include "updater/install_journal.h"

#include "platform/staged_file.h"
#include "updater/release.h"

namespace tandrel::updater {
namespace {

constexpr char kPhaseStaging[] = "staging";
constexpr char kPhaseMoving[] = "moving";
constexpr char kReplaced[] = "replace ";
constexpr char kAdded[] = "add ";

std::string Staged(const InstallTarget& target) { return target.name + kStagedSuffix; }
std::string Backup(const InstallTarget& target) { return target.name + kBackupSuffix; }

// The journal names only what an install may write: package names and the serial file.
bool IsTargetName(std::string_view name) { return name == kInstalledSerialFile || IsSafePackageName(name); }

}  // namespace

bool WriteInstallJournal(const InstallJournal& journal, const MoveReplacing& move) {
  std::string text = journal.phase == InstallPhase::kMoving ? kPhaseMoving : kPhaseStaging;
  text += "\r\n";
  for (const InstallTarget& target : journal.targets) {
    text += (target.had_old ? kReplaced : kAdded) + target.name + "\r\n";
  }
  platform::StagedFile staged(kInstallJournalFile, kStagedSuffix);
  const bool written = staged.Output().Write(text);
  return staged.Commit(written, platform::Durability::kSynced, move);
}

std::optional<InstallJournal> ReadInstallJournal() {
  platform::File file(kInstallJournalFile, platform::OpenMode::kRead);
  if (!file.IsOpen()) return std::nullopt;
  InstallJournal journal;
  std::string line;
  file.ReadLine(line);
  if (line == kPhaseMoving) {
    journal.phase = InstallPhase::kMoving;
  } else if (line != kPhaseStaging) {
    return std::nullopt;
  }
  while (!file.AtEnd()) {
    file.ReadLine(line);
    InstallTarget target;
    if (line.starts_with(kReplaced)) {
      target = {line.substr(sizeof kReplaced - 1), true};
    } else if (line.starts_with(kAdded)) {
      target = {line.substr(sizeof kAdded - 1), false};
    } else {
      return std::nullopt;
    }
    if (!IsTargetName(target.name)) return std::nullopt;
    journal.targets.push_back(std::move(target));
  }
  return journal;
}

bool FinishInstall(const std::vector<InstallTarget>& targets, const MoveReplacing& move) {
  for (const InstallTarget& target : targets) {
    // No staged file: this one is in place already.
    if (!platform::CanOpenForReading(Staged(target))) continue;
    // The previous file goes aside first, unless a crash came after that move.
    if (platform::CanOpenForReading(target.name) && !platform::CanOpenForReading(Backup(target)) &&
        !move(target.name, Backup(target))) {
      return false;
    }
    if (!move(Staged(target), target.name)) return false;
  }
  for (const InstallTarget& target : targets) platform::RemoveFile(Backup(target));
  platform::RemoveFile(kInstallJournalFile);
  return true;
}

void DropStagedFiles(const std::vector<InstallTarget>& targets) {
  for (const InstallTarget& target : targets) platform::RemoveFile(Staged(target));
  platform::RemoveFile(kInstallJournalFile);
}

bool UndoInstall(const std::vector<InstallTarget>& targets, const MoveReplacing& move) {
  bool undone = true;
  for (auto target = targets.rbegin(); target != targets.rend(); ++target) {
    if (platform::CanOpenForReading(Backup(*target))) {
      undone = move(Backup(*target), target->name) && undone;
    } else if (!target->had_old && !platform::CanOpenForReading(Staged(*target))) {
      // Added by the install and already moved into place.
      platform::RemoveFile(target->name);
    }
    platform::RemoveFile(Staged(*target));
  }
  if (undone) platform::RemoveFile(kInstallJournalFile);
  return undone;
}

bool RepairInterruptedInstall(const MoveReplacing& move) {
  const std::optional<InstallJournal> journal = ReadInstallJournal();
  if (!journal) {
    // Nothing to repair, or nothing that can be: a journal this program did not write.
    platform::RemoveFile(kInstallJournalFile);
    return !platform::CanOpenForReading(kInstallJournalFile);
  }
  if (journal->phase == InstallPhase::kStaging) {
    DropStagedFiles(journal->targets);
    return !platform::CanOpenForReading(kInstallJournalFile);
  }
  return FinishInstall(journal->targets, move) || UndoInstall(journal->targets, move);
}

}  // namespace tandrel::updater
