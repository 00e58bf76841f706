// The stored form of names and paths, character by character.
#include "platform/stored_names.h"

namespace tandrel::platform {
namespace {

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

bool IsForbiddenInNames(char16_t unit) {
  return unit < 0x20 || std::u16string_view(u"\\/:*?\"<>|").find(unit) != std::u16string_view::npos;
}

std::string StoredForm(std::u16string_view text, const EncodeCharacter& encode, std::u16string_view allowed) {
  std::string stored;
  stored.reserve(text.size());
  std::string bytes;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t length = 1;
    if (IsHighSurrogate(text[at]) && at + 1 < text.size() && IsLowSurrogate(text[at + 1])) length = 2;
    const std::u16string_view character = text.substr(at, length);
    at += length;
    if (length == 1 && allowed.find(character[0]) != std::u16string_view::npos) {
      stored += static_cast<char>(character[0]);
      continue;
    }
    const bool lone_surrogate = length == 1 && (IsHighSurrogate(character[0]) || IsLowSurrogate(character[0]));
    bytes.clear();
    if (lone_surrogate || (length == 1 && IsForbiddenInNames(character[0])) || !encode(character, bytes) ||
        bytes.empty()) {
      stored += '?';
      continue;
    }
    stored += bytes;
  }
  return stored;
}

}  // namespace

std::string StoredName(std::u16string_view name, const EncodeCharacter& encode) {
  return StoredForm(name, encode, u"");
}

std::string StoredPath(std::u16string_view path, const EncodeCharacter& encode) {
  return StoredForm(path, encode, u"\\/:");
}

}  // namespace tandrel::platform
