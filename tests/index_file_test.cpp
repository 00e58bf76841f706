#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "index/index.h"
#include "test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tandrel::index {
namespace {

using platform::File;
using platform::OpenMode;

class IndexFileTest : public test::ScratchFolder {
 protected:
  void WriteRecords(const std::string& path, const std::vector<IndexEntry>& records) {
    File file(path, OpenMode::kCreate);
    ASSERT_TRUE(file.IsOpen());
    for (const IndexEntry& r : records) ASSERT_TRUE(WriteIndexRecord(file, r.name, r.folder, r.kind));
    ASSERT_TRUE(file.Close());
  }
  std::shared_ptr<const IndexTable> Load(std::string_view bytes) {
    const std::string path = Path("db.db");
    EXPECT_TRUE(test::WriteWholeFile(path, bytes));
    return ReadIndexFile(path);
  }
};

void ExpectEntry(const IndexTable& table, std::int32_t i, std::string_view name,
                 std::string_view folder, std::int8_t kind) {
  EXPECT_EQ(table.Name(i), name) << "entry " << i;
  EXPECT_EQ(table.Folder(i), folder) << "entry " << i;
  EXPECT_EQ(table.Kind(i), kind) << "entry " << i;
}

TEST_F(IndexFileTest, RecordIsNameCrLfFolderCrLfKind) {
  const std::string path = Path("one.db");
  WriteRecords(path, {{"Brief.txt", "C:\\Daten\\Post", kEntryFile}, {"", "", kEntryFolder}});
  const std::string bytes = test::ReadWholeFile(path);
  EXPECT_EQ(bytes, std::string("Brief.txt\r\nC:\\Daten\\Post\r\n\x00\r\n\r\n\x01", 32));
  EXPECT_EQ(bytes.size(), 27u + 5u);
}

TEST_F(IndexFileTest, RecordsComeBackByteForByte) {
  const std::string path = Path("db.db");
  WriteRecords(path, {{"Brief.txt", "C:\\Daten\\Post", kEntryFile},
                      {"Post", "C:\\Daten", kEntryFolder},
                      {"\xC4rger \xFC\xDF.doc", "D:\\Gr\xFC\xDF" "e", kEntryFile}});
  const auto table = ReadIndexFile(path);
  ASSERT_TRUE(table);
  ASSERT_EQ(table->EntryCount(), 3);
  ExpectEntry(*table, 0, "Brief.txt", "C:\\Daten\\Post", kEntryFile);
  ExpectEntry(*table, 1, "Post", "C:\\Daten", kEntryFolder);
  ExpectEntry(*table, 2, "\xC4rger \xFC\xDF.doc", "D:\\Gr\xFC\xDF" "e", kEntryFile);
}

TEST_F(IndexFileTest, EmptyFileGivesNoEntriesAndMissingFileNoTable) {
  const auto empty = Load("");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->EntryCount(), 0);
  EXPECT_FALSE(ReadIndexFile(Path("missing.db")));
}

TEST_F(IndexFileTest, EmptyNameAndTruncatedRecords) {
  const auto empty_name = Load(std::string("\r\nC:\r\n\x01", 7));
  ASSERT_EQ(empty_name->EntryCount(), 1);
  ExpectEntry(*empty_name, 0, "", "C:", kEntryFolder);

  const auto cut_after_name = Load(std::string("a.txt\r\nX\r\n\x00" "b.txt\r\n", 18));
  ASSERT_EQ(cut_after_name->EntryCount(), 2);
  ExpectEntry(*cut_after_name, 1, "b.txt", "", kEntryFile);

  const auto cut_inside_folder = Load("name\r\nC:\\Da");
  ASSERT_EQ(cut_inside_folder->EntryCount(), 1);
  ExpectEntry(*cut_inside_folder, 0, "name", "C:\\Da", kEntryFile);

  const auto cut_before_kind = Load("n\r\nf\r\n");
  ASSERT_EQ(cut_before_kind->EntryCount(), 1);
  ExpectEntry(*cut_before_kind, 0, "n", "f", kEntryFile);
}

TEST_F(IndexFileTest, KindByteIsReadRawEvenWhenItLooksLikeALineEnd) {
  // The kind is a byte, not a line: a stray 0x0D there is the kind, and the next record
  // starts right after it.
  const auto table = Load(std::string("a\r\nf\r\n\x0D" "b\r\ng\r\n\x01", 14));
  ASSERT_EQ(table->EntryCount(), 2);
  ExpectEntry(*table, 0, "a", "f", 0x0D);
  ExpectEntry(*table, 1, "b", "g", kEntryFolder);
}

