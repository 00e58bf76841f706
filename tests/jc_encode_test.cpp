#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "test_support.h"
#include "updater/package.h"
#include "updater/package_writer.h"

namespace tandrel::updater {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Encodes, checks the stream's own header, decodes into a buffer of exactly the content's
// size and returns whether the content came back unchanged.
::testing::AssertionResult RoundTrips(const Bytes& content, JcCodeCounts* counts = nullptr) {
  const Bytes stream = JcEncode(content, counts);
  if (stream.size() < 10 || stream[0] != 0x4A || stream[1] != 0x43) {
    return ::testing::AssertionFailure() << "no JC header";
  }
  Bytes out(content.size(), 0xEE);
  const JcResult result = JcDecode(stream, out);
  if (result.status != JcStatus::kOk || result.written != content.size() || out != content) {
    return ::testing::AssertionFailure() << "size " << content.size() << " status "
                                         << static_cast<int>(result.status) << " written " << result.written;
  }
  if (content.size() >= 4 && JcChecksum(content) != 0 &&
      (stream[6] | stream[7] | stream[8] | stream[9]) == 0) {
    return ::testing::AssertionFailure() << "no checksum stored";
  }
  return ::testing::AssertionSuccess();
}

Bytes RandomBytes(std::mt19937& random, std::size_t size) {
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

// German-looking text in Windows-1252, with repeats near and far.
Bytes Text(std::mt19937& random, std::size_t size) {
  static const char* const kWords[] = {"Suche", "Ordner", "Datei", "Index", "aktualisiert", "f\xFCr",
                                       "\xDC" "bernehmen", "Gr\xF6\xDF" "e", "und", "der", "die", "das"};
  Bytes text;
  while (text.size() < size) {
    const char* word = kWords[random() % std::size(kWords)];
    text.insert(text.end(), word, word + std::strlen(word));
    text.push_back(random() % 9 == 0 ? '\n' : ' ');
  }
  text.resize(size);
  return text;
}

TEST(JcEncode, RoundTripsOverEveryKindOfContentAndEveryCodeKind) {
  std::mt19937 random(4);
  JcCodeCounts counts;
  // Lengths around word and block boundaries, in every kind of content.
  for (std::size_t size : {1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 31u, 32u, 33u, 255u, 256u, 257u, 511u, 513u, 4099u}) {
    EXPECT_TRUE(RoundTrips(RandomBytes(random, size), &counts));
    EXPECT_TRUE(RoundTrips(Text(random, size), &counts));
    EXPECT_TRUE(RoundTrips(Bytes(size, 0), &counts));
    EXPECT_TRUE(RoundTrips(Bytes(size, 'A'), &counts));
  }
  // Mixed content: structure with small numbers, text, noise and far repeats, so that
  // offsets in every bonus range occur.
  Bytes mixed;
  for (int round = 0; round < 40; ++round) {
    const Bytes text = Text(random, 700 + random() % 3000);
    mixed.insert(mixed.end(), text.begin(), text.end());
    for (int i = 0; i < 300; ++i) {
      mixed.push_back(static_cast<std::uint8_t>(i % 7));
      mixed.push_back(0);
      mixed.push_back(static_cast<std::uint8_t>(random() % 4));
    }
    const Bytes noise = RandomBytes(random, random() % 2000);
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    if (mixed.size() > 70000) {
      const std::size_t from = random() % (mixed.size() - 70000);
      mixed.insert(mixed.end(), mixed.begin() + static_cast<std::ptrdiff_t>(from),
                   mixed.begin() + static_cast<std::ptrdiff_t>(from + 500));
    }
  }
  EXPECT_TRUE(RoundTrips(mixed, &counts));
  EXPECT_GT(counts.literals8, 0u);
  EXPECT_GT(counts.literals7, 0u);
  EXPECT_GT(counts.width_changes, 0u);
  EXPECT_GT(counts.offset_bit_changes, 0u);
  EXPECT_GT(counts.short_matches, 0u);
  EXPECT_GT(counts.long_matches, 0u);
  EXPECT_GT(counts.repeats, 0u);
  EXPECT_GT(counts.zero_bytes, 0u);
  EXPECT_GT(counts.byte_copies, 0u);
  EXPECT_GT(counts.raw_blocks, 0u);
}

TEST(JcEncode, RoundTripsTheTestProgramItself) {
  std::string self = test::ReadWholeFile(platform::ProgramPath());
  ASSERT_GT(self.size(), 10000u);
  // Sanitizer builds are large; a slice keeps the test quick while still being real code.
  if (self.size() > (1u << 20)) self.resize(1u << 20);
  const Bytes content(self.begin(), self.end());
  JcCodeCounts counts;
  EXPECT_TRUE(RoundTrips(content, &counts));
  EXPECT_LT(JcEncode(content).size(), content.size() / 2);
}

class PackageWriterTest : public test::ScratchFolder {};

TEST_F(PackageWriterTest, StoresWhatDoesNotShrinkAndReadsBackThroughTheReader) {
  std::mt19937 random(8);
  const std::vector<Bytes> files = {Bytes{}, Bytes{'x'}, RandomBytes(random, 3000), Bytes(5000, 0),
                                    Text(random, 20000)};
  const std::vector<bool> stored = {true, true, true, false, false};
  std::vector<std::uint8_t> package;
  for (const Bytes& f : files) ASSERT_TRUE(AppendPackageEntry(f, package));
  std::size_t at = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    auto word = [&](std::size_t from) {
      return std::uint32_t{package[from]} | std::uint32_t{package[from + 1]} << 8 |
             std::uint32_t{package[from + 2]} << 16 | std::uint32_t{package[from + 3]} << 24;
    };
    EXPECT_EQ(word(at), files[i].size());
    if (stored[i]) {
      EXPECT_EQ(word(at + 4), files[i].size()) << i;
    } else {
      EXPECT_LT(word(at + 4), files[i].size()) << i;
    }
    at += 8 + word(at + 4);
  }
  EXPECT_EQ(at, package.size());

  const std::string path = Path("update.pak");
  ASSERT_TRUE(test::WriteWholeFile(path, std::string(package.begin(), package.end())));
  PackageReader reader;
  ASSERT_TRUE(reader.Open(path));
  for (const Bytes& f : files) {
    const std::uint8_t* entry = reader.Next();
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(Bytes(entry, entry + reader.Size()), f);
  }
  EXPECT_EQ(reader.Next(), nullptr);
  EXPECT_EQ(reader.State(), EntryState::kNone);
}

}  // namespace
}  // namespace tandrel::updater
