// Hand-made JcStreams for the decoder tests: codes are written bit by bit as the format
// lays them out, independently of the encoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tandrel::test {

class JcStreamBuilder {
 public:
  JcStreamBuilder& Bits(std::uint64_t value, int count) {
    for (int i = count - 1; i >= 0; --i) bits_.push_back(((value >> i) & 1u) != 0);
    return *this;
  }
  JcStreamBuilder& Gamma(std::uint64_t value) {
    int top = 63;
    while (((value >> top) & 1u) == 0) --top;
    for (int i = top - 1; i >= 0; --i) Bits((value >> i) & 1u, 1).Bits(i > 0 ? 1 : 0, 1);
    return *this;
  }
  JcStreamBuilder& Width8() { return Bits(0b001, 3).Bits(0, 4).Bits(0, 1).Bits(1, 1); }
  JcStreamBuilder& Width7(std::uint8_t base) { return Bits(0b001, 3).Bits(0, 4).Bits(0, 2).Bits(base, 8); }
  JcStreamBuilder& Literal(std::uint32_t value, int width) { return Bits(1, 1).Bits(value, width); }
  JcStreamBuilder& ShortMatch(int offset, int length) { return Bits(0, 3).Bits(offset, 7).Bits(length - 2, 2); }
  JcStreamBuilder& LongMatch(std::uint64_t offset, std::uint64_t gamma_length, int offset_bits = 8) {
    return Bits(0b01, 2).Gamma((offset >> offset_bits) + 3).Bits(offset, offset_bits).Gamma(gamma_length);
  }
  JcStreamBuilder& Repeat(std::uint64_t length) { return Bits(0b01, 2).Gamma(2).Gamma(length); }
  JcStreamBuilder& OffsetBits(int length_code, int bits) {
    return Bits(0, 3).Bits(0, 7).Bits(length_code - 2, 2).Bits(bits, length_code + 1);
  }
  JcStreamBuilder& ByteCode(int v) { return Bits(0b001, 3).Bits(v, 4); }
  // Raw blocks of the bytes 0..255, each block's bytes offset by its number.
  JcStreamBuilder& RawBlocks(int blocks) {
    Bits(0b001, 3).Bits(0, 4).Bits(1, 1);
    for (int b = 0; b < blocks; ++b) {
      for (int i = 0; i < 256; ++i) Bits(static_cast<std::uint8_t>(i + b), 8);
      Bits(b + 1 < blocks ? 1 : 0, 1);
    }
    return *this;
  }
  JcStreamBuilder& End() { return Bits(0, 12); }

  // The stream with its header; the bit string is padded to whole words with zeros.
  std::vector<std::uint8_t> Build(std::uint32_t decoded_length = 0, std::uint32_t checksum = 0) const {
    std::vector<std::uint8_t> out = {0x4A, 0x43};
    for (std::uint32_t v : {decoded_length, checksum}) {
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    for (std::size_t word = 0; word * 32 < bits_.size(); ++word) {
      std::uint32_t w = 0;
      for (std::size_t i = 0; i < 32; ++i) {
        const std::size_t at = word * 32 + i;
        w = w << 1 | (at < bits_.size() && bits_[at] ? 1u : 0u);
      }
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(w >> (8 * i)));
    }
    return out;
  }

 private:
  std::vector<bool> bits_;
};

}  // namespace tandrel::test
