#include "updater/release.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "updater/update_public_key.h"

namespace tandrel::updater {
namespace {

bool IsDeviceName(std::string_view part) {
  // Windows ignores what follows the first dot and trailing spaces when it matches
  // device names, so "nul.txt" and "CON " are devices too.
  part = part.substr(0, part.find('.'));
  while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
  std::string upper(part);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static constexpr std::array<std::string_view, 4> kPlain = {"CON", "PRN", "AUX", "NUL"};
  if (std::find(kPlain.begin(), kPlain.end(), upper) != kPlain.end()) return true;
  if (upper == "CONIN$" || upper == "CONOUT$") return true;
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) && upper[3] >= '0' &&
         upper[3] <= '9';
}

// One line by the updater's rule, starting at `at`; moves `at` past its end.
std::string_view NextLine(std::span<const std::uint8_t> bytes, std::size_t& at) {
  const std::size_t start = at;
  while (at < bytes.size() && bytes[at] != '\r' && bytes[at] != '\n' && bytes[at] != 0) ++at;
  const std::string_view line(reinterpret_cast<const char*>(bytes.data()) + start, at - start);
  if (at < bytes.size()) {
    if (bytes[at] == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n') ++at;
    ++at;
  }
  return line;
}

std::string HexDigest(platform::HashKind kind, std::span<const std::uint8_t> bytes) {
  const auto digest = platform::HashOf(kind, bytes);
  return digest ? platform::LowerHex(*digest) : std::string();
}

}  // namespace

bool IsSafePackageName(std::string_view name) {
  if (name.empty() || name.front() == '\\' || name.front() == '/') return false;
  if (name.find("..") != std::string_view::npos || name.find(':') != std::string_view::npos) return false;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view part = name.substr(start, end - start);
    if (part.empty() || IsDeviceName(part)) return false;
    start = end + 1;
  }
  return true;
}

std::vector<std::string> SplitFileList(std::span<const std::uint8_t> list) {
  std::vector<std::string> names;
  std::size_t at = 0;
  while (at < list.size()) names.emplace_back(NextLine(list, at));
  return names;
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

std::string UnsignedReleaseDescription(VersionTriple version, std::string_view package_md5_hex,
                                       std::string_view notes, std::string_view package_sha256_hex) {
  std::string text;
  text.push_back(static_cast<char>(version.major));
  text.push_back(static_cast<char>(version.minor));
  text.push_back(static_cast<char>(version.build));
  text.append(package_md5_hex).append("\r\n");
  text.append(notes).append("\r\n");
  text.append("sha256 ").append(package_sha256_hex).append("\r\n");
  return text;
}

ReleaseCheck CheckReleaseDescription(std::span<const std::uint8_t> version_def,
                                     std::span<const std::uint8_t> package,
                                     std::span<const platform::RsaPublicKey> keys) {
  if (version_def.size() < 3) return ReleaseCheck::kMalformed;
  std::size_t at = 3;
  const std::string_view md5_line = NextLine(version_def, at);
  NextLine(version_def, at);
  const std::string_view sha_line = NextLine(version_def, at);
  const std::size_t signed_end = at;
  const std::string_view sig_line = NextLine(version_def, at);
  // The signature line must close the file with CR LF, so that no byte goes unchecked.
  const bool closed = at == version_def.size() && at >= 2 && version_def[at - 2] == '\r' &&
                      version_def[at - 1] == '\n';
  if (!sha_line.starts_with("sha256 ") || !sig_line.starts_with("sig ") || !closed) {
    return ReleaseCheck::kMalformed;
  }
  const auto signature = platform::ParseHex(sig_line.substr(4));
  // Lower-case only, like the digests: a second spelling would be a changed byte that
  // still verifies.
  if (!signature || platform::LowerHex(*signature) != sig_line.substr(4)) return ReleaseCheck::kMalformed;
  if (!SignedByAnyKey(keys, version_def.first(signed_end), *signature)) {
    return ReleaseCheck::kBadSignature;
  }
  std::string_view md5 = md5_line;
  while (!md5.empty() && md5.front() == ' ') md5.remove_prefix(1);
  while (!md5.empty() && md5.back() == ' ') md5.remove_suffix(1);
  if (md5 != HexDigest(platform::HashKind::kMd5, package) ||
      sha_line.substr(7) != HexDigest(platform::HashKind::kSha256, package)) {
    return ReleaseCheck::kPackageMismatch;
  }
  return ReleaseCheck::kAuthentic;
}

}  // namespace tandrel::updater
