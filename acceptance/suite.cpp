#include "acceptance/suite.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <utility>

namespace pcpos::acceptance {
namespace {

using nlohmann::json;

struct Fault {
  std::string message;
};

constexpr std::string_view kTopKeys[] = {"name", "cases"};
constexpr std::string_view kCaseKeys[] = {"id", "title", "prompt", "amount", "expect"};
constexpr std::string_view kExpectKeys[] = {"outcome", "response_code", "max_answer_s"};
constexpr Outcome kOutcomes[] = {Outcome::Approved, Outcome::Declined, Outcome::NotSent,
                                 Outcome::Unknown};
constexpr double kMaxAnswerSecondsLimit = 24 * 3600;

template <std::size_t N>
std::string Known(const std::string_view (&keys)[N]) {
  std::string list;
  for (const auto key : keys) list += (list.empty() ? "" : ", ") + std::string(key);
  return list;
}

template <std::size_t N>
bool IsKnown(const std::string_view (&keys)[N], const std::string& key) {
  for (const auto k : keys) {
    if (k == key) return true;
  }
  return false;
}

std::string Shown(const json& value) {
  if (value.is_number()) return value.dump();
  return value.type_name();
}

class CaseReader {
 public:
  CaseReader(std::size_t index, const json& item) : item_(item) {
    where_ = "case " + std::to_string(index + 1);
    // The id names the case in every message once it can be read.
    if (item.is_object() && item.contains("id") && item["id"].is_string()) {
      where_ += " (\"" + item["id"].get<std::string>() + "\")";
    }
  }

