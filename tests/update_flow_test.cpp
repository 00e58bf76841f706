// The updater's pass against a scripted server, user, package and process table.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "test_support.h"
#include "updater/install_journal.h"
#include "updater/system_operations.h"
#include "updater/update.h"
#include "updater/update_public_key.h"

namespace tandrel::updater {
namespace {

using FileBytes = std::string;

std::uint64_t Fnv(std::string_view bytes, std::uint64_t seed) {
  std::uint64_t hash = seed;
  for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
  return hash;
}

std::string Hex(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string Digest(platform::HashKind kind, std::string_view bytes) {
  const auto digest = platform::HashOf(kind, AsBytes(bytes));
  return digest ? platform::LowerHex(*digest) : std::string();
}
std::string Md5(std::string_view bytes) { return Digest(platform::HashKind::kMd5, bytes); }

// A stand-in for the signature, distinct per content, that only the test's "publisher"
// can make.
std::string FakeSignature(std::string_view bytes) { return Hex(Fnv(bytes, 77)); }

void PutNumber(FileBytes& out, std::uint32_t n) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((n >> (8 * i)) & 0xFF);
}

// A package of stored entries: the list first, then the files.
FileBytes StoredPackage(const std::vector<FileBytes>& entries) {
  FileBytes package;
  for (const FileBytes& entry : entries) {
    PutNumber(package, static_cast<std::uint32_t>(entry.size()));
    PutNumber(package, static_cast<std::uint32_t>(entry.size()));
    package += entry;
  }
  return package;
}

class StoredEntries : public PackageEntries {
 public:
  explicit StoredEntries(std::span<const std::uint8_t> bytes) : bytes_(bytes.begin(), bytes.end()) {}
  std::optional<std::span<const std::uint8_t>> Next() override {
    if (bytes_.size() - at_ < 8) return std::nullopt;
    std::uint32_t size = 0;
    std::memcpy(&size, bytes_.data() + at_ + 4, 4);
    at_ += 8;
    if (bytes_.size() - at_ < size) return std::nullopt;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes_.data() + at_);
    at_ += size;
    return std::span<const std::uint8_t>(data, size);
  }

 private:
  FileBytes bytes_;
  std::size_t at_ = 0;
};

constexpr char kHost[] = "updates.test:8080";
const std::string kReleaseUrl = std::string("http://") + kHost + "/" + kReleasePath;
const std::string kPackageUrl = std::string("http://") + kHost + "/" + kPackagePath;

struct Message {
  std::string title;
  std::string text;
  friend bool operator==(const Message&, const Message&) = default;
  friend void PrintTo(const Message& message, std::ostream* out) { *out << message.title << ": " << message.text; }
};

class ScriptedOperations : public UpdateOperations {
 public:
  std::map<std::string, FileBytes> server;
  bool network_starts = true;
  bool main_program_ends = true;
  bool refuse_start = false;
  std::set<std::string> locked;  // files open elsewhere: neither moved away nor replaced
  std::set<std::string> cut_short;  // URLs whose body stops early: a part stays behind
  std::function<void()> before_install;  // runs while the updater waits for Tandrel
  std::function<void()> after_move;
  std::int64_t now = 1'700'000'000;

  std::vector<std::string> downloads;
  std::vector<Message> messages;
  std::string started;  // "program|argument|folder", by either way
  bool started_by_shell = false;

