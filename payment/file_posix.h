// The payment layer's files on POSIX systems: a descriptor that is closed on
// every path, and errors in the log's numbering. Internal to payment/.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <string>

#include "payment/response_log.h"

namespace pcpos::posix_file {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  // An error has already been reported on this path; a close failure would
  // only hide it.
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now; the errno of a failed close, else 0.
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    // After EINTR the descriptor is gone on Linux; nothing was lost.
    return result == 0 || errno == EINTR ? 0 : errno;
  }

 private:
  int fd_;
};

[[noreturn]] inline void Fail(int error, const std::string& path) {
  throw LogFileError(LogErrorFromPlatform(error), path);
}

}  // namespace pcpos::posix_file
