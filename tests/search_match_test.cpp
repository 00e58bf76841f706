// The matching rule and case folding, case by case.
#include <gtest/gtest.h>

#include "search/search.h"

namespace tandrel::search {
namespace {

bool Matches(std::string_view name, std::string_view query) {
  return MatchName(FoldCase(name), FoldCase(query));
}

TEST(FoldCase, FoldsAsciiAndTheUpperHalfFromE0) {
  EXPECT_EQ(FoldCase("abz AZ 09_"), "ABZ AZ 09_");
  EXPECT_EQ(FoldCase("\xE0\xFC\xFF\xF7"), "\xC0\xDC\xDF\xD7");
  // Below 0xE0 nothing changes, capitals and 0xDF included.
  EXPECT_EQ(FoldCase("\xC4\xDF\xD7\x80\x9F"), "\xC4\xDF\xD7\x80\x9F");
  EXPECT_EQ(FoldCase(std::string_view("a\0b", 3)), std::string_view("A\0B", 3));
}

TEST(MatchName, OneWordIsASubstringTestOfTheNameIgnoringCase) {
  EXPECT_TRUE(Matches("Brief.txt", "Brief"));
  EXPECT_TRUE(Matches("Liebesbrief.doc", "Brief"));
  EXPECT_TRUE(Matches("BRIEFE", "brief"));
  EXPECT_FALSE(Matches("Bref.txt", "Brief"));
  EXPECT_FALSE(Matches("", "abc"));
  EXPECT_TRUE(Matches("\xDC" "bersicht", "\xFC" "ber")) << "ü and Ü fold together";
  EXPECT_TRUE(Matches("Stra\xDF" "e", "stra\xDF")) << "ß matches itself";
  EXPECT_TRUE(Matches("\xFF", "\xDF")) << "ÿ folds to ß";
  EXPECT_TRUE(Matches("x\xF7y", "X\xD7Y")) << "÷ and × fold together";
  EXPECT_FALSE(Matches("\xC4rger", "\xE4rgerlich"));
}

TEST(MatchName, WordsMayComeInAnyOrderAndOverlap) {
  EXPECT_TRUE(Matches("Brief.txt", "txt brief"));
  EXPECT_TRUE(Matches("abc", "ab bc"));
  EXPECT_FALSE(Matches("Brief.txt", "brief doc"));
}

TEST(MatchName, EmptyWordsAndPiecesAreSkipped) {
  EXPECT_TRUE(Matches("anything", "   "));
  EXPECT_TRUE(Matches("", "   "));
  EXPECT_TRUE(Matches("", "* *"));
  EXPECT_TRUE(Matches("Brief", "  brief  "));
  EXPECT_TRUE(Matches("xbriefx", "*brief*"));
  EXPECT_TRUE(Matches("ab-cd", "ab**cd"));
  EXPECT_FALSE(Matches("", " x "));
}

TEST(MatchName, PiecesCompareTheStartsOfTheirFirstOccurrences) {
  EXPECT_TRUE(Matches("abcd", "ab*cd"));
  EXPECT_TRUE(Matches("ab-cd", "ab*cd"));
  EXPECT_TRUE(Matches("abXcd", "ab*cd"));
  EXPECT_FALSE(Matches("cdab", "ab*cd"));
  // cd first occurs at 2, before ab at 4, although cd also follows ab.
  EXPECT_FALSE(Matches("xcdabcd", "ab*cd"));
  EXPECT_TRUE(Matches("ab", "ab*ab")) << "both found at position 1";
  // Start positions, not end positions: abc starts at 1, bc at 2.
  EXPECT_TRUE(Matches("abc", "abc*bc"));
  EXPECT_FALSE(Matches("abc", "bc*abc"));
  // Each word starts its own order test.
  EXPECT_TRUE(Matches("cd-ab", "cd*ab ab"));
}

TEST(MatchName, OnlyTheNameIsTested) {
  // The folder never takes part: MatchName sees the name alone.
  EXPECT_FALSE(Matches("readme.txt", "brief"));
}

TEST(QueryLength, AsterisksDoNotCountButSpacesDo) {
  EXPECT_FALSE(QueryLongEnough(""));
  EXPECT_FALSE(QueryLongEnough("ab"));
  EXPECT_TRUE(QueryLongEnough("a b"));
  EXPECT_FALSE(QueryLongEnough("a*b"));
  EXPECT_FALSE(QueryLongEnough("***"));
  EXPECT_TRUE(QueryLongEnough("ab*c"));
  EXPECT_TRUE(QueryLongEnough("   "));
}

TEST(KindFilterChoice, BothOptionsListBothKindsOtherwiseFilesWin) {
  EXPECT_EQ(ChooseKindFilter(1, 1), KindFilter::kFilesAndFolders);
  EXPECT_EQ(ChooseKindFilter(1, 0), KindFilter::kFilesOnly);
  EXPECT_EQ(ChooseKindFilter(0, 1), KindFilter::kFoldersOnly);
  EXPECT_EQ(ChooseKindFilter(0, 0), KindFilter::kFoldersOnly);
}

}  // namespace
}  // namespace tandrel::search
