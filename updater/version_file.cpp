// The version texts and numbers, and what version.def holds.
#include <cstdlib>
#include <string>

#include "updater/update.h"

namespace tandrel::updater {
namespace {

// Lines as every file of the program has them: a line ends at CR, LF, CR LF, a zero
// byte or the end; past the end every line is empty.
class LineCursor {
 public:
  LineCursor(std::string_view bytes, std::size_t start)
      : bytes_(bytes), at_(start < bytes.size() ? start : bytes.size()) {}

  std::size_t Position() const { return at_; }

  std::string_view Next() {
    const std::size_t begin = at_;
    while (at_ < bytes_.size() && bytes_[at_] != '\r' && bytes_[at_] != '\n' &&
           bytes_[at_] != '\0') {
      ++at_;
    }
    const std::string_view line = bytes_.substr(begin, at_ - begin);
    if (at_ < bytes_.size()) {
      const char end = bytes_[at_++];
      if (end == '\r' && at_ < bytes_.size() && bytes_[at_] == '\n') ++at_;
    }
    return line;
  }

 private:
  std::string_view bytes_;
  std::size_t at_;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Empty unless the whole text is pairs of hex digits.
std::vector<std::uint8_t> DecodeHex(std::string_view hex) {
  std::vector<std::uint8_t> bytes;
  if (hex.size() % 2 != 0) return bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexValue(hex[i]);
    const int low = HexValue(hex[i + 1]);
    if (high < 0 || low < 0) return {};
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return bytes;
}

std::string_view AfterPrefix(std::string_view line, std::string_view prefix) {
  return line.substr(0, prefix.size()) == prefix ? line.substr(prefix.size()) : std::string_view{};
}

}  // namespace

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

std::string NotesText(std::string_view notes) {
  std::string text;
  text.reserve(notes.size() * 2);
  for (const char c : notes) {
    if (c == '-') text += '\n';
    text += c;
  }
  return text;
}

ReleaseInfo ParseReleaseInfo(std::string_view bytes) {
  ReleaseInfo info;
  const auto byte_at = [&](std::size_t i) {
    return static_cast<std::int8_t>(i < bytes.size() ? bytes[i] : 0);
  };
  info.version = {byte_at(0), byte_at(1), byte_at(2)};
  LineCursor lines(bytes, 3);
  info.checksum = lines.Next();
  info.notes = lines.Next();
  info.sha256 = AfterPrefix(lines.Next(), "sha256 ");
  const std::size_t signature_start = lines.Position();
  const std::string_view signature_line = lines.Next();
  info.signature = DecodeHex(AfterPrefix(signature_line, "sig "));
  if (!info.signature.empty()) info.signed_bytes = bytes.substr(0, signature_start);
  return info;
}

}  // namespace tandrel::updater
