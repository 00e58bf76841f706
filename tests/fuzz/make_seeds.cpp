// Writes the seed corpora of the two fuzzers: streams and packages made by the encoder
// from small contents that between them use every kind of code.
#include <cstdio>
#include <string>
#include <vector>

#include "updater/package.h"
#include "updater/package_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Write(const std::string& path, const Bytes& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

std::vector<Bytes> Contents() {
  std::vector<Bytes> contents;
  const std::string text = "Tandrel.exe\r\nVexoran.exe\r\n\r\nversion\r\nSuche nach Dateien und Ordnern, Suche nach Dateien.";
  contents.emplace_back(text.begin(), text.end());
  contents.emplace_back(600, 0);
  Bytes mixed;
  unsigned x = 12345;
  for (int i = 0; i < 1500; ++i) {
    x = x * 1103515245u + 12345u;
    mixed.push_back(static_cast<std::uint8_t>(i < 700 ? x >> 16 : (i % 9) * 3));
  }
  mixed.insert(mixed.end(), mixed.begin() + 100, mixed.begin() + 400);
  contents.push_back(mixed);
  return contents;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_seeds DECODE_DIR PACKAGE_DIR\n");
    return 2;
  }
  const std::vector<Bytes> contents = Contents();
  Bytes package;
  for (std::size_t i = 0; i < contents.size(); ++i) {
    const Bytes stream = tandrel::updater::JcEncode(contents[i]);
    Bytes seed = {static_cast<std::uint8_t>(contents[i].size()), static_cast<std::uint8_t>(contents[i].size() >> 8)};
    seed.insert(seed.end(), stream.begin(), stream.end());
    Write(std::string(argv[1]) + "/seed" + std::to_string(i), seed);
    tandrel::updater::AppendPackageEntry(contents[i], package);
  }
  Bytes stored;
  tandrel::updater::AppendPackageEntry(Bytes{'a', 'b'}, stored);
  Write(std::string(argv[2]) + "/stored", stored);
  Write(std::string(argv[2]) + "/mixed", package);
  return 0;
}
