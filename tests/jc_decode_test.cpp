#include <gtest/gtest.h>

#include <random>

#include "jc_stream_builder.h"
#include "updater/package.h"

namespace tandrel::updater {
namespace {

using test::JcStreamBuilder;
using Bytes = std::vector<std::uint8_t>;

struct Decoded {
  JcResult result;
  Bytes out;
};

// Decodes into a buffer of `size` bytes that sits inside a larger one filled with 0xEE,
// and checks that nothing beyond the first `size` bytes was touched.
Decoded Decode(const Bytes& stream, std::size_t size) {
  Bytes buffer(size + 64, 0xEE);
  const JcResult result = JcDecode(stream, std::span<std::uint8_t>(buffer).first(size));
  for (std::size_t i = size; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xEE) << "byte " << i;
  buffer.resize(size);
  return {result, buffer};
}

std::uint32_t Rotl1(std::uint32_t w) { return w << 1 | w >> 31; }

TEST(JcDecode, LiteralsInBothWidthsAndTheShortChecksum) {
  JcStreamBuilder abc;
  abc.Width8().Literal(0x61, 8).Literal(0x62, 8).Literal(0x63, 8).End();
  Decoded plain = Decode(abc.Build(3, 0), 3);
  EXPECT_EQ(plain.result.status, JcStatus::kOk);
  EXPECT_EQ(plain.result.Length(), 3u);
  EXPECT_EQ(plain.out, (Bytes{0x61, 0x62, 0x63}));
  // Below 4 bytes the content's checksum is 0, so no nonzero stored value can match.
  Decoded summed = Decode(abc.Build(3, 0x12345678), 3);
  EXPECT_EQ(summed.result.status, JcStatus::kChecksumMismatch);
  EXPECT_EQ(summed.result.Length(), 0u);
  EXPECT_EQ(summed.out, (Bytes{0x61, 0x62, 0x63}));

  JcStreamBuilder seven;
  seven.Width7(0x60).Literal(0x18, 7).Literal(0x19, 7).Literal(0x1A, 7).Width8().Literal(0xFF, 8).End();
  EXPECT_EQ(Decode(seven.Build(), 4).out, (Bytes{0x78, 0x79, 0x7A, 0xFF}));
  // Width 7 adds its base modulo 256; each width code brings its own base.
  JcStreamBuilder wrap;
  wrap.Width7(0xF0).Literal(0x20, 7).Bits(0b001, 3).Bits(0, 4).Bits(0, 1).Bits(0, 1).Bits(0, 8).Literal(0x20, 7).End();
  EXPECT_EQ(Decode(wrap.Build(), 2).out, (Bytes{0x10, 0x20}));
  // Before any width code literals are 8 bits wide with base 0.
  JcStreamBuilder none;
  none.Literal(0xC3, 8).End();
  EXPECT_EQ(Decode(none.Build(), 1).out, (Bytes{0xC3}));
}

TEST(JcDecode, ShortMatchesByteCodesAndRepeats) {
  JcStreamBuilder s;
  s.Width8().Literal('x', 8).ShortMatch(1, 5).Literal('a', 8).Literal('b', 8).ByteCode(1).ByteCode(3).Repeat(3).End();
  // "x" then five copies at offset 1; "ab", a zero byte, the byte 2 back ('b'); the
  // repeat keeps offset 1 from the short match, since byte codes leave it alone.
  const Decoded d = Decode(s.Build(), 13);
  EXPECT_EQ(d.result.status, JcStatus::kOk);
  EXPECT_EQ(d.result.written, 13u);
  EXPECT_EQ(d.out, (Bytes{'x', 'x', 'x', 'x', 'x', 'x', 'a', 'b', 0, 'b', 'b', 'b', 'b'}));
  // An end code before the buffer is full leaves the rest as it was.
  JcStreamBuilder early;
  early.Width8().Literal('q', 8).End();
  const Decoded e = Decode(early.Build(), 4);
  EXPECT_EQ(e.result.written, 1u);
  EXPECT_EQ(e.out, (Bytes{'q', 0xEE, 0xEE, 0xEE}));
}

TEST(JcDecode, LongMatchLengthBonusByOffsetRangeAndOffsetBitCount) {
  auto written_after = [](std::uint64_t offset, int offset_bits) {
    JcStreamBuilder s;
    s.RawBlocks(3);
    if (offset_bits != 8) s.OffsetBits(offset_bits < 16 ? 3 : 4, offset_bits);
    s.LongMatch(offset, 2, offset_bits).End();
    const Decoded d = Decode(s.Build(), 1000);
    EXPECT_EQ(d.result.status, JcStatus::kOk) << offset;
    for (std::size_t i = 768; i < d.result.written; ++i) EXPECT_EQ(d.out[i], d.out[i - offset]) << offset;
    return d.result.written - 768;
  };
  EXPECT_EQ(written_after(127, 8), written_after(128, 8) + 4);
  EXPECT_EQ(written_after(639, 8), written_after(638, 8) + 1);
  EXPECT_EQ(written_after(128, 8), 2u);
  EXPECT_EQ(written_after(639, 5), 3u);
  EXPECT_EQ(written_after(700, 12), 3u);

  // An overlapping long match repeats the last `offset` bytes.
  JcStreamBuilder overlap;
  overlap.Width8();
  for (int i = 0; i < 200; ++i) overlap.Literal(static_cast<std::uint32_t>(i), 8);
  overlap.LongMatch(130, 100).End();
  const Decoded d = Decode(overlap.Build(), 300);
  ASSERT_EQ(d.result.written, 300u);
  for (int i = 200; i < 300; ++i) EXPECT_EQ(d.out[i], d.out[i - 130]);
}

TEST(JcDecode, ChecksumOfSixBytesUsesTheWordsAtZeroAndTwo) {
  const Bytes six = {1, 2, 3, 4, 5, 6};
  std::uint32_t s = 0;
  for (std::uint32_t w : {0x04030201u, 0x06050403u}) s = (s + w) ^ (Rotl1(w) + 1);
  EXPECT_EQ(JcChecksum(six), s);
  EXPECT_EQ(JcChecksum(Bytes{1, 2, 3}), 0u);
  JcStreamBuilder stream;
  stream.Width8();
  for (std::uint8_t b : six) stream.Literal(b, 8);
  stream.End();
  EXPECT_EQ(Decode(stream.Build(6, s), 6).result.Length(), 6u);
  EXPECT_EQ(Decode(stream.Build(6, s ^ 1), 6).result.status, JcStatus::kChecksumMismatch);
  // A stored length beyond the output is a mismatch, not a read past it.
  EXPECT_EQ(Decode(stream.Build(60, s), 6).result.status, JcStatus::kChecksumMismatch);
}

TEST(JcDecode, CorruptStreamsAreReportedAndStayInBounds) {
  auto status = [](const JcStreamBuilder& s, std::size_t size) { return Decode(s.Build(), size).result.status; };
  EXPECT_EQ(status(JcStreamBuilder().Width8().OffsetBits(3, 0), 8), JcStatus::kCorrupt);
  EXPECT_EQ(status(JcStreamBuilder().Width8().Literal(1, 8).ShortMatch(2, 2).End(), 8), JcStatus::kCorrupt);
  EXPECT_EQ(status(JcStreamBuilder().Width8().Literal(1, 8).ByteCode(3).End(), 8), JcStatus::kCorrupt);
  EXPECT_EQ(status(JcStreamBuilder().Width8().Repeat(4).End(), 8), JcStatus::kCorrupt);
  EXPECT_EQ(status(JcStreamBuilder().RawBlocks(1).LongMatch(300, 2).End(), 400), JcStatus::kCorrupt);
  EXPECT_EQ(status(JcStreamBuilder().RawBlocks(1).LongMatch(0, 2).End(), 400), JcStatus::kCorrupt);
  // Output full: a fourth literal, a match running past the end, a raw block too many.
  EXPECT_EQ(status(JcStreamBuilder().Width8().Literal(1, 8).Literal(2, 8).Literal(3, 8).Literal(4, 8).End(), 3),
            JcStatus::kCorrupt);
  EXPECT_EQ(status(JcStreamBuilder().Width8().Literal(1, 8).ShortMatch(1, 5).End(), 4), JcStatus::kCorrupt);
  EXPECT_EQ(status(JcStreamBuilder().RawBlocks(2).End(), 300), JcStatus::kCorrupt);
  // No end code: 31 literals after the width code fill exactly two words, then the bits run out.
  JcStreamBuilder endless;
  endless.Width8();
  for (int i = 0; i < 31; ++i) endless.Literal(0x55, 8);
  EXPECT_EQ(status(endless, 64), JcStatus::kCorrupt);
  // A huge gamma number and an offset count of 63 with a large high part.
  JcStreamBuilder huge;
  huge.Width8().Literal(1, 8).Bits(0b01, 2);
  for (int i = 0; i < 40; ++i) huge.Bits(0b11, 2);
  huge.Bits(0, 2).End();
  EXPECT_EQ(status(huge, 8), JcStatus::kCorrupt);
  EXPECT_EQ(status(JcStreamBuilder().Width8().Literal(1, 8).OffsetBits(5, 63).LongMatch(1ull << 40, 2, 63).End(), 8),
            JcStatus::kCorrupt);

  EXPECT_EQ(JcDecode(Bytes{0x4A, 0x44, 0, 0, 0, 0, 0, 0, 0, 0}, {}).status, JcStatus::kNotJcStream);
  EXPECT_EQ(JcDecode(Bytes{0x4A, 0x43, 0}, {}).status, JcStatus::kNotJcStream);
  // A partial trailing word is not read.
  Bytes cut = JcStreamBuilder().Width8().Literal(7, 8).End().Build();
  cut.resize(cut.size() - 1);
  Bytes out(4);
  EXPECT_EQ(JcDecode(cut, out).status, JcStatus::kCorrupt);
}

TEST(JcDecode, RandomlyDamagedStreamsNeverLeaveTheirBuffers) {
  std::mt19937 random(13);
  JcStreamBuilder s;
  s.RawBlocks(2).ShortMatch(5, 4).LongMatch(400, 20).Repeat(9).ByteCode(1).ByteCode(9).Width7(0x20);
  for (int i = 0; i < 50; ++i) s.Literal(static_cast<std::uint32_t>(random() % 128), 7);
  s.End();
  const Bytes good = s.Build();
  int corrupt = 0;
  for (int round = 0; round < 3000; ++round) {
    Bytes bad = good;
    for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips) {
      bad[10 + random() % (bad.size() - 10)] ^= static_cast<std::uint8_t>(1u << (random() % 8));
    }
    bad.resize(bad.size() - random() % 8);
    const std::size_t size = 500 + random() % 400;
    if (Decode(bad, size).result.status == JcStatus::kCorrupt) ++corrupt;
  }
  EXPECT_GT(corrupt, 0);
}

}  // namespace
}  // namespace tandrel::updater
