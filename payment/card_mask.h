// How much of a card number the tool lets out of its hands: the first six and
// the last four digits. The window and the response log keep what the reader
// sent; everything the tool writes for others to read (the client's output,
// the journal, the reports) goes through these.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "payment/message_format.h"

namespace pcpos {

struct PaymentReport;

inline constexpr std::size_t kCardDigitsShownFirst = 6;
inline constexpr std::size_t kCardDigitsShownLast = 4;

// How many ASCII digits of the text can be read.
std::size_t ReadableDigits(std::string_view text);

// True when the text shows more digits than the first six and the last four:
// a whole (or nearly whole) card number.
bool ShowsWholeCardNumber(std::string_view card_no);

// Every digit after the sixth and before the last four becomes '*'; the
// characters that are not digits stay where they are, so a number the reader
// masked already comes back unchanged.
std::string MaskCardNumber(std::string_view card_no);

// The answer text with its card number field masked, found by the length
// prefixes as the answer is parsed; every other character stays as received.
// A text too short to reach the field is returned unchanged.
std::string MaskCardInAnswer(std::string_view answer);

// CardNo masked, and BIN and PAN taken again from the masked number.
ResponseFields MaskCardInFields(const ResponseFields& fields);

// The report as it may be shown or stored: the answer and its fields masked.
PaymentReport MaskedReport(const PaymentReport& report);

}  // namespace pcpos
