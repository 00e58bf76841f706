// The updater's single pass. Every path ends by starting Tandrel again.
#include "platform/platform.h"
#include "updater/update.h"

namespace tandrel::updater {
namespace {

// version.def is a few hundred bytes; anything past this is not read.
constexpr std::size_t kReleaseFileLimit = 64 * 1024;

struct InstalledVersion {
  std::int32_t number = 0;
  std::string text;
};

InstalledVersion ReadInstalledVersion() {
  platform::File file(kInstalledVersionFile, platform::OpenMode::kRead);
  if (!file.IsOpen()) return {};
  VersionTriple version;
  version.major = file.ReadByte();
  version.minor = file.ReadByte();
  version.build = file.ReadByte();
  return {VersionNumber(version), VersionText(version)};
}

// Reads and deletes version.def; none when it cannot even be created.
std::optional<ReleaseInfo> TakeReleaseInfo() {
  std::string bytes;
  {
    platform::File file(kReleaseFile, platform::OpenMode::kReadWrite);
    if (!file.IsOpen()) return std::nullopt;
    bytes.resize(kReleaseFileLimit);
    bytes.resize(file.Read(bytes.data(), bytes.size()));
  }
  platform::RemoveFile(kReleaseFile);
  return ParseReleaseInfo(bytes);
}

std::string TrimSpaces(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

bool IsSignedRelease(UpdateOperations& ops, const ReleaseInfo& release) {
  return !release.signature.empty() && release.sha256.size() == 64 &&
         ops.VerifySignature(release.signed_bytes, release.signature);
}

std::string ServerUrl(const std::string& host, std::string_view path) {
  return "http://" + host + "/" + std::string(path);
}

// Checks, waits for Tandrel and installs; the message for the outcome.
void DownloadAndInstall(UpdateOperations& ops, const std::string& server_host,
                        const InstalledVersion& installed, const ReleaseInfo& release) {
  if (!IsSignedRelease(ops, release)) {
    ops.ShowMessage(kTitleError, kTextNotSigned);
    return;
  }
  if (!ops.Download(ServerUrl(server_host, kPackagePath), kPackageFile)) {
    ops.ShowMessage(kTitleError, kTextDownloadFailed);
    return;
  }
  if (ops.Md5OfFile(kPackageFile) != TrimSpaces(release.checksum)) {
    ops.ShowMessage(kTitleError, kTextDigestMismatch);
    return;
  }
  // The MD5 line is as easy to forge as the package; the signed digest is not.
  if (ops.Sha256OfFile(kPackageFile) != release.sha256) {
    ops.ShowMessage(kTitleError, kTextNotSigned);
    return;
  }
  const bool installed_all =
      ops.WaitForMainProgramEnd(kMainProgramEndWaitMs) && InstallPackage(ops, kPackageFile);
  platform::RemoveFile(kPackageFile);
  if (!installed_all) {
    ops.ShowMessage(kTitleError, kTextInstallFailed);
    return;
  }
  ops.ShowMessage(kTitleUpdate, "Aktualisieren erfolgreich. Von " + installed.text + " auf " +
                                    VersionText(release.version) + " aktualisiert!\n" +
                                    NotesText(release.notes));
}

void CheckForUpdate(UpdateOperations& ops, const std::string& server_host) {
  const InstalledVersion installed = ReadInstalledVersion();
  if (!ops.StartNetwork()) {
    ops.ShowMessage(kTitleError, kTextNetworkFailed);
    return;
  }
  // A failed download leaves no file, which reads as version 0.0.0 below.
  ops.Download(ServerUrl(server_host, kReleasePath), kReleaseFile);
  const std::optional<ReleaseInfo> release = TakeReleaseInfo();
  if (!release) return;
  if (VersionNumber(release->version) <= installed.number) {
    ops.ShowMessage(kTitleUpdate, kTextUpToDate + installed.text + ")");
    return;
  }
  DownloadAndInstall(ops, server_host, installed, *release);
}

}  // namespace

void RunUpdate(UpdateOperations& ops, const std::string& program_folder,
               const std::string& server_host) {
  CheckForUpdate(ops, server_host);
  const std::string program = program_folder + kMainProgramFile;
  if (!ops.StartProgram(program, kRestartArgument, program_folder)) {
    ops.OpenWithShell(program, kRestartArgument, program_folder);
  }
}

}  // namespace tandrel::updater
