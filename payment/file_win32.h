// The payment layer's files on Windows: a handle that is closed on every path
// (UTF-8 paths reach the wide-character API through text/utf16.h). Internal to
// payment/.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace pcpos::win32_file {

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  HANDLE get() const { return h_; }
  // Closes now; the error code of a failed close, else 0.
  DWORD Close() {
    const BOOL ok = CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    return ok ? 0 : GetLastError();
  }

 private:
  HANDLE h_;
};

}  // namespace pcpos::win32_file
