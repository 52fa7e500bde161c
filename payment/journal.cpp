#include "payment/journal.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <iterator>
#include <thread>
#include <vector>

#include "payment/card_mask.h"
#include "payment/message_format.h"
#include "payment/response_log.h"
#include "text/text.h"

namespace pcpos {
namespace {

// Fixed notation with one decimal, whatever the process's locale: a window
// under a Persian or German locale must not write "12,3" into a CSV.
std::string Milliseconds(const std::optional<double>& ms) {
  if (!ms) return {};
  char buffer[32];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, *ms, std::chars_format::fixed, 1);
  if (error != std::errc()) return {};
  return std::string(buffer, end);
}

// Bytes a line-based tool or a spreadsheet would take for a row's end or a
// cell's structure: control characters, DEL, and the escape's own backslash.
bool NeedsEscape(unsigned char c) { return c < 0x20 || c == 0x7F || c == '\\'; }

// A cell from outside (typed by the operator, or sent by the reader) kept on
// one line, reversibly: each such byte as \xNN with uppercase hex digits.
std::string Escaped(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (!NeedsEscape(byte)) {
      out += c;
      continue;
    }
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
  }
  return out;
}

bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "-5", "+12", "3.25": a number to a spreadsheet, never a formula.
bool IsPlainDecimal(std::string_view text) {
  if (text.starts_with('-') || text.starts_with('+')) text.remove_prefix(1);
  const std::size_t point = text.find('.');
  if (point == std::string_view::npos) return AllDigits(text);
  return AllDigits(text.substr(0, point)) && AllDigits(text.substr(point + 1));
}

// A spreadsheet evaluates a cell that starts with one of these as a formula
// (also after a leading tab or CR, which escaping has already turned into
// "\x09" or "\x0D"). The apostrophe is the spreadsheets' own mark for text; a
// cell that starts with one is marked too, so that a reader of the file can
// always take exactly one off.
bool LooksLikeFormula(std::string_view cell) {
  return !cell.empty() && std::string_view("=+-@'").find(cell.front()) != std::string_view::npos &&
         !IsPlainDecimal(cell);
}

enum class Source { Typed, Wire };

// A cell that came from outside, escaped and then disarmed. The reader's own
// header starts with '@' and is left alone: it is no formula to either
// spreadsheet, and every answer and request would otherwise carry the mark.
std::string OutsideCell(std::string_view text, Source source) {
  std::string cell = Escaped(text);
  if (source == Source::Wire && cell.starts_with(kMessageHeader)) return cell;
  if (LooksLikeFormula(cell)) cell.insert(0, 1, '\'');
  return cell;
}

// The tool's own texts (the result line, the error) are written for people and
// may hold line breaks ("Socket Error # 10054" above "Connection reset by
// peer."): each break becomes " / ", any other control character a space.
std::string OwnText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += " / ";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

// The code only when it decides something: digits, trimmed. A code that is not
// (an attacker's formula among them) stays in the answer cell, escaped.
std::string ReadableCode(const ResponseFields& fields) {
  if (!ReadResponseCode(fields.ResponseCode)) return {};
  return std::string(TrimControl(fields.ResponseCode));
}

// The cell of an answer's field that has a column of its own; empty without an answer.
std::string FieldCell(const std::optional<ResponseFields>& fields, AnswerField field) {
  if (!fields) return {};
  if (field == AnswerField::ResponseCode) return ReadableCode(*fields);
  return OutsideCell(Value(*fields, field), Source::Wire);
}

// The columns around those of the answer's fields (kAnswerFields' journal_column).
constexpr std::array<std::string_view, 6> kLeadingColumns = {"time",   "host",    "port",
                                                             "amount", "request", "answer"};
constexpr std::array<std::string_view, 5> kTrailingColumns = {"result", "outcome", "connect_ms",
                                                              "answer_ms", "error"};

// The header is part of the file's format, so it is written out in full; this
// keeps it naming the columns JournalRow writes, in their order.
constexpr bool HeaderNamesTheColumns() {
  std::string_view rest = kJournalHeader;
  bool first = true;
  const auto take = [&](std::string_view name) {
    if (!first) {
      if (!rest.starts_with(',')) return false;
      rest.remove_prefix(1);
    }
    first = false;
    if (!rest.starts_with(name)) return false;
    rest.remove_prefix(name.size());
    return true;
  };
  for (const std::string_view name : kLeadingColumns) {
    if (!take(name)) return false;
  }
  for (const AnswerFieldInfo& field : kAnswerFields) {
    if (!field.journal_column.empty() && !take(field.journal_column)) return false;
  }
  for (const std::string_view name : kTrailingColumns) {
    if (!take(name)) return false;
  }
  return rest.empty();
}
static_assert(HeaderNamesTheColumns(), "kJournalHeader must name the columns a row holds");

}  // namespace

std::string WireCell(std::string_view bytes) { return OutsideCell(bytes, Source::Wire); }

std::string OwnTextCell(std::string_view text) { return OwnText(text); }

std::string JournalFilePath(std::string_view folder) {
  return LogFolderPrefix(folder) + std::string(kJournalFileName);
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

std::string SafeCsvCell(std::string_view text) {
  return CsvField(OutsideCell(text, Source::Typed));
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
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, offset_s < 0 ? '-' : '+', offset_min / 60, offset_min % 60);
  return text;
}

std::string JournalRow(const PaymentInputs& inputs, const PaymentReport& report,
                       std::chrono::system_clock::time_point started) {
  std::vector<std::string> cells = {
      LocalIsoTime(started),
      OutsideCell(inputs.host, Source::Typed),
      OutsideCell(inputs.port, Source::Typed),
      OutsideCell(inputs.amount, Source::Typed),
      OutsideCell(report.request.value_or(""), Source::Wire),
      OutsideCell(MaskCardInAnswer(report.answer), Source::Wire),
  };
  for (const AnswerFieldInfo& field : kAnswerFields) {
    if (!field.journal_column.empty()) cells.push_back(FieldCell(report.fields, field.field));
  }
  cells.push_back(OwnText(report.result ? report.result->text : ""));
  cells.push_back(std::string(OutcomeName(report.outcome)));
  cells.push_back(Milliseconds(report.timings.connect_ms));
  cells.push_back(Milliseconds(report.timings.answer_ms));
  cells.push_back(OwnText(report.error));
  std::string row;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) row += ',';
    row += CsvField(cells[i]);
  }
  row += "\r\n";
  return row;
}

std::optional<std::string> JournalPayment(const PaymentInputs& inputs, const PaymentReport& report,
                                          std::chrono::system_clock::time_point started) {
  const std::string path = JournalFilePath(inputs.log_folder);
  try {
    AppendJournalRows(path, JournalRow(inputs, report, started));
  } catch (const LogFileError& e) {
    return std::string(e.what());
  } catch (const std::exception& e) {
    // Every message names the file it could not write, as LogFileError's do.
    return std::string(e.what()) + " - " + path;
  }
  return std::nullopt;
}

}  // namespace pcpos
