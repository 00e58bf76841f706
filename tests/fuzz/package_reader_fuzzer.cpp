// Reads arbitrary bytes as a whole package through PackageReader, from a file and from
// memory as the updater does, and touches every byte of every entry it hands out; both
// must give the same entries and states. Entries are limited to 1 MiB so that headers
// claiming the full limit do not spend every run zero-filling 64 MiB; the paths are the
// same.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>

#include "updater/package.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Memory-backed when the system has it: the file is rewritten for every input.
  static const std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                  "/tandrel-package-fuzz-" + std::to_string(getpid()) + ".pak";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  const bool written = std::fwrite(data, 1, size, file) == size;
  std::fclose(file);
  if (!written) return 0;
  tandrel::updater::PackageReader reader(1u << 20);
  if (!reader.Open(path)) return 0;
  tandrel::updater::PackageReader memory(1u << 20);
  memory.Open(std::span<const std::uint8_t>(data, size));
  for (;;) {
    const std::uint8_t* entry = reader.Next();
    const std::uint8_t* same = memory.Next();
    if ((entry == nullptr) != (same == nullptr) || reader.Size() != memory.Size() ||
        reader.State() != memory.State()) {
      __builtin_trap();
    }
    if (entry == nullptr) break;
    if (reader.Size() < 0 || std::memcmp(entry, same, static_cast<std::size_t>(reader.Size())) != 0) {
      __builtin_trap();
    }
  }
  reader.Close();
  memory.Close();
  return 0;
}
