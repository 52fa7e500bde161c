// ScratchDir on POSIX: open to every user, so that RunUnprivileged's child can
// work in it.
#include "tests/support/scratch_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace pcpos::testing {

ScratchDir::ScratchDir(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "mkdtemp");
  }
  path_ = pattern;
  // mkdtemp makes it 0700; the unprivileged child must be able to work in it.
  if (::chmod(path_.c_str(), 0777) != 0) {
    throw std::system_error(errno, std::generic_category(), "chmod");
  }
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace pcpos::testing