  bool StartNetwork() override { return network_starts; }
  // As the HTTP client does: a body above its limit is refused and leaves no file.
  bool Download(const std::string& url, const std::string& file, const HttpLimits& limits) override {
    downloads.push_back(url);
    const auto found = server.find(url);
    if (found == server.end() || static_cast<std::int64_t>(found->second.size()) > limits.max_body_bytes) {
      return false;
    }
    if (cut_short.count(url) > 0) {
      EXPECT_TRUE(test::WriteWholeFile(file, found->second.substr(0, found->second.size() / 2)));
      return false;
    }
    return test::WriteWholeFile(file, found->second);
  }
  void ShowMessage(std::string_view title, std::string_view text) override {
    messages.push_back({std::string(title), std::string(text)});
  }
  std::int64_t Now() override { return now; }
  bool VerifySignature(std::string_view data, std::span<const std::uint8_t> signature) override {
    return std::string(signature.begin(), signature.end()) == FakeSignature(data);
  }
  std::unique_ptr<PackageEntries> OpenPackage(std::span<const std::uint8_t> bytes) override {
    return std::make_unique<StoredEntries>(bytes);
  }
  bool WaitForMainProgramEnd(std::uint32_t timeout_ms) override {
    EXPECT_GT(timeout_ms, 0u);
    if (before_install) before_install();
    return main_program_ends;
  }
  bool StartProgram(const std::string& program, std::string_view argument,
                    const std::string& folder) override {
    if (refuse_start) return false;
    started = program + "|" + std::string(argument) + "|" + folder;
    return true;
  }
  bool OpenWithShell(const std::string& program, std::string_view argument,
                     const std::string& folder) override {
    started_by_shell = true;
    started = program + "|" + std::string(argument) + "|" + folder;
    return true;
  }
  bool MoveReplacing(const std::string& from, const std::string& to) override {
    if (locked.count(from) > 0 || locked.count(to) > 0) return false;
    const bool moved = UpdateOperations::MoveReplacing(from, to);
    if (moved && after_move) after_move();
    return moved;
  }
};

// 2100-01-01.
constexpr std::int64_t kFarFuture = 4'102'444'800;

struct Release {
  VersionTriple version;
  std::string notes;
  std::vector<FileBytes> entries;  // the file list first
  std::string checksum_line{};  // empty: the package's digest as published
  std::uint64_t serial = 0;  // 0: one above the last one published
  std::int64_t expires = kFarFuture;
};

// "sig " and the signature of everything in `signed_part`.
std::string SignatureLine(const FileBytes& signed_part) {
  // The fake signature's bytes are its hex text, so it is hex-encoded once more.
  std::string line = "sig ";
  for (const char c : FakeSignature(signed_part)) line += Hex(static_cast<unsigned char>(c)).substr(14);
  return line + "\r\n";
}

// version.def as the publisher writes it: signed once for updaters that know only the
// first lines, and once more over everything.
FileBytes SignedReleaseFile(const Release& release, const FileBytes& package) {
  FileBytes def{static_cast<char>(release.version.major), static_cast<char>(release.version.minor),
            static_cast<char>(release.version.build)};
  def += (release.checksum_line.empty() ? Md5(package) : release.checksum_line) + "\r\n";
  def += release.notes + "\r\n";
  def += "sha256 " + Digest(platform::HashKind::kSha256, package) + "\r\n";
  def += SignatureLine(def);
  def += "serial " + std::to_string(release.serial) + "\r\nexpires " + std::to_string(release.expires) +
         "\r\nlength " + std::to_string(package.size()) + "\r\n";
  return def + SignatureLine(def);
}

// Every file below the current folder and its bytes.
using FolderState = std::map<std::string, FileBytes>;
FolderState CurrentFolderState() {
  FolderState state;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(".")) {
    if (entry.is_regular_file()) {
      const std::string name = entry.path().lexically_relative(".").generic_string();
      state[name] = test::ReadWholeFile(name);
    }
  }
  return state;
}

void RestoreFolderState(const FolderState& state) {
  for (const auto& entry : std::filesystem::directory_iterator(".")) std::filesystem::remove_all(entry.path());
  for (const auto& [name, bytes] : state) {
    const std::filesystem::path folder = std::filesystem::path(name).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder);
    ASSERT_TRUE(test::WriteWholeFile(name, bytes)) << name;
  }
}

class UpdateFlowTest : public test::ScratchCurrentFolder {
 protected:
  void Publish(VersionTriple version, std::string notes, std::vector<FileBytes> entries,
               std::string checksum_line = "") {
    Publish(Release{version, std::move(notes), std::move(entries), std::move(checksum_line)});
  }
  void InstallSerial(std::string_view text) {
    ASSERT_TRUE(test::WriteWholeFile(kInstalledSerialFile, text));
  }
  // Serials count up from 10 unless the release names its own.
  void Publish(Release release) {
    release.serial = release.serial != 0 ? release.serial : ++last_serial_;
    const FileBytes package = StoredPackage(release.entries);
    ops_.server[kReleaseUrl] = SignedReleaseFile(release, package);
    ops_.server[kPackageUrl] = package;
  }
  void Install(VersionTriple version) {
    ASSERT_TRUE(test::WriteWholeFile(
        kInstalledVersionFile, FileBytes{static_cast<char>(version.major),
                                     static_cast<char>(version.minor),
                                     static_cast<char>(version.build), 'x'}));
  }
  void Run() { RunUpdate(ops_, Folder(), kHost); }
  // A start after a crash, with the moves of ops_.
  bool Repair() {
    return RepairInterruptedInstall([this](const std::string& from, const std::string& to) {
      return ops_.MoveReplacing(from, to);
    });
  }
  std::string Folder() const { return Root() + platform::kPathSeparator; }
  std::string Restart() const { return Folder() + "Tandrel.exe|update|" + Folder(); }
  // Nothing of the updater's own is left in the folder.
  void ExpectNoScratchFiles(const std::vector<std::string>& names) {
    for (const char* file : {kReleaseFile, kPackageFile, kInstallJournalFile, "version.serial.tdl-new"}) {
      EXPECT_FALSE(test::FileExists(file)) << file;
    }
    for (const std::string& name : names) {
      EXPECT_FALSE(test::FileExists(name + ".tdl-new")) << name;
      EXPECT_FALSE(test::FileExists(name + ".tdl-old")) << name;
    }
  }

