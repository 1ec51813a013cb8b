// The settings store on its own: values survive a close and a new store, other values stay,
// and what is not a number reads as absent.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/SettingsStore.hpp"
#include "tests/app/TestSettingsLocation.hpp"

namespace quillorn::test {
namespace {

class SettingsStore : public ::testing::Test {
 protected:
  ~SettingsStore() override { RemoveSettingsLocation(location); }
  std::string location = FreshSettingsLocation();
};

TEST_F(SettingsStore, ValuesSurviveANewStore) {
  auto store = CreateUserSettingsStore(location);
  ASSERT_TRUE(store->Open());
  EXPECT_FALSE(store->ReadValue("Baud").has_value());
  EXPECT_TRUE(store->WriteValue("Baud", 57600));
  EXPECT_TRUE(store->WriteValue("COM", 4294967295u));
  EXPECT_TRUE(store->Close());
  auto again = CreateUserSettingsStore(location);
  ASSERT_TRUE(again->Open());
  EXPECT_EQ(again->ReadValue("Baud"), 57600u);
  EXPECT_EQ(again->ReadValue("COM"), 4294967295u);
  EXPECT_TRUE(again->WriteValue("Baud", 9600));
  EXPECT_TRUE(again->Close());
  ASSERT_TRUE(store->Open());
  EXPECT_EQ(store->ReadValue("Baud"), 9600u);
  EXPECT_EQ(store->ReadValue("COM"), 4294967295u);
  store->Close();
}

TEST_F(SettingsStore, TextValuesReadAsAbsent) {
  WriteTextValue(location, "Baud", "57600x");
  auto store = CreateUserSettingsStore(location);
  ASSERT_TRUE(store->Open());
  EXPECT_FALSE(store->ReadValue("Baud").has_value());
  store->Close();
}

TEST_F(SettingsStore, UnusablePlaceFailsQuietly) {
  auto store = CreateUserSettingsStore(UnusableSettingsLocation());
  EXPECT_FALSE(store->Open());
  EXPECT_FALSE(store->ReadValue("Baud").has_value());
  EXPECT_FALSE(store->WriteValue("Baud", 1));
  EXPECT_TRUE(store->PortOverrides().empty());
}

#ifndef _WIN32
std::string Contents(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST_F(SettingsStore, FileKeepsForeignLinesAndGivesPortOverrides) {
  {
    auto store = CreateUserSettingsStore(location);
    ASSERT_TRUE(store->Open());
    store->Close();
  }
  std::ofstream(location) << "# the bench\nPort7=/tmp/ttyECU\nBaud=19200\nPort300=/dev/null\nPortX=/dev/null\n";
  auto store = CreateUserSettingsStore(location);
  const auto overrides = store->PortOverrides();
  ASSERT_EQ(overrides.size(), 1u);
  EXPECT_EQ(overrides.at(7), "/tmp/ttyECU");
  ASSERT_TRUE(store->Open());
  EXPECT_EQ(store->ReadValue("Baud"), 19200u);
  store->WriteValue("Baud", 38400);
  store->WriteValue("ECU", 1);
  ASSERT_TRUE(store->Close());
  EXPECT_EQ(Contents(location), "# the bench\nPort7=/tmp/ttyECU\nBaud=38400\nPort300=/dev/null\nPortX=/dev/null\nECU=1\n");
}

TEST(SettingsStoreLocation, FollowsXdgConfigHome) {
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string keep = saved != nullptr ? saved : "";
  setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
  EXPECT_EQ(DefaultSettingsLocation(), "/somewhere/config/Orvik/Quillorn.conf");
  setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
  const char* home = std::getenv("HOME");
  if (home != nullptr) {
    EXPECT_EQ(DefaultSettingsLocation(), std::string(home) + "/.config/Orvik/Quillorn.conf");
  }
  if (saved != nullptr) {
    setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
}
#endif

}  // namespace
}  // namespace quillorn::test
