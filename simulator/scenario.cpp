#include "simulator/scenario.h"

#include <array>

namespace pcpos::sim {
namespace {

constexpr std::array kScenarios = {
    ScenarioInfo{Scenario::Approve, "approve", "00", "00", "approves at once"},
    ScenarioInfo{Scenario::Cancelled, "cancel", "01", "01", "cancelled by the cardholder"},
    ScenarioInfo{Scenario::WrongPin, "wrong-pin", "30", "30", "wrong PIN"},
    ScenarioInfo{Scenario::Declined, "decline", "51", "51", "declined (insufficient funds)"},
    ScenarioInfo{Scenario::Delay, "delay", "10", "00",
                 "approves after --delay seconds (a slow cardholder)"},
    ScenarioInfo{Scenario::TwoSegments, "two-segments", "20", "00",
                 "approves in two segments --pause seconds apart, split after the "
                 "response code"},
    ScenarioInfo{Scenario::BadHeader, "bad-header", "40", "00",
                 "approves, but with the header \"@@zrm@@\""},
    ScenarioInfo{Scenario::Reset, "reset", "60", "",
                 "resets the connection (RST) instead of answering"},
    ScenarioInfo{Scenario::CloseWithoutAnswer, "close", "70", "",
                 "closes the connection without answering"},
    ScenarioInfo{Scenario::Silence, "silence", "80", "",
                 "never answers; closes after --silence-max seconds"},
    ScenarioInfo{Scenario::NoCard, "no-card", "90", "68",
                 "declines after --delay seconds: no card came (the reader gave up)"},
};

}  // namespace

std::span<const ScenarioInfo> Scenarios() { return kScenarios; }

const ScenarioInfo& Info(Scenario scenario) {
  for (const auto& info : kScenarios) {
    if (info.scenario == scenario) return info;
  }
  return kScenarios.front();
}

std::optional<Scenario> ScenarioByName(std::string_view name) {
  for (const auto& info : kScenarios) {
    if (info.name == name) return info.scenario;
  }
  return std::nullopt;
}

Step StepFor(Scenario scenario, std::chrono::milliseconds delay) {
  const auto& info = Info(scenario);
  Step step;
  step.name = std::string(info.name);
  step.code = std::string(info.code);
  switch (scenario) {
    case Scenario::Approve:
    case Scenario::Cancelled:
    case Scenario::WrongPin:
    case Scenario::Declined:
      break;
    case Scenario::Delay:
    case Scenario::NoCard:
      step.delay = delay;
      break;
    case Scenario::TwoSegments:
      step.split_after_code = true;
      break;
    case Scenario::BadHeader:
      step.header = "@@zrm@@";
      break;
    case Scenario::Reset:
      step.action = Action::Reset;
      break;
    case Scenario::CloseWithoutAnswer:
      step.action = Action::Close;
      break;
    case Scenario::Silence:
      step.action = Action::Silence;
      break;
  }
  return step;
}

Scenario ScenarioForAmount(std::string_view amount) {
  if (amount.size() < 2) return Scenario::Approve;
  const auto ending = amount.substr(amount.size() - 2);
  for (const auto& info : kScenarios) {
    if (info.trigger == ending) return info.scenario;
  }
  return Scenario::Approve;
}

}  // namespace pcpos::sim
