// The measured fault matrix: one row per fault, collected while the rows run
// and written as a Markdown table when the run ends.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace pcpos::testing {

struct FaultRow {
  std::string surface;  // "pcpos-cli" or "window"
  std::string fault;
  std::string result;  // result line text, or "(none)"
  std::string colour;  // "green", "red" or ""
  std::string raw;     // raw pane content
  std::chrono::milliseconds time{0};
  std::string log;      // the log file afterwards, as DescribeLog gives it
  std::string process;  // "exit 1", "alive", ...
};

void RecordFaultRow(FaultRow row);

// Writes every recorded row to `path` (and standard output) as a table.
void WriteFaultTable(const std::string& path, std::string_view title);

// Visible form of bytes for a table cell: control and high bytes escaped,
// long texts shortened with their full size given.
std::string Visible(std::string_view bytes, std::size_t keep = 60);

// What is at the log path: "(missing)", "(a folder)", "(empty)" or its bytes.
std::string DescribeLog(const std::string& path);

}  // namespace pcpos::testing
