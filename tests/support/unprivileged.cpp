#include "tests/support/unprivileged.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace pcpos::testing {

int RunUnprivileged(const std::function<int()>& body) {
  const auto guarded = [&]() -> int {
    try {
      return body();
    } catch (...) {
      return kUnprivilegedFailure;
    }
  };
  if (::geteuid() != 0) return guarded();

  const pid_t child = ::fork();
  if (child < 0) throw std::system_error(errno, std::generic_category(), "fork");
  if (child == 0) {
    // Group first: once the user is dropped, the group can no longer change.
    if (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedId) != 0 ||
        ::setuid(kUnprivilegedId) != 0 || ::geteuid() == 0) {
      ::_exit(kUnprivilegedFailure);
    }
    // _exit: the child must not run the test framework's or the parent's
    // clean-up a second time.
    ::_exit(guarded() & 0xFF);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) throw std::system_error(errno, std::generic_category(), "waitpid");
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : kUnprivilegedFailure;
}

}  // namespace pcpos::testing
