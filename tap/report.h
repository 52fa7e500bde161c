// How an exchange is written down: a line of text per exchange and one per
// flag, one JSON object per exchange, one journal row per exchange.
#pragma once

#include <string>
#include <string_view>

#include "tap/exchange.h"

namespace pcpos::tap {

inline constexpr std::string_view kTapJournalFileName = "Selvarin-PcPosTap.csv";
inline constexpr std::string_view kTapJournalHeader =
    "time,ecr,request,request_problem,amount,reader_error,answer,answer_bytes,pieces,"
    "response_code,result,outcome,request_ms,request_out_ms,first_byte_ms,answer_ms,ecr_end,"
    "ecr_end_ms,reader_end,reader_end_ms,flags";

// "green", "red" or "amber", as the client names the outcome's colour.
std::string_view ColourName(Outcome outcome);

// Bytes as text on one line: control characters, DEL, bytes above 127 and the
// backslash as \xNN, so that nothing a reader sends acts on a terminal.
std::string Printable(std::string_view bytes);

// The exchange's line and its flags' lines, each ending in a line feed; with
// `colour`, the outcome in the terminal's colour.
std::string ExchangeText(const Exchange& x, bool colour);

// One JSON object on one line, keys in the order the README lists.
std::string ExchangeJson(const Exchange& x);

// One journal row, CR LF included.
std::string ExchangeRow(const Exchange& x);

}  // namespace pcpos::tap
