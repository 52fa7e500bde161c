#include "tap/command_line.h"

#include <CLI/CLI.hpp>
#include <asio/ip/address_v4.hpp>

#include <charconv>

#include "payment/defaults.h"

#ifndef PCPOS_VERSION
#error "PCPOS_VERSION comes from the project's version in CMake"
#endif

namespace pcpos::tap {

bool SplitHostPort(const std::string& text, bool zero_port, std::string& host,
                   std::uint16_t& port) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  const std::string digits = text.substr(colon + 1);
  unsigned value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) return false;
  if (value > 65535 || (value == 0 && !zero_port)) return false;
  host = text.substr(0, colon);
  port = static_cast<std::uint16_t>(value);
  return true;
}

TapParse ParseTapCommandLine(const std::vector<std::string>& arguments, TapCommandLine& out) {
  CLI::App app{
      "Stands between the shop's cash register program (the ECR) and the card reader: relays\n"
      "every byte unchanged, and writes each exchange down decoded, with what may have charged\n"
      "a card twice called out."};
  app.name("pcpos-tap");
  app.set_version_flag("--version", std::string("pcpos-tap ") + PCPOS_VERSION);
  std::string reader;
  std::string listen = "127.0.0.1:9053";
  std::string record;
  out.log_dir = DefaultLogFolder();
  app.add_option("--reader", reader, "The card reader, HOST:PORT (required)")->required();
  app.add_option("--listen", listen,
                 "Address and port the ECR connects to (port 0 picks a free one)")
      ->capture_default_str();
  app.add_option("--log-dir", out.log_dir,
                 "Folder of the journal Selvarin-PcPosTap.csv, by the log folder rule")
      ->capture_default_str();
  app.add_option("--record", record,
                 "Write the reader's side as a pcpos-sim --script file as exchanges end");
  app.add_flag("--json", out.json, "One JSON object per exchange instead of the text lines");
  app.add_flag("--allow-remote", out.allow_remote,
               "Allow --listen on an address other than loopback (127.0.0.0/8)");
  std::vector<const char*> argv;
  for (const auto& a : arguments) argv.push_back(a.c_str());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::CallForHelp&) {
    return {TapParse::Help, app.help()};
  } catch (const CLI::CallForVersion& e) {
    return {TapParse::Version, e.what()};
  } catch (const CLI::ParseError& e) {
    return {TapParse::Error, e.what()};
  }
  if (!SplitHostPort(reader, false, out.reader_host, out.reader_port)) {
    return {TapParse::Error,
            "--reader wants HOST:PORT with a port of 1 to 65535, not \"" + reader + "\""};
  }
  std::error_code error;
  std::string host;
  if (!SplitHostPort(listen, true, host, out.listen_port) ||
      (asio::ip::make_address_v4(host, error), error)) {
    return {TapParse::Error, "--listen wants IPV4ADDRESS:PORT, not \"" + listen + "\""};
  }
  out.listen_address = host;
  if (!asio::ip::make_address_v4(host, error).is_loopback() && !out.allow_remote) {
    return {TapParse::Error, "refusing to listen on " + host +
                                 ": not a loopback address (add --allow-remote to let other "
                                 "machines connect)"};
  }
  if (!record.empty()) out.record = record;
  return {TapParse::Run, {}};
}

}  // namespace pcpos::tap
