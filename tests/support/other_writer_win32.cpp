#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "tests/support/other_writer.h"
#include "text/utf16.h"

namespace pcpos::testing {

OtherWriter::OtherWriter(const std::string& path) {
  const HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  handle_ = reinterpret_cast<std::intptr_t>(h);
  holding_ = true;
}

OtherWriter::~OtherWriter() { Release(); }

void OtherWriter::Release() {
  if (holding_) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
  holding_ = false;
}

}  // namespace pcpos::testing
