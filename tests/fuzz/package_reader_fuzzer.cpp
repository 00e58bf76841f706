// Reads arbitrary bytes as a whole package file through PackageReader and touches every
// byte of every entry it hands out.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "updater/package.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/tandrel-package-fuzz-" + std::to_string(getpid()) + ".pak";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  const bool written = std::fwrite(data, 1, size, file) == size;
  std::fclose(file);
  if (!written) return 0;
  tandrel::updater::PackageReader reader;
  if (!reader.Open(path)) return 0;
  unsigned sum = 0;
  while (const std::uint8_t* entry = reader.Next()) {
    if (reader.Size() < 0) __builtin_trap();
    for (std::int64_t i = 0; i < reader.Size(); ++i) sum += entry[i];
  }
  reader.Close();
  return static_cast<int>(sum & 0);
}
