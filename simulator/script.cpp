#include "simulator/script.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <type_traits>
#include <utility>

namespace pcpos::sim {
namespace {

using nlohmann::json;

// A fault found deep in the walk; ParseScript turns it into the message.
struct Fault {
  std::string message;
};

constexpr std::size_t kFieldMax = 99;  // what a two-digit length prefix can say
constexpr double kSecondsMax = 24 * 3600;

constexpr std::string_view kStepKeys[] = {"action", "code",   "fields", "raw",    "hex",
                                          "delay",  "pieces", "pause",  "pauses", "end"};

constexpr std::pair<std::string_view, Action> kActions[] = {{"answer", Action::Answer},
                                                            {"reset", Action::Reset},
                                                            {"close", Action::Close},
                                                            {"silence", Action::Silence}};

constexpr std::pair<std::string_view, AfterAnswer> kEnds[] = {{"close", AfterAnswer::Close},
                                                              {"reset", AfterAnswer::Reset},
                                                              {"silence", AfterAnswer::Silence}};

constexpr std::pair<std::string_view, std::optional<std::string> AnswerOverrides::*> kFields[] = {
    {"TerminalNo", &AnswerOverrides::terminal_no},
    {"STAN", &AnswerOverrides::stan},
    {"RRN", &AnswerOverrides::rrn},
    {"BatchNo", &AnswerOverrides::batch_no},
    {"ResponseType", &AnswerOverrides::response_type},
    {"CardNo", &AnswerOverrides::card_no},
    {"DateTime", &AnswerOverrides::date_time},
};

template <typename Table>
std::string Known(const Table& table) {
  std::string list;
  for (const auto& entry : table) {
    if (!list.empty()) list += ", ";
    if constexpr (std::is_same_v<std::decay_t<decltype(entry)>, std::string_view>) {
      list += entry;
    } else {
      list += entry.first;
    }
  }
  return list;
}

// How a wrong value is named: its JSON type, or the number itself.
std::string Shown(const json& value) {
  if (value.is_number()) return value.dump();
  return value.type_name();
}

class StepReader {
 public:
  StepReader(std::size_t index, const json& step)
      : where_("step " + std::to_string(index + 1)), step_(step) {}

  Step Read() {
    if (!step_.is_object()) throw Fault{where_ + " must be an object, not " + Shown(step_)};
    for (const auto& [key, value] : step_.items()) {
      bool known = false;
      for (const auto name : kStepKeys) known = known || name == key;
      if (!known)
        throw Fault{where_ + ": unknown key \"" + key + "\" (known: " + Known(kStepKeys) + ")"};
    }
    Step step;
    step.name = where_;
    if (step_.contains("action")) step.action = ReadAction(step_["action"]);
    if (step_.contains("code")) step.code = FieldText("\"code\"", step_["code"]);
    if (step_.contains("fields")) step.fields = ReadFields(step_["fields"]);
    if (step_.contains("raw")) step.raw = Text("\"raw\"", step_["raw"]);
    if (step_.contains("hex")) {
      if (step.raw) throw Fault{where_ + ": \"raw\" and \"hex\" are two ways to give one answer"};
      step.raw = Hex(step_["hex"]);
    }
    if (step_.contains("delay")) step.delay = Seconds("\"delay\"", step_["delay"]);
    if (step_.contains("pieces")) step.pieces = ReadPieces(step_["pieces"]);
    if (step_.contains("pause")) step.pause = Seconds("\"pause\"", step_["pause"]);
    if (step_.contains("pauses")) step.pauses = ReadPauses(step_["pauses"]);
    if (step_.contains("end")) step.after = ReadEnd(step_["end"]);
    return step;
  }

 private:
  [[noreturn]] void Wrong(const std::string& key, const std::string& wanted,
                          const json& value) const {
    throw Fault{where_ + ": " + key + " must be " + wanted + ", not " + Shown(value)};
  }

  std::string Text(const std::string& key, const json& value) const {
    if (!value.is_string()) Wrong(key, "a string", value);
    return value.get<std::string>();
  }

  std::string FieldText(const std::string& key, const json& value) const {
    std::string text = Text(key, value);
    if (text.size() > kFieldMax) {
      throw Fault{where_ + ": " + key + " is " + std::to_string(text.size()) +
                  " characters long; a field holds at most 99"};
    }
    return text;
  }

  std::chrono::milliseconds Seconds(const std::string& key, const json& value) const {
    if (!value.is_number()) Wrong(key, "a number of seconds", value);
    const double seconds = value.get<double>();
    if (!(seconds >= 0 && seconds <= kSecondsMax)) Wrong(key, "0 to 86400 seconds", value);
    return std::chrono::milliseconds(std::llround(seconds * 1000));
  }

