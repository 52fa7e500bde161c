// The scripts that ship with the simulator, and the one --help shows, must
// load: a user copies them as they are.
#include "simulator/script.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace pcpos::sim {
namespace {

TEST(Script, ShippedExamplesLoad) {
  std::size_t seen = 0;
  for (const auto& entry : std::filesystem::directory_iterator(PCPOS_SIM_EXAMPLES)) {
    if (entry.path().extension() != ".json") continue;
    ++seen;
    Script script;
    std::string error;
    EXPECT_TRUE(LoadScript(entry.path().string(), script, error)) << error;
    EXPECT_FALSE(script.steps.empty()) << entry.path();
  }
  EXPECT_GE(seen, 2u);

  Script help_example;
  std::string error;
  ASSERT_TRUE(ParseScript(kExampleScript, help_example, error)) << error;
  EXPECT_EQ(help_example.steps.size(), 6u);
  EXPECT_TRUE(help_example.repeat);
}

}  // namespace
}  // namespace pcpos::sim
