// pcpos-tap's options.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pcpos::tap {

struct TapCommandLine {
  std::string reader_host;
  std::uint16_t reader_port = 0;
  std::string listen_address = "127.0.0.1";
  std::uint16_t listen_port = 9053;
  std::string log_dir;  // the journal's folder, by the log folder rule
  std::optional<std::string> record;
  bool json = false;
  bool allow_remote = false;
};

struct TapParse {
  enum Kind { Run, Help, Version, Error } kind = Run;
  std::string text;  // the help, the version, or what is wrong
};

// HOST:PORT with a port of 1..65535 (0 too when `zero_port` is allowed).
bool SplitHostPort(const std::string& text, bool zero_port, std::string& host, std::uint16_t& port);

TapParse ParseTapCommandLine(const std::vector<std::string>& arguments, TapCommandLine& out);

}  // namespace pcpos::tap
