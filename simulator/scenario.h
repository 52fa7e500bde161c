// What the simulated reader does with one request. A run either plays one
// scenario for every request or picks it from the last two digits of the amount,
// so that one running simulator can play them all from the window.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/answer_builder.h"

namespace pcpos::sim {

enum class Scenario {
  Approve,
  Cancelled,
  WrongPin,
  Declined,
  Delay,
  TwoSegments,
  BadHeader,
  Reset,
  CloseWithoutAnswer,
  Silence,
  NoCard,
};

struct ScenarioInfo {
  Scenario scenario;
  std::string_view name;     // for --scenario and the log
  std::string_view trigger;  // the amount's last two digits
  std::string_view code;     // response code sent, empty when nothing is sent
  std::string_view behaviour;
};

std::span<const ScenarioInfo> Scenarios();
const ScenarioInfo& Info(Scenario scenario);
std::optional<Scenario> ScenarioByName(std::string_view name);

// The scenario for an amount's last two digits; every ending not in the table
// approves, so ordinary amounts ("1000", "250000") go through.
Scenario ScenarioForAmount(std::string_view amount);

enum class Action { Answer, Reset, Close, Silence };

// What the reader does once its answer's last piece is out.
enum class AfterAnswer { Close, Reset, Silence };

// What a session does once the request is read. Every scenario comes down to
// one of these, and so does every step of a script, so one piece of code plays
// them all.
struct Step {
  std::string name;  // for the log
  Action action = Action::Answer;
  std::string code = "00";
  AnswerOverrides fields;
  std::optional<std::string> raw;      // sent as it is, in place of a generated answer
  std::chrono::milliseconds delay{0};  // before the action; the answer is built after it
  std::vector<std::size_t> pieces;     // offsets into the answer, increasing
  std::optional<std::chrono::milliseconds> pause;  // between pieces; none: --pause
  // Before each piece after the first, in turn; where the list ends, `pause`.
  std::vector<std::chrono::milliseconds> pauses;
  AfterAnswer after = AfterAnswer::Close;
  // Not a script's to set: the bad-header scenario's header, and the
  // two-segments cut, which moves with the lengths of the fields before it.
  std::string header{kAnswerHeader};
  bool split_after_code = false;
};

// The step a scenario plays; `delay` is the delay scenario's wait.
Step StepFor(Scenario scenario, std::chrono::milliseconds delay);

// Response codes for requests that do not follow the format.
inline constexpr std::string_view kMalformedRequestCode = "12";
inline constexpr std::string_view kInvalidAmountCode = "13";

}  // namespace pcpos::sim
