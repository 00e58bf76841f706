// Writes the benchmarks' sample index of RECORDS records to PATH, for timing programs
// from outside (tdl search, Tandrel's start-up under Wine).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sample_index.h"

int main(int argc, char** argv) {
  if (argc != 3 || std::atoll(argv[1]) <= 0) {
    std::fputs("usage: write_sample_index RECORDS PATH\n", stderr);
    return 2;
  }
  if (tandrel::bench::WriteSampleIndex(std::atoll(argv[1]), argv[2]).bytes == 0) {
    std::fprintf(stderr, "write_sample_index: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
