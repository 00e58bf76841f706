// The publisher's files as the updater reads them: the release description "version.def",
// the versions it names, and the names of the package's file list.
//
// version.def: three version bytes, then lines ending in CR LF:
//   the MD5 digest of update.pak (32 lower-case hex digits)
//   the release notes
//   "sha256 " + the SHA-256 of update.pak
//   "sig " + a signature over every byte before this line
//   "serial " + the release's serial: decimal, above the serial of every earlier release
//   "expires " + the second (since 1970, UTC) from which no updater takes the description
//   "length " + the length of update.pak in bytes
//   "sig " + a signature over every byte before this line, which ends the file
// Signatures are RSA PKCS#1 v1.5 with SHA-256, in lower-case hex. Updaters from before the
// serial read up to the first signature and ignore the rest; this updater needs all of it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto.h"

namespace tandrel::updater {

// Three signed bytes: major, minor, build.
struct VersionTriple {
  std::int8_t major = 0;
  std::int8_t minor = 0;
  std::int8_t build = 0;
};

// Negative, zero or positive as `a` is older than, equal to or newer than `b`: part by
// part, each as the number it is, so 1.3.10 is older than 1.4.0.
int CompareVersions(VersionTriple a, VersionTriple b);

// "X.Y.Z" with each part 0 to 127.
std::optional<VersionTriple> ParseVersionText(std::string_view text);

// The most a description may take; the updater reads no more.
inline constexpr std::size_t kReleaseDescriptionLimit = 64 * 1024;
// The longest package a description may announce.
inline constexpr std::uint64_t kPackageLengthLimit = 1'000'000'000;

struct ReleaseDescription {
  VersionTriple version;
  std::string checksum;  // the MD5 line as it stands, spaces included
  std::string notes;
  std::string sha256;    // 64 lower-case hex digits
  std::uint64_t serial = 0;
  std::int64_t expires = 0;
  std::uint64_t length = 0;
  // Each signature covers the description's first bytes, this many of them.
  std::vector<std::uint8_t> first_signature;
  std::size_t first_signed_size = 0;
  std::vector<std::uint8_t> signature;
  std::size_t signed_size = 0;
};

// A whole version.def; none unless every line is in its place and well formed. Says
// nothing about the signatures; they are checked against the bytes they cover.
std::optional<ReleaseDescription> ParseReleaseDescription(std::string_view bytes);
// A serial as version.def and the serial file hold it: decimal, no leading zero.
std::optional<std::uint64_t> ParseSerial(std::string_view text);
// The digest of the MD5 line: spaces before and after it do not count.
std::string_view ChecksumDigest(const ReleaseDescription& description);

struct ReleaseContent {
  VersionTriple version;
  std::string_view notes;
  std::uint64_t serial = 0;
  std::int64_t expires = 0;
  std::span<const std::uint8_t> package;
};
// The signature of the bytes given, or none when signing failed.
using ReleaseSigner = std::function<std::optional<std::vector<std::uint8_t>>(std::string_view)>;

// The publisher's version.def for `content`; none when a signature could not be made.
std::optional<std::string> WriteReleaseDescription(const ReleaseContent& content, const ReleaseSigner& sign);

enum class ReleaseCheck { kAuthentic, kMalformed, kPackageMismatch, kBadSignature, kExpired };

// Checks a whole version.def as this updater and earlier ones take it: both signatures
// against the trusted keys (a signature by any one of them will do), the package's
// digests and length, and the expiry against `now` (seconds since 1970).
ReleaseCheck CheckReleaseDescription(std::span<const std::uint8_t> version_def,
                                     std::span<const std::uint8_t> package,
                                     std::span<const platform::RsaPublicKey> keys, std::int64_t now);

// Files the updater keeps beside the program for itself: the serial of the installed
// release, and the journal of an install while it moves files into place. New files are
// written under their name with kStagedSuffix, the files they replace kept with
// kBackupSuffix until the install is done.
inline constexpr char kInstalledSerialFile[] = "version.serial";
inline constexpr char kInstallJournalFile[] = "update.journal";
inline constexpr char kStagedSuffix[] = ".tdl-new";
inline constexpr char kBackupSuffix[] = ".tdl-old";

// The one rule for a name in a package's file list, for the publisher and the updater
// alike: a relative path into existing folders whose every part is an ordinary file name
// on Windows. Refused: "..", absolute paths, drive letters and colons, control characters
// and the characters Windows keeps for itself, reserved device names (with any extension,
// and with the superscript digits Windows counts as device numbers), parts ending in a
// dot or a space (Windows drops those, which would name another file), and the updater's
// own files above.
bool IsSafePackageName(std::string_view name);

// The line of `bytes` that starts at `at`, by the rule of every file of the program: it
// ends at CR, LF, CR LF, NUL or the end, which is not part of it. Moves `at` past its end.
std::string_view NextLine(std::string_view bytes, std::size_t& at);

// The lines of a file list; empty lines are kept (they take no entry).
std::vector<std::string> SplitFileList(std::span<const std::uint8_t> list);

}  // namespace tandrel::updater
