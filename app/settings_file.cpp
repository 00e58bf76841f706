// Reading and writing "settings.conf".
#include <string>

#include "app/settings.h"
#include "platform/platform.h"

namespace tandrel {
namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

void WriteFlagLine(platform::File& file) {
  file.Write(std::to_string(AutostartFlag));
  file.Write("\r\n");
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

void ReadSettings(const std::string& path) {
  IndexedFolders.fill(std::string());
  platform::File file(path, platform::OpenMode::kReadWrite);
  if (!file.IsOpen()) return;
  std::string line;
  file.ReadLine(line);
  AutostartFlag = ParseSettingsNumber(line);
  // Every line takes a slot, empty ones included. A hand-edited file may hold more
  // lines than there are slots; those are ignored rather than kept anywhere.
  for (int slot = 0; slot < kFolderSlotCount && !file.AtEnd(); ++slot) {
    file.ReadLine(line);
    if (!line.empty()) IndexedFolders[slot] = line;
  }
}

void ReloadSettings(const std::string& path) {
  ReadSettings(path);
  if (AppliedAutostartFlag) AutostartFlag = *AppliedAutostartFlag;
}

void WriteSettings(const std::vector<std::string>& folder_rows, const std::string& path) {
  platform::File file(path, platform::OpenMode::kCreate);
  if (!file.IsOpen()) return;
  WriteFlagLine(file);
  for (const std::string& row : folder_rows) {
    file.Write(row);
    file.Write("\r\n");
  }
}

void StoreAutostartFlag(const std::string& path) {
  platform::File file(path, platform::OpenMode::kReadWrite);
  if (!file.IsOpen()) return;
  WriteFlagLine(file);
}

}  // namespace tandrel
