#include "acceptance/report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "acceptance/sha256.h"
#include "payment/card_mask.h"
#include "payment/journal.h"
#include "payment/response_log.h"

namespace pcpos::acceptance {
namespace {

Json ExpectJson(const Expectation& e) {
  Json outcomes = Json::array();
  for (const Outcome o : e.outcomes) outcomes.push_back(std::string(OutcomeName(o)));
  return {{"outcome", outcomes},
          {"response_code", e.response_codes.empty() ? Json(nullptr) : Json(e.response_codes)},
          {"max_answer_s", e.max_answer_s ? Json(*e.max_answer_s) : Json(nullptr)}};
}

Json CheckJson(const CrossCheck& c) {
  return {{"id", c.id},
          {"title", c.title},
          {"state", std::string(CheckStateName(c.state))},
          {"reasons", c.reasons}};
}

std::optional<std::string> WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (out) out.close();
  if (!out) return path + ": cannot be written: " + std::strerror(errno);
  return std::nullopt;
}

std::string AnswerMs(const CaseRecord& r) {
  if (!r.report || !r.report->timings.answer_ms) return {};
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", *r.report->timings.answer_ms);
  return text;
}

std::string Joined(const std::vector<std::string>& items, const char* separator) {
  std::string text;
  for (const auto& item : items) text += (text.empty() ? "" : separator) + item;
  return text;
}

}  // namespace

std::string ReportBaseName(std::chrono::system_clock::time_point when, const LocalTimeFn& local) {
  const CivilTime t = local(when);
  char name[64];
  std::snprintf(name, sizeof name, "acceptance-%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return name;
}

ReportPaths ReportPathsIn(const std::string& folder, std::chrono::system_clock::time_point when,
                          const LocalTimeFn& local) {
  const std::string base = LogFolderPrefix(folder) + ReportBaseName(when, local);
  return {base + ".html", base + ".csv", base + ".json"};
}

Json CaseJson(const CaseRecord& r) {
  Json j;
  j["id"] = r.suite_case.id;
  j["title"] = r.suite_case.title;
  j["expect"] = ExpectJson(r.suite_case.expect);
  j["payment"] = r.report ? PaymentJson(MaskedReport(*r.report), LogFilePath(r.inputs.log_folder),
                                        r.journal_error)
                          : Json(nullptr);
  j["verdict"] = std::string(CaseStatusName(r.status));
  j["reasons"] = r.verdict.reasons;
  return j;
}

Json SummaryJson(const AcceptanceRun& run, const std::optional<ReportPaths>& paths) {
  int counts[5] = {};
  for (const auto& r : run.Records()) ++counts[static_cast<int>(r.status)];
  Json checks = Json::array();
  for (const auto& c : run.CrossChecks()) checks.push_back(CheckJson(c));
  Json s;
  s["suite"] = run.suite().name;
  s["cases"] = run.Count();
  s["selection"] = run.info().selection.empty() ? Json(nullptr) : Json(run.info().selection);
  s["passed"] = counts[static_cast<int>(CaseStatus::Passed)];
  s["failed"] = counts[static_cast<int>(CaseStatus::Failed)];
  s["skipped"] = counts[static_cast<int>(CaseStatus::Skipped)];
  s["not_run"] =
      counts[static_cast<int>(CaseStatus::NotRun)] + counts[static_cast<int>(CaseStatus::Pending)];
  s["end"] = std::string(RunEndName(run.End()));
  s["interrupted"] = run.End() == RunEnd::Interrupted;
  s["checks"] = checks;
  s["result"] = run.Passed() ? "passed" : "failed";
  s["rerun"] = run.FailedIds();
  s["journal_sha256"] = Sha256Hex(run.JournalRows());
  if (paths) {
    s["report"] = {{"html", paths->html}, {"csv", paths->csv}, {"json", paths->json}};
  } else {
    s["report"] = nullptr;
  }
  return {{"summary", s}};
}

std::string JsonReport(const AcceptanceRun& run, const ReportPaths& paths) {
  Json cases = Json::array();
  for (const auto& r : run.Records()) cases.push_back(CaseJson(r));
  Json document = {{"cases", cases}};
  document["summary"] = SummaryJson(run, paths)["summary"];
  return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string CsvRunSheet(const AcceptanceRun& run) {
  std::string sheet = "id,title,expected,outcome,response_code,answer_ms,verdict,reasons\r\n";
  for (const auto& r : run.Records()) {
    std::string code;
    if (r.report && r.report->fields) code = r.report->fields->ResponseCode;
    const std::string cells[] = {
        SafeCsvCell(r.suite_case.id),
        SafeCsvCell(r.suite_case.title),
        SafeCsvCell(OutcomeList(r.suite_case.expect.outcomes)),
        SafeCsvCell(r.report ? std::string(OutcomeName(r.report->outcome)) : std::string()),
        SafeCsvCell(code),
        SafeCsvCell(AnswerMs(r)),
        SafeCsvCell(CaseStatusName(r.status)),
        SafeCsvCell(Joined(r.verdict.reasons, "; ")),
    };
    for (std::size_t i = 0; i < std::size(cells); ++i) sheet += (i ? "," : "") + cells[i];
    sheet += "\r\n";
  }
  return sheet;
}

std::optional<std::string> WriteReports(const AcceptanceRun& run, const ReportPaths& paths) {
  std::optional<std::string> first;
  for (const auto& [path, bytes] : {std::pair{paths.html, HtmlReport(run)},
                                    std::pair{paths.csv, "\xEF\xBB\xBF" + CsvRunSheet(run)},
                                    std::pair{paths.json, JsonReport(run, paths)}}) {
    if (auto error = WriteFile(path, bytes); error && !first) first = error;
  }
  return first;
}

}  // namespace pcpos::acceptance
