// The reader's side of the exchanges as a script for pcpos-sim --script, so the
// reader's behaviour can be played again on the bench.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tap/exchange.h"

namespace pcpos::tap {

// The script step that plays this exchange's reader: its answer's bytes (card
// number masked), the delay after the request, the pieces and the pauses
// between them, and how it ended (a close, a reset, or a silence until the
// ECR left). None when no reader connection was made, which a script cannot
// play.
std::optional<std::string> RecordedStep(const Exchange& x);

// The script file, kept a whole JSON document after every batch of steps:
// the steps are appended before the closing brackets, which are written again.
class Recording {
 public:
  Recording() = default;
  ~Recording();
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

  // False, with the reason, when the file cannot be made.
  bool Open(const std::string& path, std::string& error);
  // Appends the steps (each from RecordedStep) and flushes; false on a write error.
  bool Append(const std::vector<std::string>& steps, std::string& error);

 private:
  std::FILE* file_ = nullptr;
  long tail_at_ = 0;  // where the closing brackets start
  std::size_t steps_ = 0;
  std::string path_;
};

}  // namespace pcpos::tap
