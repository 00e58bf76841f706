// The form in which the program keeps the names the system gives in UTF-16: bytes of the
// ANSI code page. A name the code page holds exactly is kept byte for byte; any other
// character becomes one "?", never a look-alike: a look-alike of "\" or of a quotation
// mark would turn a name into a path or break a command line, and a look-alike letter
// names a file that is not the one listed. "?" cannot occur in a Windows name, so it
// marks the names whose real form only the system's listing can tell (see
// StoredPathMatch in paths.h).
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tandrel::platform {

// Writes the code page's bytes for one character (one UTF-16 unit, or a surrogate pair)
// to `bytes`; false when the code page has no exact bytes for it.
using EncodeCharacter = std::function<bool(std::u16string_view character, std::string& bytes)>;

// The stored form of one name: each character as `encode` writes it, and "?" for a
// character it cannot write exactly, for a lone surrogate, and for a character no Windows
// name may hold (controls, \ / : * ? " < > |). A surrogate pair is one character.
std::string StoredName(std::u16string_view name, const EncodeCharacter& encode);
// The same for a path: "\", "/" and ":" pass as themselves.
std::string StoredPath(std::u16string_view path, const EncodeCharacter& encode);

// True when the stored form stands for a name the code page could not hold.
inline bool IsLossyStoredForm(std::string_view stored) { return stored.find('?') != std::string_view::npos; }

}  // namespace tandrel::platform
