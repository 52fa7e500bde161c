// Which hosts are IPv4 literals, read with the tolerant integer rules.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "link/ipv4.h"

namespace pcpos {
namespace {

constexpr std::uint32_t Ip(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  return a << 24 | b << 16 | c << 8 | d;
}

struct LiteralCase {
  std::string host;
  std::optional<std::uint32_t> address;
};

TEST(ParseIPv4Literal, Table) {
  const LiteralCase cases[] = {
      {"127.0.0.1", Ip(127, 0, 0, 1)},
      {"192.168.1.10", Ip(192, 168, 1, 10)},
      {"0.0.0.0", Ip(0, 0, 0, 0)},
      {"255.255.255.255", Ip(255, 255, 255, 255)},
      {"10.0.0. 7", Ip(10, 0, 0, 7)},         // each piece is trimmed
      {" 10 .\t0.0.7\r\n", Ip(10, 0, 0, 7)},  // characters 0..32 on both sides
      {std::string("10.0.0.\x01"
                   "7"),
       Ip(10, 0, 0, 7)},
      {"$C0.+168.1.1", Ip(192, 168, 1, 1)},  // CleanInt's number rules
      {"0xC0.0XA8.x1.X1", Ip(192, 168, 1, 1)},
      {"-0.0.0.1", Ip(0, 0, 0, 1)},
      {"010.0.0.1", Ip(10, 0, 0, 1)},    // "010" is ten, not octal
      {"127.0.0.1.", Ip(127, 0, 0, 1)},  // one "." after the fourth piece
      {"256.1.1.1", std::nullopt},       // out of range: looked up as a name
      {"1.2.3.-1", std::nullopt},
      {"$100.1.1.1", std::nullopt},
      {"1.2.3", std::nullopt},      // three pieces
      {"1.2.3.4.5", std::nullopt},  // five pieces
      {"1.2.3.4..", std::nullopt},  // two dots after the fourth
      {"1.2.3.4. ", std::nullopt},
      {"1.2..4", std::nullopt},   // an empty piece
      {"1.2. .4", std::nullopt},  // a blank piece
      {".1.2.3", std::nullopt},
      {"1.2.3.4 x", std::nullopt},
      {"1.2.3.(4)", std::nullopt},  // step 3 only: no dropping of "()"
      {"1,0.0.0.1", std::nullopt},
      {"1 2.0.0.1", std::nullopt},  // an inner blank
      {"1.2.3.\xC2\xA0"
       "4",
       std::nullopt},  // a no-break space is not trimmed
      {"localhost", std::nullopt},
      {"LOCALHOST", std::nullopt},
      {"", std::nullopt},
      {"...", std::nullopt},
      {"card-reader.local", std::nullopt},
  };
  for (const LiteralCase& c : cases) {
    EXPECT_EQ(ParseIPv4Literal(c.host), c.address) << "host \"" << c.host << "\"";
  }
}

}  // namespace
}  // namespace pcpos
