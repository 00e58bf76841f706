// Installing a package: every file is written and synced beside its target first, and
// only then are all of them moved into place, "version" and the serial last, the old
// files kept until the last move succeeded, so that a failure anywhere leaves the
// previous version whole. The journal carries that promise across a crash.
#include <algorithm>

#include "platform/platform.h"
#include "updater/install_journal.h"
#include "updater/update.h"

namespace tandrel::updater {
namespace {

// One file on Windows whatever the letter case and whichever separator.
std::string FileKey(std::string_view name) {
  std::string key(name);
  for (char& c : key) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c == '/') c = '\\';
  }
  return key;
}

// The files the list names, each once (where a name repeats, its last entry wins), in
// the order they are moved into place: "version" and then the serial file last, so that
// the folder claims the new release only once everything else is there.
std::vector<InstallTarget> TargetsOf(const std::vector<std::string>& names) {
  std::vector<InstallTarget> targets;
  for (const std::string& name : names) {
    if (name.empty() || !IsSafePackageName(name)) continue;
    const std::string key = FileKey(name);
    std::erase_if(targets, [&](const InstallTarget& t) { return FileKey(t.name) == key; });
    targets.push_back({name});
  }
  const std::string version_key = FileKey(kInstalledVersionFile);
  std::stable_partition(targets.begin(), targets.end(),
                        [&](const InstallTarget& t) { return FileKey(t.name) != version_key; });
  targets.push_back({kInstalledSerialFile});
  for (InstallTarget& target : targets) target.had_old = platform::CanOpenForReading(target.name);
  return targets;
}

bool WriteSynced(const std::string& path, std::string_view bytes) {
  platform::File file(path, platform::OpenMode::kCreate);
  return file.IsOpen() && file.Write(bytes) && file.Sync() && file.Close();
}

std::string_view AsText(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Every entry written beside its target, in list order; a refused name uses up its
// entry. False when an entry is missing or a file cannot be written.
bool StageFiles(PackageEntries& package, const std::vector<std::string>& names, std::uint64_t serial) {
  for (const std::string& name : names) {
    if (name.empty()) continue;
    const auto entry = package.Next();
    // A name without its entry: the package is not what was published.
    if (!entry) return false;
    if (IsSafePackageName(name) && !WriteSynced(name + kStagedSuffix, AsText(*entry))) return false;
  }
  return WriteSynced(std::string(kInstalledSerialFile) + kStagedSuffix, std::to_string(serial) + "\r\n");
}

// Backups left by an install whose last step failed would pass for this install's own.
bool RemoveStaleBackups(const std::vector<InstallTarget>& targets) {
  return std::none_of(targets.begin(), targets.end(), [](const InstallTarget& target) {
    const std::string backup = target.name + kBackupSuffix;
    platform::RemoveFile(backup);
    return platform::CanOpenForReading(backup);
  });
}

}  // namespace

bool UpdateOperations::MoveReplacing(const std::string& from, const std::string& to) {
  return platform::ReplaceFileAtomically(from, to);
}

bool InstallPackage(UpdateOperations& ops, std::span<const std::uint8_t> package_bytes, std::uint64_t serial) {
  const MoveReplacing move = [&ops](const std::string& from, const std::string& to) {
    return ops.MoveReplacing(from, to);
  };
  std::unique_ptr<PackageEntries> package = ops.OpenPackage(package_bytes);
  if (!package) return false;
  const auto list = package->Next();
  if (!list) return false;
  const std::vector<std::string> names = SplitFileList(*list);
  InstallJournal journal{InstallPhase::kStaging, TargetsOf(names)};
  if (!RemoveStaleBackups(journal.targets) || !WriteInstallJournal(journal, move)) return false;
  if (!StageFiles(*package, names, serial)) {
    DropStagedFiles(journal.targets);
    return false;
  }
  journal.phase = InstallPhase::kMoving;
  if (!WriteInstallJournal(journal, move)) {
    DropStagedFiles(journal.targets);
    return false;
  }
  if (FinishInstall(journal.targets, move)) return true;
  // When even that fails the journal stays, and the next start puts the files back.
  (void)UndoInstall(journal.targets, move);
  return false;
}

}  // namespace tandrel::updater
