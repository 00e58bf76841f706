// Constants of the JcStream layout shared by the decoder and the encoder.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tandrel::updater {

inline constexpr std::uint8_t kJcMagic[2] = {0x4A, 0x43};
inline constexpr std::size_t kJcHeaderSize = 10;  // magic, decoded length, checksum
inline constexpr unsigned kStartOffsetBits = 8;
inline constexpr int kRawBlockSize = 256;

inline std::uint32_t LoadLittleEndian32(const std::uint8_t* at) {
  return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
         std::uint32_t{at[3]} << 24;
}

inline void StoreLittleEndian32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace tandrel::updater
