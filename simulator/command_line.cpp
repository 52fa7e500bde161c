#include "simulator/command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "simulator/script.h"

namespace pcpos::sim {
namespace {

// Seconds, fractions allowed, to milliseconds; false for a negative or unreadable value.
bool ParseSeconds(const std::string& text, std::chrono::milliseconds& out) {
  double seconds = 0;
  if (text.empty() || !CLI::detail::lexical_cast(text, seconds)) return false;
  if (!std::isfinite(seconds) || seconds < 0 || seconds > 24 * 3600) return false;
  out = std::chrono::milliseconds(std::llround(seconds * 1000));
  return true;
}

bool AllDigits(const std::string& text, std::size_t size) {
  return text.size() == size &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Padded(std::string_view text, std::size_t width) {
  std::string out(text);
  if (out.size() < width) out.append(width - out.size(), ' ');
  return out;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

struct OptionText {
  std::string names;  // as the help shows them
  std::string description;
};

// The options' table: names, then the description wrapped into what is left
// of 79 columns.
std::string OptionTable(const std::vector<OptionText>& options) {
  std::size_t names_width = 0;
  for (const auto& option : options) names_width = std::max(names_width, option.names.size());
  const std::size_t indent = 2 + names_width + 2;
  const std::size_t text_width = 79 - indent;
  std::string table;
  for (const auto& option : options) {
    std::string line = "  " + Padded(option.names, names_width) + "  ";
    std::size_t used = 0;
    std::size_t at = 0;
    const std::string& text = option.description;
    while (at < text.size()) {
      std::size_t end = text.find(' ', at);
      if (end == std::string::npos) end = text.size();
      const std::string word = text.substr(at, end - at);
      if (used > 0 && used + 1 + word.size() > text_width) {
        table += line + "\n";
        line = std::string(indent, ' ');
        used = 0;
      }
      if (used > 0) {
        line += ' ';
        ++used;
      }
      line += word;
      used += word.size();
      at = end + 1;
    }
    table += line + "\n";
  }
  return table;
}

}  // namespace

bool ParseListen(const std::string& text, asio::ip::address_v4& address, std::uint16_t& port) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  const std::string host = text.substr(0, colon);
  const std::string port_text = text.substr(colon + 1);
  if (port_text.empty() || port_text.size() > 5 || !AllDigits(port_text, port_text.size()))
    return false;
  const unsigned long value = std::strtoul(port_text.c_str(), nullptr, 10);
  if (value > 65535) return false;
  asio::ip::address_v4 parsed;
  if (EqualsIgnoringCase(host, "localhost")) {
    parsed = asio::ip::address_v4::loopback();
  } else {
    std::error_code error;
    parsed = asio::ip::make_address_v4(host, error);
    if (error) return false;
  }
  address = parsed;
  port = static_cast<std::uint16_t>(value);
  return true;
}

std::string ScenarioTable() {
  std::string table =
      "Scenarios (--scenario NAME; without it, the amount's last two digits choose):\n"
      "  ending  name          code  behaviour\n";
  for (const auto& info : Scenarios()) {
    table += "  " + std::string(info.trigger) + "      " + Padded(info.name, 13) + " " +
             Padded(info.code.empty() ? std::string_view("--") : info.code, 4) + "  " +
             std::string(info.behaviour) + "\n";
  }
  table +=
      "  any other ending approves (code 00), so the amount 1000 approves.\n"
      "A request that does not follow the format is answered at once, whatever the\n"
      "scenario, with code " +
      std::string(kMalformedRequestCode) + " (code " + std::string(kInvalidAmountCode) +
      " when only the amount is wrong: not 1 to 12\n"
      "digits, or zero).\n";
  return table;
}

std::string ScriptHelp() {
  return std::string(
             "Scripts (--script FILE): each new connection takes the next step; after the last\n"
             "one, \"repeat\": true starts again, false leaves the rest to the scenarios. A step\n"
             "is played whatever the request line holds. Its keys, all optional:\n"
             "  action  \"answer\" (default), \"reset\", \"close\" or \"silence\"\n"
             "  code    the response code, as text (default \"00\")\n"
             "  fields  values in place of the generated ones: TerminalNo, STAN, RRN, BatchNo,\n"
             "          ResponseType, CardNo, DateTime\n"
             "  raw     the answer's text, sent as it is in place of a generated one\n"
             "  hex     the same as hexadecimal digits, two a byte, for bytes that are no text\n"
             "  delay   seconds before the action\n"
             "  pieces  character offsets at which the answer is cut into pieces\n"
             "  pause   seconds between the pieces (default --pause)\n"
             "  pauses  seconds before each piece after the first, in turn (then: pause)\n"
             "  end     after the answer: \"close\" (default), \"reset\" or \"silence\"\n"
             "A script that does not read stops the program with exit status 2. Example:\n") +
         std::string(kExampleScript) + "\n";
}

ParseOutcome ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& out) {
  struct ValueOption {
    const char* name;
    const char* value_name;
    const char* description;
    std::string value;
    bool set = false;
  };
  ValueOption values[] = {
      {"listen",
       "ADDRESS:PORT",
       "Address and port to listen on (default 127.0.0.1:9053; port 0 picks a free one).",
       {}},
      {"scenario", "NAME", "Play this scenario for every request.", {}},
      {"delay", "SECONDS", "Seconds the delay scenario waits (default 3).", {}},
      {"pause",
       "SECONDS",
       "Seconds between the two segments (default 0.3; past the client's 0.5 s quiet time the "
       "answer is cut short).",
       {}},
      {"silence-max",
       "SECONDS",
       "Seconds a silent connection stays open at most (default 600).",
       {}},
      {"request-timeout", "SECONDS", "Seconds to wait for the request line (default 30).", {}},
      {"terminal", "NUMBER", "The 8-digit terminal number to answer with (default 31415926).", {}},
      {"script",
       "FILE",
       "Answer the connections as this JSON script says, one step each, then as the scenarios say.",
       {}},
  };
  ValueOption& listen = values[0];
  ValueOption& scenario = values[1];
  ValueOption& terminal = values[6];
  ValueOption& script = values[7];

  CLI::App app;
  app.set_help_flag();
  app.allow_extras();
  bool help = false, version = false, allow_remote = false;
  app.add_flag("-h,--help", help);
  app.add_flag("-v,--version", version);
  app.add_flag("--allow-remote", allow_remote);
  for (auto& option : values) {
    app.add_option(std::string("--") + option.name, option.value)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  }

  std::vector<OptionText> shown = {
      {"-h, --help", "Displays help on commandline options."},
      {"-v, --version", "Displays version information."},
  };
  for (const auto& option : values) {
    shown.push_back(
        {std::string("--") + option.name + " <" + option.value_name + ">", option.description});
    if (std::string_view(option.name) == "listen") {
      shown.push_back(
          {"--allow-remote", "Allow --listen on an address other than loopback (127.0.0.0/8)."});
    }
  }

  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(arguments.rbegin(),
                                    arguments.rend() - (arguments.empty() ? 0 : 1));
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    // An option that wants a value came last, or before another option.
    for (std::size_t i = 1; i < arguments.size(); ++i) {
      for (const auto& option : values) {
        if (arguments[i] == std::string("--") + option.name &&
            (i + 1 == arguments.size() || arguments[i + 1].starts_with("--"))) {
          return {ParseOutcome::Error, "Missing value after '" + arguments[i] + "'."};
        }
      }
    }
    return {ParseOutcome::Error, e.what()};
  }
  for (const std::string& extra : app.remaining()) {
    if (extra.starts_with("-") && extra.size() > 1) {
      std::string name = extra.substr(extra.find_first_not_of('-'));
      name = name.substr(0, name.find('='));
      return {ParseOutcome::Error, "Unknown option '" + name + "'."};
    }
  }
  if (help) {
    const std::string program = arguments.empty() ? std::string("pcpos-sim") : arguments.front();
    return {ParseOutcome::Help,
            "Usage: " + program + " [options]\n" +
                "A simulated PC-POS card reader. Each connection gets one request line, one\n"
                "answer and a close. One line per request is logged to standard output; the\n"
                "first line is \"listening on ADDRESS:PORT\". Stops on Ctrl-C or SIGTERM.\n\n" +
                ScenarioTable() + "\n" + ScriptHelp() + "\n\nOptions:\n" + OptionTable(shown)};
  }
  if (version) return {ParseOutcome::Version, {}};
  if (!app.remaining().empty())
    return {ParseOutcome::Error, "unexpected argument: " + app.remaining().front()};
  for (auto& option : values) option.set = app.count(std::string("--") + option.name) > 0;

