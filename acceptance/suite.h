// An acceptance suite: a named list of cases, each one payment with what the
// operator must do on the reader and what its outcome must be. Read from a JSON
// file, or the built-in installation check.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "payment/message_format.h"

namespace pcpos::acceptance {

struct Expectation {
  std::vector<Outcome> outcomes;            // any of these; never empty
  std::vector<std::string> response_codes;  // any of these; empty: any code
  std::optional<double> max_answer_s;       // the answer must come within this
};

struct SuiteCase {
  std::string id;      // unique in its suite
  std::string title;   // may be empty
  std::string prompt;  // what the operator does on the reader; may be empty
  std::string amount;
  Expectation expect;
};

struct Suite {
  std::string name;
  std::vector<SuiteCase> cases;
};

// The name that stands for the built-in suite where a file is expected.
inline constexpr std::string_view kInstallSuiteName = "install";

// The outcome for its name as the client's JSON writes it ("approved", ...).
std::optional<Outcome> OutcomeByName(std::string_view name);

// Reads a suite's text. On a fault (not JSON, an unknown key, a value of the
// wrong type, a missing required key, a duplicate id), false and a message
// naming the case by its position counted from 1 (and its id when it has one)
// and the key.
bool ParseSuite(std::string_view text, Suite& out, std::string& error);

// The built-in suite for kInstallSuiteName, else the file at the path; the
// message then names the file.
bool LoadSuite(const std::string& name_or_path, Suite& out, std::string& error);

// The installation check: approve, cancel on the reader, wrong PIN, decline,
// no card until the reader gives up, two approvals in a row, the network cut
// after the card is presented. Persian prompts; amounts whose endings make the
// simulated reader play each case.
Suite InstallSuite();

// Keeps the cases whose ids the comma-separated list names, in the suite's
// order. An id the suite lacks, or an empty list, is an error naming it.
bool SelectCases(Suite& suite, std::string_view ids, std::string& error);

}  // namespace pcpos::acceptance
