// Another process that holds the exclusive lock on a file until it is let go,
// as a second tester or an editor with the log open would.
#pragma once

#include <sys/types.h>

#include <string>

namespace pcpos::testing {

class LockHolder {
 public:
  explicit LockHolder(const std::string& path);
  ~LockHolder();
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

  bool locked() const { return locked_; }

 private:
  pid_t pid_ = -1;
  int release_fd_ = -1;
  bool locked_ = false;
};

}  // namespace pcpos::testing
