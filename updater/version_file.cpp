// The version texts, numbers and comparisons, and the notes as the success message shows them.
#include <array>
#include <cstdlib>
#include <string>

#include "updater/update.h"

namespace tandrel::updater {

std::string VersionText(VersionTriple version) {
  return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
         std::to_string(version.build);
}

std::int32_t VersionNumber(VersionTriple version) {
  const std::string digits = std::to_string(version.major) + std::to_string(version.minor) +
                             std::to_string(version.build);
  // At most "127127127" when every part lies in 0..127; a sign stops at its place.
  return static_cast<std::int32_t>(std::strtol(digits.c_str(), nullptr, 10));
}

int CompareVersions(VersionTriple a, VersionTriple b) {
  const std::array<int, 3> left{a.major, a.minor, a.build};
  const std::array<int, 3> right{b.major, b.minor, b.build};
  for (std::size_t i = 0; i < left.size(); ++i) {
    if (left[i] != right[i]) return left[i] < right[i] ? -1 : 1;
  }
  return 0;
}

std::optional<VersionTriple> ParseVersionText(std::string_view text) {
  std::array<int, 3> parts{};
  std::size_t at = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) {
      if (at >= text.size() || text[at] != '.') return std::nullopt;
      ++at;
    }
    const std::size_t start = at;
    while (at < text.size() && at - start < 4 && text[at] >= '0' && text[at] <= '9') {
      parts[i] = parts[i] * 10 + (text[at] - '0');
      ++at;
    }
    if (at == start || parts[i] > 127) return std::nullopt;
  }
  if (at != text.size()) return std::nullopt;
  return VersionTriple{static_cast<std::int8_t>(parts[0]), static_cast<std::int8_t>(parts[1]),
                       static_cast<std::int8_t>(parts[2])};
}

std::string NotesText(std::string_view notes) {
  std::string text;
  text.reserve(notes.size() * 2);
  for (const char c : notes) {
    if (c == '-') text += '\n';
    text += c;
  }
  return text;
}

}  // namespace tandrel::updater
