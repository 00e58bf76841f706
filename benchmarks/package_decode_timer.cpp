// Packs each file named on the command line as one update-package entry and times
// decoding it. Prints one line per file: name, size, packed size, decode MB/s (of output,
// best of several rounds). package_benchmark.py runs it beside gzip and xz.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "updater/package.h"
#include "updater/package_writer.h"

int main(int argc, char** argv) {
  using namespace tandrel::updater;
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    const std::vector<std::uint8_t> content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto encode_start = std::chrono::steady_clock::now();
    std::vector<std::uint8_t> package;
    AppendPackageEntry(content, package);
    const double encode_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - encode_start).count();
    const std::vector<std::uint8_t> stream = JcEncode(content);
    std::vector<std::uint8_t> out(content.size());
    double best = 1e9;
    for (int round = 0; round < 7; ++round) {
      const auto start = std::chrono::steady_clock::now();
      const JcResult result = JcDecode(stream, out);
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (result.status != JcStatus::kOk || out != content) {
        std::fprintf(stderr, "%s: decoding failed\n", argv[i]);
        return 1;
      }
      best = std::min(best, seconds);
    }
    std::printf("%s %zu %zu %.1f %.2f\n", argv[i], content.size(), package.size() - 8,
                static_cast<double>(content.size()) / best / 1e6, encode_seconds);
  }
  return 0;
}
