// The JcStream decoder. Every code is checked before it touches the output: a copy must
// start inside what was already written and end inside the output, and the bit reader
// refuses to go past the last whole word of the stream. Any such breach ends decoding
// with kCorrupt.
#include <cstring>

#include "updater/jc_format.h"
#include "updater/package.h"

namespace tandrel::updater {
namespace {

// Gamma values above this cannot describe a length or offset inside kMaxEntrySize;
// stopping there keeps every sum below in 64 bits.
constexpr std::uint64_t kGammaLimit = std::uint64_t{1} << 32;

class BitReader {
 public:
  explicit BitReader(std::span<const std::uint8_t> words) : words_(words) {}

  bool Failed() const { return failed_; }

  std::uint32_t Bit() {
    if (left_ == 0) {
      if (next_ + 4 > words_.size()) {
        failed_ = true;
        return 0;
      }
      word_ = LoadLittleEndian32(words_.data() + next_);
      next_ += 4;
      left_ = 32;
    }
    --left_;
    return (word_ >> left_) & 1u;
  }

  std::uint64_t Bits(unsigned count) {
    std::uint64_t value = 0;
    for (unsigned i = 0; i < count; ++i) value = value * 2 + Bit();
    return value;
  }

  // 0 stands for a value too large to be meaningful; callers treat it as corrupt.
  std::uint64_t Gamma() {
    std::uint64_t value = 1;
    do {
      value = value * 2 + Bit();
      if (value >= kGammaLimit || failed_) return 0;
    } while (Bit() != 0);
    return value;
  }