  ScriptedOperations ops_;
  std::uint64_t last_serial_ = 9;
};

TEST(UpdateVersionTest, TextsAndNumbers) {
  EXPECT_EQ(VersionText({1, 3, 9}), "1.3.9");
  EXPECT_EQ(VersionNumber({1, 3, 9}), 139);
  EXPECT_EQ(VersionNumber({1, 3, 10}), 1310);
  EXPECT_GT(VersionNumber({1, 3, 10}), VersionNumber({1, 4, 0}));
  const auto high = static_cast<std::int8_t>(200);
  EXPECT_EQ(VersionText({1, high, 0}), "1.-56.0");
  EXPECT_EQ(VersionNumber({1, high, 0}), 1);  // "1-560" stops at the sign
  EXPECT_EQ(NotesText("-a-b"), "\n-a\n-b");
  EXPECT_EQ(NotesText("x--y"), "x\n-\n-y");
}

TEST_F(UpdateFlowTest, UpToDateDownloadsOnlyTheReleaseFile) {
  Install({1, 3, 9});
  Publish({1, 3, 9}, "-a", {"f.txt\r\n", "new"});
  Run();
  EXPECT_EQ(ops_.messages, (std::vector<Message>{{"Update", "Sie haben die aktuellste Version (1.3.9)"}}));
  EXPECT_EQ(ops_.downloads, std::vector<std::string>{kReleaseUrl});
  EXPECT_FALSE(test::FileExists("f.txt"));
  ExpectNoScratchFiles({});
  EXPECT_EQ(ops_.started, Restart());
}

TEST_F(UpdateFlowTest, NewerVersionIsInstalledWithTheNotes) {
  Install({1, 3, 9});
  ASSERT_TRUE(test::WriteWholeFile("Tandrel.exe", "old program"));
  ASSERT_TRUE(test::WriteWholeFile("other.txt", "not listed"));
  Publish({1, 4, 0}, "-Schneller-Neu", {"version\r\nTandrel.exe\r\n", FileBytes("\x01\x04\x00", 3), "new program"});
  Run();
  EXPECT_EQ(ops_.messages, (std::vector<Message>{{"Update",
      "Aktualisieren erfolgreich. Von 1.3.9 auf 1.4.0 aktualisiert!\n\n-Schneller\n-Neu"}}));
  EXPECT_EQ(test::ReadWholeFile("version"), FileBytes("\x01\x04\x00", 3));
  EXPECT_EQ(test::ReadWholeFile(kInstalledSerialFile), "10\r\n");
  EXPECT_EQ(test::ReadWholeFile("Tandrel.exe"), "new program");
  EXPECT_EQ(test::ReadWholeFile("other.txt"), "not listed");
  ExpectNoScratchFiles({"version", "Tandrel.exe"});
  EXPECT_EQ(ops_.started, Restart());
}

