// The persistent settings and the file that holds them, "settings.conf" in the program
// folder: line 1 the autostart flag, every further line one indexed folder.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tandrel::settings {

inline constexpr char kSettingsFileName[] = "settings.conf";
inline constexpr int kFolderSlotCount = 101;

using FolderSlots = std::array<std::string, kFolderSlotCount>;

// Written by ReadSettings (main thread). Read by the indexing run's thread while it walks;
// the menu items that lead to ReadSettings are disabled during that time.
extern FolderSlots IndexedFolders;
// 1 = renew the index at system start; any other value counts as off. Written by
// ReadSettings and the settings dialog, read by the quit sequence: main thread only.
extern std::int32_t AutostartFlag;

// What this process knows about its settings beyond the file's two values; main thread
// only. Reset gives the state of a fresh process.
struct SettingsSessionState {
  // The value the settings dialog applied in this session, none before the first apply.
  // settings.conf gets it only at quit or with the next folder list, so until then the
  // file still holds the older value.
  std::optional<std::int32_t> applied_autostart_flag;
  // True when the last ReadSettings could not read the file: the empty slots then say
  // nothing about the folders, and no run may walk them.
  bool read_failed = false;

  void Reset() { *this = SettingsSessionState{}; }
};
extern SettingsSessionState SettingsSession;

// What a settings file holds.
struct StoredSettings {
  std::int32_t autostart_flag = 0;
  FolderSlots folders;
};

// Reads the file without creating or changing it, for programs that only read it; none
// when it cannot be read. Lines beyond the last slot are ignored.
[[nodiscard]] std::optional<StoredSettings> ReadSettingsFile(const std::string& path);

// Fills AutostartFlag and IndexedFolders from the file, creating an empty file when it
// is missing; a file that cannot be written is read all the same. Lines beyond the last
// slot are ignored. False (every slot empty, AutostartFlag kept) when it cannot be read.
bool ReadSettings(const std::string& path = kSettingsFileName);
// ReadSettings for the folder dialog: an autostart value applied in this session and
// not stored yet stays, rather than going back to the file's older value.
bool ReloadSettings(const std::string& path = kSettingsFileName);
// Rewrites the whole file: AutostartFlag, then one line per folder row. False when the
// file could not be created or written.
[[nodiscard]] bool WriteSettings(const std::vector<std::string>& folder_rows,
                   const std::string& path = kSettingsFileName);
// Rewrites line 1; every byte after it stays. In place where the new line fits over the
// old one and its line end, else by writing the whole file anew beside it and renaming it
// over the old one. False when the file is missing or could not be written; the rename
// leaves the old file whole then, an in-place write may have stopped part way.
[[nodiscard]] bool StoreAutostartFlag(const std::string& path = kSettingsFileName);

// The first line's number: the text before ";", leading spaces and tabs skipped, an
// optional sign, "$" for hexadecimal or "%" for binary, digits up to the first other
// character; no digits give 0.
std::int32_t ParseSettingsNumber(std::string_view line);

}  // namespace tandrel::settings
