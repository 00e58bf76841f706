// String values under keys of the local machine and the user: the real registry on Windows (Wine's
// in the tests), the process-wide stand-in elsewhere.
#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/registry_testing.h"

namespace tandrel {
namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

RegistryKey MachineKey(const char* path) { return RegistryKey(RegistryRoot::kMachine, path); }

constexpr char kTestKey[] = "Software\\Tandrel Tests\\Registry";

TEST(RegistryKeyTest, StringValuesAreSetReplacedReadAndDeleted) {
  RegistryKey key = MachineKey(kTestKey);
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

  RegistryKey moved = std::move(key);
  EXPECT_TRUE(moved.SetString("Nach dem Verschieben", "x"));
  EXPECT_FALSE(key.IsOpen()) << "the moved-from key is closed";
  EXPECT_FALSE(key.SetString("Wert", "x"));
  EXPECT_TRUE(moved.DeleteValue("Nach dem Verschieben"));
}

// The two roots are two registries: a value under one is not under the other.
TEST(RegistryKeyTest, TheUsersKeysAreApartFromTheMachines) {
  ASSERT_TRUE(RegistryKey(RegistryRoot::kUser, kTestKey).SetString("Nur hier", "u"));
  EXPECT_EQ(platform::ReadRegistryString(RegistryRoot::kUser, kTestKey, "Nur hier"), "u");
  EXPECT_EQ(platform::ReadRegistryString(RegistryRoot::kMachine, kTestKey, "Nur hier"), std::nullopt);
  EXPECT_EQ(platform::ReadRegistryString(RegistryRoot::kUser, "Software\\Tandrel Tests\\Nie", "Nur hier"),
            std::nullopt);
  EXPECT_TRUE(RegistryKey(RegistryRoot::kUser, kTestKey).DeleteValue("Nur hier"));
}

#ifndef _WIN32
TEST(RegistryKeyTest, ARefusedKeyDoesNothingButCanBeRead) {
  ASSERT_TRUE(MachineKey(kTestKey).SetString("Bleibt", "1"));
  platform::RefuseRegistryKeys(RegistryRoot::kMachine, true);
  RegistryKey refused = MachineKey(kTestKey);
  EXPECT_FALSE(refused.IsOpen());
  EXPECT_FALSE(refused.SetString("Bleibt", "2"));
  EXPECT_FALSE(refused.DeleteValue("Bleibt"));
  EXPECT_EQ(refused.ReadString("Bleibt"), std::nullopt);
  EXPECT_EQ(platform::ReadRegistryString(RegistryRoot::kMachine, kTestKey, "Bleibt"), "1");
  EXPECT_TRUE(RegistryKey(RegistryRoot::kUser, kTestKey).IsOpen()) << "the other root stays open";
  platform::RefuseRegistryKeys(RegistryRoot::kMachine, false);
  EXPECT_EQ(MachineKey(kTestKey).ReadString("Bleibt"), "1");
  EXPECT_TRUE(MachineKey(kTestKey).DeleteValue("Bleibt"));
}
#endif

}  // namespace
}  // namespace tandrel
