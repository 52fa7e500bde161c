// The scratch folders every test with files uses.
#pragma once

#include <filesystem>
#include <string>

namespace pcpos::testing {

// A fresh folder under the system's temporary folder, removed with everything
// in it at the end. On POSIX it is open to every user (0777), so that a check
// run by RunUnprivileged can reach it and create files in it.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix = "pcpos-test-");
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  ~ScratchDir();

  const std::filesystem::path& path() const { return path_; }
  // The folder with a trailing separator, as the log folder text expects it.
  std::string folder() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
};

}  // namespace pcpos::testing
