// The publisher's commands: keygen, publish, unpack and verify. Signing and making keys
// need libcrypto and exist only in the Linux build; unpack and verify work on both.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/crypto.h"
#include "platform/platform.h"
#include "tools/tdl/commands.h"
#include "tools/tdl/options.h"
#include "updater/package.h"
#include "updater/package_writer.h"
#include "updater/release.h"
#include "updater/update_public_key.h"

namespace tandrel::tdl {

const char kPublishUsage[] =
    "usage: tdl publish --version X.Y.Z --notes TEXT --key KEYFILE --out FOLDER\n"
    "                   [--serial N] [--expires YYYY-MM-DD] FILE...\n"
    "Writes FOLDER/update.pak with FILE... (names relative to the program folder) and\n"
    "FOLDER/version.def, signed with the private key in KEYFILE.\n"
    "  --serial N     the release's serial, above every earlier release's; updaters refuse\n"
    "                 a serial not above the installed one (default: the time of publishing\n"
    "                 in seconds since 1970)\n"
    "  --expires DAY  from 00:00 UTC of this day on, updaters refuse the description\n"
    "                 (default: 90 days from now); publish again before then\n";
const char kUnpackUsage[] =
    "usage: tdl unpack PAK FOLDER\n"
    "Installs the package PAK into FOLDER by the updater's rules (folders must exist).\n";
const char kKeygenUsage[] =
    "usage: tdl keygen KEYFILE\n"
    "Makes an RSA-2048 signing key: KEYFILE (private, PEM; a new file, readable by its\n"
    "owner alone), KEYFILE.pub (PEM) and KEYFILE.pub.hex (the form a build compiles in,\n"
    "see TANDREL_UPDATE_PUBLIC_KEY).\n";
const char kVerifyUsage[] =
    "usage: tdl verify VERSION_DEF PAK [--key KEYFILE.pub.hex]\n"
    "Checks the digests, the length, both signatures and the expiry of a release against\n"
    "the keys this tdl was built with (the current and the next one), or the given one.\n";

namespace {

using Bytes = std::vector<std::uint8_t>;

std::optional<Bytes> ReadBytes(const std::string& path) {
  platform::File file(path, platform::OpenMode::kRead, 1u << 16);
  if (!file.IsOpen()) return std::nullopt;
  Bytes bytes;
  std::uint8_t chunk[1u << 16];
  for (std::size_t got; (got = file.Read(chunk, sizeof chunk)) > 0;) bytes.insert(bytes.end(), chunk, chunk + got);
  return bytes;
}

bool WriteBytes(const std::string& path, std::span<const std::uint8_t> bytes) {
  platform::File file(path, platform::OpenMode::kCreate, 1u << 16);
  return file.IsOpen() &&
         file.Write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())) && file.Close();
}

[[maybe_unused]] std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

int Fail(const char* what, std::string_view detail = {}) {
  // One string: a default detail has no data pointer, which printf's %.*s must not get.
  const std::string line = "tdl: " + std::string(what) + std::string(detail) + "\n";
  std::fputs(line.c_str(), stderr);
  return 1;
}

int ShowUsage(const char* usage) {
  std::fputs(usage, stdout);
  return 0;
}

int UsageFault(const char* usage) {
  std::fputs(usage, stderr);
  return kExitUsage;
}

std::string WithSeparator(std::string folder) {
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder.push_back(platform::kPathSeparator);
  return folder;
}

// A list name in the program folder's own spelling, with "\" between folders.
[[maybe_unused]] std::string ListName(std::string_view name) {
  std::string list(name);
  for (char& c : list) {
    if (c == '/') c = '\\';
  }
  return list;
}

// A list name as a path on this system, below `folder`.
std::string InstallPath(const std::string& folder, std::string_view name) {
  std::string path = WithSeparator(folder);
  for (char c : name) path.push_back(c == '\\' || c == '/' ? platform::kPathSeparator : c);
  return path;
}

std::int64_t SecondsSince1970() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// "YYYY-MM-DD HH:MM UTC".
std::string UtcText(std::int64_t seconds) {
  const auto time = static_cast<std::time_t>(seconds);
  const std::tm* utc = std::gmtime(&time);
  char text[32] = "?";
  if (utc != nullptr) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", utc);
  return text;
}

[[maybe_unused]] bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// 00:00 UTC of a day "YYYY-MM-DD" from 1970 on, in seconds since 1970.
[[maybe_unused]] std::optional<std::int64_t> StartOfDay(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  const auto number = [&](std::size_t at, std::size_t digits) -> std::optional<int> {
    int value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
      if (text[i] < '0' || text[i] > '9') return std::nullopt;
      value = value * 10 + (text[i] - '0');
    }
    return value;
  };
  const auto year = number(0, 4), month = number(5, 2), day = number(8, 2);
  if (!year || !month || !day || *year < 1970 || *month < 1 || *month > 12) return std::nullopt;
  static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const auto days_in = [&](int m) { return kMonthDays[m - 1] + (m == 2 && IsLeapYear(*year) ? 1 : 0); };
  if (*day < 1 || *day > days_in(*month)) return std::nullopt;
  std::int64_t days = *day - 1;
  for (int y = 1970; y < *year; ++y) days += IsLeapYear(y) ? 366 : 365;
  for (int m = 1; m < *month; ++m) days += days_in(m);
  return days * 86'400;
}

