#include "tests/faults/lock_holder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace pcpos::testing {

LockHolder::LockHolder(const std::string& path) {
  int ready[2], release[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  if (::pipe2(release, O_CLOEXEC) != 0) {
    ::close(ready[0]);
    ::close(ready[1]);
    throw std::runtime_error("pipe");
  }
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    // Only the parent may hold the release pipe's write end, or the child's
    // read below never sees its end.
    ::close(release[1]);
    ::close(ready[0]);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const char ok = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
    (void)!::write(ready[1], &ok, 1);
    char ignored;
    (void)!::read(release[0], &ignored, 1);
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  release_fd_ = release[1];
  char ok = 'n';
  locked_ = ::read(ready[0], &ok, 1) == 1 && ok == 'y';
  ::close(ready[0]);
}

LockHolder::~LockHolder() {
  ::close(release_fd_);
  int status = 0;
  ::waitpid(pid_, &status, 0);
}

}  // namespace pcpos::testing
