// The install journal "update.journal": the files an install replaces, written before the
// first of them is touched, so that a start after a crash in the middle of the install
// finishes it or puts the previous files back. Without a journal the program folder holds
// one release, whole.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tandrel::updater {

// Puts `from` in the place of `to` in one step (see platform::ReplaceFileAtomically).
using MoveReplacing = std::function<bool(const std::string& from, const std::string& to)>;

struct InstallTarget {
  std::string name;
  bool had_old = false;  // a file of that name was there before the install
  friend bool operator==(const InstallTarget&, const InstallTarget&) = default;
};

enum class InstallPhase {
  kStaging,  // the new files are being written beside their targets; nothing is replaced yet
  kMoving,   // every new file is complete; they are being moved into place in order
};

struct InstallJournal {
  InstallPhase phase = InstallPhase::kStaging;
  std::vector<InstallTarget> targets;  // in the order they are moved into place
};

// Writes the journal under a temporary name, puts it on the disk and renames it into
// place; false when any step failed.
[[nodiscard]] bool WriteInstallJournal(const InstallJournal& journal, const MoveReplacing& move);
// The journal in the current folder; none when there is none or it cannot be read.
std::optional<InstallJournal> ReadInstallJournal();

// Moves every staged file into place in order, keeping what it replaces as a backup; then
// removes the backups and the journal. False, with nothing removed, when a file could not
// be moved: the journal still says what to put back.
[[nodiscard]] bool FinishInstall(const std::vector<InstallTarget>& targets, const MoveReplacing& move);
// Removes the staged files and the journal of an install that has replaced nothing yet.
void DropStagedFiles(const std::vector<InstallTarget>& targets);
// Puts back every file the install replaced or added, removes the staged files and then
// the journal. False, with the journal kept, when a file could not be put back.
[[nodiscard]] bool UndoInstall(const std::vector<InstallTarget>& targets, const MoveReplacing& move);

// At a start: finishes an install that a crash interrupted while moving files, undoes one
// interrupted while writing them (or that cannot be finished), and removes a journal that
// cannot be read. True when no journal is left.
bool RepairInterruptedInstall(const MoveReplacing& move = platform::ReplaceFileAtomically);

}  // namespace tandrel::updater