  if (listen.set && !ParseListen(listen.value, out.address, out.port)) {
    return {ParseOutcome::Error, "--listen wants IPV4ADDRESS:PORT, not \"" + listen.value + "\""};
  }
  if (!out.address.is_loopback() && !allow_remote) {
    return {ParseOutcome::Error,
            "refusing to listen on " + out.address.to_string() +
                ": not a loopback address (add --allow-remote to serve other machines)"};
  }
  if (scenario.set) {
    const auto chosen = ScenarioByName(scenario.value);
    if (!chosen) return {ParseOutcome::Error, "unknown scenario \"" + scenario.value + "\""};
    out.server.scenario = chosen;
  }
  const std::pair<const ValueOption*, std::chrono::milliseconds*> durations[] = {
      {&values[2], &out.server.delay},
      {&values[3], &out.server.pause},
      {&values[4], &out.server.silence_max},
      {&values[5], &out.server.request_timeout},
  };
  for (const auto& [option, target] : durations) {
    if (option->set && !ParseSeconds(option->value, *target)) {
      return {ParseOutcome::Error, std::string("--") + option->name +
                                       " wants a number of seconds, not \"" + option->value + "\""};
    }
  }
  if (terminal.set) {
    if (!AllDigits(terminal.value, 8)) return {ParseOutcome::Error, "--terminal wants 8 digits"};
    out.server.identity.terminal_no = terminal.value;
  }
  if (script.set) {
    Script loaded;
    std::string error;
    if (!LoadScript(script.value, loaded, error)) return {ParseOutcome::Error, error};
    out.server.script = std::move(loaded);
  }
  return {};
}

}  // namespace pcpos::sim
