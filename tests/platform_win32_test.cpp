// What only a real Windows (or Wine) shows: attributes, drive roots, the ANSI code page,
// the long temporary path.
#include <windows.h>
// After windows.h: they rely on its types.
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/threads.h"
#include "platform/win32/folder_names.h"
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
  EXPECT_TRUE(reader.Close());
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

// Names made in UTF-16 that the code page cannot hold, each with its own bytes.
class CodePageNamesTest : public Win32Test {
 protected:
  std::wstring Wide(const wchar_t* name) const { return test::WideOfAscii(Root()) + L"\\" + name; }
};

TEST_F(CodePageNamesTest, ListingsHoldAQuestionMarkForEachCharacterAndPathsFindTheRealFile) {
  ASSERT_TRUE(test::WriteWideFile(Wide(L"\u0141\u00F3d\u017A Bericht.txt"), "lodz"));
  ASSERT_TRUE(test::WriteWideFile(Wide(L"\u65E5\u672C Bericht.txt"), "nihon"));
  ASSERT_TRUE(test::WriteWideFile(Wide(L"a\uFF3Cb.txt"), "ab"));
  ASSERT_TRUE(test::WriteWideFile(Wide(L"q\uFF02uote.txt"), "quote"));
  ASSERT_TRUE(test::MakeWideFolder(Wide(L"..\uFF3Cx")));
  ASSERT_TRUE(test::WriteWideFile(Wide(L"..\uFF3Cx\\inner.txt"), "inner"));
  ASSERT_TRUE(test::WriteWideFile(Wide(L"\u00C4rger.txt"), "exact"));
  const std::string lodz = "?\xF3" "d? Bericht.txt";
  EXPECT_EQ(NamesIn(Root()), (std::set<std::string>{".", "..", lodz, "?? Bericht.txt", "a?b.txt", "q?uote.txt", "..?x",
                                                    "\xC4rger.txt"}));

  EXPECT_EQ(test::ReadWholeFile(Path(lodz)), "lodz");
  EXPECT_EQ(test::ReadWholeFile(Path("a?b.txt")), "ab");
  EXPECT_EQ(test::ReadWholeFile(Path("q?uote.txt")), "quote");
  EXPECT_EQ(test::ReadWholeFile(Path("..?x\\inner.txt")), "inner");
  EXPECT_EQ(NamesIn(Path("..?x")), (std::set<std::string>{".", "..", "inner.txt"}));
  EXPECT_EQ(platform::MatchStoredPath(Path("\xC4rger.txt")), platform::StoredPathMatch::kOne);

  // A copy into another folder, of a file and of a folder, takes the source's real name.
  ASSERT_TRUE(platform::CreateFolder(Path("ziel")));
  EXPECT_TRUE(platform::CopyFileReplacing(Path("?? Bericht.txt"), Path("ziel\\?? Bericht.txt")));
  EXPECT_EQ(test::ReadWideFile(Wide(L"ziel\\\u65E5\u672C Bericht.txt")), "nihon");
  EXPECT_TRUE(platform::CreateFolderNamedAs(Path("ziel\\..?x"), Path("..?x")));
  EXPECT_TRUE(platform::CopyFileReplacing(Path("..?x\\inner.txt"), Path("ziel\\..?x\\inner.txt")));
  EXPECT_EQ(test::ReadWideFile(Wide(L"ziel\\..\uFF3Cx\\inner.txt")), "inner");

  // Two names with one stored form: neither is opened, copied or deleted in its place.
  ASSERT_TRUE(test::WriteWideFile(Wide(L"\u4E2D\u56FD Bericht.txt"), "china"));
  EXPECT_EQ(platform::MatchStoredPath(Path("?? Bericht.txt")), platform::StoredPathMatch::kSeveral);
  EXPECT_EQ(platform::MatchStoredPath(Path("??? Bericht.txt")), platform::StoredPathMatch::kNone);
  EXPECT_FALSE(platform::File(Path("?? Bericht.txt"), platform::OpenMode::kRead).IsOpen());
  EXPECT_FALSE(platform::CopyFileReplacing(Path("?? Bericht.txt"), Path("ziel\\?? Bericht.txt")));
  EXPECT_FALSE(platform::RemoveFile(Path("?? Bericht.txt")));
  EXPECT_EQ(test::ReadWideFile(Wide(L"\u65E5\u672C Bericht.txt")), "nihon");
  EXPECT_EQ(test::ReadWideFile(Wide(L"\u4E2D\u56FD Bericht.txt")), "china");
}

// The environment variable `name` set for one scope.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
    wchar_t old[MAX_PATH + 1] = {};
    const DWORD n = ::GetEnvironmentVariableW(name, old, MAX_PATH);
    had_ = n > 0 && n < MAX_PATH;
    old_.assign(old, had_ ? n : 0);
    ::SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedVariable() { ::SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const wchar_t* name_;
  std::wstring old_;
  bool had_ = false;
};

TEST_F(CodePageNamesTest, ATemporaryFolderAndAChosenPathTheCodePageCannotHoldLeadToTheRealFolder) {
  const std::wstring temp = Wide(L"\u0141ukasz \u65E5\u672C");
  ASSERT_TRUE(test::MakeWideFolder(temp));
  const ScopedVariable tmp(L"TMP", temp);
  const ScopedVariable temp_variable(L"TEMP", temp);
  const std::string folder = platform::TemporaryFolder();
  EXPECT_EQ(folder.back(), '\\');
  ASSERT_TRUE(test::WriteWholeFile(folder + "a.db", "bucket"));
  EXPECT_EQ(test::ReadWideFile(temp + L"\\a.db"), "bucket") << folder;
  EXPECT_TRUE(platform::RemoveFile(folder + "a.db"));
  EXPECT_EQ(test::ReadWideFile(temp + L"\\a.db"), "(missing)");
}