TEST_F(UpdateFlowTest, VersionsCompareByPartsNotByGluedDigits) {
  Install({1, 4, 0});
  Publish({1, 3, 10}, "", {"a.txt\r\n", "A"});
  Run();
  EXPECT_EQ(ops_.messages, (std::vector<Message>{{"Update", "Sie haben die aktuellste Version (1.4.0)"}}));
  EXPECT_FALSE(test::FileExists("a.txt"));

  ops_.messages.clear();
  Install({1, 3, 9});
  Run();
  EXPECT_EQ(ops_.messages.at(0).text, "Aktualisieren erfolgreich. Von 1.3.9 auf 1.3.10 aktualisiert!\n");
  EXPECT_EQ(test::ReadWholeFile("a.txt"), "A");

  // Without a "version" file the installed text is empty: two spaces after "Von".
  ops_.messages.clear();
  ASSERT_TRUE(platform::RemoveFile(kInstalledVersionFile));
  Publish({0, 0, 1}, "", {"a.txt\r\n", "B"});
  Run();
  EXPECT_EQ(ops_.messages.at(0).text, "Aktualisieren erfolgreich. Von  auf 0.0.1 aktualisiert!\n");
  EXPECT_EQ(test::ReadWholeFile("a.txt"), "B");
}

TEST_F(UpdateFlowTest, ReleaseNotAboveTheInstalledSerialIsRefused) {
  // A replayed, genuinely signed older release: a missing or cut "version" file decides
  // nothing, the serial does.
  for (const std::uint64_t serial : {5, 7}) {
    for (const char* version_file : {"", "\x01"}) {
      ops_ = {};
      platform::RemoveFile(kInstalledVersionFile);
      if (*version_file != 0) {
        ASSERT_TRUE(test::WriteWholeFile(kInstalledVersionFile, version_file));
      }
      InstallSerial("7\r\n");
      Release old{{1, 3, 10}, "", {"a.txt\r\n", "A"}};
      old.serial = serial;
      Publish(old);
      Run();
      EXPECT_EQ(ops_.messages, (std::vector<Message>{{"Error", kTextRollback}})) << serial;
      EXPECT_EQ(ops_.downloads, std::vector<std::string>{kReleaseUrl});
      EXPECT_FALSE(test::FileExists("a.txt"));
      ExpectNoScratchFiles({});
      EXPECT_EQ(ops_.started, Restart());
    }
  }
  // An older description of the installed version is no reason to say "up to date".
  ops_ = {};
  Install({1, 4, 0});
  Release stale{{1, 4, 0}, "", {"a.txt\r\n", "A"}};
  stale.serial = 6;
  Publish(stale);
  Run();
  EXPECT_EQ(ops_.messages, (std::vector<Message>{{"Error", kTextRollback}}));

  ops_ = {};
  Release next{{1, 4, 1}, "", {"a.txt\r\n", "A"}};
  next.serial = 8;
  Publish(next);
  Run();
  EXPECT_EQ(ops_.messages.at(0).title, "Update");
  EXPECT_EQ(test::ReadWholeFile(kInstalledSerialFile), "8\r\n");
}

TEST_F(UpdateFlowTest, ExpiredDescriptionIsRefusedEvenWhenNothingIsNewer) {
  // Expired from the second it names on.
  for (const VersionTriple published : {VersionTriple{1, 4, 0}, VersionTriple{1, 3, 9}}) {
    ops_ = {};
    Install({1, 3, 9});
    Release release{published, "", {"a.txt\r\n", "A"}};
    release.expires = ops_.now;
    Publish(release);
    Run();
    EXPECT_EQ(ops_.messages, (std::vector<Message>{{"Error", kTextExpired}}));
    EXPECT_EQ(ops_.downloads, std::vector<std::string>{kReleaseUrl});
    EXPECT_FALSE(test::FileExists("a.txt"));
    EXPECT_EQ(ops_.started, Restart());
  }
  ops_ = {};
  Release release{{1, 4, 0}, "", {"a.txt\r\n", "A"}};
  release.expires = ops_.now + 1;
  Publish(release);
  Run();
  EXPECT_EQ(test::ReadWholeFile("a.txt"), "A");
}

