#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace pcpos {

// A host is an IPv4 literal when it is exactly four pieces separated by "."
// (one "." after the fourth piece allowed), each of which, trimmed of
// characters 0..32, reads as 0..255 by CleanInt's number rules ("$C0", "+192";
// "010" is ten). Returns the host-order address, or nullopt for a name.
std::optional<std::uint32_t> ParseIPv4Literal(std::string_view host);

}  // namespace pcpos
