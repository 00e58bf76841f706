// Feeds arbitrary streams to JcDecode. The first two bytes choose the output size (up to
// 64 KiB, so the fuzzer also tries buffers too small or too large for the stream); the
// buffer is exactly that size, so the sanitizer sees any write or read past it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "updater/package.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t out_size = std::size_t{data[0]} | std::size_t{data[1]} << 8;
  const std::vector<std::uint8_t> stream(data + 2, data + size);
  std::vector<std::uint8_t> out(out_size);
  const tandrel::updater::JcResult result = tandrel::updater::JcDecode(stream, out);
  if (result.written > out.size()) __builtin_trap();
  return 0;
}
