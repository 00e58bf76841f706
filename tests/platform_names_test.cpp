// The stored form of names the system gives in UTF-16, on a table of Windows-1252, and
// the quoting of command-line words.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/process.h"
#include "platform/stored_names.h"

namespace tandrel {
namespace {

// Windows-1252 without best fit: ASCII, Latin-1 from U+00A0, and two of its letters
// between 0x80 and 0x9F. Everything else has no exact byte.
bool Encode1252(std::u16string_view character, std::string& bytes) {
  static const std::map<char16_t, char> kHigh = {{u'\u20AC', '\x80'}, {u'\u0152', '\x8C'}};
  if (character.size() != 1) return false;
  const char16_t c = character[0];
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
    bytes.assign(1, static_cast<char>(c));
    return true;
  }
  const auto found = kHigh.find(c);
  if (found == kHigh.end()) return false;
  bytes.assign(1, found->second);
  return true;
}

TEST(StoredNameTest, ExactNamesStayByteForByteAndEveryOtherCharacterIsOneQuestionMark) {
  const struct {
    std::u16string name;
    std::string stored;
  } kCases[] = {
      {u"\u00C4rger.txt", "\xC4rger.txt"},
      {u"\u20AC \u0152uvre", "\x80 \x8Cuvre"},
      {u"\u0141\u00F3d\u017A Bericht.txt", "?\xF3" "d? Bericht.txt"}, // no "L" or "z" look-alike
      {u"\u65E5\u672C Bericht.txt", "?? Bericht.txt"},
      {u"a\uFF3Cb.txt", "a?b.txt"},                                    // fullwidth backslash
      {u"q\uFF02uote.txt", "q?uote.txt"},                              // fullwidth quotation mark
      {u"..\uFF3Cx", "..?x"},
      {u"\U0001F600 \U0001F600.txt", "? ?.txt"},                       // a surrogate pair is one character
      {std::u16string(u"a") + char16_t(0xD800) + u"b", "a?b"},         // a lone surrogate
      {u"a\\b/c:d*e\"f<g>h|i", "a?b?c?d?e?f?g?h?i"},                   // what no name may hold
      {std::u16string(u"x") + char16_t(1) + u"\u007F", "x?\x7F"},
      {u"", ""},
  };
  for (const auto& c : kCases) {
    const std::string stored = platform::StoredName(c.name, Encode1252);
    EXPECT_EQ(stored, c.stored);
    EXPECT_EQ(platform::IsLossyStoredForm(stored), c.stored.find('?') != std::string::npos);
  }
  // A path keeps its separators and the drive's colon; its names follow the same rule.
  EXPECT_EQ(platform::StoredPath(u"C:\\Users\\\u0141ukasz/Temp\\", Encode1252), "C:\\Users\\?ukasz/Temp\\");
  EXPECT_EQ(platform::StoredPath(u"C:\\a\uFF3C..\\\"b", Encode1252), "C:\\a?..\\?b");
}

TEST(QuotedWordTest, WordsStayInsideTheirQuotesOrAreRefused) {
  EXPECT_EQ(platform::QuotedWord(std::string_view("C:\\Mit Leerzeichen\\a.exe")), "\"C:\\Mit Leerzeichen\\a.exe\"");
  // A closing quote after an odd number of backslashes would be taken as a quote in the word.
  EXPECT_EQ(platform::QuotedWord(std::string_view("C:\\Daten\\")), "\"C:\\Daten\\\\\"");
  EXPECT_EQ(platform::QuotedWord(std::string_view("a\\\\b\\\\")), "\"a\\\\b\\\\\\\\\"");
  EXPECT_EQ(platform::QuotedWord(std::string_view("C:\\dl\\x\" evil.txt")), std::nullopt);
  EXPECT_EQ(platform::QuotedWord(std::string_view("x\0y", 3)), std::nullopt);
  EXPECT_EQ(platform::ProgramCommandLine("C:\\dl\\x\" evil.txt", ""), std::nullopt);
  EXPECT_EQ(platform::ProgramCommandLine("C:\\a b\\c.exe", "update"), "\"C:\\a b\\c.exe\" update");
}

}  // namespace
}  // namespace tandrel
