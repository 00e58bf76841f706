// The JcStream encoder. Three passes over the entry:
//  1. a greedy parse with one step of lazy evaluation into literals and matches, scoring
//     each candidate by the bits it saves over literals under the stream's code costs;
//  2. a plan of literal widths: width 7 with a base wherever a stretch of literals fits
//     a 128-value window long enough to pay for the switch, width 8 elsewhere;
//  3. emission, which picks the cheapest code for every token (repeat, short or long
//     match; zero byte or one-byte copy for single bytes; raw blocks for long stretches
//     of width-8 literals) with the offset bit count that suits the entry's matches.
#include <algorithm>
#include <array>
#include <bit>
#include <limits>

#include "updater/jc_format.h"
#include "updater/package.h"
#include "updater/package_writer.h"

namespace tandrel::updater {
namespace {

constexpr int kHashBits = 16;
constexpr std::uint32_t kNoPosition = std::numeric_limits<std::uint32_t>::max();
constexpr int kChainDepth = 48;
constexpr std::size_t kMaxMatch = 1u << 20;
constexpr int kLiteralBits = 9;
constexpr int kNoCode = 1 << 20;  // the cost of a code that cannot express a match
constexpr int kByteCopyReach = 14;
constexpr int kBaseStep = 16;      // width-7 bases tried: 0, 16, ..., 240
constexpr int kWidth8 = 16;        // plan value for width 8; 0..15 are base / kBaseStep
constexpr std::size_t kWidth7Worth = 24;  // literals a width-7 stretch needs to pay off

int GammaBits(std::uint64_t value) { return 2 * (static_cast<int>(std::bit_width(value)) - 1); }

std::uint64_t LongBonus(std::uint64_t offset) {
  if (offset <= 127) return 4;
  if (offset <= 638) return 0;
  if (offset <= 14334) return 1;
  if (offset <= 65535) return 2;
  return 3;
}

int LongCost(std::uint64_t offset, std::uint64_t length, unsigned offset_bits) {
  const std::uint64_t bonus = LongBonus(offset);
  if (length < bonus + 2) return kNoCode;
  return 2 + GammaBits((offset >> offset_bits) + 3) + static_cast<int>(offset_bits) +
         GammaBits(length - bonus);
}

// The cheapest code for copying `length` bytes from `offset` back.
int MatchCost(std::uint64_t offset, std::uint64_t length, std::uint64_t last_offset,
              unsigned offset_bits) {
  if (length < 2) return kNoCode;
  int cost = LongCost(offset, length, offset_bits);
  if (offset == last_offset) cost = std::min(cost, 4 + GammaBits(length));
  if (offset <= 127 && length <= 5) cost = std::min(cost, 12);
  return cost;
}

struct Token {
  std::uint32_t position;
  std::uint32_t length;  // 0 for a literal
  std::uint32_t offset;
};

class MatchFinder {
 public:
  explicit MatchFinder(std::span<const std::uint8_t> data)
      : data_(data), head_(std::size_t{1} << kHashBits, kNoPosition), prev_(data.size(), kNoPosition) {
    head2_.fill(kNoPosition);
  }

  // Registers every position below `end` not yet registered.
  void InsertUpTo(std::size_t end) {
    for (; inserted_ < end; ++inserted_) {
      if (inserted_ + 1 < data_.size()) {
        head2_[Pair(inserted_)] = static_cast<std::uint32_t>(inserted_);
      }
      if (inserted_ + 2 < data_.size()) {
        std::uint32_t& head = head_[Hash(inserted_)];
        prev_[inserted_] = head;
        head = static_cast<std::uint32_t>(inserted_);
      }
    }
  }

  std::size_t MatchLength(std::size_t at, std::size_t offset) const {
    const std::size_t limit = std::min(kMaxMatch, data_.size() - at);
    std::size_t length = 0;
    while (length < limit && data_[at + length] == data_[at + length - offset]) ++length;
    return length;
  }

  struct Best {
    int saved = 0;
    std::uint32_t length = 0;
    std::uint32_t offset = 0;
  };

