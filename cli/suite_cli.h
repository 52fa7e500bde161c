// The client's acceptance run: `--suite FILE|install` runs a suite's cases one
// payment each, guided by prompts on the terminal, and writes the report.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "payment/transaction.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace pcpos {

class CliInterrupt;

// Exit statuses of a suite run; a usage or suite error is kExitUsage and a
// signal 128 + its number, as for single payments.
inline constexpr int kExitSuitePassed = 0;
inline constexpr int kExitSuiteFailed = 1;

struct SuiteArgs {
  std::string suite;       // a file, or "install"; empty: no suite run
  std::string report_dir;  // empty: the log folder
  std::string cases;       // comma-separated ids; empty: all
  bool unattended = false;
};

// True when the command line asks for a suite (then --amount is not required).
bool SuiteRequested(int argc, const char* const* argv);

// Adds --suite, --report, --cases and --unattended; the suite excludes the
// single payment's --amount and the series' --repeat.
void AddSuiteOptions(CLI::App& app, SuiteArgs& args, CLI::Option* amount, CLI::Option* repeat);

// Runs the suite against the reader of `base` (its amount is each case's own).
// Prompts and reads a line from `in` before each case unless unattended.
// `command` is the command line as given, for the re-run's command.
int RunSuite(const SuiteArgs& args, const PaymentInputs& base, const TransactionOptions& options,
             bool json, std::istream& in, std::ostream& out, std::ostream& err,
             CliInterrupt* interrupt, const std::vector<std::string>& command);

}  // namespace pcpos