  SuiteCase Read() {
    if (!item_.is_object()) throw Fault{where_ + " must be an object, not " + Shown(item_)};
    for (const auto& [key, value] : item_.items()) {
      if (!IsKnown(kCaseKeys, key)) {
        throw Fault{where_ + ": unknown key \"" + key + "\" (known: " + Known(kCaseKeys) + ")"};
      }
    }
    SuiteCase c;
    c.id = Required("id");
    if (c.id.empty()) throw Fault{where_ + ": \"id\" is empty"};
    c.amount = Required("amount");
    if (item_.contains("title")) c.title = Text("\"title\"", item_["title"]);
    if (item_.contains("prompt")) c.prompt = Text("\"prompt\"", item_["prompt"]);
    if (!item_.contains("expect")) throw Fault{where_ + ": \"expect\" is missing"};
    c.expect = ReadExpect(item_["expect"]);
    return c;
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

  std::string Required(const char* key) const {
    const std::string quoted = std::string("\"") + key + "\"";
    if (!item_.contains(key)) throw Fault{where_ + ": " + quoted + " is missing"};
    return Text(quoted, item_[key]);
  }

  Expectation ReadExpect(const json& value) const {
    if (!value.is_object()) Wrong("\"expect\"", "an object", value);
    for (const auto& [key, v] : value.items()) {
      if (!IsKnown(kExpectKeys, key)) {
        throw Fault{where_ + ": unknown key \"expect\".\"" + key +
                    "\" (known: " + Known(kExpectKeys) + ")"};
      }
    }
    Expectation e;
    if (!value.contains("outcome")) throw Fault{where_ + ": \"expect\".\"outcome\" is missing"};
    for (const std::string& name : List("\"expect\".\"outcome\"", value["outcome"])) {
      const auto outcome = OutcomeByName(name);
      if (!outcome) {
        throw Fault{where_ + ": \"expect\".\"outcome\" holds \"" + name +
                    "\"; known: approved, declined, not-sent, unknown"};
      }
      e.outcomes.push_back(*outcome);
    }
    if (e.outcomes.empty()) throw Fault{where_ + ": \"expect\".\"outcome\" is empty"};
    if (value.contains("response_code")) {
      e.response_codes = List("\"expect\".\"response_code\"", value["response_code"]);
    }
    if (value.contains("max_answer_s")) {
      const json& s = value["max_answer_s"];
      if (!s.is_number()) Wrong("\"expect\".\"max_answer_s\"", "a number of seconds", s);
      const double seconds = s.get<double>();
      if (!(seconds > 0 && seconds <= kMaxAnswerSecondsLimit)) {
        Wrong("\"expect\".\"max_answer_s\"", "more than 0 and at most 86400 seconds", s);
      }
      e.max_answer_s = seconds;
    }
    return e;
  }

  std::vector<std::string> List(const std::string& key, const json& value) const {
    if (!value.is_array()) Wrong(key, "a list of strings", value);
    std::vector<std::string> list;
    for (std::size_t i = 0; i < value.size(); ++i) {
      list.push_back(Text(key + "[" + std::to_string(i) + "]", value[i]));
    }
    return list;
  }

  std::string where_;
  const json& item_;
};

}  // namespace

std::optional<Outcome> OutcomeByName(std::string_view name) {
  for (const Outcome o : kOutcomes) {
    if (OutcomeName(o) == name) return o;
  }
  return std::nullopt;
}

bool ParseSuite(std::string_view text, Suite& out, std::string& error) {
  json document;
  try {
    document = json::parse(text);
  } catch (const json::parse_error& e) {
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
      throw Fault{"the suite must be an object {\"name\": ..., \"cases\": [...]}, not " +
                  Shown(document)};
    }
    for (const auto& [key, value] : document.items()) {
      if (!IsKnown(kTopKeys, key)) {
        throw Fault{"unknown key \"" + key + "\" at the top (known: " + Known(kTopKeys) + ")"};
      }
    }
    Suite suite;
    if (document.contains("name")) {
      if (!document["name"].is_string()) {
        throw Fault{"\"name\" must be a string, not " + Shown(document["name"])};
      }
      suite.name = document["name"].get<std::string>();
    }
    if (!document.contains("cases")) throw Fault{"\"cases\" is missing"};
    const json& cases = document["cases"];
    if (!cases.is_array()) throw Fault{"\"cases\" must be a list of cases, not " + Shown(cases)};
    if (cases.empty()) throw Fault{"\"cases\" holds no case"};
    std::set<std::string> ids;
    for (std::size_t i = 0; i < cases.size(); ++i) {
      SuiteCase c = CaseReader(i, cases[i]).Read();
      if (!ids.insert(c.id).second) {
        throw Fault{"case " + std::to_string(i + 1) + ": \"id\" \"" + c.id +
                    "\" is already the id of an earlier case"};
      }
      suite.cases.push_back(std::move(c));
    }
    out = std::move(suite);
    return true;
  } catch (const Fault& fault) {
    error = fault.message;
    return false;
  }
}

bool LoadSuite(const std::string& name_or_path, Suite& out, std::string& error) {
  if (name_or_path == kInstallSuiteName) {
    out = InstallSuite();
    return true;
  }
  std::ifstream in(name_or_path, std::ios::binary);
  if (!in) {
    error = "suite " + name_or_path + ": cannot be read: " + std::strerror(errno);
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  if (!ParseSuite(text.str(), out, error)) {
    error = "suite " + name_or_path + ": " + error;
    return false;
  }
  return true;
}

bool SelectCases(Suite& suite, std::string_view ids, std::string& error) {
  std::set<std::string, std::less<>> wanted;
  std::size_t start = 0;
  while (start <= ids.size()) {
    std::size_t end = ids.find(',', start);
    if (end == std::string_view::npos) end = ids.size();
    std::string_view id = ids.substr(start, end - start);
    while (!id.empty() && id.front() == ' ') id.remove_prefix(1);
    while (!id.empty() && id.back() == ' ') id.remove_suffix(1);
    if (!id.empty()) wanted.emplace(id);
    start = end + 1;
  }
  if (wanted.empty()) {
    error = "--cases names no case";
    return false;
  }
  for (const auto& id : wanted) {
    bool found = false;
    for (const auto& c : suite.cases) found = found || c.id == id;
    if (!found) {
      error = "--cases: the suite has no case \"" + id + "\"";
      return false;
    }
  }
  std::vector<SuiteCase> kept;
  for (auto& c : suite.cases) {
    if (wanted.contains(c.id)) kept.push_back(std::move(c));
  }
  suite.cases = std::move(kept);
  return true;
}

}  // namespace pcpos::acceptance