  // The best match at `at` by bits saved over literals; positions before `at` must be
  // registered and `at` itself not.
  Best Find(std::size_t at, std::uint64_t last_offset, unsigned offset_bits) const {
    Best best;
    auto consider = [&](std::size_t offset, std::size_t length) {
      const int cost = MatchCost(offset, length, last_offset, offset_bits);
      const int saved = static_cast<int>(std::min<std::size_t>(length, 1u << 16)) * kLiteralBits - cost;
      if (cost < kNoCode && saved > best.saved) {
        best = {saved, static_cast<std::uint32_t>(length), static_cast<std::uint32_t>(offset)};
      }
    };
    if (last_offset <= at) consider(last_offset, MatchLength(at, last_offset));
    if (at + 1 < data_.size()) {
      const std::uint32_t near = head2_[Pair(at)];
      if (near != kNoPosition && at - near <= 127) consider(at - near, MatchLength(at, at - near));
    }
    if (at + 2 >= data_.size()) return best;
    std::uint32_t candidate = head_[Hash(at)];
    std::size_t longest = 0;
    for (int depth = 0; depth < kChainDepth && candidate != kNoPosition; ++depth) {
      const std::size_t offset = at - candidate;
      if (data_[candidate + longest] == data_[at + longest] || longest == 0) {
        const std::size_t length = MatchLength(at, offset);
        if (length >= 3) {
          consider(offset, length);
          if (length > longest) longest = length;
          if (at + length == data_.size() || length == kMaxMatch) break;
        }
      }
      candidate = prev_[candidate];
    }
    return best;
  }

 private:
  std::uint32_t Hash(std::size_t at) const {
    const std::uint32_t v = std::uint32_t{data_[at]} << 16 | std::uint32_t{data_[at + 1]} << 8 | data_[at + 2];
    return (v * 2654435761u) >> (32 - kHashBits);
  }
  std::uint32_t Pair(std::size_t at) const { return std::uint32_t{data_[at]} << 8 | data_[at + 1]; }

  std::span<const std::uint8_t> data_;
  std::vector<std::uint32_t> head_;
  std::vector<std::uint32_t> prev_;
  std::array<std::uint32_t, 1u << 16> head2_;
  std::size_t inserted_ = 0;
};

std::vector<Token> Parse(std::span<const std::uint8_t> data, unsigned offset_bits) {
  std::vector<Token> tokens;
  MatchFinder finder(data);
  std::uint64_t last_offset = 1;
  std::size_t at = 0;
  while (at < data.size()) {
    finder.InsertUpTo(at);
    MatchFinder::Best here = finder.Find(at, last_offset, offset_bits);
    if (here.length >= 2 && at + 1 < data.size()) {
      finder.InsertUpTo(at + 1);
      const MatchFinder::Best next = finder.Find(at + 1, last_offset, offset_bits);
      if (next.saved > here.saved + kLiteralBits) here.length = 0;
    }
    if (here.length >= 2) {
      tokens.push_back({static_cast<std::uint32_t>(at), here.length, here.offset});
      last_offset = here.offset;
      at += here.length;
    } else {
      tokens.push_back({static_cast<std::uint32_t>(at), 0, 0});
      ++at;
    }
  }
  return tokens;
}

// Offset bits that make the long matches of `tokens` cheapest; the change code costs
// about 17 bits, so only a clear gain moves away from the starting count.
unsigned ChooseOffsetBits(const std::vector<Token>& tokens) {
  unsigned best_bits = kStartOffsetBits;
  std::int64_t best_cost = std::numeric_limits<std::int64_t>::max();
  for (unsigned bits = 4; bits <= 20; ++bits) {
    std::int64_t cost = bits == kStartOffsetBits ? 0 : 17;
    std::uint64_t last = 1;
    for (const Token& t : tokens) {
      if (t.length == 0) continue;
      cost += std::min(MatchCost(t.offset, t.length, last, bits), kNoCode);
      last = t.offset;
    }
    if (cost < best_cost) {
      best_cost = cost;
      best_bits = bits;
    }
  }
  return best_bits;
}

bool IsByteCode(std::span<const std::uint8_t> data, std::size_t at) {
  if (data[at] == 0) return true;
  for (std::size_t back = 1; back <= kByteCopyReach && back <= at; ++back) {
    if (data[at - back] == data[at]) return true;
  }
  return false;
}

bool FitsMode(std::uint8_t byte, int mode) {
  if (mode == kWidth8) return true;
  return static_cast<std::uint8_t>(byte - mode * kBaseStep) < 128;
}

// One mode per literal of `literals`: greedy, switching to width 7 when a base covers
// enough of the literals ahead, and back to width 8 only when a literal does not fit.
std::vector<std::uint8_t> PlanLiteralModes(const std::vector<std::uint8_t>& literals) {
  std::vector<std::uint8_t> modes(literals.size());
  int mode = kWidth8;
  for (std::size_t i = 0; i < literals.size(); ++i) {
    const bool fits = FitsMode(literals[i], mode);
    if (!fits || (mode == kWidth8 && i % 16 == 0)) {
      int best = kWidth8;
      std::size_t best_cover = 0;
      for (int base = 0; base < kWidth8; ++base) {
        std::size_t cover = 0;
        while (i + cover < literals.size() && cover < 256 && FitsMode(literals[i + cover], base)) ++cover;
        if (cover > best_cover) {
          best_cover = cover;
          best = base;
        }
      }
      if (best_cover >= kWidth7Worth) {
        mode = best;
      } else if (!fits) {
        mode = kWidth8;
      }
    }
    modes[i] = static_cast<std::uint8_t>(mode);
  }
  return modes;
}

class BitWriter {
 public:
  explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

