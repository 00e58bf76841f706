// The update program: one pass from the installed version to a restarted Tandrel.
// Everything that reaches the network, the user, the clock, other processes or the
// signature goes through UpdateOperations, so a test can drive every path of the flow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "updater/http.h"
#include "updater/release.h"

namespace tandrel::updater {

inline constexpr char kInstalledVersionFile[] = "version";
inline constexpr char kReleaseFile[] = "version.def";
inline constexpr char kPackageFile[] = "update.pak";
inline constexpr char kReleasePath[] = "Orvane/files/soft/tdl/version.def";
inline constexpr char kPackagePath[] = "Orvane/files/soft/tdl/update.pak";
inline constexpr char kMainProgramFile[] = "Tandrel.exe";
inline constexpr char kRestartArgument[] = "update";

inline constexpr char kTitleError[] = "Error";
inline constexpr char kTitleUpdate[] = "Update";
inline constexpr char kTextNetworkFailed[] = "Verbinden zum Updateserver fehlgeschlagen!";
inline constexpr char kTextUpToDate[] = "Sie haben die aktuellste Version (";
inline constexpr char kTextDownloadFailed[] = "Konnte Update nicht herunterladen!";
inline constexpr char kTextDigestMismatch[] = "CRC Fehler!\nBitte Update erneut versuchen.";
inline constexpr char kTextNotSigned[] = "Das Update ist nicht g\xFCltig signiert!";
inline constexpr char kTextInstallFailed[] =
    "Aktualisieren fehlgeschlagen, die bisherige Version bleibt erhalten.";
inline constexpr char kTextNoDescription[] =
    "Die Updatebeschreibung konnte nicht geladen werden!\nBitte sp\xE4ter erneut versuchen.";
inline constexpr char kTextExpired[] =
    "Die Updatebeschreibung ist abgelaufen!\nBitte sp\xE4ter erneut versuchen.";
inline constexpr char kTextRollback[] = "Die Updatebeschreibung ist \xE4lter als die installierte Version!";

// How long the updater gives Tandrel to end before it refuses to install.
inline constexpr std::uint32_t kMainProgramEndWaitMs = 10'000;
// How long each download may take.
inline constexpr std::uint32_t kReleaseDeadlineMs = 30'000;
inline constexpr std::uint32_t kPackageDeadlineMs = 300'000;

// "1.3.9"; a byte of 128 or more prints as a negative number.
std::string VersionText(VersionTriple version);
// The three parts' texts written one after the other and read back as one decimal
// number, so 1.3.9 is 139 and 1.3.10 gives 1310. Not an order: two-digit parts shift the
// others, which is why versions are compared with CompareVersions.
std::int32_t VersionNumber(VersionTriple version);
// The notes line with a line feed put before every "-".
std::string NotesText(std::string_view notes);

// One update package, entry by entry.
class PackageEntries {
 public:
  virtual ~PackageEntries() = default;
  // The next entry's bytes, valid until the next call; none at the end or on damage.
  virtual std::optional<std::span<const std::uint8_t>> Next() = 0;
};

class UpdateOperations {
 public:
  virtual ~UpdateOperations() = default;
  virtual bool StartNetwork() = 0;
  virtual bool Download(const std::string& url, const std::string& file, const HttpLimits& limits) = 0;
  virtual void ShowMessage(std::string_view title, std::string_view text) = 0;
  // Seconds since 1970 (UTC) by the system's clock.
  virtual std::int64_t Now() = 0;
  // RSA PKCS#1 v1.5 with SHA-256, against the publisher's key built into the updater.
  virtual bool VerifySignature(std::string_view data, std::span<const std::uint8_t> signature) = 0;
  // The entries of the package in `bytes`, which stay as they are while the result lives.
  virtual std::unique_ptr<PackageEntries> OpenPackage(std::span<const std::uint8_t> bytes) = 0;
  // True once no Tandrel of this program folder runs, waiting at most `timeout_ms`.
  virtual bool WaitForMainProgramEnd(std::uint32_t timeout_ms) = 0;
  // Starts `program` with `argument` in `folder`, not waiting for it.
  virtual bool StartProgram(const std::string& program, std::string_view argument,
                            const std::string& folder) = 0;
  // The shell's open action on `file`, the fallback when a start is refused.
  virtual bool OpenWithShell(const std::string& file, std::string_view argument,
                             const std::string& folder) = 0;
  // Puts `from` in the place of `to` (replacing it) in one step.
  virtual bool MoveReplacing(const std::string& from, const std::string& to);
};

// Writes the files of the package in `package` into the current folder and records
// `serial` as the installed release's, all or none: false (and every target as it was, or
// a journal that puts it back at the next start) when any file could not be put in place.
bool InstallPackage(UpdateOperations& ops, std::span<const std::uint8_t> package, std::uint64_t serial);

// The whole pass, from reading "version" to starting Tandrel again. The current folder
// is the program folder; `program_folder` is its path with a trailing separator, and
// `server_host` the update server as it goes into a URL ("host" or "host:port").
void RunUpdate(UpdateOperations& ops, const std::string& program_folder,
               const std::string& server_host);

}  // namespace tandrel::updater
