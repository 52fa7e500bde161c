#include "tap/report.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstdio>

#include "payment/answer_fields.h"
#include "payment/journal.h"
#include "text/text.h"

namespace pcpos::tap {
namespace {

using Json = nlohmann::ordered_json;

Json JsonMs(const std::optional<double>& ms) {
  if (!ms) return nullptr;
  return std::round(*ms * 1000) / 1000;
}

std::string CellMs(const std::optional<double>& ms) {
  if (!ms) return {};
  char buffer[32];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, *ms, std::chars_format::fixed, 1);
  if (error != std::errc()) return {};
  return std::string(buffer, end);
}

std::string TextMs(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", ms);
  return text;
}

std::string FlagList(const Exchange& x) {
  std::string list;
  for (const auto& note : x.flags) {
    if (!list.empty()) list += ' ';
    list += FlagName(note.flag);
  }
  return list;
}

// The pieces as "84" or "40+44 after 300.2 ms": sizes, and the pauses between.
std::string PiecesText(const Exchange& x) {
  std::string text;
  for (std::size_t i = 0; i < x.pieces.size(); ++i) {
    if (i > 0) text += " +" + TextMs(x.pieces[i].after_ms) + " ";
    text += std::to_string(x.pieces[i].bytes);
  }
  if (x.piece_count > x.pieces.size()) {
    text += " (+" + std::to_string(x.piece_count - x.pieces.size()) + " more pieces)";
  }
  return text;
}

const char* AnsiColour(Outcome outcome) {
  switch (outcome) {
    case Outcome::Approved:
      return "\x1b[32m";
    case Outcome::Declined:
    case Outcome::NotSent:
      return "\x1b[31m";
    case Outcome::Unknown:
      break;
  }
  return "\x1b[33m";
}

}  // namespace

std::string_view ColourName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Approved:
      return "green";
    case Outcome::Declined:
    case Outcome::NotSent:
      return "red";
    case Outcome::Unknown:
      break;
  }
  return "amber";
}

std::string Printable(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      out += c;
      continue;
    }
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
  }
  return out;
}

std::string ExchangeText(const Exchange& x, bool colour) {
  std::string line = LocalIsoTime(x.started) + " " + x.ecr;
  if (!x.amount.empty()) line += " amount " + Printable(x.amount);
  if (!x.request_problem.empty()) line += " request: " + x.request_problem + ";";
  line += " -> ";
  const std::string outcome(OutcomeName(x.outcome));
  line += colour ? AnsiColour(x.outcome) + outcome + "\x1b[0m" : outcome;
  if (x.fields) {
    line += " code " + Printable(x.fields->ResponseCode);
    if (!x.fields->CardNo.empty()) line += " card " + Printable(x.fields->CardNo);
  }
  if (x.result) line += " \"" + OwnTextCell(x.result->text) + "\"";
  if (!x.reader_error.empty()) line += " reader unreachable: " + OwnTextCell(x.reader_error);
  if (x.piece_count > 0) {
    line += " answer " + std::to_string(x.answer_bytes) + " bytes (" + PiecesText(x) + ")";
  }
  if (x.timings.request_out_ms && x.timings.answer_ms) {
    line += " after " + TextMs(*x.timings.answer_ms - *x.timings.request_out_ms);
  }
  if (x.reader_left_first || x.ecr_end != Ending::Open) {
    line += "; " + std::string(x.reader_left_first ? "reader " : "ECR ") +
            std::string(EndingName(x.reader_left_first ? x.reader_end : x.ecr_end)) + " first";
  }
  line += "\n";
  for (const auto& note : x.flags) {
    line += "  ! " + std::string(FlagName(note.flag)) + ": " + note.detail + "\n";
  }
  return line;
}