std::optional<platform::RsaPublicKey> ReadPublicKeyFile(const std::string& path) {
  const auto bytes = ReadBytes(path);
  if (!bytes) return std::nullopt;
  std::string text(bytes->begin(), bytes->end());
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  const std::size_t space = text.find(' ');
  if (space == std::string::npos || space == 0 || space > 8) return std::nullopt;
  const auto modulus = platform::ParseHex(text.substr(space + 1));
  const auto exponent = platform::ParseHex(std::string(8 - space, '0') + text.substr(0, space));
  if (!modulus || !exponent || (8 - space) % 2 != 0) return std::nullopt;
  platform::RsaPublicKey key;
  key.modulus = *modulus;
  for (std::uint8_t b : *exponent) key.exponent = key.exponent << 8 | b;
  return key;
}

}  // namespace

#ifdef _WIN32
int RunKeygenCommand(std::span<const std::string_view>) {
  return Fail("keygen is available in the Linux build of tdl only");
}
int RunPublishCommand(std::span<const std::string_view>) {
  return Fail("publish is available in the Linux build of tdl only");
}
#else
int RunKeygenCommand(std::span<const std::string_view> args) {
  const ParsedOptions parsed = ParseOptions(args, {.help_alone = true, .refused_prefix = "-"});
  if (parsed.help) return ShowUsage(kKeygenUsage);
  if (parsed.fault != OptionFault::kNone || parsed.operands.size() != 1) return UsageFault(kKeygenUsage);
  const std::string path(parsed.operands[0]);
  // Made new, for the owner alone from its first byte: nothing that has the name already
  // (a file, a link) is overwritten or followed, and no one can open it while it is written.
  platform::File private_key(path, platform::OpenMode::kCreateNew);
  if (!private_key.IsOpen()) return Fail("cannot make a new file (refusing to overwrite anything): ", path);
  const auto pair = platform::GenerateRsaKey(2048);
  if (!pair || !private_key.Write(pair->private_pem) || !private_key.Sync() || !private_key.Close()) {
    (void)private_key.Close();  // removed next: its bytes are worthless
    platform::RemoveFile(path);
    return Fail(pair ? "cannot write " : "could not make a key for ", path);
  }
  const std::string hex = platform::LowerHex(Bytes{static_cast<std::uint8_t>(pair->public_key.exponent >> 16),
                                                  static_cast<std::uint8_t>(pair->public_key.exponent >> 8),
                                                  static_cast<std::uint8_t>(pair->public_key.exponent)}) +
                          " " + platform::LowerHex(pair->public_key.modulus) + "\n";
  if (!WriteBytes(path + ".pub", AsBytes(pair->public_pem)) || !WriteBytes(path + ".pub.hex", AsBytes(hex))) {
    // A private key without its public half signs nothing anyone can check.
    platform::RemoveFile(path);
    return Fail("cannot write the public key beside ", path);
  }
  std::printf("private key: %s (keep it out of any repository)\npublic key: %s.pub, %s.pub.hex\n", path.c_str(),
              path.c_str(), path.c_str());
  return 0;
}

int RunPublishCommand(std::span<const std::string_view> args) {
  // Descriptions live this long unless --expires says otherwise.
  constexpr std::int64_t kDefaultLifetimeSeconds = 90 * 86'400;
  std::string version_text, notes, key_path, out, serial_text, expires_text;
  const ParsedOptions parsed = ParseOptions(
      args, {.values = {{"--version", &version_text}, {"--notes", &notes}, {"--key", &key_path}, {"--out", &out},
                        {"--serial", &serial_text, false}, {"--expires", &expires_text, false}}});
  if (parsed.help) return ShowUsage(kPublishUsage);
  if (parsed.fault != OptionFault::kNone) return UsageFault(kPublishUsage);
  const std::vector<std::string> files(parsed.operands.begin(), parsed.operands.end());
  const auto version = updater::ParseVersionText(version_text);
  const std::int64_t now = SecondsSince1970();
  const auto serial =
      serial_text.empty() ? std::optional<std::uint64_t>(static_cast<std::uint64_t>(now)) : updater::ParseSerial(serial_text);
  const auto expires = expires_text.empty() ? std::optional<std::int64_t>(now + kDefaultLifetimeSeconds)
                                            : StartOfDay(expires_text);
  if (!version || !serial || *serial == 0 || !expires || key_path.empty() || out.empty() || files.empty()) {
    return UsageFault(kPublishUsage);
  }
  if (*expires <= now) return Fail("the description would have expired already: ", expires_text);
  for (char c : notes) {
    if (static_cast<unsigned char>(c) < 0x20) return Fail("the notes must be one line without control characters");
  }
  std::string list;
  for (const std::string& name : files) {
    if (!updater::IsSafePackageName(name)) return Fail("refused file name: ", name);
    list += ListName(name) + "\r\n";
  }
  Bytes package;
  updater::AppendPackageEntry(AsBytes(list), package);
  for (const std::string& name : files) {
    const auto content = ReadBytes(name);
    if (!content) return Fail("cannot read ", name);
    if (!updater::AppendPackageEntry(*content, package)) return Fail("file too large for a package: ", name);
  }
  const auto key_pem = ReadBytes(key_path);
  if (!key_pem) return Fail("cannot read the key ", key_path);
  const std::string pem(key_pem->begin(), key_pem->end());
  const auto description = updater::WriteReleaseDescription(
      {*version, notes, *serial, *expires, package},
      [&pem](std::string_view bytes) { return platform::SignRsaSha256(pem, AsBytes(bytes)); });
  if (!description) return Fail("cannot sign with ", key_path);
  const std::string folder = WithSeparator(out);
  if (!WriteBytes(folder + "update.pak", package) || !WriteBytes(folder + "version.def", AsBytes(*description))) {
    return Fail("cannot write into ", out);
  }
  std::printf("%s: %zu files, %zu bytes; version.def for %s, serial %llu, expires %s\n",
              (folder + "update.pak").c_str(), files.size(), package.size(), version_text.c_str(),
              static_cast<unsigned long long>(*serial), UtcText(*expires).c_str());
  return 0;
}
#endif

