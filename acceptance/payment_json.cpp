#include "acceptance/payment_json.h"

#include <cmath>

#include "link/errors.h"

namespace pcpos::acceptance {
namespace {

Json TimingsJson(const PhaseTimings& t) {
  return {{"lookup_ms", JsonMs(t.lookup_ms)},
          {"connect_ms", JsonMs(t.connect_ms)},
          {"sent_ms", JsonMs(t.sent_ms)},
          {"first_byte_ms", JsonMs(t.first_byte_ms)},
          {"answer_ms", JsonMs(t.answer_ms)}};
}

// The error that ended the payment: its Windows Sockets number and that
// number's text, or no number and the tool's own message.
Json ErrorJson(const PaymentReport& report) {
  if (report.error.empty()) return nullptr;
  if (report.error_code) {
    std::string text = SocketErrorText(*report.error_code);
    return {{"code", *report.error_code}, {"message", text.empty() ? report.error : text}};
  }
  return {{"code", nullptr}, {"message", report.error}};
}

}  // namespace

const char* ColourName(Outcome o) {
  switch (o) {
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

Json JsonMs(const std::optional<double>& ms) {
  if (!ms) return nullptr;
  return std::round(*ms * 1000) / 1000;
}

Json PaymentJson(const PaymentReport& report, const std::string& log_file,
                 const std::optional<std::string>& journal_error) {
  Json j;
  j["request"] = report.request ? Json(*report.request) : Json(nullptr);
  j["raw"] = report.answer.empty() ? Json(nullptr) : Json(report.answer);
  if (report.fields) {
    j["fields"] = Json::object();
    for (const AnswerFieldInfo& f : AnswerFields()) {
      j["fields"][std::string(f.name)] = Value(*report.fields, f.field);
    }
  } else {
    j["fields"] = nullptr;
  }
  if (report.result) {
    j["result"] = {{"text", report.result->text}, {"colour", ColourName(report.outcome)}};
  } else {
    j["result"] = nullptr;
  }
  j["log_file"] = log_file;
  j["outcome"] = std::string(OutcomeName(report.outcome));
  j["error"] = ErrorJson(report);
  j["log_error"] = report.log_error ? Json(*report.log_error) : Json(nullptr);
  j["journal_error"] = journal_error ? Json(*journal_error) : Json(nullptr);
  j["timings"] = TimingsJson(report.timings);
  return j;
}

}  // namespace pcpos::acceptance