TEST_F(IndexFileTest, ManyRecordsSharingFoldersMatchWhatWasWritten) {
  // Enough records to cross many read buffers and to grow the folder set several times,
  // with folders revisited out of order as they are after the first-letter regrouping.
  std::mt19937 random(7);
  std::vector<std::string> folders;
  for (int f = 0; f < 3000; ++f) {
    // Full paths as a real disk has them, from a user's profile down.
    std::string folder = "C:\\Users\\Anna\\Dokumente";
    for (auto depth = random() % 6; depth-- > 0;) {
      folder += "\\d" + std::to_string(random() % 50) + "\xE9";
    }
    folders.push_back(folder);
  }
  folders.push_back("");
  std::vector<IndexEntry> records;
  for (int i = 0; i < 60000; ++i) {
    std::string name(random() % 40, 'x');
    for (char& c : name) c = static_cast<char>(0x20 + random() % 0xDF);
    records.push_back({name, folders[random() % folders.size()],
                       static_cast<std::int8_t>(random() % 2)});
  }
  const std::string path = Path("big.db");
  WriteRecords(path, records);
  const auto table = ReadIndexFile(path);
  ASSERT_TRUE(table);
  ASSERT_EQ(table->EntryCount(), static_cast<std::int32_t>(records.size()));
  for (std::int32_t i = 0; i < table->EntryCount(); ++i) {
    ASSERT_EQ(table->Name(i), records[i].name) << i;
    ASSERT_EQ(table->Folder(i), records[i].folder) << i;
    ASSERT_EQ(table->Kind(i), records[i].kind) << i;
  }
  EXPECT_LE(table->DistinctFolderCount(), static_cast<std::int32_t>(folders.size()));
  // Each folder is held once, so the table (folded names included) stays below the file.
  EXPECT_LT(table->MemoryBytes(), test::ReadWholeFile(path).size());
}

TEST_F(IndexFileTest, LoadAgreesWithTheRecordReaderWhereverTheReadsSplitTheFile) {
  // A first record of about 64 KiB moves every kind of line end (CR LF, lone CR, LF,
  // NUL), a kind byte that looks like one, a repeated folder and a cut-off last record
  // across the point where one read of the load ends, and past it the first record no
  // longer fits one read.
  const std::string tail("ab\r\xE4q\r\n\x0D" "\n\0\x01" "x\r\nC:\\F\r\n\x00" "y\xFC\r\nC:\\F\r\n\x01" "zz\r", 35);
  std::set<std::string> folders;
  for (std::size_t first = 65536 - tail.size() - 4; first <= 65536 + 4; ++first) {
    const std::string bytes = std::string(first - 5, 'n') + "\r\nC:\\F\r\n" + '\x01' + tail;
    const auto table = Load(bytes);
    ASSERT_TRUE(table);
    File file(Path("db.db"), OpenMode::kRead);
    IndexEntry expected;
    folders.clear();
    std::int32_t i = 0;
    for (; !file.AtEnd(); ++i) {
      ReadIndexRecord(file, expected);
      folders.insert(expected.folder);
      ASSERT_LT(i, table->EntryCount()) << first;
      ExpectEntry(*table, i, expected.name, expected.folder, expected.kind);
      std::string folded = expected.name;
      for (char& c : folded) c = static_cast<char>(FoldNameByte(static_cast<std::uint8_t>(c)));
      EXPECT_EQ(table->FoldedName(i), folded) << first;
    }
    EXPECT_EQ(table->EntryCount(), i) << first;
    EXPECT_EQ(table->DistinctFolderCount(), static_cast<std::int32_t>(folders.size())) << first;
  }
}

