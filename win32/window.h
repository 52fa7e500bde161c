// A small object layer over Win32: Window is a window of a class of our own whose
// messages arrive in a virtual handler; Control wraps one of the system's controls
// (static, edit, button) that a Window owns. What a control tells its parent
// (a command, a request for colours or for drawing) the parent hands back to
// the control object, so that each kind handles its own: a Button calls its
// on_click, an Edit greys its text, an OwnerDrawn control calls its on_draw.
// Texts are UTF-8 on this side.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
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
  // error (errors.h) and the message counts as handled. This one hands the
  // controls' notifications to their Control objects.
  virtual LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  HWND hwnd_ = nullptr;
};

class Control {
 public:
  Control() = default;
  // Unhooks the object from its control, which may outlive it by a moment.
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // A child of `parent` with the given system class and control id; its place
  // is set later (MoveTo). Throws std::runtime_error when it cannot be made.
  void Create(HWND parent, const wchar_t* system_class, std::string_view text, DWORD style,
              DWORD ex_style, int id);
  // The object of a control made by Create; nullptr for any other window.
  static Control* From(HWND hwnd);

  HWND hwnd() const { return hwnd_; }
  void SetText(std::string_view utf8) const;
  std::string Text() const;
  void SetFont(HFONT font) const;
  void Enable(bool enabled) const { EnableWindow(hwnd_, enabled ? TRUE : FALSE); }
  // Moves the control to `where`, in device pixels of its parent's client area.
  void MoveTo(const RECT& where) const;

  // A notification of WM_COMMAND; true when handled.
  virtual bool OnCommand(WORD /*code*/) { return false; }
  // WM_CTLCOLOREDIT: the brush to paint with, having set `dc`'s colours;
  // nothing leaves the system's colours.
  virtual std::optional<HBRUSH> OnColour(HDC /*dc*/) { return std::nullopt; }
  // WM_DRAWITEM of an owner-drawn control; true when drawn.
  virtual bool OnDraw(const DRAWITEMSTRUCT& /*draw*/) { return false; }

 private:
  HWND hwnd_ = nullptr;  // destroyed with its parent
};

class Button final : public Control {
 public:
  std::function<void()> on_click;
  bool OnCommand(WORD code) override;
};

// An edit box that can show its text greyed (a value of an earlier payment),
// and calls on_change when its text changes.
class Edit final : public Control {
 public:
  std::function<void()> on_change;
  bool greyed() const { return greyed_; }
  void SetGreyed(bool greyed);
  bool OnCommand(WORD code) override;
  std::optional<HBRUSH> OnColour(HDC dc) override;

 private:
  bool greyed_ = false;
};

// A static control that its owner draws.
class OwnerDrawn final : public Control {
 public:
  std::function<void(const DRAWITEMSTRUCT&)> on_draw;
  bool OnDraw(const DRAWITEMSTRUCT& draw) override;
};

}  // namespace pcpos::win32
