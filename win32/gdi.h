// Owners of the window system's handles: each handle is released where its
// owner goes, on every way out, and a create that fails throws instead of
// handing on a null handle.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

namespace pcpos::win32 {

// Throws std::runtime_error naming `what` when `handle` is null.
template <typename Handle>
Handle Checked(Handle handle, const char* what) {
  if (handle == nullptr) throw std::runtime_error(std::string(what) + " failed");
  return handle;
}

template <typename Handle, typename Free>
class Unique {
 public:
  Unique() noexcept = default;
  explicit Unique(Handle handle) noexcept : handle_(handle) {}
  ~Unique() { reset(); }
  Unique(Unique&& other) noexcept : handle_(other.release()) {}
  Unique& operator=(Unique&& other) noexcept {
    reset(other.release());
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != nullptr; }
  Handle release() noexcept {
    Handle handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  void reset(Handle handle = nullptr) noexcept {
    if (handle_ != nullptr) Free{}(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = nullptr;
};

struct DeleteGdiObject {
  void operator()(HGDIOBJ object) const noexcept { DeleteObject(object); }
};
struct DestroyIconHandle {
  void operator()(HICON icon) const noexcept { DestroyIcon(icon); }
};
struct DeleteDeviceContext {
  void operator()(HDC dc) const noexcept { DeleteDC(dc); }
};

using UniqueFont = Unique<HFONT, DeleteGdiObject>;
using UniqueBitmap = Unique<HBITMAP, DeleteGdiObject>;
using UniqueIcon = Unique<HICON, DestroyIconHandle>;
// A device context of CreateCompatibleDC.
using UniqueDc = Unique<HDC, DeleteDeviceContext>;

// A window's device context (GetDC), released to the window when it goes.
class WindowDc {
 public:
  explicit WindowDc(HWND hwnd) : hwnd_(hwnd), dc_(Checked(GetDC(hwnd), "GetDC")) {}
  ~WindowDc() { ReleaseDC(hwnd_, dc_); }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const noexcept { return dc_; }

 private:
  HWND hwnd_;
  HDC dc_;
};

// An object selected into a device context; the one it replaced is selected
// back when this goes.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~Selection() { SelectObject(dc_, old_); }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace pcpos::win32
