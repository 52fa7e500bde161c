// A small object layer over Win32: Window is a window of a class of our own whose
// messages arrive in a virtual handler; Control wraps one of the system's controls
// (static, edit, button) that a Window owns. Texts are UTF-8 on this side.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "screen/layout.h"

namespace pcpos::win32 {

class Window {
 public:
  Window() = default;
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND hwnd() const { return hwnd_; }

 protected:
  // Registers the class on first use and creates the window, which is hidden
  // until shown. Throws std::runtime_error when either fails.
  void Create(const wchar_t* class_name, std::string_view title, DWORD style, DWORD ex_style,
              HICON icon);
  // The window's messages. An error that escapes it is reported as an event
  // error (errors.h) and the message counts as handled.
  virtual LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  HWND hwnd_ = nullptr;
};

class Control {
 public:
  Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // A child of `parent` with the given system class and control id; its place
  // is set later (Place). Throws std::runtime_error when it cannot be made.
  void Create(HWND parent, const wchar_t* system_class, std::string_view text, DWORD style,
              DWORD ex_style, int id);

  HWND hwnd() const { return hwnd_; }
  int id() const { return GetDlgCtrlID(hwnd_); }
  void SetText(std::string_view utf8) const;
  std::string Text() const;
  void SetFont(HFONT font) const;
  void Enable(bool enabled) const { EnableWindow(hwnd_, enabled ? TRUE : FALSE); }
  // Moves the control to `where`, in device pixels of its parent's client area.
  void MoveTo(const RECT& where) const;

 private:
  HWND hwnd_ = nullptr;  // destroyed with its parent
};

}  // namespace pcpos::win32
