#include "tap/command_line.h"

#include <gtest/gtest.h>

namespace pcpos::tap {
namespace {

TapParse Parse(std::vector<std::string> arguments, TapCommandLine& out) {
  arguments.insert(arguments.begin(), "pcpos-tap");
  return ParseTapCommandLine(arguments, out);
}

TEST(TapCommandLineTest, ReadsTheReaderAndTheListenAddress) {
  TapCommandLine c;
  ASSERT_EQ(Parse({"--reader", "pos.shop.lan:8888", "--listen", "127.0.0.2:0", "--json"}, c).kind,
            TapParse::Run);
  EXPECT_EQ(c.reader_host, "pos.shop.lan");
  EXPECT_EQ(c.reader_port, 8888);
  EXPECT_EQ(c.listen_address, "127.0.0.2");
  EXPECT_EQ(c.listen_port, 0);
  EXPECT_TRUE(c.json);
  EXPECT_FALSE(c.record);
}

TEST(TapCommandLineTest, RefusesWhatItCannotUse) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {},                                                      // no reader
           {"--reader", "10.0.0.7"},                                // no port
           {"--reader", "10.0.0.7:0"},                              // not a port to connect to
           {"--reader", "10.0.0.7:65536"},                          //
           {"--reader", "10.0.0.7:1", "--listen", "shop:9053"},     // not an address
           {"--reader", "10.0.0.7:1", "--listen", "0.0.0.0:9053"},  // not loopback
       }) {
    TapCommandLine c;
    EXPECT_EQ(Parse(arguments, c).kind, TapParse::Error) << ::testing::PrintToString(arguments);
  }
  TapCommandLine c;
  EXPECT_EQ(Parse({"--reader", "10.0.0.7:1", "--listen", "0.0.0.0:9053", "--allow-remote"}, c).kind,
            TapParse::Run);
}

}  // namespace
}  // namespace pcpos::tap