TEST_F(UpdateFlowTest, NoValidDescriptionIsNeverUpToDate) {
  Install({1, 3, 9});
  Run();  // nothing published: the download leaves no version.def
  EXPECT_EQ(ops_.messages, (std::vector<Message>{{"Error", kTextNoDescription}}));
  ExpectNoScratchFiles({});
  EXPECT_EQ(ops_.started, Restart());

  // Cut short on the way, or longer than a description may be.
  ops_ = {};
  Publish({1, 3, 9}, "", {"a.txt\r\n", "A"});
  ops_.cut_short.insert(kReleaseUrl);
  Run();
  EXPECT_EQ(ops_.messages, (std::vector<Message>{{"Error", kTextNoDescription}}));
  ExpectNoScratchFiles({});
  ops_ = {};
  Publish({1, 3, 9}, std::string(kReleaseDescriptionLimit, '-'), {"a.txt\r\n", "A"});
  Run();
  EXPECT_EQ(ops_.messages, (std::vector<Message>{{"Error", kTextNoDescription}}));

  // The installed version, unsigned; or signed by the first signature only.
  for (const bool first_signature_only : {false, true}) {
    ops_ = {};
    Publish({1, 3, 9}, "", {"a.txt\r\n", "A"});
    FileBytes& def = ops_.server[kReleaseUrl];
    def.resize(first_signature_only ? def.find("serial ") : 8);
    Run();
    EXPECT_EQ(ops_.messages, (std::vector<Message>{{"Error", kTextNotSigned}})) << first_signature_only;
    ExpectNoScratchFiles({});
  }

  ops_ = {};
  ops_.network_starts = false;
  ops_.refuse_start = true;
  Run();
  EXPECT_EQ(ops_.messages, (std::vector<Message>{{"Error", "Verbinden zum Updateserver fehlgeschlagen!"}}));
  EXPECT_TRUE(ops_.downloads.empty());
  EXPECT_TRUE(ops_.started_by_shell);
  EXPECT_EQ(ops_.started, Restart());
}

TEST_F(UpdateFlowTest, ChecksumLineSpacesMatchButCaseDoesNot) {
  Install({1, 3, 9});
  const std::vector<FileBytes> entries{"a.txt\r\n", "A"};
  const std::string digest = Md5(StoredPackage(entries));
  Publish({1, 4, 0}, "", entries, "  " + digest + " ");
  Run();
  EXPECT_EQ(ops_.messages.at(0).title, "Update");
  EXPECT_EQ(test::ReadWholeFile("a.txt"), "A");

  ops_.messages.clear();
  ASSERT_TRUE(platform::RemoveFile("a.txt"));
  std::string upper = digest;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  Publish({1, 4, 0}, "", entries, upper);
  Run();
  EXPECT_EQ(ops_.messages, (std::vector<Message>{{"Error", "CRC Fehler!\nBitte Update erneut versuchen."}}));
  EXPECT_FALSE(test::FileExists("a.txt"));
  ExpectNoScratchFiles({});
  EXPECT_EQ(ops_.started, Restart());
}

TEST_F(UpdateFlowTest, NoPackageStaysBehindAfterAFailure) {
  Install({1, 3, 9});
  const Release release{{1, 4, 0}, "", {"a.txt\r\n", "A"}};
  Publish(release);
  ops_.cut_short.insert(kPackageUrl);
  Run();
  EXPECT_EQ(ops_.messages, (std::vector<Message>{{"Error", "Konnte Update nicht herunterladen!"}}));
  ExpectNoScratchFiles({});

  // Junk after the signed length.
  ops_ = {};
  Publish(release);
  ops_.server[kPackageUrl] += FileBytes(1000, 'j');
  Run();
  EXPECT_EQ(ops_.messages.at(0).title, "Error");
  EXPECT_FALSE(test::FileExists("a.txt"));
  ExpectNoScratchFiles({});
}

TEST_F(UpdateFlowTest, PackageSwappedAfterTheCheckIsNotInstalled) {
  Install({1, 3, 9});
  Publish({1, 4, 0}, "", {"a.txt\r\n", "signed"});
  ops_.before_install = [] {
    ASSERT_TRUE(test::WriteWholeFile(kPackageFile, StoredPackage({"a.txt\r\n", "forged"})));
  };
  Run();
  EXPECT_EQ(ops_.messages.at(0).title, "Update");
  EXPECT_EQ(test::ReadWholeFile("a.txt"), "signed");
  ExpectNoScratchFiles({"a.txt"});
}

