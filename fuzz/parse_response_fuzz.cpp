// Whatever a reader sends reaches ParseResponse: it must never throw or read out
// of bounds, the derived values must agree with the card number they come
// from, and a well-formed answer must give back exactly the values put into it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "payment/message_format.h"
#include "text/numbers.h"

namespace {

using pcpos::ParseResponse;

// Zero-based substring that yields nothing past the end, like the codec's Copy.
std::string Sub(const std::string& s, std::size_t at, std::size_t n = std::string::npos) {
  return at >= s.size() ? std::string() : s.substr(at, n);
}

void CheckAnyText(std::string_view text) {
  const auto fields = ParseResponse(text);
  const bool header = text.substr(0, pcpos::kMessageHeader.size()) == pcpos::kMessageHeader;
  FUZZ_CHECK(fields.has_value() == header);
  if (!fields) return;

  for (const std::string* value :
       {&fields->TerminalNo, &fields->STAN, &fields->RRN, &fields->BatchNo, &fields->ResponseType,
        &fields->ResponseCode, &fields->CardNo}) {
    // A two-character prefix cannot announce more than 99 characters.
    FUZZ_CHECK(value->size() <= 99);
    FUZZ_CHECK(value->find('\0') == std::string::npos);
  }
  FUZZ_CHECK(fields->BIN == Sub(fields->CardNo, 0, 6));
  FUZZ_CHECK(fields->PAN == Sub(fields->CardNo, 12));
  FUZZ_CHECK(fields->TransactionDate.size() <= 10 && fields->TransactionDate.size() >= 2);
  FUZZ_CHECK(fields->TransactionTime.size() <= 5 && fields->TransactionTime.size() >= 1);
  FUZZ_CHECK(fields->TransactionDate.find('\0') == std::string::npos);
  FUZZ_CHECK(fields->TransactionTime.find('\0') == std::string::npos);

  // Green only for a code that is all digits and zero; amber exactly when it is
  // not all digits.
  const auto line = pcpos::ResultLineFor(fields->ResponseCode);
  const auto code = pcpos::ReadResponseCode(fields->ResponseCode);
  FUZZ_CHECK(!line.text.empty());
  FUZZ_CHECK((line.outcome == pcpos::Outcome::Unknown) == !code.has_value());
  FUZZ_CHECK((line.outcome == pcpos::Outcome::Approved) == (code && *code == 0));
  if (code) FUZZ_CHECK(pcpos::CleanInt(fields->ResponseCode) == *code || *code == INT32_MAX);
}

// Splits the input into eight values (at 0x1F), each without NUL and at most
// 99 bytes, builds the answer a reader would send and parses it back.
void CheckRoundTrip(std::string_view data) {
  std::vector<std::string> values(1);
  for (char c : data) {
    if (c == '\x1F') {
      if (values.size() == 8) break;
      values.emplace_back();
    } else if (c != '\0' && values.back().size() < 99) {
      values.back().push_back(c);
    }
  }
  values.resize(8);

  std::string answer(pcpos::kMessageHeader);
  for (const std::string& v : values)
    answer += pcpos::PadNumber(static_cast<std::int64_t>(v.size()), 2, '0') + v;

  const auto fields = ParseResponse(answer);
  FUZZ_CHECK(fields.has_value());
  FUZZ_CHECK(fields->TerminalNo == values[0]);
  FUZZ_CHECK(fields->STAN == values[1]);
  FUZZ_CHECK(fields->RRN == values[2]);
  FUZZ_CHECK(fields->BatchNo == values[3]);
  FUZZ_CHECK(fields->ResponseType == values[4]);
  FUZZ_CHECK(fields->ResponseCode == values[5]);
  FUZZ_CHECK(fields->CardNo == values[6]);
  const std::string& stamp = values[7];
  FUZZ_CHECK(fields->TransactionDate ==
             Sub(stamp, 0, 4) + "/" + Sub(stamp, 4, 2) + "/" + Sub(stamp, 6, 2));
  FUZZ_CHECK(fields->TransactionTime == Sub(stamp, 8, 2) + ":" + Sub(stamp, 10, 2));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckAnyText(text);
  CheckRoundTrip(text);
  return 0;
}
