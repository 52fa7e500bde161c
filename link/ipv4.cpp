// Which hosts are IPv4 literals, read with the tolerant integer rules.
#include "link/ipv4.h"

#include "text/numbers.h"
#include "text/text.h"

namespace pcpos {

std::optional<std::uint32_t> ParseIPv4Literal(std::string_view host) {
  // A single "." after the fourth piece is allowed: it is taken away here, and
  // the rest must then be exactly four pieces.
  std::string_view rest = host;
  std::uint32_t address = 0;
  for (int piece_index = 0; piece_index < 4; ++piece_index) {
    const std::size_t dot = rest.find('.');
    std::string_view piece;
    if (piece_index < 3) {
      if (dot == std::string_view::npos) return std::nullopt;  // fewer than four pieces
      piece = rest.substr(0, dot);
      rest.remove_prefix(dot + 1);
    } else {
      if (dot != std::string_view::npos && dot + 1 != rest.size()) {
        return std::nullopt;  // a fifth piece, or more than one "." at the end
      }
      piece = rest.substr(0, dot);  // npos: the whole rest
    }
    const std::optional<std::int32_t> value = ParseStrictInt(TrimControl(piece));
    if (!value || *value < 0 || *value > 255) return std::nullopt;
    address = (address << 8) | static_cast<std::uint32_t>(*value);
  }
  return address;
}

}  // namespace pcpos