// The process's user as the token tells it.
std::vector<std::uint8_t> TokenUserBytes() {
  HANDLE token = nullptr;
  EXPECT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<std::uint8_t> user(size);
  EXPECT_TRUE(::GetTokenInformation(token, TokenUser, user.data(), size, &size));
  ::CloseHandle(token);
  return user;
}

PSID UserSid(std::vector<std::uint8_t>& token_user) {
  return reinterpret_cast<TOKEN_USER*>(token_user.data())->User.Sid;
}

template <class Take>
bool OnAnotherThread(Take take) {  // as another process would: mutexes belong to threads
  bool got = false;
  platform::Thread thread;
  EXPECT_TRUE(thread.Start([&](const platform::StopToken&) { got = take(); }));
  thread.Wait();
  return got;
}

// The mutex of that name exists, belongs to the user and grants the user alone.
void ExpectTheUsersAlone(const std::string& name) {
  std::vector<std::uint8_t> user = TokenUserBytes();
  HANDLE mutex = ::OpenMutexA(READ_CONTROL, FALSE, name.c_str());
  ASSERT_NE(mutex, nullptr) << name;
  PSID owner = nullptr;
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(::GetSecurityInfo(mutex, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &acl, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(::EqualSid(owner, UserSid(user))) << name;
  ASSERT_NE(acl, nullptr) << "a missing list lets everyone in";
  EXPECT_EQ(acl->AceCount, 1) << name;
  void* ace = nullptr;
  ASSERT_TRUE(::GetAce(acl, 0, &ace));
  EXPECT_EQ(static_cast<ACE_HEADER*>(ace)->AceType, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_TRUE(::EqualSid(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart, UserSid(user)));
  ::LocalFree(descriptor);
  ::CloseHandle(mutex);
}

// The indexing claim and the running mark of a folder are the user's own: named with the
// user's SID, owned by the user and open to nobody else; while one holds them, a second
// claimant is refused.
TEST_F(Win32Test, ClaimsAreNamedForTheUserAndOpenToNobodyElse) {
  std::vector<std::uint8_t> user = TokenUserBytes();
  char* sid = nullptr;
  ASSERT_TRUE(::ConvertSidToStringSidA(UserSid(user), &sid));
  const std::string sid_text(sid);
  ::LocalFree(sid);
  const std::string suffix = sid_text + "-" + platform::FolderObjectName("", Root());

  platform::FolderClaim claim;
  ASSERT_TRUE(claim.TryClaim(Root()));
  ExpectTheUsersAlone("Global\\Tandrel-Index-" + suffix);
  EXPECT_FALSE(OnAnotherThread([&] { return platform::FolderClaim().TryClaim(Root()); }));
  claim.Release();
  EXPECT_TRUE(OnAnotherThread([&] { return platform::FolderClaim().TryClaim(Root()); }));

  platform::FolderClaim mark(platform::ClaimKind::kRunningProgram);
  ASSERT_TRUE(mark.TryClaim(Root()));
  ExpectTheUsersAlone("Global\\Tandrel-Running-" + suffix);
  EXPECT_FALSE(OnAnotherThread([&] { return platform::WaitUntilNotRunning(Root(), 0); }));
  mark.Release();
  EXPECT_TRUE(OnAnotherThread([&] { return platform::WaitUntilNotRunning(Root(), 0); }));

  // Made first under the user's name by someone else (here owned by the administrators):
  // not the user's claim. The claim goes into the session's own namespace instead, where a
  // second claimant is refused as well, and the foreign mutex stays free.
  const std::string other = Path("other");
  ASSERT_TRUE(platform::CreateFolder(other));
  PSECURITY_DESCRIPTOR foreign = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA("O:BAD:(A;;0x001F0001;;;WD)", SDDL_REVISION_1,
                                                                   &foreign, nullptr));
  SECURITY_ATTRIBUTES attributes{sizeof attributes, foreign, FALSE};
  const std::string name = "Global\\Tandrel-Index-" + sid_text + "-" + platform::FolderObjectName("", other);
  HANDLE squatter = ::CreateMutexA(&attributes, FALSE, name.c_str());
  ::LocalFree(foreign);
  ASSERT_NE(squatter, nullptr);
  PSID squatter_owner = nullptr;
  PSECURITY_DESCRIPTOR squatter_security = nullptr;
  ASSERT_EQ(::GetSecurityInfo(squatter, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &squatter_owner, nullptr,
                              nullptr, nullptr, &squatter_security),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_FALSE(::EqualSid(squatter_owner, UserSid(user))) << "the system made the user the owner after all";
  ::LocalFree(squatter_security);
  platform::FolderClaim local;
  ASSERT_TRUE(local.TryClaim(other));
  EXPECT_FALSE(OnAnotherThread([&] { return platform::FolderClaim().TryClaim(other); }));
  EXPECT_TRUE(OnAnotherThread([&] {
    const bool free = ::WaitForSingleObject(squatter, 0) == WAIT_OBJECT_0;
    if (free) ::ReleaseMutex(squatter);
    return free;
  })) << "the claim went into the other user's mutex";
  ::CloseHandle(squatter);
}

TEST_F(Win32Test, BackslashIsTheSeparator) {
  EXPECT_EQ(platform::kPathSeparator, '\\');
  EXPECT_EQ(platform::ProgramPath().find('/'), std::string::npos);
}

}  // namespace
}  // namespace tandrel
