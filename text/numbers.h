// The tolerant integer reading and the zero padding used for every number the
// tool reads from or writes into a text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pcpos {

// Width copies of fill, then the decimal form of n; the last `width` characters.
std::string PadNumber(std::int64_t n, int width, char fill);

// The tolerant integer reading used for every number taken from a text
// (port, length prefixes, response code). Never fails: anything unreadable is 0.
std::int32_t CleanInt(std::string_view text);

// Step 3 of CleanInt alone (no trimming, no dropping of ",()"): a signed 32-bit
// decimal or "$"/"x"/"0x" hexadecimal number. nullopt where CleanInt would give 0
// because the text does not read, which the IPv4 literal rule needs to tell apart.
std::optional<std::int32_t> ParseStrictInt(std::string_view text);

}  // namespace pcpos