  // An answer's bytes as hexadecimal digits, two a byte: bytes that are no
  // text (above 127) have no other place in a JSON file.
  std::string Hex(const json& value) const {
    const std::string digits = Text("\"hex\"", value);
    const auto nibble = [](char c) {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    std::string bytes;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
      const int high = nibble(digits[i]);
      const int low = nibble(digits[i + 1]);
      if (high < 0 || low < 0) break;
      bytes += static_cast<char>(high * 16 + low);
    }
    if (bytes.size() * 2 != digits.size()) {
      throw Fault{where_ + ": \"hex\" must be pairs of hexadecimal digits"};
    }
    return bytes;
  }

  std::vector<std::chrono::milliseconds> ReadPauses(const json& value) const {
    if (!value.is_array()) Wrong("\"pauses\"", "a list of seconds", value);
    std::vector<std::chrono::milliseconds> pauses;
    for (std::size_t i = 0; i < value.size(); ++i) {
      pauses.push_back(Seconds("\"pauses\"[" + std::to_string(i) + "]", value[i]));
    }
    return pauses;
  }

  AfterAnswer ReadEnd(const json& value) const {
    const std::string name = Text("\"end\"", value);
    for (const auto& [text, end] : kEnds) {
      if (text == name) return end;
    }
    throw Fault{where_ + ": \"end\" must be \"close\", \"reset\" or \"silence\", not \"" + name +
                "\""};
  }

  Action ReadAction(const json& value) const {
    const std::string name = Text("\"action\"", value);
    for (const auto& [text, action] : kActions) {
      if (text == name) return action;
    }
    throw Fault{where_ +
                ": \"action\" must be \"answer\", \"reset\", \"close\" or \"silence\", not \"" +
                name + "\""};
  }

  AnswerOverrides ReadFields(const json& value) const {
    if (!value.is_object()) Wrong("\"fields\"", "an object", value);
    AnswerOverrides fields;
    for (const auto& [key, text] : value.items()) {
      bool known = false;
      for (const auto& [name, member] : kFields) {
        if (name != key) continue;
        fields.*member = FieldText("\"fields\".\"" + key + "\"", text);
        known = true;
      }
      if (!known) {
        throw Fault{where_ + ": unknown key \"fields\".\"" + key + "\" (known: " + Known(kFields) +
                    ")"};
      }
    }
    return fields;
  }

  std::vector<std::size_t> ReadPieces(const json& value) const {
    if (!value.is_array()) Wrong("\"pieces\"", "a list of character offsets", value);
    std::vector<std::size_t> pieces;
    for (std::size_t i = 0; i < value.size(); ++i) {
      const json& offset = value[i];
      const std::string key = "\"pieces\"[" + std::to_string(i) + "]";
      if (!offset.is_number_integer() || offset.get<long long>() < 0) {
        Wrong(key, "a whole number of 0 or more", offset);
      }
      const auto at = offset.get<std::size_t>();
      if (!pieces.empty() && at <= pieces.back()) {
        throw Fault{where_ + ": " + key + " is " + std::to_string(at) +
                    "; the offsets must increase"};
      }
      pieces.push_back(at);
    }
    return pieces;
  }

  std::string where_;
  const json& step_;
};

}  // namespace

bool ParseScript(std::string_view text, Script& out, std::string& error) {
  json document;
  try {
    document = json::parse(text);
  } catch (const json::parse_error& e) {
    // "[json.exception.parse_error.101] parse error at line 3, column 5: ..."
    std::string what = e.what();
    if (const auto end = what.find("] ");
        what.starts_with("[json.exception") && end != std::string::npos) {
      what.erase(0, end + 2);
    }
    error = "not JSON: " + what;
    return false;
  }
  try {
    if (!document.is_object()) {
      throw Fault{"the script must be an object {\"steps\": [...], \"repeat\": false}, not " +
                  Shown(document)};
    }
    for (const auto& [key, value] : document.items()) {
      if (key != "steps" && key != "repeat") {
        throw Fault{"unknown key \"" + key + "\" at the top (known: steps, repeat)"};
      }
    }
    Script script;
    if (document.contains("repeat")) {
      const json& repeat = document["repeat"];
      if (!repeat.is_boolean())
        throw Fault{"\"repeat\" must be true or false, not " + Shown(repeat)};
      script.repeat = repeat.get<bool>();
    }
    if (!document.contains("steps")) throw Fault{"\"steps\" is missing"};
    const json& steps = document["steps"];
    if (!steps.is_array()) throw Fault{"\"steps\" must be a list of steps, not " + Shown(steps)};
    if (steps.empty()) throw Fault{"\"steps\" holds no step"};
    for (std::size_t i = 0; i < steps.size(); ++i) {
      script.steps.push_back(StepReader(i, steps[i]).Read());
    }
    out = std::move(script);
    return true;
  } catch (const Fault& fault) {
    error = fault.message;
    return false;
  }
}

bool LoadScript(const std::string& path, Script& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "script " + path + ": cannot be read: " + std::strerror(errno);
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  if (!ParseScript(text.str(), out, error)) {
    error = "script " + path + ": " + error;
    return false;
  }
  return true;
}

}  // namespace pcpos::sim
