// File permission checks that hold also when the tests run as root, which
// ignores permission bits: the check then runs in a child process that has
// given up root (POSIX only). And the scratch folders every test with files uses.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace pcpos::testing {

#ifndef _WIN32
// The user and group the child takes when the tests run as root ("nobody").
inline constexpr unsigned kUnprivilegedId = 65534;

// Runs `body` where permission bits apply and returns its result (0..255).
// Not root: runs it directly. Root: runs it in a forked child that has dropped
// to kUnprivilegedId; the child's exit status carries the result. An exception
// escaping the body, or a child that could not drop its privileges, gives
// kUnprivilegedFailure.
inline constexpr int kUnprivilegedFailure = 255;
int RunUnprivileged(const std::function<int()>& body);
#endif

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
