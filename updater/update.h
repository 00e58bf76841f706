// The update program: one pass from the installed version to a restarted Tandrel.
// Everything that reaches the network, the user, other processes or the digests goes
// through UpdateOperations, so a test can drive every path of the flow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tandrel::updater {

inline constexpr char kInstalledVersionFile[] = "version";
inline constexpr char kReleaseFile[] = "version.def";
inline constexpr char kPackageFile[] = "update.pak";
inline constexpr char kFileListFile[] = "updatelist.tmp";
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

// How long the updater gives Tandrel to end before it refuses to install.
inline constexpr std::uint32_t kMainProgramEndWaitMs = 10'000;

// Three signed bytes: major, minor, build.
struct VersionTriple {
  std::int8_t major = 0;
  std::int8_t minor = 0;
  std::int8_t build = 0;
};

// "1.3.9"; a byte of 128 or more prints as a negative number.
std::string VersionText(VersionTriple version);
// The three parts' texts written one after the other and read back as one decimal
// number, so 1.3.9 is 139 and 1.3.10 (1310) counts as newer than 1.4.0 (140).
std::int32_t VersionNumber(VersionTriple version);
// The notes line with a line feed put before every "-".
std::string NotesText(std::string_view notes);

// version.def: three version bytes, the MD5 line, the notes line, then the publisher's
// "sha256 <hex>" line and "sig <hex>" line, whose signature covers every byte before it.
struct ReleaseInfo {
  VersionTriple version;
  std::string checksum;
  std::string notes;
  std::string sha256;                  // the hex after "sha256 ", empty without that line
  std::vector<std::uint8_t> signature; // empty without a readable "sig" line
  std::string signed_bytes;            // every byte before the "sig" line
};
ReleaseInfo ParseReleaseInfo(std::string_view bytes);

// True when writing `name` relative to the program folder stays inside it: no absolute
// or UNC path, drive letter, colon, ".." part, control character or device name.
bool IsNameInsideProgramFolder(std::string_view name);

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
  virtual bool Download(const std::string& url, const std::string& file) = 0;
  virtual void ShowMessage(std::string_view title, std::string_view text) = 0;
  // Lower-case hex digests of a whole file; empty when it cannot be read.
  virtual std::string Md5OfFile(const std::string& file) = 0;
  virtual std::string Sha256OfFile(const std::string& file) = 0;
  // RSA PKCS#1 v1.5 with SHA-256, against the publisher's key built into the updater.
  virtual bool VerifySignature(std::string_view data, std::span<const std::uint8_t> signature) = 0;
  // None when the package cannot be opened.
  virtual std::unique_ptr<PackageEntries> OpenPackage(const std::string& file) = 0;
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

// Writes the package's files into the current folder, all or none: false (and every
// target as it was) when any file could not be put in place.
bool InstallPackage(UpdateOperations& ops, const std::string& package_file);

// The whole pass, from reading "version" to starting Tandrel again. The current folder
// is the program folder; `program_folder` is its path with a trailing separator, and
// `server_host` the update server as it goes into a URL ("host" or "host:port").
void RunUpdate(UpdateOperations& ops, const std::string& program_folder,
               const std::string& server_host);

}  // namespace tandrel::updater
