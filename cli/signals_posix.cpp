#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "cli/cli.h"
#include "cli/signals.h"

namespace pcpos {
namespace {

CliInterrupt* g_interrupt = nullptr;
// /dev/null, opened before any signal can come: a handler may not open files
// safely, but it may dup2.
int g_null_fd = -1;
// Which of standard output and error were terminals at start.
bool g_terminal[3] = {};

// SIGINT and SIGTERM cancel the wait the way the window's cancel button does,
// and end a series; the waker only writes to a pipe.
extern "C" void OnCancel(int signal) {
  const int saved = errno;
  g_interrupt->Trigger(signal);
  errno = saved;
}

// The terminal went away (a dropped ssh session): the payment may already be
// with the reader, so it goes on to its end and is journaled. What was bound
// for that terminal goes nowhere from now on; output into a file or a pipe
// goes on.
extern "C" void OnHangUp(int) {
  const int saved = errno;
  for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
    if (g_terminal[fd] && g_null_fd >= 0) ::dup2(g_null_fd, fd);
  }
  errno = saved;
}

void Handle(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(signal, &action, nullptr);
}

}  // namespace

void InstallInterruptHandlers(CliInterrupt& interrupt) {
  g_interrupt = &interrupt;
  // A reader of the output that has gone (`| head -1`) makes writes fail with
  // EPIPE, which the streams ignore, instead of killing the process mid-payment.
  Handle(SIGPIPE, SIG_IGN);
  Handle(SIGINT, OnCancel);
  Handle(SIGTERM, OnCancel);

  struct sigaction hang_up {};
  ::sigaction(SIGHUP, nullptr, &hang_up);
  if (hang_up.sa_handler == SIG_IGN) return;  // started under nohup: it stays ignored
  g_null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  g_terminal[STDOUT_FILENO] = ::isatty(STDOUT_FILENO) == 1;
  g_terminal[STDERR_FILENO] = ::isatty(STDERR_FILENO) == 1;
  Handle(SIGHUP, OnHangUp);
}

}  // namespace pcpos
