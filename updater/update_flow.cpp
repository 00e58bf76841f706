// The updater's single pass. Every path ends by starting Tandrel again, and nothing of
// the pass's own stays in the folder.
#include <algorithm>

#include "platform/platform.h"
#include "platform/process.h"
#include "updater/install_journal.h"
#include "updater/update.h"

namespace tandrel::updater {
namespace {

struct Installed {
  VersionTriple version;  // 0.0.0 without a "version" file
  std::string text;       // empty without one
  std::uint64_t serial = 0;  // 0 without a serial file, or with one this updater did not write
};

std::uint64_t ReadInstalledSerial() {
  platform::File file(kInstalledSerialFile, platform::OpenMode::kRead);
  if (!file.IsOpen()) return 0;
  std::string line;
  file.ReadLine(line);
  return ParseSerial(line).value_or(0);
}

Installed ReadInstalled() {
  Installed installed;
  installed.serial = ReadInstalledSerial();
  platform::File file(kInstalledVersionFile, platform::OpenMode::kRead);
  if (!file.IsOpen()) return installed;
  installed.version.major = file.ReadByte();
  installed.version.minor = file.ReadByte();
  installed.version.build = file.ReadByte();
  installed.text = VersionText(installed.version);
  return installed;
}

// Reads a downloaded file once, at most `limit` bytes and one more to see whether it
// holds more, and deletes it: what is checked afterwards is what is used. Memory grows
// with what the file holds, not with what it should hold.
std::string TakeFile(const char* name, std::uint64_t limit) {
  constexpr std::size_t kSlice = 1 << 20;
  std::string bytes;
  {
    platform::File file(name, platform::OpenMode::kRead);
    while (file.IsOpen() && bytes.size() <= limit) {
      const std::size_t have = bytes.size();
      const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kSlice, limit + 1 - have));
      bytes.resize(have + want);
      const std::size_t got = file.Read(bytes.data() + have, want);
      bytes.resize(have + got);
      if (got < want) break;
    }
  }
  platform::RemoveFile(name);
  return bytes;
}

std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string HexDigest(platform::HashKind kind, std::string_view bytes) {
  const auto digest = platform::HashOf(kind, AsBytes(bytes));
  return digest ? platform::LowerHex(*digest) : std::string();
}

std::string ServerUrl(const std::string& host, std::string_view path) {
  return "http://" + host + "/" + std::string(path);
}

// A server may send the package in chunks; their size lines and line ends come on top of
// the signed length, up to a sixteenth of it and a few kilobytes.
std::int64_t PackageBodyLimit(std::uint64_t length) {
  return static_cast<std::int64_t>(length + length / 16 + 4096);
}

// The description as this updater takes it: complete, signed over everything, unexpired.
std::optional<ReleaseDescription> FetchRelease(UpdateOperations& ops, const std::string& server_host) {
  const HttpLimits limits{static_cast<std::int64_t>(kReleaseDescriptionLimit), kReleaseDeadlineMs};
  if (!ops.Download(ServerUrl(server_host, kReleasePath), kReleaseFile, limits)) {
    ops.ShowMessage(kTitleError, kTextNoDescription);
    return std::nullopt;
  }
  const std::string bytes = TakeFile(kReleaseFile, kReleaseDescriptionLimit);
  std::optional<ReleaseDescription> release = ParseReleaseDescription(bytes);
  if (!release ||
      !ops.VerifySignature(std::string_view(bytes).substr(0, release->signed_size), release->signature)) {
    ops.ShowMessage(kTitleError, kTextNotSigned);
    return std::nullopt;
  }
  if (ops.Now() >= release->expires) {
    ops.ShowMessage(kTitleError, kTextExpired);
    return std::nullopt;
  }
  return release;
}

// Downloads, checks and installs; the message for the outcome.
void DownloadAndInstall(UpdateOperations& ops, const std::string& server_host, const Installed& installed,
                        const ReleaseDescription& release) {
  const HttpLimits limits{PackageBodyLimit(release.length), kPackageDeadlineMs};
  if (!ops.Download(ServerUrl(server_host, kPackagePath), kPackageFile, limits)) {
    ops.ShowMessage(kTitleError, kTextDownloadFailed);
    return;
  }
  // Read once into memory, bounded by the signed length: these bytes are checked and
  // these bytes are installed, whatever happens to the file meanwhile.
  const std::string package = TakeFile(kPackageFile, release.length);
  if (package.size() != release.length || HexDigest(platform::HashKind::kMd5, package) != ChecksumDigest(release)) {
    ops.ShowMessage(kTitleError, kTextDigestMismatch);
    return;
  }
  // The MD5 line is as easy to forge as the package; the signed digest is not.
  if (HexDigest(platform::HashKind::kSha256, package) != release.sha256) {
    ops.ShowMessage(kTitleError, kTextNotSigned);
    return;
  }
  const MoveReplacing move = [&ops](const std::string& from, const std::string& to) {
    return ops.MoveReplacing(from, to);
  };
  // An install a crash interrupted is settled first; its journal is not overwritten.
  if (!ops.WaitForMainProgramEnd(kMainProgramEndWaitMs) || !RepairInterruptedInstall(move) ||
      !InstallPackage(ops, AsBytes(package), release.serial)) {
    ops.ShowMessage(kTitleError, kTextInstallFailed);
    return;
  }
  ops.ShowMessage(kTitleUpdate, "Aktualisieren erfolgreich. Von " + installed.text + " auf " +
                                    VersionText(release.version) + " aktualisiert!\n" +
                                    NotesText(release.notes));
}

void CheckForUpdate(UpdateOperations& ops, const std::string& server_host) {
  const Installed installed = ReadInstalled();
  if (!ops.StartNetwork()) {
    ops.ShowMessage(kTitleError, kTextNetworkFailed);
    return;
  }
  const std::optional<ReleaseDescription> release = FetchRelease(ops, server_host);
  if (!release) return;
  const bool newer = CompareVersions(release->version, installed.version) > 0;
  // The serial, which the updater keeps itself, decides rollback: never below the
  // installed release's, and above it for anything to be installed.
  if (release->serial < installed.serial || (newer && release->serial == installed.serial)) {
    ops.ShowMessage(kTitleError, kTextRollback);
    return;
  }
  if (!newer) {
    ops.ShowMessage(kTitleUpdate, kTextUpToDate + installed.text + ")");
    return;
  }
  DownloadAndInstall(ops, server_host, installed, *release);
}

}  // namespace

void RunUpdate(UpdateOperations& ops, const std::string& program_folder,
               const std::string& server_host) {
  CheckForUpdate(ops, server_host);
  platform::RemoveFile(kReleaseFile);
  platform::RemoveFile(kPackageFile);
  const std::string program = program_folder + kMainProgramFile;
  // Nobody is left to tell when neither works: the updater ends either way.
  platform::StartOrOpen(ops, program, kRestartArgument, program_folder);
}

}  // namespace tandrel::updater
