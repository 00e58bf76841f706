// The publisher's files as the updater reads them: the names of the package's file list,
// and the release description "version.def" with its authenticity lines.
//
// version.def: three version bytes, then lines ending in CR LF: the MD5 digest of
// update.pak (32 lower-case hex digits), the release notes, "sha256 " + the SHA-256 of
// update.pak, and "sig " + an RSA PKCS#1 v1.5 SHA-256 signature (hex) over every byte
// before that last line, which ends the file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto.h"

namespace tandrel::updater {

// A name the file list may hold: a relative path into existing folders, without "..",
// drive letters or colons, control characters, or a device name in any part.
bool IsSafePackageName(std::string_view name);

// The lines of a file list, each ending at CR, LF, CR LF, NUL or the end; empty lines
// are kept (they take no entry).
std::vector<std::string> SplitFileList(std::span<const std::uint8_t> list);

struct VersionTriple {
  std::int8_t major = 0, minor = 0, build = 0;
};

// "X.Y.Z" with each part 0 to 127.
std::optional<VersionTriple> ParseVersionText(std::string_view text);

// Everything of version.def up to the signature line.
std::string UnsignedReleaseDescription(VersionTriple version, std::string_view package_md5_hex,
                                       std::string_view notes, std::string_view package_sha256_hex);

enum class ReleaseCheck { kAuthentic, kMalformed, kPackageMismatch, kBadSignature };

// Checks a whole version.def against the package's digests and the trusted keys (a
// signature by any one of them will do).
ReleaseCheck CheckReleaseDescription(std::span<const std::uint8_t> version_def,
                                     std::span<const std::uint8_t> package,
                                     std::span<const platform::RsaPublicKey> keys);

}  // namespace tandrel::updater
