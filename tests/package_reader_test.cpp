#include <gtest/gtest.h>

#include "jc_stream_builder.h"
#include "test_support.h"
#include "updater/package.h"

namespace tandrel::updater {
namespace {

using Bytes = std::vector<std::uint8_t>;

void AppendEntry(std::string& package, std::uint32_t unpacked, const Bytes& data, std::uint32_t packed) {
  for (std::uint32_t v : {unpacked, packed}) {
    for (int i = 0; i < 4; ++i) package.push_back(static_cast<char>(v >> (8 * i)));
  }
  package.append(data.begin(), data.end());
}

void AppendEntry(std::string& package, std::uint32_t unpacked, const Bytes& data) {
  AppendEntry(package, unpacked, data, static_cast<std::uint32_t>(data.size()));
}

Bytes Current(const PackageReader& reader, const std::uint8_t* entry) {
  return Bytes(entry, entry + reader.Size());
}

class PackageReaderTest : public test::ScratchFolder {
 protected:
  std::string Package(const std::string& bytes) {
    const std::string path = Path("update.pak");
    EXPECT_TRUE(test::WriteWholeFile(path, bytes));
    return path;
  }
  PackageReader reader;
};

TEST_F(PackageReaderTest, EmptyMissingAndClosedPackagesGiveNoEntry) {
  EXPECT_EQ(reader.Next(), nullptr);
  EXPECT_EQ(reader.Size(), -1);
  EXPECT_FALSE(reader.Open(Path("missing.pak")));
  ASSERT_TRUE(reader.Open(Package("")));
  EXPECT_EQ(reader.Next(), nullptr);
  EXPECT_EQ(reader.Size(), -1);
  EXPECT_EQ(reader.State(), EntryState::kNone);
  reader.Close();
  reader.Close();
}

TEST_F(PackageReaderTest, StoredAndCompressedEntriesInOrder) {
  std::string bytes;
  AppendEntry(bytes, 8, Bytes{'a', '.', 'e', 'x', 'e', '\r', '\n', 'b'});
  AppendEntry(bytes, 0, Bytes{});
  const Bytes abc = test::JcStreamBuilder().Width8().Literal('a', 8).Literal('b', 8).Literal('c', 8).End().Build();
  AppendEntry(bytes, 3, abc);
  // Not "JC": nothing decoded, handed out zero-filled.
  AppendEntry(bytes, 4, Bytes{'X', 'Y', 'Z'});
  // A checksum that does not match: handed out as decoded, and the state says so.
  AppendEntry(bytes, 3, test::JcStreamBuilder().Width8().Literal('q', 8).End().Build(3, 99));
  ASSERT_TRUE(reader.Open(Package(bytes)));

  const std::uint8_t* entry = reader.Next();
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(reader.State(), EntryState::kStored);
  EXPECT_EQ(Current(reader, entry), (Bytes{'a', '.', 'e', 'x', 'e', '\r', '\n', 'b'}));
  entry = reader.Next();
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(reader.Size(), 0);
  entry = reader.Next();
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(reader.State(), EntryState::kDecoded);
  EXPECT_EQ(Current(reader, entry), (Bytes{'a', 'b', 'c'}));
  entry = reader.Next();
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(reader.State(), EntryState::kNotJcStream);
  EXPECT_EQ(Current(reader, entry), (Bytes{0, 0, 0, 0}));
  entry = reader.Next();
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(reader.State(), EntryState::kChecksumMismatch);
  EXPECT_EQ(Current(reader, entry), (Bytes{'q', 0, 0}));
  EXPECT_EQ(reader.Next(), nullptr);
  EXPECT_EQ(reader.State(), EntryState::kNone);

  // Reopening starts from the first entry again.
  ASSERT_TRUE(reader.Open(Package(bytes)));
  ASSERT_NE(reader.Next(), nullptr);
  EXPECT_EQ(reader.Size(), 8);
  reader.Close();
  EXPECT_EQ(reader.Size(), -1);
  EXPECT_EQ(reader.Next(), nullptr);
}

TEST_F(PackageReaderTest, CutHeadersCutDataLyingSizesAndCorruptStreamsGiveNoEntry) {
  std::string good;
  AppendEntry(good, 2, Bytes{'o', 'k'});
  auto after_good = [&](const std::string& tail) {
    EXPECT_TRUE(reader.Open(Package(good + tail)));
    EXPECT_NE(reader.Next(), nullptr);
    EXPECT_EQ(reader.Next(), nullptr);
    EXPECT_EQ(reader.Size(), -1);
    return reader.State();
  };
  EXPECT_EQ(after_good(std::string("\x05\x00\x00", 3)), EntryState::kCut);
  std::string cut;
  AppendEntry(cut, 5, Bytes{'a', 'b'}, 5);
  EXPECT_EQ(after_good(cut), EntryState::kCut);
  std::string lying;
  AppendEntry(lying, 0xFFFFFFF0u, Bytes{'a', 'b'}, 0xFFFFFFF0u);
  EXPECT_EQ(after_good(lying), EntryState::kTooLarge);
  std::string lying_unpacked;
  AppendEntry(lying_unpacked, kMaxEntrySize + 1, Bytes{'J', 'C'});
  EXPECT_EQ(after_good(lying_unpacked), EntryState::kTooLarge);
  // Within the limit but beyond the file: found out when the data runs short.
  std::string beyond;
  AppendEntry(beyond, kMaxEntrySize, Bytes{'a'}, kMaxEntrySize);
  EXPECT_EQ(after_good(beyond), EntryState::kCut);
  std::string corrupt;
  AppendEntry(corrupt, 2, test::JcStreamBuilder().Width8().Literal(1, 8).ShortMatch(3, 2).End().Build());
  EXPECT_EQ(after_good(corrupt), EntryState::kCorrupt);
}

}  // namespace
}  // namespace tandrel::updater
