// Card numbers in what the tap writes: the bytes it relays are never touched,
// but every copy it keeps shows only a card number's first 6 and last 4 digits.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pcpos::tap {

// The card number with every digit but the first 6 and the last 4 as '*';
// other characters (a reader's own mask) stay as they are.
std::string MaskCardNumber(std::string_view card);

// How many digits the card number shows; more than 10 is a whole number.
std::size_t CardDigits(std::string_view card);
inline constexpr std::size_t kMaskedCardDigits = 10;

// The answer's bytes with the card number field masked. The field is found by
// the length prefixes, as the parser finds it, whatever the header says, so a
// reader's mistake elsewhere does not expose the number.
std::string MaskAnswer(std::string_view answer);

}  // namespace pcpos::tap
