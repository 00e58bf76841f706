#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"

namespace tandrel {
namespace {

using platform::File;
using platform::OpenMode;
using test::ReadWholeFile;
using test::WriteWholeFile;

class FileTest : public test::ScratchFolder {};

std::vector<std::string> AllLines(File& file) {
  std::vector<std::string> lines;
  std::string line;
  while (!file.AtEnd()) {
    file.ReadLine(line);
    lines.push_back(line);
  }
  return lines;
}

TEST_F(FileTest, LineEndsAreCrLfCrLfNulAndEndOfFile) {
  const std::string path = Path("lines.txt");
  ASSERT_TRUE(WriteWholeFile(path, std::string("a\r\nb\rc\nd\0e\r\r\nf", 15)));
  for (std::size_t buffer : {std::size_t{16}, File::kDefaultBufferSize}) {
    File file(path, OpenMode::kRead, buffer);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(AllLines(file), (std::vector<std::string>{"a", "b", "c", "d", "e", "", "f"}));
  }
}

TEST_F(FileTest, LoneCrLeavesTheNextByteUnread) {
  const std::string path = Path("cr.bin");
  ASSERT_TRUE(WriteWholeFile(path, std::string("ab\r\x01xy\r", 7)));
  File file(path, OpenMode::kRead);
  std::string line;
  file.ReadLine(line);
  EXPECT_EQ(line, "ab");
  EXPECT_EQ(file.ReadByte(), 1);
  file.ReadLine(line);
  EXPECT_EQ(line, "xy");
  EXPECT_TRUE(file.AtEnd());
}

TEST_F(FileTest, PastTheEndLinesAreEmptyAndBytesZero) {
  const std::string path = Path("short.bin");
  ASSERT_TRUE(WriteWholeFile(path, "\xF0"));
  File file(path, OpenMode::kRead);
  EXPECT_FALSE(file.AtEnd());
  EXPECT_FALSE(file.AtEnd()) << "the end test must not consume";
  EXPECT_EQ(file.ReadByte(), -16) << "bytes read as signed 8-bit values";
  EXPECT_TRUE(file.AtEnd());
  EXPECT_EQ(file.ReadByte(), 0);
  std::string line = "stale";
  file.ReadLine(line);
  EXPECT_EQ(line, "");
}

TEST_F(FileTest, CrLfSplitAcrossBufferRefillsIsOneLineEnd) {
  // With a 16-byte buffer the CR is the buffer's last byte and the LF the next one's first.
  const std::string path = Path("split.txt");
  ASSERT_TRUE(WriteWholeFile(path, std::string(15, 'x') + "\r\nnext\r\n"));
  File file(path, OpenMode::kRead, 16);
  EXPECT_EQ(AllLines(file), (std::vector<std::string>{std::string(15, 'x'), "next"}));
}

TEST_F(FileTest, LinesLongerThanTheBufferComeBackWhole) {
  const std::string path = Path("long.txt");
  std::string long_line;
  for (int i = 0; i < 20000; ++i) long_line += static_cast<char>('A' + i % 26);
  ASSERT_TRUE(WriteWholeFile(path, long_line + "\r\n\xE4\xF6\xFC"));
  File file(path, OpenMode::kRead);
  EXPECT_EQ(AllLines(file), (std::vector<std::string>{long_line, "\xE4\xF6\xFC"}));
}

TEST_F(FileTest, LineViewsSurviveOneReadByteAtEveryBufferBoundary) {
  // Every alignment of a record against a 16-byte buffer: the line end, the LF of a
  // CR LF, or the byte after the line can each be the buffer's last byte.
  for (std::size_t shift = 0; shift < 40; ++shift) {
    const std::string path = Path("views.bin");
    const std::string folder = "C:" + std::string(shift % 7, 'x');  // fits in the buffer
    // The tail is long enough that a refill overwrites the whole buffer.
    const std::string tail(40, 'q');
    ASSERT_TRUE(WriteWholeFile(path, std::string(shift, 'p') + "\nname\r\n" + folder + "\r\n\x01z" + tail));
    File file(path, OpenMode::kRead, 16);
    std::string spill;
    EXPECT_EQ(file.ReadLineView(spill), std::string(shift, 'p'));
    EXPECT_EQ(file.ReadLineView(spill), "name");
    const std::string_view folder_view = file.ReadLineView(spill);
    const std::int8_t kind = file.ReadByte();
    EXPECT_EQ(folder_view, folder) << "shift " << shift;
    EXPECT_EQ(kind, 1) << "shift " << shift;
    EXPECT_EQ(file.ReadByte(), 'z');
    EXPECT_EQ(file.ReadLineView(spill), tail);
    EXPECT_TRUE(file.AtEnd());
  }
}

TEST_F(FileTest, OpenModesCreateKeepOrEmpty) {
  const std::string path = Path("modes.bin");
  EXPECT_FALSE(File(path, OpenMode::kRead).IsOpen()) << "reading needs an existing file";

  {
    File created(path, OpenMode::kReadWrite);
    ASSERT_TRUE(created.IsOpen());
    EXPECT_TRUE(created.AtEnd());
    created.Write("hello");
  }
  EXPECT_EQ(ReadWholeFile(path), "hello");
  {
    File kept(path, OpenMode::kReadWrite);
    kept.Write("J");
  }
  EXPECT_EQ(ReadWholeFile(path), "Jello") << "read-write keeps the bytes it does not write";
  {
    File emptied(path, OpenMode::kCreate);
    ASSERT_TRUE(emptied.IsOpen());
    EXPECT_TRUE(emptied.AtEnd());
  }
  EXPECT_EQ(ReadWholeFile(path), "");
}

TEST_F(FileTest, ReadersShareAFileAndAFolderIsNoFile) {
  const std::string path = Path("shared.bin");
  ASSERT_TRUE(WriteWholeFile(path, "abc"));
  File first(path, OpenMode::kRead);
  File second(path, OpenMode::kRead);
  EXPECT_TRUE(first.IsOpen());
  EXPECT_TRUE(second.IsOpen());
  EXPECT_FALSE(File(Root(), OpenMode::kRead).IsOpen());
}

TEST_F(FileTest, AnImageReadOrMappedHoldsTheWholeFileAsItWasWhenOpened) {
  const std::string path = Path("image.bin");
  std::string bytes(70000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 256);
  ASSERT_TRUE(WriteWholeFile(path, bytes));
  ASSERT_TRUE(WriteWholeFile(Path("empty.bin"), ""));
  for (const bool map : {false, true}) {
    SCOPED_TRACE(map ? "mapped" : "read");
    const auto open = [map](const std::string& p) {
      return map ? platform::FileImage::Map(p) : platform::FileImage::Open(p);
    };
    auto image = open(path);
    ASSERT_TRUE(image);
    image->Fetch(4000, 100000);  // past the end: clipped
    EXPECT_EQ(std::string(image->Data(), image->Size()), bytes);
    const auto empty = open(Path("empty.bin"));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->Size(), 0u);
    EXPECT_FALSE(open(Path("missing.bin")));
    EXPECT_FALSE(open(Root()));
#ifndef _WIN32
    // Renamed over while held: the image keeps the file it was opened on.
    ASSERT_TRUE(WriteWholeFile(Path("newer.bin"), "newer"));
    ASSERT_TRUE(platform::ReplaceFileWhenFree(Path("newer.bin"), path));
    EXPECT_EQ(std::string(image->Data(), image->Size()), bytes);
    ASSERT_TRUE(WriteWholeFile(path, bytes));
#endif
  }
}

TEST_F(FileTest, WritingAfterReadingContinuesWhereTheReaderStood) {
  const std::string path = Path("mixed.bin");
  ASSERT_TRUE(WriteWholeFile(path, "0123456789"));
  File file(path, OpenMode::kReadWrite);
  EXPECT_EQ(file.ReadByte(), '0');
  EXPECT_EQ(file.ReadByte(), '1');
  file.Write("ab");
  EXPECT_EQ(file.ReadByte(), '4') << "a read after a write goes on behind the written bytes";
  EXPECT_TRUE(file.Close());
  EXPECT_EQ(ReadWholeFile(path), "01ab456789");
}

TEST_F(FileTest, SeekRewindsABucketForReadingBack) {
  // The indexing run writes a bucket, then reads it back from its start.
  const std::string path = Path("bucket.db");
  File file(path, OpenMode::kCreate);
  std::string big(10000, 'z');
  file.Write("first\r\n");
  file.Write(big);
  EXPECT_TRUE(file.Seek(0));
  std::string line;
  file.ReadLine(line);
  EXPECT_EQ(line, "first");
  file.ReadLine(line);
  EXPECT_EQ(line, big);
  EXPECT_TRUE(file.AtEnd());
  EXPECT_TRUE(file.Seek(2));
  file.ReadLine(line);
  EXPECT_EQ(line, "rst");
}

TEST_F(FileTest, MovedFileKeepsItsPendingWrites) {
  const std::string path = Path("moved.bin");
  File target;
  {
    File source(path, OpenMode::kCreate);
    source.Write("pending");
    target = std::move(source);
    EXPECT_FALSE(source.IsOpen());  // NOLINT(bugprone-use-after-move): moved-from state
  }
  EXPECT_TRUE(target.Close());
  EXPECT_EQ(ReadWholeFile(path), "pending");
}

TEST_F(FileTest, RemoveCopyAndCreateFolder) {
  const std::string a = Path("a.txt");
  const std::string b = Path("b.txt");
  ASSERT_TRUE(WriteWholeFile(a, "new contents"));
  ASSERT_TRUE(WriteWholeFile(b, "old, longer contents to be replaced"));
  EXPECT_TRUE(platform::CopyFileReplacing(a, b));
  EXPECT_EQ(ReadWholeFile(b), "new contents");
  EXPECT_FALSE(platform::CopyFileReplacing(Path("missing"), b));
  EXPECT_EQ(ReadWholeFile(b), "new contents");

  EXPECT_TRUE(platform::RemoveFile(a));
  EXPECT_FALSE(test::FileExists(a));
  EXPECT_FALSE(platform::RemoveFile(a)) << "removing a missing file reports failure";

  const std::string sub = Path("sub");
  EXPECT_TRUE(platform::CreateFolder(sub));
  EXPECT_FALSE(platform::CreateFolder(sub)) << "the folder exists already";
  EXPECT_TRUE(WriteWholeFile(sub + platform::kPathSeparator + "inside.txt", "x"));
}

}  // namespace
}  // namespace tandrel
