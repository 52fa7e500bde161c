#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "tests/support/other_writer.h"

namespace pcpos::testing {

OtherWriter::OtherWriter(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  handle_ = fd;
  holding_ = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

OtherWriter::~OtherWriter() { Release(); }

void OtherWriter::Release() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
  holding_ = false;
}

}  // namespace pcpos::testing