#ifndef _WIN32
// The load reads a pipe that the test fills in steps, so that it waits for its bytes as
// a load from a slow disk does, for as long as the test decides.
TEST_F(IndexFileTest, HookRunsWhileALoadWaitsForItsDiskButNotPerRecord) {
  const std::string pipe = Path("slow.db");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const std::string some_path = Path("some.db");
  WriteRecords(some_path, std::vector<IndexEntry>(256, IndexEntry{"name.txt", "C:\\x", kEntryFile}));
  const std::string some = test::ReadWholeFile(some_path);
  constexpr int kTailParts = 100;
  std::atomic<int> calls{0};
  std::string failure;
  platform::Thread disk;
  ASSERT_TRUE(disk.Start([&](const platform::StopToken&) {
    int fd = -1;
    // A pipe opens for writing only once the load has opened it for reading.
    if (!test::WaitUntil([&] { return (fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK)) >= 0; })) {
      failure = "the load never opened the file";
      return;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    auto send = [fd](const std::string& bytes) {
      for (std::size_t at = 0; at < bytes.size();) {
        const ssize_t put = ::write(fd, bytes.data() + at, bytes.size() - at);
        if (put <= 0) return;
        at += static_cast<std::size_t>(put);
      }
    };
    send(some);
    // Taken in by the load, which looked at its clock before; then a stall far longer
    // than the few milliseconds the hook waits for.
    auto unread = [fd] {
      int bytes = -1;
      return ::ioctl(fd, FIONREAD, &bytes) == 0 ? bytes : -1;
    };
    if (!test::WaitUntil([&] { return unread() == 0; })) failure = "the load took nothing in";
    const std::uint32_t stalled = platform::TickCount();
    test::WaitUntil([&] { return platform::TickCount() - stalled >= 50; });
    send(some);
    if (!test::WaitUntil([&] { return calls.load() > 0; })) {
      failure = "the hook did not run while the load waited for its disk";
    }
    std::string tail;
    for (int i = 0; i < kTailParts; ++i) tail += some;
    send(tail);
    ::close(fd);
  }));
  const auto table = ReadIndexFile(pipe, [&] { calls.fetch_add(1); });
  disk.Wait();
  EXPECT_EQ(failure, "");
  ASSERT_TRUE(table);
  const std::int32_t records = 256 * (2 + kTailParts);
  EXPECT_EQ(table->EntryCount(), records);
  EXPECT_LT(calls.load(), records / 100) << "the hook must not run per record";
}
#endif

class LoadIndexTest : public test::ScratchCurrentFolder {
 protected:
  // A snapshot still being written would otherwise land in the next current folder.
  void TearDown() override {
    WaitForIndexSnapshotWrite();
    ScratchCurrentFolder::TearDown();
  }
  static void WriteDb(int records) {
    File file(kIndexFileName, OpenMode::kCreate);
    for (int i = 0; i < records; ++i) WriteIndexRecord(file, "n" + std::to_string(i), "F", kEntryFile);
  }
};

TEST_F(LoadIndexTest, ReloadsReplaceTheTableAndItsCount) {
  WriteDb(100000);
  LoadIndex();
  EXPECT_EQ(IndexEntryCount(), 100000);
  const auto big = CurrentIndexTable();

  WriteDb(5);
  LoadIndex();
  EXPECT_EQ(IndexEntryCount(), 5);
  EXPECT_EQ(CurrentIndexTable()->Name(4), "n4");
  EXPECT_EQ(big->EntryCount(), 100000) << "a held snapshot stays complete";
  EXPECT_EQ(big->Name(99999), "n99999");

  WriteDb(0);
  LoadIndex();
  EXPECT_EQ(IndexEntryCount(), 0);

  // The snapshot writer reads db.db's identity after a load; Windows refuses to delete a
  // file that is open.
  WaitForIndexSnapshotWrite();
  ASSERT_TRUE(platform::RemoveFile(kIndexFileName));
  WriteDb(3);
  LoadIndex();
  WaitForIndexSnapshotWrite();
  ASSERT_TRUE(platform::RemoveFile(kIndexFileName));
  LoadIndex();
  EXPECT_EQ(IndexEntryCount(), 3) << "a missing file leaves the table as it was";
}

TEST_F(LoadIndexTest, ReadersAlwaysSeeACompleteTableWhileReloadsPublish) {
  // Run under ThreadSanitizer too: readers scan snapshots while the loader swaps tables.
  std::atomic<long> scans{0};
  std::vector<platform::Thread> readers(2);
  for (platform::Thread& reader : readers) {
    ASSERT_TRUE(reader.Start([&](const platform::StopToken& stop) {
      while (!stop.StopRequested()) {
        const auto table = CurrentIndexTable();
        const std::int32_t n = table->EntryCount();
        for (std::int32_t i = 0; i < n; ++i) {
          if (table->Name(i) != "n" + std::to_string(i) && n > 1) {
            ADD_FAILURE() << "entry " << i << " of " << n;
            return;
          }
        }
        scans.fetch_add(1);
      }
    }));
  }
  for (int round = 0; round < 20; ++round) {
    WriteDb(round % 2 == 0 ? 2000 : 7);
    LoadIndex();
  }
  EXPECT_TRUE(test::WaitUntil([&] { return scans.load() >= 10; })) << "the readers got stuck";
  for (platform::Thread& reader : readers) reader.RequestStop();
  for (platform::Thread& reader : readers) reader.Wait();
}

}  // namespace
}  // namespace tandrel::index
