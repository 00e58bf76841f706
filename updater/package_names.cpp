// The names a package's file list may hold, and how the list splits into them.
#include <algorithm>
#include <array>

#include "updater/release.h"

namespace tandrel::updater {
namespace {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return UpperAscii(x) == UpperAscii(y); });
}

bool EndsWithNoCase(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && EqualsNoCase(text.substr(text.size() - end.size()), end);
}

// Windows opens a device for these names in any folder and with any extension: what
// counts is the part before the first dot, trailing spaces dropped. COM and LPT take a
// digit or one of the superscript digits 1, 2 and 3 (bytes B9, B2, B3 in Windows-1252).
bool IsDeviceName(std::string_view part) {
  std::string_view base = part.substr(0, part.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  static constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  if (std::any_of(kPlain.begin(), kPlain.end(), [&](std::string_view d) { return EqualsNoCase(base, d); })) {
    return true;
  }
  if (base.size() != 4 || !(EqualsNoCase(base.substr(0, 3), "COM") || EqualsNoCase(base.substr(0, 3), "LPT"))) {
    return false;
  }
  const auto number = static_cast<unsigned char>(base[3]);
  return (number >= '0' && number <= '9') || number == 0xB9 || number == 0xB2 || number == 0xB3;
}

// Control characters and what Windows reserves for paths and wildcards.
bool IsNameByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte < 0x20 || byte == 0x7F) return false;
  return std::string_view("<>:\"/\\|?*").find(c) == std::string_view::npos;
}

bool IsSafePart(std::string_view part) {
  if (part.empty() || part.back() == '.' || part.back() == ' ') return false;
  if (!std::all_of(part.begin(), part.end(), IsNameByte)) return false;
  if (EndsWithNoCase(part, kStagedSuffix) || EndsWithNoCase(part, kBackupSuffix)) return false;
  return !IsDeviceName(part);
}

}  // namespace

bool IsSafePackageName(std::string_view name) {
  // ".." anywhere, not only as a whole part: no spelling of a parent folder gets through.
  if (name.empty() || name.find("..") != std::string_view::npos) return false;
  if (EqualsNoCase(name, kInstalledSerialFile) || EqualsNoCase(name, kInstallJournalFile)) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = name.find_first_of("\\/", start);
    if (!IsSafePart(name.substr(start, end - start))) return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

std::string_view NextLine(std::string_view bytes, std::size_t& at) {
  const std::size_t start = at;
  while (at < bytes.size() && bytes[at] != '\r' && bytes[at] != '\n' && bytes[at] != '\0') ++at;
  const std::string_view line = bytes.substr(start, at - start);
  if (at < bytes.size()) {
    if (bytes[at] == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n') ++at;
    ++at;
  }
  return line;
}

std::vector<std::string> SplitFileList(std::span<const std::uint8_t> list) {
  const std::string_view text(reinterpret_cast<const char*>(list.data()), list.size());
  std::vector<std::string> names;
  std::size_t at = 0;
  while (at < text.size()) names.emplace_back(NextLine(text, at));
  return names;
}

}  // namespace tandrel::updater