  void Bits(std::uint64_t value, unsigned count) {
    while (count > 0) {
      --count;
      word_ = word_ << 1 | static_cast<std::uint32_t>((value >> count) & 1u);
      if (++filled_ == 32) Flush();
    }
  }
  void Gamma(std::uint64_t value) {
    for (int bit = static_cast<int>(std::bit_width(value)) - 2; bit >= 0; --bit) {
      Bits((value >> bit) & 1u, 1);
      Bits(bit > 0 ? 1 : 0, 1);
    }
  }
  void Finish() {
    if (filled_ == 0) return;
    word_ <<= 32 - filled_;
    Flush();
  }

 private:
  void Flush() {
    std::uint8_t bytes[4];
    StoreLittleEndian32(bytes, word_);
    out_.insert(out_.end(), bytes, bytes + 4);
    word_ = 0;
    filled_ = 0;
  }

  std::vector<std::uint8_t>& out_;
  std::uint32_t word_ = 0;
  unsigned filled_ = 0;
};

class Emitter {
 public:
  Emitter(std::span<const std::uint8_t> data, BitWriter& out, unsigned offset_bits, JcCodeCounts& counts)
      : data_(data), out_(out), offset_bits_(offset_bits), counts_(counts) {}

  void Start(int first_mode) {
    SetMode(first_mode);
    if (offset_bits_ != kStartOffsetBits) {
      const unsigned k = offset_bits_ < 16 ? 1 : offset_bits_ < 32 ? 2 : 3;
      out_.Bits(0, 3);
      out_.Bits(0, 7);
      out_.Bits(k, 2);
      out_.Bits(offset_bits_, k + 3);
      ++counts_.offset_bit_changes;
    }
  }

  void SetMode(int mode) {
    mode_ = mode;
    ++counts_.width_changes;
    out_.Bits(0b001, 3);
    out_.Bits(0, 4);
    out_.Bits(0, 1);
    if (mode == kWidth8) {
      out_.Bits(1, 1);
    } else {
      out_.Bits(0, 1);
      out_.Bits(static_cast<unsigned>(mode * kBaseStep), 8);
    }
  }

  int Mode() const { return mode_; }

  void Literal(std::uint8_t byte) {
    out_.Bits(1, 1);
    if (mode_ == kWidth8) {
      out_.Bits(byte, 8);
      ++counts_.literals8;
    } else {
      ++counts_.literals7;
      out_.Bits(static_cast<std::uint8_t>(byte - mode_ * kBaseStep), 7);
    }
  }

  void ByteCode(std::size_t at) {
    out_.Bits(0b001, 3);
    if (data_[at] == 0) {
      out_.Bits(1, 4);
      ++counts_.zero_bytes;
      return;
    }
    std::size_t back = 1;
    while (data_[at - back] != data_[at]) ++back;
    out_.Bits(back + 1, 4);
    ++counts_.byte_copies;
  }

