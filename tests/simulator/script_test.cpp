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

// What a recorded reader needs: bytes that are no text, a pause per piece,
// and what it did after its answer.
TEST(Script, ReadsHexAnswersPausesPerPieceAndTheEnd) {
  Script script;
  std::string error;
  ASSERT_TRUE(ParseScript(R"({"steps": [{"hex": "40ff00", "pieces": [1, 2], "pauses": [0.25, 1],
                                        "end": "reset"}]})",
                          script, error))
      << error;
  const Step& step = script.steps.front();
  EXPECT_EQ(step.raw, std::string("\x40\xff\x00", 3));
  EXPECT_EQ(step.pauses, (std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(250),
                                                                 std::chrono::milliseconds(1000)}));
  EXPECT_EQ(step.after, AfterAnswer::Reset);

  for (const char* wrong :
       {R"({"steps": [{"hex": "4"}]})", R"({"steps": [{"hex": "4g"}]})",
        R"({"steps": [{"hex": "40", "raw": "@"}]})", R"({"steps": [{"pauses": [-1]}]})",
        R"({"steps": [{"end": "hang"}]})"}) {
    EXPECT_FALSE(ParseScript(wrong, script, error)) << wrong;
    EXPECT_NE(error.find("step 1"), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace pcpos::sim
