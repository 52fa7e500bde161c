// The start-up both windows share: one command line in both forms, its usage
// and its errors, the start-up error's text, and the demo's reader.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "link/errors.h"
#include "link/socket.h"
#include "startup/demo.h"
#include "startup/errors.h"
#include "startup/options.h"

namespace pcpos::startup {
namespace {

TEST(StartupOptions, AreReadInBothFormsAndFillOnlyWhatIsGiven) {
  const StartupInputs inputs =
      ParseCommandLine({"pcpos-tester", "--host", "10.1.2.3", "--port=9999", "--amount", "250000",
                        "--log-dir=C:\\گزارش\\", "--demo"});
  EXPECT_EQ(inputs.host, "10.1.2.3");
  EXPECT_EQ(inputs.port, "9999");
  EXPECT_EQ(inputs.amount, "250000");
  EXPECT_EQ(inputs.log_dir, "C:\\گزارش\\");
  EXPECT_TRUE(inputs.demo);
  EXPECT_FALSE(inputs.help);

  const StartupInputs none = ParseCommandLine({"pcpos-tester"});
  EXPECT_FALSE(none.host || none.port || none.amount || none.log_dir || none.demo || none.help);
  // A value is taken as it is, even one that looks like an option or is empty.
  EXPECT_EQ(ParseCommandLine({"p", "--amount", "-5"}).amount, "-5");
  EXPECT_EQ(ParseCommandLine({"p", "--log-dir="}).log_dir, "");
  EXPECT_EQ(ParseCommandLine({"p", "--host=a=b"}).host, "a=b");
  for (const char* help : {"--help", "-h", "/?"}) {
    EXPECT_TRUE(ParseCommandLine({"p", help}).help) << help;
  }
}

TEST(StartupOptions, RefuseWhatTheyDoNotKnowSayingWhat) {
  const struct {
    std::vector<std::string> arguments;
    const char* message;
  } cases[] = {
      {{"p", "--bogus"}, "Unknown option '--bogus'"},
      {{"p", "--colour=red"}, "Unknown option '--colour'"},
      {{"p", "--demo=yes"}, "Unknown option '--demo'"},
      {{"p", "-x"}, "Unknown option '-x'"},
      {{"p", "--port"}, "Missing value after '--port'"},
      {{"p", "stray"}, "Unexpected argument 'stray'"},
      {{"p", "--host", "h", "10.0.0.1"}, "Unexpected argument '10.0.0.1'"},
  };
  for (const auto& c : cases) {
    try {
      ParseCommandLine(c.arguments);
      ADD_FAILURE() << "accepted: " << c.message;
    } catch (const UsageError& error) {
      EXPECT_STREQ(error.what(), c.message);
    }
  }
  // Help after an error is no help: the error is what the operator must see.
  EXPECT_FALSE(AsksForHelp({"p", "--bogus", "--help"}));
  EXPECT_TRUE(AsksForHelp({"p", "--host", "h", "--help"}));
  EXPECT_FALSE(AsksForHelp({"p"}));
}

TEST(Usage, NamesEveryOptionInLinesAMessageBoxShowsWhole) {
  const std::string usage = UsageText();
  for (const char* option : {"--host", "--port", "--amount", "--log-dir", "--demo", "--help"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
  // The folder rule no longer needs a final separator; the text must not ask for one.
  EXPECT_EQ(usage.find("separator"), std::string::npos);
  std::size_t start = 0;
  while (start < usage.size()) {
    const std::size_t end = usage.find('\n', start);
    ASSERT_NE(end, std::string::npos) << "the last line ends too";
    EXPECT_LE(end - start, 52u) << usage.substr(start, end - start);
    EXPECT_EQ(usage.find('\r', start), std::string::npos);
    start = end + 1;
  }
  EXPECT_EQ(UsageErrorText("Unknown option '--bogus'"), "Unknown option '--bogus'.\n\n" + usage);
}

TEST(StartupErrorReport, NamesTheKindTheProgramFileAndTheMessage) {
  EXPECT_EQ(StartupErrorReport(std::runtime_error("WSAStartup"),
                               "C:\\Program Files\\PC-POS\\pcpos-tester.exe", 0x401A2B),
            "Exception std::runtime_error in module pcpos-tester.exe at 00401A2B.\r\n"
            "WSAStartup.\r\n");
  EXPECT_EQ(StartupErrorReport(ConnectionError("Error on loading Winsock2 library (ws2_32.dll)"),
                               "/usr/bin/pcpos-tester", 0xFFFFFFFF00000010ull),
            "Exception pcpos::ConnectionError in module pcpos-tester at 00000010.\r\n"
            "Error on loading Winsock2 library (ws2_32.dll).\r\n");
  // No second "." after one; none for an empty message.
  EXPECT_EQ(StartupErrorReport(std::logic_error("Done."), "m", 1),
            "Exception std::logic_error in module m at 00000001.\r\nDone.\r\n");
  EXPECT_EQ(StartupErrorReport(std::runtime_error(""), "a/b\\m", 0),
            "Exception std::runtime_error in module m at 00000000.\r\n\r\n");
}

TEST(Demo, PointsTheInputsAtItsOwnReaderOnlyWhenAsked) {
  StartupInputs plain = ParseCommandLine({"p", "--host", "10.0.0.5"});
  EXPECT_EQ(StartDemo(plain), nullptr);
  EXPECT_EQ(plain.host, "10.0.0.5");
  EXPECT_EQ(plain.port, std::nullopt);

  StartupInputs demo = ParseCommandLine({"p", "--demo", "--host", "10.0.0.5", "--amount", "1"});
#ifdef PCPOS_STARTUP_DEMO
  std::uint16_t port = 0;
  {
    const auto reader = StartDemo(demo);
    ASSERT_NE(reader, nullptr);
    port = reader->port();
    ASSERT_GT(port, 0);
    EXPECT_EQ(demo.host, "127.0.0.1");
    EXPECT_EQ(demo.port, std::to_string(port));
    EXPECT_EQ(demo.amount, "1");
    const net::Socket socket = net::CreateTcpSocket();
    EXPECT_NO_THROW(net::Connect(socket.get(), 0x7F000001, port, 2000, nullptr));
  }
  // Gone with its owner: nothing answers on its port now.
  const net::Socket socket = net::CreateTcpSocket();
  EXPECT_THROW(net::Connect(socket.get(), 0x7F000001, port, 2000, nullptr), ConnectionError);
#else
  EXPECT_THROW(StartDemo(demo), std::runtime_error);
#endif
}

}  // namespace
}  // namespace pcpos::startup
