#include "tests/faults/fault_report.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <vector>

namespace pcpos::testing {
namespace {

std::mutex rows_mutex;
std::vector<FaultRow>& Rows() {
  static std::vector<FaultRow> rows;
  return rows;
}

// A table cell must not contain a bar or a line break.
std::string Cell(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '|') {
      out += "\\|";
    } else {
      out += c;
    }
  }
  return out.empty() ? " " : out;
}

}  // namespace

void RecordFaultRow(FaultRow row) {
  std::lock_guard lock(rows_mutex);
  Rows().push_back(std::move(row));
}

std::string Visible(std::string_view bytes, std::size_t keep) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  const std::size_t shown = std::min(bytes.size(), keep);
  for (std::size_t i = 0; i < shown; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == 0) {
      out += "\\0";
    } else if (c < 32 || c == 127) {
      out += std::string("\\x") + kHex[c >> 4] + kHex[c & 15];
    } else {
      out += static_cast<char>(c);  // UTF-8 text (the result lines) stays readable
    }
  }
  if (shown < bytes.size()) out += "… (" + std::to_string(bytes.size()) + " bytes)";
  return out;
}

std::string DescribeLog(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::symlink_status(path, ec);
  if (ec || status.type() == std::filesystem::file_type::not_found) return "(missing)";
  if (status.type() == std::filesystem::file_type::directory) return "(a folder)";
  std::ifstream in(path, std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return "(unreadable)";
    // GCC 12 at -O3 inlines `const char* + std::string&&` into a memcpy whose
    // size it cannot bound and reports a false -Wrestrict (GCC bug 105329).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
  return content.empty() ? "(empty)" : "\"" + Visible(content, 40) + "\"";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
}

void WriteFaultTable(const std::string& path, std::string_view title) {
  std::lock_guard lock(rows_mutex);
  std::ostringstream table;
  table << "## " << title << "\n\n"
        << "| Surface | Fault | Result line | Raw pane | Time | Log file afterwards | Process |\n"
        << "|---|---|---|---|---:|---|---|\n";
  for (const FaultRow& r : Rows()) {
    const std::string result = r.colour.empty() ? r.result : r.result + " (" + r.colour + ")";
    table << "| " << Cell(r.surface) << " | " << Cell(r.fault) << " | " << Cell(Visible(result, 80))
          << " | " << Cell(Visible(r.raw, 50)) << " | " << r.time.count() << " ms | " << Cell(r.log)
          << " | " << Cell(r.process) << " |\n";
  }
  std::cout << table.str() << std::flush;
  std::ofstream(path, std::ios::binary) << table.str();
}

}  // namespace pcpos::testing