TEST_F(UpdateFlowTest, InterruptedInstallIsFinishedOrUndoneAtTheNextStart) {
  Install({1, 3, 9});
  for (const char* name : {"a.txt", "b.txt"}) ASSERT_TRUE(test::WriteWholeFile(name, "old"));
  Publish({1, 4, 0}, "", {"a.txt\r\nnew.txt\r\nversion\r\nb.txt\r\n", "A", "N", FileBytes("\x01\x04\x00", 3), "B"});
  const FolderState before = CurrentFolderState();
  std::vector<FolderState> crashes;  // the folder as a crash after each move leaves it
  ops_.after_move = [&] { crashes.push_back(CurrentFolderState()); };
  Run();
  ops_.after_move = nullptr;
  ASSERT_EQ(test::ReadWholeFile("b.txt"), "B");
  const FolderState done = CurrentFolderState();
  ASSERT_GE(crashes.size(), 4u);
  for (std::size_t i = 0; i < crashes.size(); ++i) {
    RestoreFolderState(crashes[i]);
    Repair();
    const FolderState repaired = CurrentFolderState();
    EXPECT_TRUE(repaired == before || repaired == done) << "crash after move " << i;
  }
  // Once the last file is in place the install is finished, not undone.
  RestoreFolderState(crashes.back());
  EXPECT_TRUE(Repair());
  EXPECT_EQ(CurrentFolderState(), done);

  // A file that cannot be replaced at the repair: everything goes back.
  const auto halfway = std::find_if(crashes.begin(), crashes.end(), [](const FolderState& state) {
    return state.count("a.txt") > 0 && state.at("a.txt") == "A" && state.count("b.txt") > 0 && state.at("b.txt") == "old";
  });
  ASSERT_NE(halfway, crashes.end());
  RestoreFolderState(*halfway);
  ops_.locked.insert("b.txt");
  EXPECT_TRUE(Repair());
  ops_.locked.clear();
  EXPECT_EQ(CurrentFolderState(), before);
}

TEST_F(UpdateFlowTest, UnsignedOrForgedReleaseIsRefused) {
  Install({1, 3, 9});
  const Release release{{1, 4, 0}, "-x", {"a.txt\r\n", "A"}, ""};
  const Message refused{"Error", "Das Update ist nicht g\xFC" "ltig signiert!"};
  Publish(release);
  FileBytes& def = ops_.server[kReleaseUrl];
  def[def.find("-x")] = '+';  // one byte changed after signing
  Run();
  EXPECT_EQ(ops_.messages, std::vector<Message>{refused});
  EXPECT_EQ(ops_.downloads, std::vector<std::string>{kReleaseUrl});
  EXPECT_EQ(ops_.started, Restart());

  // Without its last two lines, as the MD5 alone would have passed it.
  ops_ = {};
  Publish(release);
  FileBytes& bare = ops_.server[kReleaseUrl];
  bare.resize(bare.find("sha256 "));
  Run();
  EXPECT_EQ(ops_.messages, std::vector<Message>{refused});
  EXPECT_EQ(ops_.downloads, std::vector<std::string>{kReleaseUrl});

  // A package swapped on the server, with a matching MD5 line but not the signed digest.
  ops_ = {};
  Publish(release);
  const FileBytes forged = StoredPackage({"a.txt\r\n", "E"});  // the signed length, as the updater reads no more
  Release lying = release;
  lying.checksum_line = Md5(forged);
  Publish(lying);
  ops_.server[kPackageUrl] = forged;
  Run();
  EXPECT_EQ(ops_.messages, std::vector<Message>{refused});
  EXPECT_FALSE(test::FileExists("a.txt"));
  EXPECT_EQ(ops_.started, Restart());
}

// The rule itself is the publisher's too (release_test); here the updater applies it.
TEST_F(UpdateFlowTest, NamesEscapingTheFolderUseUpTheirEntry) {
  Install({1, 3, 9});
  // On Windows "good.txt." would be good.txt itself, written after the good entry.
  Publish({1, 4, 0}, "", {"../escaped.txt\r\nNUL\r\nCOM\xB3\r\ngood.txt\r\ngood.txt.\r\n", "E", "N", "C", "G", "D"});
  Run();
  EXPECT_EQ(ops_.messages.at(0).title, "Update");
  EXPECT_EQ(test::ReadWholeFile("good.txt"), "G");
  FolderState expected = {{"good.txt", "G"}, {kInstalledSerialFile, "10\r\n"}};
  expected[kInstalledVersionFile] = test::ReadWholeFile(kInstalledVersionFile);
  EXPECT_EQ(CurrentFolderState(), expected);
  EXPECT_FALSE(test::FileExists(Root() + "/../escaped.txt"));
}

