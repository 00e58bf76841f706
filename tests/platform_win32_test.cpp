// What only a real Windows (or Wine) shows: attributes, drive roots, the ANSI code page,
// the long temporary path.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/platform.h"
#include "platform/registry.h"
#include "test_support.h"

namespace tandrel {
namespace {

using platform::FolderEntry;
using platform::FolderListing;

class Win32Test : public test::ScratchFolder {};

std::set<std::string> NamesIn(const std::string& folder) {
  std::set<std::string> names;
  FolderListing listing(folder);
  EXPECT_TRUE(listing.IsOpen()) << folder;
  for (FolderEntry entry; listing.Next(entry);) names.insert(entry.name);
  return names;
}

TEST_F(Win32Test, HiddenAndSystemEntriesAreListed) {
  const std::string hidden = Path("hidden.txt");
  const std::string system = Path("sysdir");
  ASSERT_TRUE(test::WriteWholeFile(hidden, "x"));
  ASSERT_TRUE(platform::CreateFolder(system));
  ASSERT_TRUE(::SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(::SetFileAttributesA(system.c_str(),
                                   FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY));
  const std::set<std::string> names = NamesIn(Root());
  EXPECT_TRUE(names.count("hidden.txt"));
  EXPECT_TRUE(names.count("sysdir"));
  FolderListing listing(Root());
  for (FolderEntry entry; listing.Next(entry);) {
    if (entry.name == "sysdir") {
      EXPECT_TRUE(entry.is_folder);
    }
    if (entry.name == "hidden.txt") {
      EXPECT_FALSE(entry.is_folder);
    }
  }
}

TEST_F(Win32Test, DriveLetterWithColonListsTheDriveRoot) {
  const std::set<std::string> with_colon = NamesIn("C:");
  const std::set<std::string> with_backslash = NamesIn("C:\\");
  EXPECT_EQ(with_colon, with_backslash);
  bool has_windows = false;
  for (const std::string& name : with_colon) has_windows |= _stricmp(name.c_str(), "windows") == 0;
  EXPECT_TRUE(has_windows);
  EXPECT_FALSE(with_colon.count(".")) << "a drive root has no dot entries";
}

TEST_F(Win32Test, UmlautIsOneWindows1252Byte) {
  ASSERT_EQ(::GetACP(), 1252u) << "the tests expect the Western European ANSI code page";
  const std::string name = "\xC4rger.txt";  // Ärger.txt
  ASSERT_TRUE(test::WriteWholeFile(Path(name), "x"));
  const std::set<std::string> names = NamesIn(Root());
  EXPECT_TRUE(names.count(name));
  // The wide name the system stored is U+00C4, so the byte went through code page 1252.
  std::wstring wide(Root().begin(), Root().end());
  wide += L"\\\u00C4rger.txt";
  EXPECT_NE(::GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Win32Test, TemporaryFolderIsInLongForm) {
  const std::string temp = platform::TemporaryFolder();
  char long_form[MAX_PATH + 1] = {};
  const DWORD n = ::GetLongPathNameA(temp.c_str(), long_form, sizeof long_form);
  ASSERT_GT(n, 0u);
  ASSERT_LT(n, sizeof long_form);
  EXPECT_EQ(temp, std::string(long_form, n));
  EXPECT_EQ(temp.find('~'), std::string::npos) << temp;
  EXPECT_EQ(temp.back(), '\\');
}

TEST_F(Win32Test, CopyReplacesAReadableExistingFile) {
  const std::string from = Path("from.bin");
  const std::string to = Path("to.bin");
  ASSERT_TRUE(test::WriteWholeFile(from, std::string("\x00\x01\xFF", 3)));
  ASSERT_TRUE(test::WriteWholeFile(to, "older and longer"));
  platform::File reader(to, platform::OpenMode::kRead);  // others may read meanwhile
  reader.Close();
  EXPECT_TRUE(platform::CopyFileReplacing(from, to));
  EXPECT_EQ(test::ReadWholeFile(to), std::string("\x00\x01\xFF", 3));
}

TEST_F(Win32Test, StringValuesAreStoredWithTheirTerminatingZero) {
  const char kKey[] = "Software\\Tandrel Tests\\Win32";
  const std::string data = "C:\\Mit Leerzeichen\\Vexoran.exe";
  ASSERT_TRUE(platform::RegistryKey(platform::RegistryRoot::kMachine, kKey).SetString("Wert", data));
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  char stored[64] = {};
  DWORD type = 0;
  DWORD size = sizeof stored;
  EXPECT_EQ(::RegQueryValueExA(key, "Wert", nullptr, &type, reinterpret_cast<BYTE*>(stored), &size), ERROR_SUCCESS);
  ::RegCloseKey(key);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, data.size() + 1);
  EXPECT_EQ(std::string(stored), data) << "no quotes added";
  EXPECT_TRUE(platform::RegistryKey(platform::RegistryRoot::kMachine, kKey).DeleteValue("Wert"));
}

TEST_F(Win32Test, SubfoldersOfADriveRootAndTheSystemsOrder) {
  bool has_windows = false;
  for (const std::string& name : platform::ListSubfolders("C:\\")) has_windows |= _stricmp(name.c_str(), "windows") == 0;
  EXPECT_TRUE(has_windows);
  // The user's collation: umlauts beside their base letter, not after z as in bytes.
  for (const char* name : {"zeta", "\xC4pfel", "Birne", "apfel"}) ASSERT_TRUE(platform::CreateFolder(Path(name)));
  EXPECT_EQ(platform::ListSubfolders(Root()), (std::vector<std::string>{"apfel", "\xC4pfel", "Birne", "zeta"}));
}

TEST_F(Win32Test, BackslashIsTheSeparator) {
  EXPECT_EQ(platform::kPathSeparator, '\\');
  EXPECT_EQ(platform::ProgramPath().find('/'), std::string::npos);
}

}  // namespace
}  // namespace tandrel
