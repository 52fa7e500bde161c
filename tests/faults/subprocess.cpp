#include "tests/faults/subprocess.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

#include "tests/support/unprivileged.h"

namespace pcpos::testing {

std::string ChildResult::Ending() const {
  if (hung) return "hung (killed)";
  if (exited) return "exit " + std::to_string(exit_code);
  return "signal " + std::to_string(signal);
}

namespace {

[[noreturn]] void Fail(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

// Between fork and exec only async-signal-safe calls: the test process has
// threads (loopback peers) whose locks the child must not touch.
[[noreturn]] void StartChild(const std::vector<char*>& argv, int out_fd, int err_fd,
                             const ChildLimits& limits) {
  if (::dup2(out_fd, STDOUT_FILENO) < 0 || ::dup2(err_fd, STDERR_FILENO) < 0) ::_exit(126);
  const int null_fd = ::open("/dev/null", O_RDONLY);
  if (null_fd >= 0) ::dup2(null_fd, STDIN_FILENO);
  if (limits.max_file_size) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, nullptr);
    const rlimit limit{static_cast<rlim_t>(*limits.max_file_size),
                       static_cast<rlim_t>(*limits.max_file_size)};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
  }
  // The child starts with the standard streams only, as from a shell: the
  // test's own descriptors (peers, pipes) must not count against its limits.
  for (int fd = 3; fd < 1024; ++fd) ::close(fd);
  if (limits.max_open_files) {
    const rlimit limit{static_cast<rlim_t>(*limits.max_open_files),
                       static_cast<rlim_t>(*limits.max_open_files)};
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(126);
  }
  if (limits.unprivileged && ::geteuid() == 0) {
    // Opened while still root: the build may lie where the unprivileged user
    // cannot reach (a clone in root's home, mode 0700). The program file
    // itself is executable by all; only the way to it is closed.
    const int program = ::open(argv[0], O_RDONLY | O_CLOEXEC);
    if (program < 0) ::_exit(127);
    if (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedId) != 0 ||
        ::setuid(kUnprivilegedId) != 0) {
      ::_exit(126);
    }
    // A working folder the user may be denied does not matter to the program.
    ::fexecve(program, argv.data(), environ);
    ::_exit(127);
  }
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

}  // namespace

ChildResult RunChild(const std::vector<std::string>& args, const ChildLimits& limits) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  int out_pipe[2], err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) Fail("pipe");
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) Fail("pipe");

  const auto started = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) Fail("fork");
  if (pid == 0) StartChild(argv, out_pipe[1], err_pipe[1], limits);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);

  ChildResult result;
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_pipes = 2;
  const auto deadline = started + limits.deadline;
  while (open_pipes > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      ::kill(pid, SIGKILL);
      result.hung = true;
      break;
    }
    if (::poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) Fail("poll");
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[65536];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_pipes;
      }
    }
  }
  for (const pollfd& p : fds) {
    if (p.fd >= 0) ::close(p.fd);
  }

  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) Fail("waitpid");
  }
  result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  if (WIFEXITED(status)) {
    result.exited = true;
    result.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  return result;
}

}  // namespace pcpos::testing
