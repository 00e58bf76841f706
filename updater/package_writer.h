// Writing update packages: the publisher's side of package.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tandrel::updater {

// How many codes of each kind an encoding used, for tests and the benchmark.
struct JcCodeCounts {
  std::size_t literals8 = 0, literals7 = 0, width_changes = 0, offset_bit_changes = 0;
  std::size_t short_matches = 0, long_matches = 0, repeats = 0;
  std::size_t zero_bytes = 0, byte_copies = 0, raw_blocks = 0;
};

// The JcStream of `content`: header, bit stream and checksum.
std::vector<std::uint8_t> JcEncode(std::span<const std::uint8_t> content, JcCodeCounts* counts = nullptr);

// One package entry (sizes and data) for `content`: compressed when that is smaller,
// stored unchanged otherwise, so the packed size equals the unpacked size only for a
// stored entry. Appends to `package`; false for content above kMaxEntrySize.
bool AppendPackageEntry(std::span<const std::uint8_t> content, std::vector<std::uint8_t>& package);

}  // namespace tandrel::updater
