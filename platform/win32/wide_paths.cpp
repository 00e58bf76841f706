// The one place where the program's ANSI text and the system's UTF-16 meet. Conversions
// to the code page never take a "best fit" look-alike: WC_NO_BEST_FIT_CHARS with the
// lossy case detected, then the character-by-character rule of stored_names.cpp.
#include "platform/win32/wide_paths.h"

#include <vector>

#include "platform/stored_names.h"
#include "platform/win32/handles.h"

namespace tandrel::win32 {
namespace {

using platform::StoredPathMatch;

// A code page of UTF-8 holds every character, and refuses the best-fit flag.
bool AnsiIsUtf8() {
  static const bool utf8 = ::GetACP() == CP_UTF8;
  return utf8;
}

// The code page's bytes for `text` when every character converts exactly; none else.
std::optional<std::string> ExactAnsiOf(std::wstring_view text) {
  if (text.empty()) return std::string();
  const DWORD flags = AnsiIsUtf8() ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* lossy = AnsiIsUtf8() ? nullptr : &used_default;
  const int length = static_cast<int>(text.size());
  const int size = ::WideCharToMultiByte(CP_ACP, flags, text.data(), length, nullptr, 0, nullptr, lossy);
  if (size <= 0 || used_default) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (::WideCharToMultiByte(CP_ACP, flags, text.data(), length, bytes.data(), size, nullptr, lossy) != size ||
      used_default) {
    return std::nullopt;
  }
  return bytes;
}

bool EncodeCharacter(std::u16string_view character, std::string& bytes) {
  std::optional<std::string> exact =
      ExactAnsiOf(std::wstring_view(reinterpret_cast<const wchar_t*>(character.data()), character.size()));
  if (!exact) return false;
  bytes = std::move(*exact);
  return true;
}

std::u16string_view Utf16Of(std::wstring_view text) {
  return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
}

// Characters that the whole-text conversion must not see: what no name may hold, and
// surrogates, which the rule counts in pairs.
bool NeedsCharacterRule(std::wstring_view text, std::wstring_view allowed) {
  for (const wchar_t unit : text) {
    if (unit >= 0xD800 && unit <= 0xDFFF) return true;
    if (allowed.find(unit) != std::wstring_view::npos) continue;
    if (unit < 0x20 || std::wstring_view(L"\\/:*?\"<>|").find(unit) != std::wstring_view::npos) return true;
  }
  return false;
}

std::string StoredFormOf(std::wstring_view text, bool is_path) {
  // The common case costs one conversion: every character exact, nothing forbidden.
  if (!NeedsCharacterRule(text, is_path ? L"\\/:" : L"")) {
    if (std::optional<std::string> exact = ExactAnsiOf(text)) return *exact;
  }
  static const platform::EncodeCharacter encode = EncodeCharacter;
  return is_path ? platform::StoredPath(Utf16Of(text), encode) : platform::StoredName(Utf16Of(text), encode);
}

std::wstring_view NameIn(const WIN32_FIND_DATAW& found) {
  // cFileName is a fixed MAX_PATH array; take it only up to its terminator.
  std::size_t length = 0;
  while (length < MAX_PATH && found.cFileName[length] != L'\0') ++length;
  return {found.cFileName, length};
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The entry of `folder` (empty, or ending with a separator) whose stored form is
// `stored`, if exactly one has it.
StoredPathMatch FindByStoredForm(const std::wstring& folder, std::wstring_view stored, std::wstring& found_name) {
  const std::wstring pattern = folder + L"*";
  WIN32_FIND_DATAW found{};
  HANDLE find = ::FindFirstFileW(pattern.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return StoredPathMatch::kNone;
  const OwnedFind listing(find);
  int matches = 0;
  do {
    const std::wstring_view name = NameIn(found);
    if (name == L"." || name == L"..") continue;
    if (WideOf(StoredNameOf(name)) != stored) continue;
    if (++matches > 1) return StoredPathMatch::kSeveral;
    found_name.assign(name);
  } while (::FindNextFileW(find, &found));
  return matches == 1 ? StoredPathMatch::kOne : StoredPathMatch::kNone;
}

std::size_t LastSeparator(std::wstring_view path) {
  const std::size_t at = path.find_last_of(L"\\/");
  return at == std::wstring_view::npos ? 0 : at + 1;
}

}  // namespace

std::wstring WideOf(std::string_view text) {
  if (text.empty()) return std::wstring();
  const int length = static_cast<int>(text.size());
  const int size = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (size <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), size);
  return wide;
}

std::string StoredNameOf(std::wstring_view name) { return StoredFormOf(name, false); }

std::string StoredPathOf(std::wstring_view path) { return StoredFormOf(path, true); }

std::string StoredNameOf(const WIN32_FIND_DATAW& found) { return StoredNameOf(NameIn(found)); }

std::string StoredSystemPathOf(const std::wstring& path) {
  std::string stored = StoredPathOf(path);
  if (!platform::IsLossyStoredForm(stored)) return stored;
  // The 8.3 form holds only characters every code page has, where the volume keeps one.
  std::vector<wchar_t> buffer(path.size() + 1);
  for (;;) {
    const DWORD n = ::GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return stored;
    if (n < buffer.size()) {
      std::string short_form = StoredPathOf(std::wstring_view(buffer.data(), n));
      return platform::IsLossyStoredForm(short_form) ? stored : short_form;
    }
    buffer.resize(n + 1);
  }
}

namespace {

// ResolveStoredPath of the path as UTF-16: separators found there cannot be the second
// byte of a double-byte character.
ResolvedPath ResolveWide(const std::wstring& wide) {
  if (wide.find(L'?') == std::wstring::npos) return {StoredPathMatch::kOne, wide};
  std::wstring real;
  std::size_t at = 0;
  // "\\?\" and "\\.\" open a path the system takes literally; their "?" is no name.
  if (wide.starts_with(L"\\\\?\\") || wide.starts_with(L"\\\\.\\")) {
    real = wide.substr(0, 4);
    at = 4;
  }
  for (;;) {
    std::size_t end = at;
    while (end < wide.size() && !IsSeparator(wide[end])) ++end;
    const std::wstring_view part = std::wstring_view(wide).substr(at, end - at);
    if (part.find(L'?') == std::wstring_view::npos) {
      real += part;
    } else {
      std::wstring name;
      const StoredPathMatch match = FindByStoredForm(real, part, name);
      if (match != StoredPathMatch::kOne) return {match, std::wstring()};
      real += name;
    }
    if (end == wide.size()) break;
    real += wide[end];
    at = end + 1;
  }
  return {StoredPathMatch::kOne, real};
}

}  // namespace

ResolvedPath ResolveStoredPath(std::string_view path) { return ResolveWide(WideOf(path)); }

std::optional<std::wstring> WidePathOf(std::string_view path) {
  ResolvedPath resolved = ResolveStoredPath(path);
  if (resolved.match != StoredPathMatch::kOne) return std::nullopt;
  return std::move(resolved.path);
}

std::optional<std::wstring> WidePathFor(std::string_view to, std::wstring_view model) {
  const std::wstring wide = WideOf(to);
  const std::size_t cut = LastSeparator(wide);
  const std::wstring_view last = std::wstring_view(wide).substr(cut);
  if (last.find(L'?') == std::wstring_view::npos) return WidePathOf(to);
  const std::wstring_view model_name = model.substr(LastSeparator(model));
  if (WideOf(StoredNameOf(model_name)) != last) return WidePathOf(to);
  ResolvedPath folder = ResolveWide(wide.substr(0, cut));
  if (folder.match != StoredPathMatch::kOne) return std::nullopt;
  return folder.path + std::wstring(model_name);
}

}  // namespace tandrel::win32

namespace tandrel::platform {

StoredPathMatch MatchStoredPath(const std::string& path) { return win32::ResolveStoredPath(path).match; }

}  // namespace tandrel::platform
