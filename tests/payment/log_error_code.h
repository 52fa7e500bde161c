// The code a response-log call fails with, for the tests that check the
// table of log errors.
#pragma once

#include <optional>

#include "payment/response_log.h"

namespace pcpos {

// The code of the LogFileError that `action` throws, or nullopt when it throws none.
template <typename Action>
std::optional<int> ErrorCodeOf(Action&& action) {
  try {
    action();
  } catch (const LogFileError& e) {
    return e.code();
  }
  return std::nullopt;
}

}  // namespace pcpos
