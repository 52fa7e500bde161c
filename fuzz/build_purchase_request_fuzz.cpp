// The amount is typed by the operator in any script. The request must stay
// 7-bit, and for any amount of fewer than 100 characters its length prefix must
// agree with the bytes that follow, so the reader reads the fields after it
// where they are.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "payment/message_format.h"
#include "text/text.h"

namespace {
// Header, then the fixed fields around the amount: 36 bytes plus the amount.
constexpr std::size_t kFixedSize = 36;
constexpr int kRequestFields = 10;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view amount(reinterpret_cast<const char*>(data), size);
  const std::string request = pcpos::BuildPurchaseRequest(amount);
  const std::string wire_amount = pcpos::ToAscii(amount);
  const std::size_t characters = pcpos::CharacterCount(amount);

  FUZZ_CHECK(wire_amount.size() == characters);
  for (char c : request) FUZZ_CHECK(static_cast<unsigned char>(c) < 128);
  FUZZ_CHECK(request.size() == kFixedSize + characters);
  FUZZ_CHECK(request.compare(0, pcpos::kMessageHeader.size(), pcpos::kMessageHeader) == 0);

  bool ascii = true;
  for (char c : amount) ascii = ascii && static_cast<unsigned char>(c) < 128;
  if (ascii) FUZZ_CHECK(wire_amount == amount);

  if (characters < 100) {
    // Walk the request as the reader does: every prefix lands on the next one
    // and the walk ends exactly at the end.
    std::int64_t position = static_cast<std::int64_t>(pcpos::kMessageHeader.size()) + 1;
    std::int32_t length = 0;
    std::string value;
    for (int field = 0; field < kRequestFields; ++field) {
      pcpos::ReadField(request, position, length, &value);
      if (field == 2) FUZZ_CHECK(value == wire_amount);
    }
    FUZZ_CHECK(position == static_cast<std::int64_t>(request.size()) + 1);
  }
  return 0;
}