int RunUnpackCommand(std::span<const std::string_view> args) {
  const ParsedOptions parsed = ParseOptions(args, {.help_alone = true, .refused_prefix = ""});
  if (parsed.help) return ShowUsage(kUnpackUsage);
  if (parsed.operands.size() != 2) return UsageFault(kUnpackUsage);
  const std::string_view pak = parsed.operands[0];
  updater::PackageReader reader;
  if (!reader.Open(std::string(pak))) return Fail("cannot open ", pak);
  const std::uint8_t* list = reader.Next();
  if (list == nullptr) return Fail("the package has no file list");
  const std::vector<std::string> names =
      updater::SplitFileList(std::span<const std::uint8_t>(list, static_cast<std::size_t>(reader.Size())));
  const std::string folder(parsed.operands[1]);
  int status = 0;
  for (const std::string& name : names) {
    if (name.empty()) continue;
    const std::uint8_t* entry = reader.Next();
    if (entry == nullptr) {
      Fail("the package has no entry for ", name);
      return 1;
    }
    if (reader.State() == updater::EntryState::kChecksumMismatch) {
      Fail("checksum mismatch in the entry of ", name);
      status = 1;
    }
    if (!updater::IsSafePackageName(name)) {
      Fail("refused file name: ", name);
      status = 1;
      continue;
    }
    const std::string path = InstallPath(folder, name);
    if (!WriteBytes(path, std::span<const std::uint8_t>(entry, static_cast<std::size_t>(reader.Size())))) {
      Fail("cannot write ", path);
      status = 1;
    }
  }
  return status;
}

int RunVerifyCommand(std::span<const std::string_view> args) {
  std::string key_path;
  bool key_given = false;
  // The key option follows the two files, as the usage line shows it.
  const ParsedOptions parsed = ParseOptions(args, {.values = {{"--key", &key_path, true, &key_given}},
                                                   .help_alone = true,
                                                   .refused_prefix = "",
                                                   .leading_operands = 2,
                                                   .max_operands = 2});
  if (parsed.help) return ShowUsage(kVerifyUsage);
  if (parsed.fault != OptionFault::kNone || parsed.operands.size() != 2) return UsageFault(kVerifyUsage);
  std::vector<platform::RsaPublicKey> keys = updater::UpdatePublicKeys();
  if (key_given) {
    const auto given = ReadPublicKeyFile(key_path);
    if (!given) return Fail("not a public key file: ", key_path);
    keys = {*given};
  }
  const auto description = ReadBytes(std::string(parsed.operands[0]));
  const auto package = ReadBytes(std::string(parsed.operands[1]));
  if (!description || !package) return Fail("cannot read the release files");
  const auto fields = updater::ParseReleaseDescription(
      std::string_view(reinterpret_cast<const char*>(description->data()), description->size()));
  switch (updater::CheckReleaseDescription(*description, *package, keys, SecondsSince1970())) {
    case updater::ReleaseCheck::kAuthentic:
      std::printf("authentic: serial %llu, expires %s\n", static_cast<unsigned long long>(fields->serial),
                  UtcText(fields->expires).c_str());
      return 0;
    case updater::ReleaseCheck::kMalformed:
      return Fail("version.def lacks a line or holds one out of place (digests, serial, expiry, length, signatures)");
    case updater::ReleaseCheck::kPackageMismatch: return Fail("the package does not match version.def");
    case updater::ReleaseCheck::kBadSignature: return Fail("a signature does not verify");
    case updater::ReleaseCheck::kExpired: return Fail("the description expired at ", UtcText(fields->expires));
  }
  return 1;
}

}  // namespace tandrel::tdl
