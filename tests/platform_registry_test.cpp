// String values under a key of the local machine: the real registry on Windows (Wine's
// in the tests), the process-wide stand-in elsewhere.
#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/registry_testing.h"

namespace tandrel {
namespace {

using platform::MachineKey;

constexpr char kTestKey[] = "Software\\Tandrel Tests\\Registry";

TEST(MachineKeyTest, StringValuesAreSetReplacedReadAndDeleted) {
  MachineKey key(kTestKey);
  ASSERT_TRUE(key.IsOpen()) << "created when missing";
  const std::string path = "C:\\Program Files\\Tandrel \xC4rger\\Vexoran.exe";
  ASSERT_TRUE(key.SetString("Wert", path));
  EXPECT_EQ(key.ReadString("Wert"), path);
  EXPECT_EQ(MachineKey(kTestKey).ReadString("Wert"), path) << "another handle sees it";
  EXPECT_TRUE(key.SetString("Wert", ""));
  EXPECT_EQ(key.ReadString("Wert"), "") << "an empty text is a value too";
  EXPECT_TRUE(key.DeleteValue("Wert"));
  EXPECT_EQ(key.ReadString("Wert"), std::nullopt);
  EXPECT_TRUE(key.DeleteValue("Wert")) << "a missing value counts as deleted";
  EXPECT_EQ(key.ReadString("Nie gesetzt"), std::nullopt);

  MachineKey moved = std::move(key);
  EXPECT_TRUE(moved.SetString("Nach dem Verschieben", "x"));
  EXPECT_FALSE(key.IsOpen()) << "the moved-from key is closed";
  EXPECT_FALSE(key.SetString("Wert", "x"));
  EXPECT_TRUE(moved.DeleteValue("Nach dem Verschieben"));
}

#ifndef _WIN32
TEST(MachineKeyTest, ARefusedKeyDoesNothing) {
  MachineKey(kTestKey).SetString("Bleibt", "1");
  platform::RefuseMachineKeys(true);
  MachineKey refused(kTestKey);
  EXPECT_FALSE(refused.IsOpen());
  EXPECT_FALSE(refused.SetString("Bleibt", "2"));
  EXPECT_FALSE(refused.DeleteValue("Bleibt"));
  EXPECT_EQ(refused.ReadString("Bleibt"), std::nullopt);
  platform::RefuseMachineKeys(false);
  EXPECT_EQ(MachineKey(kTestKey).ReadString("Bleibt"), "1");
  MachineKey(kTestKey).DeleteValue("Bleibt");
}
#endif

}  // namespace
}  // namespace tandrel