  void RawBlocks(std::size_t at, std::size_t blocks) {
    out_.Bits(0b001, 3);
    out_.Bits(0, 4);
    out_.Bits(1, 1);
    for (std::size_t b = 0; b < blocks; ++b) {
      for (int i = 0; i < kRawBlockSize; ++i) out_.Bits(data_[at + b * kRawBlockSize + i], 8);
      out_.Bits(b + 1 < blocks ? 1 : 0, 1);
    }
    counts_.raw_blocks += blocks;
  }

  void Match(std::uint64_t offset, std::uint64_t length) {
    const int long_cost = LongCost(offset, length, offset_bits_);
    const int repeat_cost = offset == last_offset_ ? 4 + GammaBits(length) : kNoCode;
    const int short_cost = offset <= 127 && length <= 5 ? 12 : kNoCode;
    if (repeat_cost <= long_cost && repeat_cost <= short_cost) {
      out_.Bits(0b01, 2);
      out_.Gamma(2);
      out_.Gamma(length);
      ++counts_.repeats;
    } else if (short_cost <= long_cost) {
      out_.Bits(0b000, 3);
      out_.Bits(offset, 7);
      out_.Bits(length - 2, 2);
      ++counts_.short_matches;
    } else {
      ++counts_.long_matches;
      out_.Bits(0b01, 2);
      out_.Gamma((offset >> offset_bits_) + 3);
      out_.Bits(offset & ((std::uint64_t{1} << offset_bits_) - 1), offset_bits_);
      out_.Gamma(length - LongBonus(offset));
    }
    last_offset_ = offset;
  }

  void End() { out_.Bits(0, 12); }

 private:
  std::span<const std::uint8_t> data_;
  BitWriter& out_;
  unsigned offset_bits_;
  JcCodeCounts& counts_;
  std::uint64_t last_offset_ = 1;
  int mode_ = kWidth8;
};

}  // namespace

std::vector<std::uint8_t> JcEncode(std::span<const std::uint8_t> content, JcCodeCounts* counts) {
  JcCodeCounts ignored;
  std::vector<Token> tokens = Parse(content, kStartOffsetBits);
  const unsigned offset_bits = ChooseOffsetBits(tokens);

  // Literals that the 7-bit byte codes cannot take, in order, for the width plan.
  std::vector<std::uint8_t> literals;
  for (const Token& t : tokens) {
    if (t.length == 0 && !IsByteCode(content, t.position)) literals.push_back(content[t.position]);
  }
  const std::vector<std::uint8_t> modes = PlanLiteralModes(literals);

  std::vector<std::uint8_t> stream(kJcHeaderSize);
  stream[0] = kJcMagic[0];
  stream[1] = kJcMagic[1];
  StoreLittleEndian32(stream.data() + 2, static_cast<std::uint32_t>(content.size()));
  StoreLittleEndian32(stream.data() + 6, JcChecksum(content));
  BitWriter bits(stream);
  Emitter emit(content, bits, offset_bits, counts != nullptr ? *counts : ignored);
  emit.Start(modes.empty() ? kWidth8 : modes[0]);

  std::size_t literal_index = 0;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (t.length != 0) {
      emit.Match(t.offset, t.length);
      continue;
    }
    // A stretch of literal tokens: raw blocks where the literals would be 8 bits wide.
    std::size_t run = 0;
    while (i + run < tokens.size() && tokens[i + run].length == 0) ++run;
    std::size_t done = 0;
    while (done < run) {
      const std::size_t at = tokens[i + done].position;
      const bool width8_next = literal_index >= modes.size() || modes[literal_index] == kWidth8;
      if (run - done >= kRawBlockSize && width8_next) {
        const std::size_t blocks = (run - done) / kRawBlockSize;
        emit.RawBlocks(at, blocks);
        for (std::size_t k = 0; k < blocks * kRawBlockSize; ++k) {
          if (!IsByteCode(content, at + k)) ++literal_index;
        }
        done += blocks * kRawBlockSize;
        continue;
      }
      if (IsByteCode(content, at)) {
        emit.ByteCode(at);
      } else {
        if (modes[literal_index] != emit.Mode()) emit.SetMode(modes[literal_index]);
        emit.Literal(content[at]);
        ++literal_index;
      }
      ++done;
    }
    i += run - 1;
  }
  emit.End();
  bits.Finish();
  return stream;
}

}  // namespace tandrel::updater
