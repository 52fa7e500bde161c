// The answer's fields as data: one row per value shown from an answer, with its
// name, the window's caption for it, and how it is read from the answer's
// received fields. The parser, the screen, both windows, the command-line
// client and the journal all read this table; a new field is a row here (and,
// where a window draws it, its place in screen/layout.cpp).
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pcpos {

// The eleven values shown from an answer. All stay text, so leading zeros survive.
struct ResponseFields {
  std::string TerminalNo;
  std::string STAN;
  std::string RRN;
  std::string BatchNo;
  std::string ResponseType;
  std::string ResponseCode;
  std::string CardNo;
  std::string BIN;
  std::string PAN;
  std::string TransactionDate;
  std::string TransactionTime;

  bool operator==(const ResponseFields&) const = default;
};

// In the order a payment writes them to the window (and the client prints them).
enum class AnswerField {
  TerminalNo,
  STAN,
  RRN,
  BatchNo,
  ResponseType,
  ResponseCode,
  CardNo,
  PAN,
  BIN,
  TransactionDate,
  TransactionTime,
};

// How a shown value is made from the received one it comes from.
using Derivation = std::string (*)(std::string_view received);

// The derivations of the rows below; a received value shorter than they expect
// gives shorter pieces, never an error.
namespace derive {
std::string FirstSix(std::string_view card_no);        // BIN
std::string FromThirteenth(std::string_view card_no);  // PAN: its last four when masked to 16
std::string DateOfStamp(std::string_view stamp);       // "139812051230" -> "1398/12/05"
std::string TimeOfStamp(std::string_view stamp);       // "139812051230" -> "12:30"
}  // namespace derive

struct AnswerFieldInfo {
  AnswerField field;
  std::string_view name;     // "TerminalNo": the client's label and JSON key
  std::string_view caption;  // the window's label for it: "TerminalNo: "
  std::size_t received;      // the received field it is read from, 0-based in wire order
  Derivation derive;         // nullptr: the received value as it came
  std::string ResponseFields::*member;
  std::string_view journal_column;  // its own column in the journal; empty for none
};

// The answer's received fields, in wire order: seven values shown as they come,
// then the transaction's date and time, shown only through its derivations.
inline constexpr std::array<std::string_view, 8> kReceivedFieldNames = {
    "TerminalNo",   "STAN",         "RRN",    "BatchNo",
    "ResponseType", "ResponseCode", "CardNo", "TransactionDateTime",
};
inline constexpr std::size_t kReceivedFieldCount = kReceivedFieldNames.size();

inline constexpr std::array<AnswerFieldInfo, 11> kAnswerFields = {{
    {AnswerField::TerminalNo, "TerminalNo", "TerminalNo: ", 0, nullptr, &ResponseFields::TerminalNo,
     ""},
    {AnswerField::STAN, "STAN", "STAN (Trace No):", 1, nullptr, &ResponseFields::STAN, ""},
    {AnswerField::RRN, "RRN", "RRN:", 2, nullptr, &ResponseFields::RRN, ""},
    {AnswerField::BatchNo, "BatchNo", "BatchNo", 3, nullptr, &ResponseFields::BatchNo, ""},
    {AnswerField::ResponseType, "ResponseType", "ResponseType:", 4, nullptr,
     &ResponseFields::ResponseType, ""},
    {AnswerField::ResponseCode, "ResponseCode", "ResponseCode:", 5, nullptr,
     &ResponseFields::ResponseCode, "response_code"},
    {AnswerField::CardNo, "CardNo", "Card No:", 6, nullptr, &ResponseFields::CardNo, ""},
    {AnswerField::PAN, "PAN", "PAN: ", 6, &derive::FromThirteenth, &ResponseFields::PAN, ""},
    {AnswerField::BIN, "BIN", "BIN:", 6, &derive::FirstSix, &ResponseFields::BIN, ""},
    {AnswerField::TransactionDate, "TransactionDate", "TransactionDate: ", 7, &derive::DateOfStamp,
     &ResponseFields::TransactionDate, ""},
    {AnswerField::TransactionTime, "TransactionTime", "TransactionTime: ", 7, &derive::TimeOfStamp,
     &ResponseFields::TransactionTime, ""},
}};
inline constexpr std::size_t kAnswerFieldCount = kAnswerFields.size();

// Each row sits at its field's place, and reads a field the answer has.
static_assert([] {
  for (std::size_t i = 0; i < kAnswerFields.size(); ++i) {
    if (static_cast<std::size_t>(kAnswerFields[i].field) != i) return false;
    if (kAnswerFields[i].received >= kReceivedFieldCount) return false;
  }
  return true;
}());

constexpr const AnswerFieldInfo& Info(AnswerField field) {
  return kAnswerFields[static_cast<std::size_t>(field)];
}
// Every field, in AnswerField order.
constexpr std::span<const AnswerFieldInfo> AnswerFields() { return kAnswerFields; }

inline const std::string& Value(const ResponseFields& fields, AnswerField field) {
  return fields.*Info(field).member;
}
inline std::string& Value(ResponseFields& fields, AnswerField field) {
  return fields.*Info(field).member;
}

// The field with this name ("STAN"); nullopt for none.
std::optional<AnswerField> AnswerFieldNamed(std::string_view name);

// The shown values from the received ones (kReceivedFieldCount of them, in
// wire order; missing ones read as empty).
ResponseFields FieldsFromReceived(std::span<const std::string> received);

}  // namespace pcpos
