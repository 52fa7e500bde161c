// The simulated reader's strict reading of a purchase request: header, ten
// length-prefixed fields with the values a purchase always carries, and an
// amount it can collect. Unlike the client's tolerant reading, anything else is
// a fault the reader reports.
#pragma once

#include <string>
#include <string_view>

namespace pcpos::sim {

enum class RequestProblem {
  None,
  BadHeader,        // does not start with "@@ZRM@@"
  BadPrefix,        // a length prefix that is not two decimal digits
  Truncated,        // the line ends inside a prefix or a value
  TrailingData,     // characters after the tenth field
  UnexpectedValue,  // a field other than the amount differs from its fixed value
  BadAmount,        // not 1 to 12 digits, or zero
};

struct RequestCheck {
  RequestProblem problem = RequestProblem::None;
  int field = 0;       // 1..10 for a problem tied to one field
  std::string amount;  // the amount as received, when field 3 could be read

  bool ok() const { return problem == RequestProblem::None; }
  // The response code the reader answers a faulty request with.
  std::string_view code() const;
  // A short description for the log.
  std::string describe() const;
};

// `line` is the request without its line end.
RequestCheck CheckRequest(std::string_view line);

}  // namespace pcpos::sim
