// A script for the simulated reader: the steps that new connections take in
// turn, read from a JSON file, so a client's test run meets exactly the
// answers it was written for.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "simulator/scenario.h"

namespace pcpos::sim {

struct Script {
  std::vector<Step> steps;
  bool repeat = false;  // after the last step: start again, or leave it to the scenarios
};

// Reads a script's text. On a fault, false and a message naming the step
// (counted from 1) and the key, or the line and column where the text stops
// being JSON.
bool ParseScript(std::string_view text, Script& out, std::string& error);

// The same for a file; the message names the file.
bool LoadScript(const std::string& path, Script& out, std::string& error);

// Shown by --help; the README shows the same.
inline constexpr std::string_view kExampleScript = R"({
  "steps": [
    {"code": "00"},
    {"code": "51", "delay": 2},
    {"action": "reset"},
    {"pieces": [20, 52], "pause": 0.5},
    {"fields": {"TerminalNo": "99999999", "DateTime": "140001011200"}},
    {"raw": "@@ZRM@@0812"}
  ],
  "repeat": true
})";

}  // namespace pcpos::sim
