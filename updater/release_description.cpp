// version.def: read strictly by the updater, written by the publisher, checked whole by
// both the updater's rules and those of updaters from before the serial.
#include <algorithm>

#include "updater/release.h"
#include "updater/update_public_key.h"

namespace tandrel::updater {
namespace {

// Enough for any second or length this side of the year 30 billion, and no overflow.
constexpr std::size_t kMaxDigits = 18;
constexpr std::size_t kSha256HexSize = 64;

bool IsLowerHex(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// The text after `key` on `line`; none when the line starts otherwise.
std::optional<std::string_view> Field(std::string_view line, std::string_view key) {
  if (!line.starts_with(key)) return std::nullopt;
  return line.substr(key.size());
}

// Decimal digits without a leading zero: one spelling per number, as every byte is signed.
std::optional<std::uint64_t> Decimal(std::optional<std::string_view> text) {
  if (!text || text->empty() || text->size() > kMaxDigits || (text->size() > 1 && text->front() == '0')) {
    return std::nullopt;
  }
  std::uint64_t value = 0;
  for (const char c : *text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

// "sig " and lower-case hex only: a second spelling would be a changed byte that still
// verifies.
std::optional<std::vector<std::uint8_t>> Signature(std::string_view line) {
  const std::optional<std::string_view> hex = Field(line, "sig ");
  if (!hex || hex->empty() || !IsLowerHex(*hex)) return std::nullopt;
  return platform::ParseHex(*hex);
}

std::string HexDigest(platform::HashKind kind, std::span<const std::uint8_t> bytes) {
  const auto digest = platform::HashOf(kind, bytes);
  return digest ? platform::LowerHex(*digest) : std::string();
}

bool AppendSignature(std::string& text, const ReleaseSigner& sign) {
  const auto signature = sign(text);
  if (!signature || signature->empty()) return false;
  text += "sig " + platform::LowerHex(*signature) + "\r\n";
  return true;
}

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<ReleaseDescription> ParseReleaseDescription(std::string_view bytes) {
  if (bytes.size() < 3 || bytes.size() > kReleaseDescriptionLimit) return std::nullopt;
  ReleaseDescription description;
  description.version = {static_cast<std::int8_t>(bytes[0]), static_cast<std::int8_t>(bytes[1]),
                         static_cast<std::int8_t>(bytes[2])};
  std::size_t at = 3;
  description.checksum = NextLine(bytes, at);
  description.notes = NextLine(bytes, at);
  const std::optional<std::string_view> sha256 = Field(NextLine(bytes, at), "sha256 ");
  if (!sha256 || sha256->size() != kSha256HexSize || !IsLowerHex(*sha256)) return std::nullopt;
  description.sha256 = *sha256;
  description.first_signed_size = at;
  auto first_signature = Signature(NextLine(bytes, at));
  const std::optional<std::uint64_t> serial = Decimal(Field(NextLine(bytes, at), "serial "));
  const std::optional<std::uint64_t> expires = Decimal(Field(NextLine(bytes, at), "expires "));
  const std::optional<std::uint64_t> length = Decimal(Field(NextLine(bytes, at), "length "));
  description.signed_size = at;
  auto signature = Signature(NextLine(bytes, at));
  if (!first_signature || !serial || *serial == 0 || !expires || !length || *length > kPackageLengthLimit ||
      !signature) {
    return std::nullopt;
  }
  // The last signature line closes the file with CR LF, so that no byte goes unchecked.
  if (at != bytes.size() || !bytes.ends_with("\r\n")) return std::nullopt;
  description.first_signature = std::move(*first_signature);
  description.signature = std::move(*signature);
  description.serial = *serial;
  description.expires = static_cast<std::int64_t>(*expires);
  description.length = *length;
  return description;
}

std::optional<std::uint64_t> ParseSerial(std::string_view text) { return Decimal(text); }

std::string_view ChecksumDigest(const ReleaseDescription& description) { return TrimSpaces(description.checksum); }

std::optional<std::string> WriteReleaseDescription(const ReleaseContent& content, const ReleaseSigner& sign) {
  const std::string md5 = HexDigest(platform::HashKind::kMd5, content.package);
  const std::string sha256 = HexDigest(platform::HashKind::kSha256, content.package);
  if (md5.empty() || sha256.empty() || content.expires < 0) return std::nullopt;
  std::string text{static_cast<char>(content.version.major), static_cast<char>(content.version.minor),
                   static_cast<char>(content.version.build)};
  text.append(md5).append("\r\n").append(content.notes).append("\r\n");
  text.append("sha256 ").append(sha256).append("\r\n");
  if (!AppendSignature(text, sign)) return std::nullopt;
  text += "serial " + std::to_string(content.serial) + "\r\nexpires " + std::to_string(content.expires) +
          "\r\nlength " + std::to_string(content.package.size()) + "\r\n";
  if (!AppendSignature(text, sign)) return std::nullopt;
  // Read back by the updater's rule: notes that break the line structure, a serial of 0
  // or numbers too long for it end here rather than on the users' machines.
  if (!ParseReleaseDescription(text)) return std::nullopt;
  return text;
}

ReleaseCheck CheckReleaseDescription(std::span<const std::uint8_t> version_def,
                                     std::span<const std::uint8_t> package,
                                     std::span<const platform::RsaPublicKey> keys, std::int64_t now) {
  const std::optional<ReleaseDescription> description = ParseReleaseDescription(
      std::string_view(reinterpret_cast<const char*>(version_def.data()), version_def.size()));
  if (!description) return ReleaseCheck::kMalformed;
  if (!SignedByAnyKey(keys, version_def.first(description->first_signed_size), description->first_signature) ||
      !SignedByAnyKey(keys, version_def.first(description->signed_size), description->signature)) {
    return ReleaseCheck::kBadSignature;
  }
  if (ChecksumDigest(*description) != HexDigest(platform::HashKind::kMd5, package) ||
      description->sha256 != HexDigest(platform::HashKind::kSha256, package) ||
      description->length != package.size()) {
    return ReleaseCheck::kPackageMismatch;
  }
  if (now >= description->expires) return ReleaseCheck::kExpired;
  return ReleaseCheck::kAuthentic;
}

}  // namespace tandrel::updater