 private:
  std::span<const std::uint8_t> words_;
  std::size_t next_ = 0;
  std::uint32_t word_ = 0;
  unsigned left_ = 0;
  bool failed_ = false;
};

class Output {
 public:
  explicit Output(std::span<std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t Written() const { return pos_; }

  bool Put(std::uint8_t byte) {
    if (pos_ == bytes_.size()) return false;
    bytes_[pos_++] = byte;
    return true;
  }

  // Copies forward byte by byte in effect, so an overlapping copy repeats the last
  // `offset` bytes.
  bool Copy(std::uint64_t offset, std::uint64_t length) {
    if (offset == 0 || offset > pos_ || length > bytes_.size() - pos_) return false;
    std::uint8_t* to = bytes_.data() + pos_;
    const std::uint8_t* from = to - offset;
    if (offset >= length) {
      std::memcpy(to, from, static_cast<std::size_t>(length));
    } else {
      for (std::uint64_t i = 0; i < length; ++i) to[i] = from[i];
    }
    pos_ += static_cast<std::size_t>(length);
    return true;
  }

 private:
  std::span<std::uint8_t> bytes_;
  std::size_t pos_ = 0;
};

std::uint64_t LongMatchBonus(std::uint64_t offset) {
  if (offset <= 127) return 4;
  if (offset <= 638) return 0;
  if (offset <= 14334) return 1;
  if (offset <= 65535) return 2;
  return 3;
}

struct DecoderState {
  std::uint64_t last_offset = 1;
  unsigned offset_bits = kStartOffsetBits;
  unsigned literal_width = 8;
  std::uint8_t literal_base = 0;
};

enum class Step { kGoOn, kEnd, kCorrupt };

Step LongMatch(BitReader& in, Output& out, DecoderState& state) {
  const std::uint64_t g = in.Gamma();
  if (g == 0) return Step::kCorrupt;
  if (g == 2) {
    const std::uint64_t length = in.Gamma();
    if (length == 0 || !out.Copy(state.last_offset, length)) return Step::kCorrupt;
    return Step::kGoOn;
  }
  const std::uint64_t high = g - 3;
  // An offset of 2^32 or more lies before the start of any output this reader allows.
  if (high != 0 && state.offset_bits >= 32) return Step::kCorrupt;
  const std::uint64_t offset = (high << state.offset_bits) | in.Bits(state.offset_bits);
  state.last_offset = offset;
  const std::uint64_t length = in.Gamma();
  if (length == 0 || !out.Copy(offset, length + LongMatchBonus(offset))) return Step::kCorrupt;
  return Step::kGoOn;
}

Step ShortMatchOrControl(BitReader& in, Output& out, DecoderState& state) {
  const std::uint64_t offset = in.Bits(7);
  const std::uint64_t length = in.Bits(2) + 2;
  if (offset > 0) {
    state.last_offset = offset;
    return out.Copy(offset, length) ? Step::kGoOn : Step::kCorrupt;
  }
  if (length == 2) return Step::kEnd;
  const auto bits = static_cast<unsigned>(in.Bits(static_cast<unsigned>(length) + 1));
  if (bits == 0) return Step::kCorrupt;
  state.offset_bits = bits;
  return Step::kGoOn;
}

Step ByteCodes(BitReader& in, Output& out, DecoderState& state) {
  const std::uint64_t v = in.Bits(4);
  if (v == 1) return out.Put(0) ? Step::kGoOn : Step::kCorrupt;
  if (v >= 2) return out.Copy(v - 1, 1) ? Step::kGoOn : Step::kCorrupt;
  if (in.Bit() == 0) {
    state.literal_width = 7 + in.Bit();
    state.literal_base = 0;
    if (state.literal_width == 7) state.literal_base = static_cast<std::uint8_t>(in.Bits(8));
    return Step::kGoOn;
  }
  do {
    for (int i = 0; i < kRawBlockSize; ++i) {
      if (!out.Put(static_cast<std::uint8_t>(in.Bits(8)))) return Step::kCorrupt;
    }
  } while (in.Bit() != 0 && !in.Failed());
  return Step::kGoOn;
}

Step DecodeOne(BitReader& in, Output& out, DecoderState& state) {
  if (in.Bit() != 0) {
    const auto value = static_cast<std::uint32_t>(in.Bits(state.literal_width));
    return out.Put(static_cast<std::uint8_t>(value + state.literal_base)) ? Step::kGoOn
                                                                           : Step::kCorrupt;
  }
  if (in.Bit() != 0) return LongMatch(in, out, state);
  if (in.Bit() == 0) return ShortMatchOrControl(in, out, state);
  return ByteCodes(in, out, state);
}

}  // namespace

std::uint32_t JcChecksum(std::span<const std::uint8_t> data) {
  if (data.size() < 4) return 0;
  std::uint32_t sum = 0;
  auto add = [&sum](const std::uint8_t* at) {
    const std::uint32_t w = LoadLittleEndian32(at);
    sum = (sum + w) ^ (((w << 1) | (w >> 31)) + 1u);
  };
  std::size_t at = 0;
  for (; at + 4 <= data.size(); at += 4) add(data.data() + at);
  if (at < data.size()) add(data.data() + data.size() - 4);
  return sum;
}

JcResult JcDecode(std::span<const std::uint8_t> stream, std::span<std::uint8_t> output) {
  if (stream.size() < kJcHeaderSize || stream[0] != kJcMagic[0] || stream[1] != kJcMagic[1]) {
    return {JcStatus::kNotJcStream, 0};
  }
  const std::uint32_t decoded_length = LoadLittleEndian32(stream.data() + 2);
  const std::uint32_t stored_checksum = LoadLittleEndian32(stream.data() + 6);
  BitReader in(stream.subspan(kJcHeaderSize));
  Output out(output);
  DecoderState state;
  Step step = Step::kGoOn;
  while (step == Step::kGoOn) {
    step = DecodeOne(in, out, state);
    if (in.Failed()) step = Step::kCorrupt;
  }
  if (step == Step::kCorrupt) return {JcStatus::kCorrupt, out.Written()};
  if (stored_checksum == 0) return {JcStatus::kOk, out.Written()};
  // A stored length beyond the output cannot be summed; it cannot match either.
  if (decoded_length > output.size() ||
      JcChecksum(output.first(decoded_length)) != stored_checksum) {
    return {JcStatus::kChecksumMismatch, out.Written()};
  }
  return {JcStatus::kOk, out.Written()};
}

}  // namespace tandrel::updater