TEST_F(UpdateFlowTest, LockedTargetRollsEverythingBack) {
  Install({1, 3, 9});
  for (const char* name : {"a.txt", "b.txt"}) ASSERT_TRUE(test::WriteWholeFile(name, "old"));
  Publish({1, 4, 0}, "", {"a.txt\r\nnew.txt\r\nb.txt\r\nversion\r\n", "A", "N", "B", FileBytes("\x01\x04\x00", 3)});
  ops_.locked.insert("b.txt");
  Run();
  EXPECT_EQ(ops_.messages, (std::vector<Message>{{"Error",
      "Aktualisieren fehlgeschlagen, die bisherige Version bleibt erhalten."}}));
  EXPECT_EQ(test::ReadWholeFile("a.txt"), "old");
  EXPECT_EQ(test::ReadWholeFile("b.txt"), "old");
  EXPECT_FALSE(test::FileExists("new.txt"));
  EXPECT_EQ(test::ReadWholeFile("version"), FileBytes("\x01\x03\x09x", 4));
  ExpectNoScratchFiles({"a.txt", "b.txt", "new.txt", "version"});
  EXPECT_EQ(ops_.started, Restart());

  // A Tandrel that does not end in time: nothing is touched at all.
  ops_.messages.clear();
  ops_.locked.clear();
  ops_.main_program_ends = false;
  Run();
  EXPECT_EQ(ops_.messages.at(0).title, "Error");
  EXPECT_EQ(test::ReadWholeFile("a.txt"), "old");
  EXPECT_FALSE(test::FileExists("new.txt"));
}

TEST_F(UpdateFlowTest, EmptyListLineTakesNoEntry) {
  Install({1, 3, 9});
  Publish({1, 4, 0}, "", {"one.txt\r\n\r\ntwo.txt", "entry 2", "entry 3"});
  Run();
  EXPECT_EQ(ops_.messages.at(0).title, "Update");
  EXPECT_EQ(test::ReadWholeFile("one.txt"), "entry 2");
  EXPECT_EQ(test::ReadWholeFile("two.txt"), "entry 3");

  // A name the package has no entry for: nothing is created or changed for any name.
  ops_.messages.clear();
  Publish({1, 4, 0}, "", {"one.txt\r\nthree.txt\r\n", "again"});
  Run();
  EXPECT_EQ(ops_.messages.at(0).title, "Error");
  EXPECT_EQ(test::ReadWholeFile("one.txt"), "entry 2");
  EXPECT_FALSE(test::FileExists("three.txt"));
}

#ifndef _WIN32
// The updater's own package reader and key against a release that the publisher's code
// wrote and signed with the test key, the network and the user replaced.
class SystemWiredOperations : public ScriptedOperations {
 public:
  SystemWiredOperations()
      : system_(CreateSystemOperations("", UpdatePublicKeys(), [](std::string_view, std::string_view) {})) {}
  bool VerifySignature(std::string_view data, std::span<const std::uint8_t> signature) override {
    return system_->VerifySignature(data, signature);
  }
  std::unique_ptr<PackageEntries> OpenPackage(std::span<const std::uint8_t> bytes) override {
    return system_->OpenPackage(bytes);
  }

 private:
  std::unique_ptr<UpdateOperations> system_;
};

TEST_F(UpdateFlowTest, ReleaseSignedWithTheTestKeyIsInstalled) {
  const std::string key = test::ReadWholeFile(TANDREL_TEST_KEY_FILE);
  ASSERT_FALSE(key.empty());
  const auto other = platform::GenerateRsaKey(2048);
  ASSERT_TRUE(other);
  const FileBytes package = StoredPackage({"a.txt\r\n", "signed content"});
  const auto description = [&](const std::string& pem) {
    return WriteReleaseDescription({{1, 4, 0}, "-neu", 5, kFarFuture, AsBytes(package)},
                                   [&](std::string_view bytes) { return platform::SignRsaSha256(pem, AsBytes(bytes)); });
  };
  SystemWiredOperations ops;
  ops.server[kPackageUrl] = package;
  Install({1, 3, 9});

  // Signed by another key.
  ops.server[kReleaseUrl] = description(other->private_pem).value_or("");
  RunUpdate(ops, Folder(), kHost);
  EXPECT_EQ(ops.messages, (std::vector<Message>{{"Error", kTextNotSigned}}));

  ops.messages.clear();
  ops.server[kReleaseUrl] = description(key).value_or("");
  RunUpdate(ops, Folder(), kHost);
  EXPECT_EQ(ops.messages.at(0).title, "Update");
  EXPECT_EQ(test::ReadWholeFile("a.txt"), "signed content");
}
#endif

}  // namespace
}  // namespace tandrel::updater
