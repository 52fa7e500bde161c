// ScratchDir on Windows; RunUnprivileged has no counterpart there (permission
// bits and a dropped root are POSIX mechanisms).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <system_error>

#include "tests/support/scratch_dir.h"

namespace pcpos::testing {

ScratchDir::ScratchDir(const std::string& prefix) {
  static std::atomic<unsigned> counter{0};
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  // The process id and a counter name it; a left-over of an earlier run with
  // the same id is skipped.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate =
        base / (prefix + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++));
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("no scratch folder under " + base.string());
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace pcpos::testing
