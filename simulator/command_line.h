// pcpos-sim's command line.
#pragma once

#include <asio/ip/address_v4.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "simulator/sim_server.h"

namespace pcpos::sim {

inline constexpr std::uint16_t kDefaultPort = 9053;

struct CommandLine {
  asio::ip::address_v4 address = asio::ip::address_v4::loopback();
  std::uint16_t port = kDefaultPort;
  ServerOptions server;
};

struct ParseOutcome {
  enum Kind { Run, Help, Version, Error } kind = Run;
  std::string text;  // the help text, or the error
};

// `arguments` includes the program name first, as main() gets it.
ParseOutcome ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& out);

// "ADDRESS:PORT" with an IPv4 address or "localhost"; false when it does not read.
bool ParseListen(const std::string& text, asio::ip::address_v4& address, std::uint16_t& port);

// The scenario table as --help prints it.
std::string ScenarioTable();

// The script keys and the example script, as --help prints them.
std::string ScriptHelp();

}  // namespace pcpos::sim
