// The updater's pass against a scripted server, user, package and process table.
#include <cstring>
#include <map>
#include <set>

#include "test_support.h"
#include "updater/system_operations.h"
#include "updater/update.h"
#include "updater/update_public_key.h"

namespace tandrel::updater {
namespace {

using Bytes = std::string;

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

// Stand-ins for the digests and the signature: distinct per content, and a signature
// that only the test's "publisher" can make.
std::string FakeMd5(std::string_view bytes) { return Hex(Fnv(bytes, 1)) + Hex(Fnv(bytes, 2)); }
std::string FakeSha256(std::string_view bytes) {
  return Hex(Fnv(bytes, 3)) + Hex(Fnv(bytes, 4)) + Hex(Fnv(bytes, 5)) + Hex(Fnv(bytes, 6));
}
std::string FakeSignature(std::string_view bytes) { return Hex(Fnv(bytes, 77)); }

void PutNumber(Bytes& out, std::uint32_t n) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((n >> (8 * i)) & 0xFF);
}

// A package of stored entries: the list first, then the files.
Bytes StoredPackage(const std::vector<Bytes>& entries) {
  Bytes package;
  for (const Bytes& entry : entries) {
    PutNumber(package, static_cast<std::uint32_t>(entry.size()));
    PutNumber(package, static_cast<std::uint32_t>(entry.size()));
    package += entry;
  }
  return package;
}

class StoredEntries : public PackageEntries {
 public:
  explicit StoredEntries(Bytes bytes) : bytes_(std::move(bytes)) {}
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
  Bytes bytes_;
  std::size_t at_ = 0;
};

constexpr char kHost[] = "updates.test:8080";
const std::string kReleaseUrl = std::string("http://") + kHost + "/" + kReleasePath;
const std::string kPackageUrl = std::string("http://") + kHost + "/" + kPackagePath;

struct Message {
  std::string title;
  std::string text;
  friend bool operator==(const Message&, const Message&) = default;
};

class ScriptedOperations : public UpdateOperations {
 public:
  std::map<std::string, Bytes> server;
  bool network_starts = true;
  bool main_program_ends = true;
  bool refuse_start = false;
  std::set<std::string> locked;  // files open elsewhere: neither moved away nor replaced

  std::vector<std::string> downloads;
  std::vector<Message> messages;
  std::string started;  // "program|argument|folder", by either way
  bool started_by_shell = false;

