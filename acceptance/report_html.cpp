// The signable report. One file that any browser opens and prints on A4: no
// script, nothing fetched, the chart drawn in inline SVG. Whatever came from
// the reader or from the suite's author goes through HtmlEscape, so an answer
// holding "<script>" shows those characters and runs nothing.
#include <algorithm>
#include <cstdio>

#include "acceptance/report.h"
#include "acceptance/sha256.h"
#include "payment/card_mask.h"
#include "payment/journal.h"

namespace pcpos::acceptance {
namespace {

constexpr const char* kStyle = R"(
@page { size: A4; margin: 14mm 12mm; }
body { font-family: "DejaVu Sans", "Noto Sans", Tahoma, Arial, sans-serif; font-size: 10pt;
       color: #111; margin: 0 auto; max-width: 190mm; }
h1 { font-size: 16pt; margin: 0 0 4pt; }
h2 { font-size: 12pt; margin: 14pt 0 4pt; border-bottom: 1px solid #999; }
h3 { font-size: 10.5pt; margin: 8pt 0 3pt; }
table { border-collapse: collapse; width: 100%; margin: 2pt 0; }
th, td { border: 1px solid #bbb; padding: 2pt 4pt; text-align: start; vertical-align: top; }
th { background: #eee; }
td.n { text-align: end; white-space: nowrap; }
tr, .case, .sign { break-inside: avoid; page-break-inside: avoid; }
pre { white-space: pre-wrap; word-break: break-all; margin: 0; font-size: 8.5pt;
      font-family: "DejaVu Sans Mono", monospace; }
.passed { color: #006400; font-weight: bold; }
.failed { color: #b00000; font-weight: bold; }
.other { color: #805000; font-weight: bold; }
.info th { width: 32%; }
.sign td { height: 26pt; }
.sign th { width: 32%; }
.note { font-size: 8.5pt; color: #444; }
svg text { font-size: 9px; font-family: "DejaVu Sans", sans-serif; }
)";

std::string Esc(std::string_view text) { return HtmlEscape(text); }

// A cell whose text may be Persian: the browser takes the direction from it.
std::string Cell(std::string_view text) { return "<td dir=\"auto\">" + Esc(text) + "</td>"; }

std::string StateClass(std::string_view state) {
  if (state == "passed") return "passed";
  if (state == "failed") return "failed";
  return "other";
}

std::string Ms(const std::optional<double>& ms) {
  if (!ms) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", *ms);
  return text;
}

// "812 ms" below a second, "3.0 s" above.
std::string AnswerLabel(const std::optional<double>& ms) {
  if (!ms) return "no answer";
  char text[32];
  if (*ms < 1000) {
    std::snprintf(text, sizeof text, "%.0f ms", *ms);
  } else {
    std::snprintf(text, sizeof text, "%.1f s", *ms / 1000);
  }
  return text;
}

std::string Row(std::string_view head, std::string_view value) {
  return "<tr><th>" + Esc(head) + "</th><td dir=\"auto\">" + Esc(value) + "</td></tr>\n";
}

std::string Terminals(const AcceptanceRun& run) {
  std::vector<std::string> seen;
  for (const auto& r : run.Records()) {
    if (!r.report || !r.report->fields) continue;
    const std::string& t = r.report->fields->TerminalNo;
    if (std::find(seen.begin(), seen.end(), t) == seen.end()) seen.push_back(t);
  }
  std::string text;
  for (const auto& t : seen) text += (text.empty() ? "" : ", ") + t;
  return text.empty() ? "-" : text;
}

// Bars of the answer times, one per case that was run, with each case's limit
// as a mark; drawn to the largest of them.
std::string Chart(const AcceptanceRun& run) {
  double top = 0;
  std::size_t rows = 0;
  for (const auto& r : run.Records()) {
    if (!r.report) continue;
    ++rows;
    top = std::max(top, r.report->timings.answer_ms.value_or(0) / 1000);
  }
  if (rows == 0) return "<p>No case was run.</p>\n";
  // Drawn to the slowest answer (at least a second), so that quick answers
  // still show; a limit beyond that is not drawn.
  top = std::max(top * 1.1, 1.0);
  constexpr int kLabel = 150, kWidth = 640, kRow = 18, kBar = 420;
  const int height = static_cast<int>(rows) * kRow + 24;
  char buffer[512];
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" width=\"100%\" " +
                    std::string("viewBox=\"0 0 ") + std::to_string(kWidth) + " " +
                    std::to_string(height) + "\">\n<title>Answer time per case</title>\n";
  int y = 4;
  for (const auto& r : run.Records()) {
    if (!r.report) continue;
    const double s = r.report->timings.answer_ms.value_or(0) / 1000;
    const int w = static_cast<int>(s / top * kBar);
    const char* colour = r.status == CaseStatus::Passed ? "#3a8d3a" : "#c03030";
    std::snprintf(buffer, sizeof buffer,
                  "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"%s\"/>"
                  "<text x=\"%d\" y=\"%d\">%s</text>\n",
                  kLabel, y, std::max(w, 1), kRow - 6, colour, kLabel + std::max(w, 1) + 4,
                  y + kRow - 8, AnswerLabel(r.report->timings.answer_ms).c_str());
    svg += "<text x=\"0\" y=\"" + std::to_string(y + kRow - 8) + "\">" + Esc(r.suite_case.id) +
           "</text>" + buffer;
    if (r.suite_case.expect.max_answer_s && *r.suite_case.expect.max_answer_s <= top) {
      const int x = kLabel + static_cast<int>(*r.suite_case.expect.max_answer_s / top * kBar);
      std::snprintf(buffer, sizeof buffer,
                    "<line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"#333\" "
                    "stroke-dasharray=\"2,2\"/>\n",
                    x, y - 1, x, y + kRow - 5);
      svg += buffer;
    }
    y += kRow;
  }
  std::snprintf(buffer, sizeof buffer,
                "<line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"#000\"/>"
                "<text x=\"%d\" y=\"%d\">0</text><text x=\"%d\" y=\"%d\">%.1f s</text>\n",
                kLabel, y + 2, kLabel + kBar, y + 2, kLabel, y + 14, kLabel + kBar - 20, y + 14,
                top);
  svg += buffer;
  svg +=
      "</svg>\n<p class=\"note\">Bars: seconds from the start of each payment to its answer. "
      "Dashed marks: the case's max_answer_s, where it falls within the scale.</p>\n";
  return svg;
}

std::string CaseDetails(const CaseRecord& r, std::size_t number) {
  std::string html = "<div class=\"case\"><h3>" + std::to_string(number) + ". " +
                     Esc(r.suite_case.id) + " <bdi dir=\"auto\">" + Esc(r.suite_case.title) +
                     "</bdi></h3>\n<table>\n";
  html += Row("prompt", r.suite_case.prompt);
  html += Row("amount", r.suite_case.amount);
  html += Row("verdict", std::string(CaseStatusName(r.status)));
  for (const auto& reason : r.verdict.reasons) html += Row("why", reason);
  if (r.report) {
    const PaymentReport shown = MaskedReport(*r.report);
    html += Row("started", LocalIsoTime(r.started));
    html += Row("answered (PC clock)", LocalIsoTime(r.answered_at));
    html += "<tr><th>request</th><td><pre>" + Esc(shown.request.value_or("(not sent)")) +
            "</pre></td></tr>\n";
    html += "<tr><th>answer</th><td><pre>" +
            Esc(shown.answer.empty() ? std::string("(none)") : shown.answer) + "</pre></td></tr>\n";
    if (shown.fields) {
      for (const AnswerFieldInfo& f : AnswerFields()) {
        html += Row(f.name, Value(*shown.fields, f.field));
      }
    }
    if (shown.result) html += Row("result", shown.result->text);
    if (!shown.error.empty()) html += Row("error", shown.error);
    html += Row("outcome", std::string(OutcomeName(shown.outcome)));
    if (r.journal_error) html += Row("journal error", *r.journal_error);
  }
  html += "</table></div>\n";
  return html;
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\r' && c != '\t') ||
            c == 0x7F) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
          out += hex;
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string HtmlReport(const AcceptanceRun& run) {
  const RunInfo& info = run.info();
  const bool passed = run.Passed();
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src "
      "'unsafe-inline'\">\n<title>Acceptance report: " +
      Esc(run.suite().name) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n";
  html += "<h1>Card reader acceptance report</h1>\n<p dir=\"auto\"><b>" + Esc(run.suite().name) +
          "</b></p>\n<p class=\"" + (passed ? "passed" : "failed") + "\">" +
          (passed ? "PASSED: every case run passed and no check failed"
                  : "FAILED: see the cases and checks below") +
          "</p>\n";

  html += "<table class=\"info\">\n";
  html += Row("tool", info.tool_version);
  html += Row("suite", info.suite_source);
  html += Row("cases", info.selection.empty() ? "all " + std::to_string(run.Count())
                                              : "only " + info.selection);
  html += Row("reader address", info.host + ":" + info.port);
  html += Row("terminal number", Terminals(run));
  html += Row("started", LocalIsoTime(run.StartedAt()));
  html += Row("ended", run.EndedAt() ? LocalIsoTime(*run.EndedAt()) : "-");
  html += Row("run", std::string(RunEndName(run.End())));
  html += "</table>\n";

  html +=
      "<h2>Cases</h2>\n<table>\n<tr><th>#</th><th>case</th><th>title</th><th>expected</th>"
      "<th>seen</th><th>code</th><th>result text</th><th>answer ms</th><th>verdict</th>"
      "<th>why</th></tr>\n";
  std::size_t number = 0;
  for (const auto& r : run.Records()) {
    ++number;
    std::string expected = OutcomeList(r.suite_case.expect.outcomes);
    if (!r.suite_case.expect.response_codes.empty()) {
      std::string codes;
      for (const auto& c : r.suite_case.expect.response_codes)
        codes += (codes.empty() ? "" : ", ") + c;
      expected += " (code " + codes + ")";
    }
    std::string reasons;
    for (const auto& reason : r.verdict.reasons) reasons += (reasons.empty() ? "" : "; ") + reason;
    const std::string status(CaseStatusName(r.status));
    html += "<tr><td class=\"n\">" + std::to_string(number) + "</td>" + Cell(r.suite_case.id) +
            Cell(r.suite_case.title) + Cell(expected) +
            Cell(r.report ? OutcomeName(r.report->outcome) : "-") +
            Cell(r.report && r.report->fields ? r.report->fields->ResponseCode : "-") +
            Cell(r.report && r.report->result ? r.report->result->text : "-") + "<td class=\"n\">" +
            Ms(r.report ? r.report->timings.answer_ms : std::nullopt) + "</td><td class=\"" +
            StateClass(status) + "\">" + Esc(status) + "</td>" + Cell(reasons) + "</tr>\n";
  }
  html += "</table>\n";

  html +=
      "<h2>Checks across the cases</h2>\n<table>\n<tr><th>check</th><th>verdict</th>"
      "<th>details</th></tr>\n";
  for (const auto& c : run.CrossChecks()) {
    const std::string state(CheckStateName(c.state));
    std::string reasons;
    for (const auto& reason : c.reasons) reasons += (reasons.empty() ? "" : "; ") + reason;
    html += "<tr>" + Cell(c.title) + "<td class=\"" + StateClass(state) + "\">" + Esc(state) +
            "</td>" + Cell(reasons) + "</tr>\n";
  }
  html += "</table>\n";

  html += "<h2>Answer times</h2>\n" + Chart(run);

  html +=
      "<h2>Requests and answers</h2>\n<p class=\"note\">As exchanged, except that the card "
      "number shows only its first 6 and last 4 digits.</p>\n";
  number = 0;
  for (const auto& r : run.Records()) html += CaseDetails(r, ++number);

  const std::string rows = run.JournalRows();
  std::size_t row_count = 0;
  for (const auto& r : run.Records()) row_count += r.journal_row.empty() ? 0U : 1U;
  html += "<h2>Journal</h2>\n<table class=\"info\">\n";
  html += Row("journal file", JournalFilePath(info.log_folder));
  html += Row("rows of this run", std::to_string(row_count));
  html += Row("SHA-256 of these rows", Sha256Hex(rows));
  html +=
      "</table>\n<p class=\"note\">The digest is over this run's rows exactly as the journal "
      "holds them (UTF-8, each ending in CR LF), in the order of the cases.</p>\n";

  html +=
      "<h2>Sign-off</h2>\n<table class=\"sign\">\n<tr><th>technician's name</th><td></td></tr>\n"
      "<tr><th>shop</th><td></td></tr>\n<tr><th>date</th><td></td></tr>\n"
      "<tr><th>signature</th><td></td></tr>\n</table>\n</body>\n</html>\n";
  return html;
}

}  // namespace pcpos::acceptance
