#include "payment/journal.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <iterator>
#include <thread>

#include "payment/response_log.h"
#include "text/text.h"


namespace pcpos {
namespace {


// Fixed notation with one decimal, whatever the process's locale: a window
// under a Persian or German locale must not write "12,3" into a CSV.
std::string Milliseconds(const std::optional<double>& ms) {
  if (!ms) return {};
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, *ms,
                                          std::chars_format::fixed, 1);
  if (error != std::errc()) return {};
  return std::string(buffer, end);
}


}  // namespace

std::string JournalFilePath(std::string_view folder) {
  return std::string(TrimControl(folder)) + std::string(kJournalFileName);
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string LocalIsoTime(std::chrono::system_clock::time_point when) {
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  long offset_s = 0;
#ifdef _WIN32
  localtime_s(&local, &t);
  std::tm copy = local;
  offset_s = static_cast<long>(_mkgmtime(&copy) - t);
#else
  localtime_r(&t, &local);
  offset_s = local.tm_gmtoff;
#endif
  const long offset_min = std::labs(offset_s) / 60;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                offset_s < 0 ? '-' : '+', offset_min / 60, offset_min % 60);
  return text;
}

std::string JournalRow(const PaymentInputs& inputs, const PaymentReport& report,
                       std::chrono::system_clock::time_point started) {
  const std::string fields[] = {
      LocalIsoTime(started),
      inputs.host,
      inputs.port,
      inputs.amount,
      report.request.value_or(""),
      report.answer,
      report.fields ? report.fields->ResponseCode : "",
      report.result ? report.result->text : "",
      std::string(OutcomeName(report.outcome)),
      Milliseconds(report.timings.connect_ms),
      Milliseconds(report.timings.answer_ms),
      report.error,
  };
  std::string row;
  for (std::size_t i = 0; i < std::size(fields); ++i) {
    if (i > 0) row += ',';
    row += CsvField(fields[i]);
  }
  row += "\r\n";
  return row;
}

std::optional<std::string> JournalPayment(const PaymentInputs& inputs, const PaymentReport& report,
                                          std::chrono::system_clock::time_point started) {
  try {
    AppendJournalRows(JournalFilePath(inputs.log_folder), JournalRow(inputs, report, started));
  } catch (const std::exception& e) {
    return std::string(e.what());
  }
  return std::nullopt;
}

}  // namespace pcpos