  bool StartNetwork() override { return network_starts; }
  bool Download(const std::string& url, const std::string& file) override {
    downloads.push_back(url);
    const auto found = server.find(url);
    return found != server.end() && test::WriteWholeFile(file, found->second);
  }
  void ShowMessage(std::string_view title, std::string_view text) override {
    messages.push_back({std::string(title), std::string(text)});
  }
  std::string Md5OfFile(const std::string& file) override {
    return test::FileExists(file) ? FakeMd5(test::ReadWholeFile(file)) : "";
  }
  std::string Sha256OfFile(const std::string& file) override {
    return test::FileExists(file) ? FakeSha256(test::ReadWholeFile(file)) : "";
  }
  bool VerifySignature(std::string_view data, std::span<const std::uint8_t> signature) override {
    return std::string(signature.begin(), signature.end()) == FakeSignature(data);
  }
  std::unique_ptr<PackageEntries> OpenPackage(const std::string& file) override {
    if (!test::FileExists(file)) return nullptr;
    return std::make_unique<StoredEntries>(test::ReadWholeFile(file));
  }
  bool WaitForMainProgramEnd(std::uint32_t timeout_ms) override {
    EXPECT_GT(timeout_ms, 0u);
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
    return UpdateOperations::MoveReplacing(from, to);
  }
};

struct Release {
  VersionTriple version;
  std::string notes;
  std::vector<Bytes> entries;  // the file list first
  std::string checksum_line;   // empty: the package's digest as published
};

// version.def as the publisher writes it, signed.
Bytes SignedReleaseFile(const Release& release, const Bytes& package) {
  Bytes def{static_cast<char>(release.version.major), static_cast<char>(release.version.minor),
            static_cast<char>(release.version.build)};
  def += (release.checksum_line.empty() ? FakeMd5(package) : release.checksum_line) + "\r\n";
  def += release.notes + "\r\n";
  def += "sha256 " + FakeSha256(package) + "\r\n";
  // The fake signature's bytes are its hex text, so it is hex-encoded once more.
  const std::string signature = FakeSignature(def);
  def += "sig ";
  for (const char c : signature) def += Hex(static_cast<unsigned char>(c)).substr(14);
  return def + "\r\n";
}

class UpdateFlowTest : public test::ScratchCurrentFolder {
 protected:
  void Publish(VersionTriple version, std::string notes, std::vector<Bytes> entries,
               std::string checksum_line = "") {
    Publish(Release{version, std::move(notes), std::move(entries), std::move(checksum_line)});
  }
  void Publish(const Release& release) {
    const Bytes package = StoredPackage(release.entries);
    ops_.server[kReleaseUrl] = SignedReleaseFile(release, package);
    ops_.server[kPackageUrl] = package;
  }
  void Install(VersionTriple version) {
    ASSERT_TRUE(test::WriteWholeFile(
        kInstalledVersionFile, Bytes{static_cast<char>(version.major),
                                     static_cast<char>(version.minor),
                                     static_cast<char>(version.build), 'x'}));
  }
  void Run() { RunUpdate(ops_, Folder(), kHost); }
  std::string Folder() const { return Root() + platform::kPathSeparator; }
  std::string Restart() const { return Folder() + "Tandrel.exe|update|" + Folder(); }
  // Nothing of the updater's own is left in the folder.
  void ExpectNoScratchFiles(const std::vector<std::string>& names) {
    for (const char* file : {kReleaseFile, kPackageFile, kFileListFile}) {
      EXPECT_FALSE(test::FileExists(file)) << file;
    }
    for (const std::string& name : names) {
      EXPECT_FALSE(test::FileExists(name + ".tdl-new")) << name;
      EXPECT_FALSE(test::FileExists(name + ".tdl-old")) << name;
    }
  }

