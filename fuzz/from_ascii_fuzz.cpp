// Received bytes become text through FromAscii, are trimmed, cut at NUL and
// have their line breaks normalised before anything is shown or logged. The
// result must be plain 7-bit text, of the same length, with only CR LF breaks.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "text/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = pcpos::FromAscii(bytes);

  FUZZ_CHECK(text.size() == bytes.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto in = static_cast<unsigned char>(bytes[i]);
    const auto out = static_cast<unsigned char>(text[i]);
    FUZZ_CHECK(out < 128);
    FUZZ_CHECK(in < 128 ? out == in : out == '?');
  }
  // Plain ASCII is valid UTF-8 with one character per byte.
  FUZZ_CHECK(pcpos::CharacterCount(text) == text.size());
  FUZZ_CHECK(pcpos::ToAscii(text) == text);

  const std::string_view trimmed = pcpos::TrimControl(text);
  if (!trimmed.empty()) {
    FUZZ_CHECK(static_cast<unsigned char>(trimmed.front()) > 32);
    FUZZ_CHECK(static_cast<unsigned char>(trimmed.back()) > 32);
  }
  FUZZ_CHECK(pcpos::UpToNul(text).find('\0') == std::string_view::npos);

  const std::string shown = pcpos::NormaliseLineBreaks(trimmed);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (shown[i] == '\r') FUZZ_CHECK(i + 1 < shown.size() && shown[i + 1] == '\n');
    if (shown[i] == '\n') FUZZ_CHECK(i > 0 && shown[i - 1] == '\r');
  }
  // Normalising twice changes nothing more.
  FUZZ_CHECK(pcpos::NormaliseLineBreaks(shown) == shown);
  return 0;
}
