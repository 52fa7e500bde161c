// Runs a program as a child process with its output captured, the way an
// operator's shell or a shortcut would start it, and reports how it ended.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace pcpos::testing {

struct ChildLimits {
  // Give up root for the child (permission bits then apply); ignored when not root.
  bool unprivileged = false;
  // RLIMIT_FSIZE for the child, with SIGXFSZ ignored so that a write past it
  // fails with EFBIG instead of killing the process.
  std::optional<long> max_file_size;
  // RLIMIT_NOFILE for the child: descriptors run out where it opens more.
  std::optional<long> max_open_files;
  // The child is killed after this long; a kill is reported as a hang.
  std::chrono::milliseconds deadline{60'000};
};

struct ChildResult {
  std::string out;
  std::string err;
  bool exited = false;  // ended by exit(), not by a signal
  int exit_code = -1;   // when exited
  int signal = 0;       // when killed by a signal
  bool hung = false;    // killed by us at the deadline
  std::chrono::milliseconds elapsed{0};

  // "exit 1", "signal 11", "hung (killed)".
  std::string Ending() const;
};

ChildResult RunChild(const std::vector<std::string>& argv, const ChildLimits& limits = {});

}  // namespace pcpos::testing
