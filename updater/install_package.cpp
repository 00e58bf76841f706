// Installing a package: every file is written and synced beside its target first, and
// only then are all of them moved into place, the old files kept until the last move
// succeeded, so that a failure anywhere leaves the previous version whole.
#include <algorithm>
#include <array>
#include <cctype>

#include "platform/platform.h"
#include "updater/update.h"

namespace tandrel::updater {
namespace {

constexpr char kStagedSuffix[] = ".tdl-new";
constexpr char kBackupSuffix[] = ".tdl-old";

struct StagedFile {
  std::string target;
  bool had_old = false;
  bool moved = false;
};

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

// Windows opens a device for these names in any folder, with any extension, and with
// trailing dots or spaces.
bool IsDeviceName(std::string_view part) {
  std::string base = UpperAscii(part.substr(0, part.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN", "AUX", "NUL",
                                                             "CONIN$", "CONOUT$"};
  if (std::find(kPlain.begin(), kPlain.end(), base) != kPlain.end()) return true;
  return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
         base[3] >= '0' && base[3] <= '9';
}

// The list file: the first entry, written to disk and read back line by line.
std::vector<std::string> ReadFileList(std::span<const std::uint8_t> bytes) {
  std::vector<std::string> names;
  {
    platform::File list(kFileListFile, platform::OpenMode::kCreate);
    if (!list.IsOpen()) return names;
    list.Write({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    list.Seek(0);
    while (!list.AtEnd()) {
      names.emplace_back();
      list.ReadLine(names.back());
    }
  }
  platform::RemoveFile(kFileListFile);
  return names;
}

bool WriteStaged(const std::string& path, std::span<const std::uint8_t> bytes) {
  platform::File file(path, platform::OpenMode::kCreate);
  return file.IsOpen() && file.Write({reinterpret_cast<const char*>(bytes.data()), bytes.size()}) &&
         file.Sync() && file.Close();
}

void DropStaged(const std::vector<StagedFile>& staged) {
  for (const StagedFile& file : staged) platform::RemoveFile(file.target + kStagedSuffix);
}

// Puts back what the moves so far replaced, newest first.
void RollBack(UpdateOperations& ops, std::vector<StagedFile>& staged) {
  for (auto file = staged.rbegin(); file != staged.rend(); ++file) {
    if (!file->moved) continue;
    if (file->had_old) {
      ops.MoveReplacing(file->target + kBackupSuffix, file->target);
    } else {
      platform::RemoveFile(file->target);
    }
  }
  DropStaged(staged);
}

bool MoveIntoPlace(UpdateOperations& ops, StagedFile& file) {
  const std::string backup = file.target + kBackupSuffix;
  platform::RemoveFile(backup);
  file.had_old = platform::File(file.target, platform::OpenMode::kRead).IsOpen();
  if (file.had_old && !ops.MoveReplacing(file.target, backup)) return false;
  if (!ops.MoveReplacing(file.target + kStagedSuffix, file.target)) {
    if (file.had_old) ops.MoveReplacing(backup, file.target);
    return false;
  }
  file.moved = true;
  return true;
}

}  // namespace

bool UpdateOperations::MoveReplacing(const std::string& from, const std::string& to) {
  return platform::ReplaceFileAtomically(from, to);
}

bool IsNameInsideProgramFolder(std::string_view name) {
  if (name.empty() || name.front() == '\\' || name.front() == '/') return false;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == ':') return false;
  }
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view part = name.substr(start, end - start);
    if (part == ".." || IsDeviceName(part)) return false;
    start = end + 1;
  }
  return true;
}

bool InstallPackage(UpdateOperations& ops, const std::string& package_file) {
  std::unique_ptr<PackageEntries> package = ops.OpenPackage(package_file);
  if (!package) return false;
  const auto list = package->Next();
  if (!list) return false;
  const std::vector<std::string> names = ReadFileList(*list);

  std::vector<StagedFile> staged;
  for (const std::string& name : names) {
    if (name.empty()) continue;
    const auto entry = package->Next();
    if (!entry) {
      // A name without its entry: the package is not what was published.
      DropStaged(staged);
      return false;
    }
    if (!IsNameInsideProgramFolder(name)) continue;
    const std::string key = UpperAscii(name);
    std::erase_if(staged, [&](const StagedFile& f) { return UpperAscii(f.target) == key; });
    staged.push_back({name});
    if (!WriteStaged(name + kStagedSuffix, *entry)) {
      DropStaged(staged);
      return false;
    }
  }

  for (StagedFile& file : staged) {
    if (!MoveIntoPlace(ops, file)) {
      RollBack(ops, staged);
      return false;
    }
  }
  for (const StagedFile& file : staged) {
    if (file.had_old) platform::RemoveFile(file.target + kBackupSuffix);
  }
  return true;
}

}  // namespace tandrel::updater