std::string ExchangeJson(const Exchange& x) {
  Json j;
  j["time"] = LocalIsoTime(x.started);
  j["ecr"] = x.ecr;
  j["request"] = Printable(x.request);
  j["request_problem"] = x.request_problem.empty() ? Json(nullptr) : Json(x.request_problem);
  j["amount"] = x.amount.empty() ? Json(nullptr) : Json(Printable(x.amount));
  j["reader_error"] = x.reader_error.empty() ? Json(nullptr) : Json(x.reader_error);
  j["answer"] = x.answer_bytes == 0 ? Json(nullptr) : Json(Printable(x.answer));
  j["answer_bytes"] = x.answer_bytes;
  j["pieces"] = Json::array();
  for (const auto& piece : x.pieces) {
    j["pieces"].push_back({{"bytes", piece.bytes}, {"after_ms", JsonMs(piece.after_ms)}});
  }
  j["piece_count"] = x.piece_count;
  if (x.fields) {
    j["fields"] = Json::object();
    // The client's names, in the client's order.
    for (const auto& info : kAnswerFields) {
      j["fields"][std::string(info.name)] = Printable((*x.fields).*info.member);
    }
  } else {
    j["fields"] = nullptr;
  }
  if (x.result) {
    j["result"] = {{"text", x.result->text}, {"colour", std::string(ColourName(x.outcome))}};
  } else {
    j["result"] = nullptr;
  }
  j["outcome"] = std::string(OutcomeName(x.outcome));
  const auto& t = x.timings;
  j["timings"] = {{"reader_connected_ms", JsonMs(t.reader_connected_ms)},
                  {"request_in_ms", JsonMs(t.request_in_ms)},
                  {"request_out_ms", JsonMs(t.request_out_ms)},
                  {"first_byte_ms", JsonMs(t.first_byte_ms)},
                  {"answer_ms", JsonMs(t.answer_ms)},
                  {"ecr_closed_ms", JsonMs(t.ecr_closed_ms)},
                  {"reader_closed_ms", JsonMs(t.reader_closed_ms)}};
  j["ecr_end"] = std::string(EndingName(x.ecr_end));
  j["reader_end"] = std::string(EndingName(x.reader_end));
  j["flags"] = Json::array();
  for (const auto& note : x.flags) {
    j["flags"].push_back({{"flag", std::string(FlagName(note.flag))}, {"detail", note.detail}});
  }
  return j.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string ExchangeRow(const Exchange& x) {
  std::string code;
  if (x.fields && ReadResponseCode(x.fields->ResponseCode)) {
    code = std::string(TrimControl(x.fields->ResponseCode));
  }
  std::string pieces;
  for (std::size_t i = 0; i < x.pieces.size(); ++i) {
    if (i > 0) pieces += ' ';
    pieces += std::to_string(x.pieces[i].bytes) + "@" + CellMs(x.pieces[i].after_ms);
  }
  const std::string cells[] = {
      LocalIsoTime(x.started),
      WireCell(x.ecr),
      WireCell(x.request),
      OwnTextCell(x.request_problem),
      WireCell(x.amount),
      OwnTextCell(x.reader_error),
      WireCell(x.answer),
      std::to_string(x.answer_bytes),
      pieces,
      code,
      OwnTextCell(x.result ? x.result->text : ""),
      std::string(OutcomeName(x.outcome)),
      CellMs(x.timings.request_in_ms),
      CellMs(x.timings.request_out_ms),
      CellMs(x.timings.first_byte_ms),
      CellMs(x.timings.answer_ms),
      std::string(EndingName(x.ecr_end)),
      CellMs(x.timings.ecr_closed_ms),
      std::string(EndingName(x.reader_end)),
      CellMs(x.timings.reader_closed_ms),
      FlagList(x),
  };
  std::string row;
  for (std::size_t i = 0; i < std::size(cells); ++i) {
    if (i > 0) row += ',';
    row += CsvField(cells[i]);
  }
  row += "\r\n";
  return row;
}

}  // namespace pcpos::tap