  ScriptedOperations ops_;
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
  Publish({1, 4, 0}, "-Schneller-Neu", {"version\r\nTandrel.exe\r\n", Bytes("\x01\x04\x00", 3), "new program"});
  Run();
  EXPECT_EQ(ops_.messages, (std::vector<Message>{{"Update",
      "Aktualisieren erfolgreich. Von 1.3.9 auf 1.4.0 aktualisiert!\n\n-Schneller\n-Neu"}}));
  EXPECT_EQ(test::ReadWholeFile("version"), Bytes("\x01\x04\x00", 3));
  EXPECT_EQ(test::ReadWholeFile("Tandrel.exe"), "new program");
  EXPECT_EQ(test::ReadWholeFile("other.txt"), "not listed");
  ExpectNoScratchFiles({"version", "Tandrel.exe"});
  EXPECT_EQ(ops_.started, Restart());
}

TEST_F(UpdateFlowTest, VersionNumbersDecideWhatIsNewer) {
  Install({1, 4, 0});
  Publish({1, 3, 10}, "", {"a.txt\r\n", "A"});
  Run();
  EXPECT_EQ(ops_.messages.at(0).text, "Aktualisieren erfolgreich. Von 1.4.0 auf 1.3.10 aktualisiert!\n");
  EXPECT_EQ(test::ReadWholeFile("a.txt"), "A");

  // Without a "version" file the installed text is empty: two spaces after "Von".
  ops_.messages.clear();
  ASSERT_TRUE(platform::RemoveFile(kInstalledVersionFile));
  Publish({0, 0, 1}, "", {"a.txt\r\n", "B"});
  Run();
  EXPECT_EQ(ops_.messages.at(0).text, "Aktualisieren erfolgreich. Von  auf 0.0.1 aktualisiert!\n");
  EXPECT_EQ(test::ReadWholeFile("a.txt"), "B");
}

TEST_F(UpdateFlowTest, NoServerOrNoNetwork) {
  Install({1, 3, 9});
  Run();  // nothing published: the download leaves no version.def
  EXPECT_EQ(ops_.messages, (std::vector<Message>{{"Update", "Sie haben die aktuellste Version (1.3.9)"}}));
  ExpectNoScratchFiles({});
  EXPECT_EQ(ops_.started, Restart());

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
  const std::vector<Bytes> entries{"a.txt\r\n", "A"};
  const std::string digest = FakeMd5(StoredPackage(entries));
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
  EXPECT_TRUE(test::FileExists(kPackageFile));
  EXPECT_FALSE(test::FileExists("a.txt"));
  EXPECT_EQ(ops_.started, Restart());
}

TEST_F(UpdateFlowTest, UnsignedOrForgedReleaseIsRefused) {
  Install({1, 3, 9});
  const Release release{{1, 4, 0}, "-x", {"a.txt\r\n", "A"}, ""};
  const Message refused{"Error", "Das Update ist nicht g\xFC" "ltig signiert!"};
  Publish(release);
  Bytes& def = ops_.server[kReleaseUrl];
  def[def.find("-x")] = '+';  // one byte changed after signing
  Run();
  EXPECT_EQ(ops_.messages, std::vector<Message>{refused});
  EXPECT_EQ(ops_.downloads, std::vector<std::string>{kReleaseUrl});
  EXPECT_EQ(ops_.started, Restart());

  // Without its last two lines, as the MD5 alone would have passed it.
  ops_ = {};
  Publish(release);
  Bytes& bare = ops_.server[kReleaseUrl];
  bare.resize(bare.find("sha256 "));
  Run();
  EXPECT_EQ(ops_.messages, std::vector<Message>{refused});
  EXPECT_EQ(ops_.downloads, std::vector<std::string>{kReleaseUrl});

  // A package swapped on the server, with a matching MD5 line but not the signed digest.
  ops_ = {};
  Publish(release);
  const Bytes forged = StoredPackage({"a.txt\r\n", "evil"});
  Release lying = release;
  lying.checksum_line = FakeMd5(forged);
  Publish(lying);
  ops_.server[kPackageUrl] = forged;
  Run();
  EXPECT_EQ(ops_.messages, std::vector<Message>{refused});
  EXPECT_FALSE(test::FileExists("a.txt"));
  EXPECT_EQ(ops_.started, Restart());
}

TEST_F(UpdateFlowTest, NamesEscapingTheFolderUseUpTheirEntry) {
  for (const char* name : {"../escaped.txt", "..\\escaped.txt", "/tmp/escaped.txt", "\\\\host\\share\\x",
                           "C:\\escaped.txt", "c:escaped.txt", "a:stream", "bad\x01name", "NUL",
                           "con.txt", "sub/COM1", "LPT9.log", "CONOUT$"}) {
    EXPECT_FALSE(IsNameInsideProgramFolder(name)) << name;
  }
  for (const char* name : {"Tandrel.exe", "version", "sub/a.dll", "sub\\b.dll", "a..b", "CONSOLE.txt", "COM10"}) {
    EXPECT_TRUE(IsNameInsideProgramFolder(name)) << name;
  }

  Install({1, 3, 9});
  Publish({1, 4, 0}, "", {"../escaped.txt\r\nNUL\r\ngood.txt\r\n", "E", "N", "G"});
  Run();
  EXPECT_EQ(ops_.messages.at(0).title, "Update");
  EXPECT_EQ(test::ReadWholeFile("good.txt"), "G");
  EXPECT_FALSE(test::FileExists(Root() + "/../escaped.txt"));
  EXPECT_FALSE(test::FileExists("escaped.txt"));
}

TEST_F(UpdateFlowTest, LockedTargetRollsEverythingBack) {
  Install({1, 3, 9});
  for (const char* name : {"a.txt", "b.txt"}) ASSERT_TRUE(test::WriteWholeFile(name, "old"));
  Publish({1, 4, 0}, "", {"a.txt\r\nnew.txt\r\nb.txt\r\nversion\r\n", "A", "N", "B", Bytes("\x01\x04\x00", 3)});
  ops_.locked.insert("b.txt");
  Run();
  EXPECT_EQ(ops_.messages, (std::vector<Message>{{"Error",
      "Aktualisieren fehlgeschlagen, die bisherige Version bleibt erhalten."}}));
  EXPECT_EQ(test::ReadWholeFile("a.txt"), "old");
  EXPECT_EQ(test::ReadWholeFile("b.txt"), "old");
  EXPECT_FALSE(test::FileExists("new.txt"));
  EXPECT_EQ(test::ReadWholeFile("version"), Bytes("\x01\x03\x09x", 4));
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
// The updater's own digests, package reader and key against a release signed with the
// test key, the network and the user replaced.
class SystemWiredOperations : public ScriptedOperations {
 public:
  SystemWiredOperations()
      : system_(CreateSystemOperations("", UpdatePublicKeys(), [](std::string_view, std::string_view) {})) {}
  std::string Md5OfFile(const std::string& file) override { return system_->Md5OfFile(file); }
  std::string Sha256OfFile(const std::string& file) override { return system_->Sha256OfFile(file); }
  bool VerifySignature(std::string_view data, std::span<const std::uint8_t> signature) override {
    return system_->VerifySignature(data, signature);
  }
  std::unique_ptr<PackageEntries> OpenPackage(const std::string& file) override {
    return system_->OpenPackage(file);
  }

 private:
  std::unique_ptr<UpdateOperations> system_;
};

TEST_F(UpdateFlowTest, ReleaseSignedWithTheTestKeyIsInstalled) {
  const std::string key = test::ReadWholeFile(TANDREL_TEST_KEY_FILE);
  ASSERT_FALSE(key.empty());
  const auto bytes_of = [](std::string_view text) {
    return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  };
  const Bytes package = StoredPackage({"a.txt\r\n", "signed content"});
  const auto md5 = platform::HashOf(platform::HashKind::kMd5, bytes_of(package));
  const auto sha = platform::HashOf(platform::HashKind::kSha256, bytes_of(package));
  ASSERT_TRUE(md5 && sha);
  Bytes def = Bytes("\x01\x04\x00", 3) + platform::LowerHex(*md5) + "\r\n-neu\r\nsha256 " +
              platform::LowerHex(*sha) + "\r\n";
  const auto signature = platform::SignRsaSha256(key, bytes_of(def));
  ASSERT_TRUE(signature);

  SystemWiredOperations ops;
  ops.server[kReleaseUrl] = def + "sig " + platform::LowerHex(*signature) + "\r\n";
  ops.server[kPackageUrl] = package;
  Install({1, 3, 9});
  RunUpdate(ops, Folder(), kHost);
  EXPECT_EQ(ops.messages.at(0).title, "Update");
  EXPECT_EQ(test::ReadWholeFile("a.txt"), "signed content");

  // The same bytes signed by another key.
  const auto other = platform::GenerateRsaKey(2048);
  ASSERT_TRUE(other);
  const auto forged = platform::SignRsaSha256(other->private_pem, bytes_of(def));
  ASSERT_TRUE(forged);
  ops.messages.clear();
  ops.server[kReleaseUrl] = def + "sig " + platform::LowerHex(*forged) + "\r\n";
  RunUpdate(ops, Folder(), kHost);
  EXPECT_EQ(ops.messages, (std::vector<Message>{{"Error", kTextNotSigned}}));
}
#endif

}  // namespace
}  // namespace tandrel::updater
