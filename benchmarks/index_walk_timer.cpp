// index_walk_timer WALK_FILE FOLDER...: the walk of an indexing run alone (the scanner
// writing the walk file, no merge), for the indexing benchmark to set beside the whole
// run. Prints the file count.
#include <cstdio>

#include "index/indexing.h"

int main(int argc, char** argv) {
  using namespace tandrel;
  if (argc < 3) {
    std::fputs("usage: index_walk_timer WALK_FILE FOLDER...\n", stderr);
    return 2;
  }
  if (!index::IndexTempFile.Create(argv[1])) return 1;
  for (int i = 2; i < argc; ++i) index::ScanFolder(argv[i]);
  if (!index::IndexTempFile.CloseAndStartMerge()) return 1;
  std::printf("%d\n", index::IndexFileCount.load());
  return 0;
}
