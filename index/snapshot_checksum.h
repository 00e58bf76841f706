// The snapshot's checksums: a mixing hash for small things (the header, the index file's
// edges) and, for the sections, one that runs at memory speed, since a load checks every
// byte it uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace tandrel::index {

// The multipliers of the hashes here and of the runs' bits.
inline constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ULL;
inline constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4FULL;

inline std::uint64_t RotateLeft(std::uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }

// A 64-bit hash in four independent lanes.
std::uint64_t MixedHash(const void* data, std::size_t size);

// Fletcher's scheme over 32-bit words in eight lanes, mixed at the end: a flipped bit
// always changes the sum of the words, a moved word the sum of the running sums.
std::uint64_t SectionChecksum(const void* data, std::size_t size);

struct CheckedSection {
  const char* data;
  std::size_t size;
  std::uint64_t checksum;
};

// Whether every section matches its checksum. With enough bytes the front half of each
// section is summed on a second thread (the two cores then also fetch a mapped image's
// pages side by side, `fetch` being that image), and the halves' sums are joined.
bool ChecksumsHold(const std::vector<CheckedSection>& sections, const platform::FileImage* fetch);

}  // namespace tandrel::index
