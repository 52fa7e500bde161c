// ReadField walks a received answer by its length prefixes. Whatever the
// prefixes say and wherever the position points, it must stay inside the text,
// move the position by exactly the prefix and the value, and take exactly the
// announced characters when they are there.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "payment/message_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first two bytes place the start anywhere from well before the text to
  // well after it; the rest is the message.
  std::int16_t offset = 0;
  std::memcpy(&offset, data, sizeof offset);
  const std::string_view message(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::int64_t start = static_cast<std::int64_t>(offset % 512);

  std::int64_t position = start;
  std::int32_t length = -1000;
  std::string value = "stale";
  pcpos::ReadField(message, position, length, &value);

  FUZZ_CHECK(length >= -9 && length <= 99);
  FUZZ_CHECK(position == start + 2 + length);
  FUZZ_CHECK(value.size() <= static_cast<std::size_t>(length < 0 ? 0 : length));
  if (length <= 0) FUZZ_CHECK(value.empty());

  // A well-formed prefix inside the text: the value is exactly what follows it.
  if (start >= 1 && static_cast<std::size_t>(start) + 1 <= message.size()) {
    const std::size_t at = static_cast<std::size_t>(start) - 1;
    const char a = message[at];
    const char b = at + 1 < message.size() ? message[at + 1] : '\0';
    if (a >= '0' && a <= '9' && b >= '0' && b <= '9') {
      FUZZ_CHECK(length == (a - '0') * 10 + (b - '0'));
      if (at + 2 + static_cast<std::size_t>(length) <= message.size()) {
        FUZZ_CHECK(value == message.substr(at + 2, static_cast<std::size_t>(length)));
      }
    }
  }

  // Without a target the walk is the same.
  std::int64_t position2 = start;
  std::int32_t length2 = 0;
  pcpos::ReadField(message, position2, length2, nullptr);
  FUZZ_CHECK(position2 == position && length2 == length);
  return 0;
}
