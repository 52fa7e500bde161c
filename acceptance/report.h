// What an acceptance run leaves behind: the client's JSON lines, and the three
// report files written at the end (or on interruption) into the report folder,
// acceptance-YYYYMMDD-HHMMSS.html, .csv and .json. Everything in them shows
// the card number masked (first 6 and last 4 digits).
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "acceptance/payment_json.h"
#include "acceptance/run.h"

namespace pcpos::acceptance {

struct ReportPaths {
  std::string html;
  std::string csv;
  std::string json;
};

// "acceptance-20261209-013005" for the local time of `when`.
std::string ReportBaseName(std::chrono::system_clock::time_point when, const LocalTimeFn& local);

// The three paths in the folder (the log folder rule: an existing folder gets a
// separator, other text has the names appended).
ReportPaths ReportPathsIn(const std::string& folder, std::chrono::system_clock::time_point when,
                          const LocalTimeFn& local = LocalTime);

// One case as the client's --json line has it: id, title, expectation, the
// payment's object (null when it was not run), verdict and reasons.
Json CaseJson(const CaseRecord& record);

// The last line: the run's end, the count per verdict, every check, the ids a
// re-run needs and the report's paths (null when none were written).
Json SummaryJson(const AcceptanceRun& run, const std::optional<ReportPaths>& paths);

// The JSON report: {"cases": [...], "summary": {...}}, the lines as one document.
std::string JsonReport(const AcceptanceRun& run, const ReportPaths& paths);

// The run sheet: a header and a row per case (id, title, expected, outcome,
// response_code, answer_ms, verdict, reasons), each on one physical line, no
// cell a formula, as the journal writes its rows.
std::string CsvRunSheet(const AcceptanceRun& run);

// The signable report: one self-contained HTML page (inline CSS and SVG, no
// script), printable on A4. Every text from the reader or the operator is
// escaped.
std::string HtmlReport(const AcceptanceRun& run);

// Text made safe for HTML content and attribute values.
std::string HtmlEscape(std::string_view text);

// Writes the three files; on failure, the message of the first that could not
// be written (the others are still tried).
std::optional<std::string> WriteReports(const AcceptanceRun& run, const ReportPaths& paths);

}  // namespace pcpos::acceptance
