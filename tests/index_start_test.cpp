// The table of a fresh process, before anything was published: this program holds no
// other test that could publish one first.
#include <gtest/gtest.h>

#include "index/index.h"
#include "test_support.h"

namespace tandrel::index {
namespace {

class IndexAtStartTest : public test::ScratchFolder {};

TEST_F(IndexAtStartTest, OneEmptyEntryAndCountOneSurviveAMissingIndexFile) {
  ASSERT_TRUE(platform::SetCurrentFolder(Root()));
  LoadIndex();  // no db.db here
  const auto table = CurrentIndexTable();
  ASSERT_EQ(IndexEntryCount(), 1);
  ASSERT_EQ(table->EntryCount(), 1);
  EXPECT_EQ(table->Name(0), "");
  EXPECT_EQ(table->Folder(0), "");
  EXPECT_EQ(table->Kind(0), kEntryFile);
  ASSERT_TRUE(platform::SetCurrentFolder(platform::TemporaryFolder()));
}

}  // namespace
}  // namespace tandrel::index
