// Case folding and the matching rule of one name against a query.
#include "search/search.h"

namespace tandrel::search {

std::string FoldCase(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = static_cast<char>(index::FoldNameByte(static_cast<std::uint8_t>(c)));
  return folded;
}

bool MatchName(std::string_view name, std::string_view query) {
  std::size_t word_begin = 0;
  for (;;) {
    const std::size_t word_end = std::min(query.find(' ', word_begin), query.size());
    const std::string_view word = query.substr(word_begin, word_end - word_begin);
    // Positions are those of first occurrences from the name's start, compared by where
    // they begin: "ab*cd" fails on "xcdabcd" although "cd" follows "ab" there.
    std::size_t last = 0;
    std::size_t piece_begin = 0;
    while (piece_begin <= word.size()) {
      const std::size_t piece_end = std::min(word.find('*', piece_begin), word.size());
      const std::string_view piece = word.substr(piece_begin, piece_end - piece_begin);
      if (!piece.empty()) {
        const std::size_t found = name.find(piece);
        if (found == std::string_view::npos || found + 1 < last) return false;
        last = found + 1;
      }
      piece_begin = piece_end + 1;
    }
    if (word_end == query.size()) return true;
    word_begin = word_end + 1;
  }
}

bool QueryLongEnough(std::string_view query) {
  std::size_t asterisks = 0;
  for (char c : query) asterisks += c == '*' ? 1 : 0;
  return query.size() - asterisks > 2;
}

KindFilter ChooseKindFilter(int files_option, int folders_option) {
  if (files_option == 1 && folders_option == 1) return KindFilter::kFilesAndFolders;
  if (files_option == 1) return KindFilter::kFilesOnly;
  return KindFilter::kFoldersOnly;
}

}  // namespace tandrel::search
