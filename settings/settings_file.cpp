// Reading and writing "settings.conf".
#include <string>

#include "platform/platform.h"
#include "platform/staged_file.h"
#include "settings/settings.h"

namespace tandrel::settings {
namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

std::string FlagLine() { return std::to_string(AutostartFlag) + "\r\n"; }

std::string ReadToEnd(platform::File& file) {
  std::string bytes;
  char chunk[4096];
  for (std::size_t got; (got = file.Read(chunk, sizeof chunk)) > 0;) bytes.append(chunk, got);
  return bytes;
}

// Line 1 with its line end, as a reader consumes it: up to CR, LF, CR LF or NUL.
std::size_t FirstLineLength(std::string_view bytes) {
  const std::size_t end = bytes.find_first_of(std::string_view("\r\n\0", 3));
  if (end == std::string_view::npos) return bytes.size();
  if (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') return end + 2;
  return end + 1;
}

// The whole file with a new line 1, written beside it and put in its place in one step,
// so that a failure at any point leaves the old file as it was.
bool ReplaceFirstLine(const std::string& path, std::string_view line, std::string_view rest) {
  platform::StagedFile staged(path);
  const bool written = staged.Output().Write(line) && staged.Output().Write(rest);
  // On a failure the old file stays whole, flag and all.
  return staged.Commit(written, platform::Durability::kSynced);
}

// Line 1 and the folder lines after it. Every line takes a slot, empty ones included. A
// hand-edited file may hold more lines than there are slots; those are ignored rather
// than kept anywhere.
void ReadLines(platform::File& file, std::int32_t& flag, FolderSlots& folders) {
  std::string line;
  file.ReadLine(line);
  flag = ParseSettingsNumber(line);
  for (int slot = 0; slot < kFolderSlotCount && !file.AtEnd(); ++slot) {
    file.ReadLine(line);
    if (!line.empty()) folders[slot] = line;
  }
}

}  // namespace

std::int32_t ParseSettingsNumber(std::string_view line) {
  line = line.substr(0, line.find(';'));
  std::size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == '-' || line[i] == '+')) negative = line[i++] == '-';
  int base = 10;
  if (i < line.size() && line[i] == '$') {
    base = 16;
    ++i;
  } else if (i < line.size() && line[i] == '%') {
    base = 2;
    ++i;
  }
  // Unsigned arithmetic wraps instead of overflowing; a hand-edited huge number just
  // gives some value that is not 1, which counts as off.
  std::uint32_t value = 0;
  for (; i < line.size() && DigitValue(line[i]) < base; ++i) {
    value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(DigitValue(line[i]));
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

bool ReadSettings(const std::string& path) {
  IndexedFolders.fill(std::string());
  platform::File file(path, platform::OpenMode::kReadWrite);
  // A file this user may not write (its read-only attribute, another user's file) still
  // holds the folder list.
  if (!file.IsOpen()) file = platform::File(path, platform::OpenMode::kRead);
  SettingsSession.read_failed = !file.IsOpen();
  if (SettingsSession.read_failed) return false;
  ReadLines(file, AutostartFlag, IndexedFolders);
  return true;
}

std::optional<StoredSettings> ReadSettingsFile(const std::string& path) {
  platform::File file(path, platform::OpenMode::kRead);
  if (!file.IsOpen()) return std::nullopt;
  StoredSettings stored;
  ReadLines(file, stored.autostart_flag, stored.folders);
  return stored;
}

bool ReloadSettings(const std::string& path) {
  const bool read = ReadSettings(path);
  if (SettingsSession.applied_autostart_flag) AutostartFlag = *SettingsSession.applied_autostart_flag;
  return read;
}

bool WriteSettings(const std::vector<std::string>& folder_rows, const std::string& path) {
  platform::File file(path, platform::OpenMode::kCreate);
  if (!file.IsOpen()) return false;
  // A refused write sticks in the file; Close reports it.
  file.Write(FlagLine());
  for (const std::string& row : folder_rows) {
    file.Write(row);
    file.Write("\r\n");
  }
  return file.Close();
}

bool StoreAutostartFlag(const std::string& path) {
  platform::File file(path, platform::OpenMode::kReadWrite);
  if (!file.IsOpen()) return false;
  const std::string line = FlagLine();
  const std::string bytes = ReadToEnd(file);
  const std::size_t old_line = FirstLineLength(bytes);
  // In place only where the new line cannot reach into line 2: over the old line and its
  // line end, or at the end of the file. (LF line ends, an empty line 1 or a longer
  // number would otherwise overwrite the first folder's first bytes.)
  if (line.size() <= old_line || old_line == bytes.size()) {
    if (!file.Seek(0)) return false;
    file.Write(line);
    return file.Close();
  }
  // Only read so far: closing cannot lose a write.
  (void)file.Close();
  return ReplaceFirstLine(path, line, std::string_view(bytes).substr(old_line));
}

}  // namespace tandrel::settings
