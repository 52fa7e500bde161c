// What the simulated reader does with one request. A run either plays one
// scenario for every request or picks it from the last two digits of the amount,
// so that one running simulator can play them all from the window.
#pragma once

#include <optional>
#include <span>
#include <string_view>

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
};

struct ScenarioInfo {
  Scenario scenario;
  std::string_view name;      // for --scenario and the log
  std::string_view trigger;   // the amount's last two digits
  std::string_view code;      // response code sent, empty when nothing is sent
  std::string_view behaviour;
};

std::span<const ScenarioInfo> Scenarios();
const ScenarioInfo& Info(Scenario scenario);
std::optional<Scenario> ScenarioByName(std::string_view name);

// The scenario for an amount's last two digits; every ending not in the table
// approves, so ordinary amounts ("1000", "250000") go through.
Scenario ScenarioForAmount(std::string_view amount);

// Response codes for requests that do not follow the format.
inline constexpr std::string_view kMalformedRequestCode = "12";
inline constexpr std::string_view kInvalidAmountCode = "13";

}  // namespace pcpos::sim
