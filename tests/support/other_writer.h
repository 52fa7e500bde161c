// Another writer holding a file, in this process, the way each platform lets
// a writer keep others out: an exclusive lock on POSIX, a handle that shares
// only reading on Windows. The response log must then refuse to write.
#pragma once

#include <cstdint>
#include <string>

namespace pcpos::testing {

class OtherWriter {
 public:
  // `path` is UTF-8 and must name an existing file.
  explicit OtherWriter(const std::string& path);
  ~OtherWriter();
  OtherWriter(const OtherWriter&) = delete;
  OtherWriter& operator=(const OtherWriter&) = delete;

  // True once the file is held.
  bool holding() const { return holding_; }
  // Lets go of the file early.
  void Release();

 private:
  std::intptr_t handle_ = -1;
  bool holding_ = false;
};

}  // namespace pcpos::testing
