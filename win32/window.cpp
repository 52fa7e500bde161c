#include "win32/window.h"

#include <stdexcept>

#include "win32/errors.h"
#include "text/utf16.h"

namespace pcpos::win32 {
namespace {

constexpr wchar_t kControlProperty[] = L"pcpos.Control";

}  // namespace

Window::~Window() {
  if (hwnd_ != nullptr) {
    // Messages sent while it goes must not reach a half-destroyed object.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

void Window::Create(const wchar_t* class_name, std::string_view title, DWORD style, DWORD ex_style,
                    HICON icon) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW known{};
  known.cbSize = sizeof known;
  if (!GetClassInfoExW(instance, class_name, &known)) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Window::Procedure;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hIconSm = icon;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = class_name;
    if (RegisterClassExW(&wc) == 0) throw std::runtime_error("RegisterClassExW failed");
  }
  const std::wstring caption = Wide(title);
  // WM_NCCREATE stores `this`; from then on the handler gets every message.
  hwnd_ =
      CreateWindowExW(ex_style, class_name, caption.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
  if (hwnd_ == nullptr) throw std::runtime_error("CreateWindowExW failed");
}

LRESULT Window::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (Control* control = Control::From(reinterpret_cast<HWND>(lparam))) {
        if (control->OnCommand(HIWORD(wparam))) return 0;
      }
      break;
    case WM_CTLCOLOREDIT:
      if (Control* control = Control::From(reinterpret_cast<HWND>(lparam))) {
        if (const auto brush = control->OnColour(reinterpret_cast<HDC>(wparam))) {
          return reinterpret_cast<LRESULT>(*brush);
        }
      }
      break;
    case WM_DRAWITEM: {
      const auto& draw = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      if (Control* control = Control::From(draw.hwndItem)) {
        if (control->OnDraw(draw)) return TRUE;
      }
      break;
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wparam, lparam);
}

LRESULT CALLBACK Window::Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    auto* self = static_cast<Window*>(create->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
  // No error may unwind through the window system's frames.
  try {
    return self->HandleMessage(message, wparam, lparam);
  } catch (...) {
    ReportEventError(std::current_exception());
    return 0;
  }
}

void Control::Create(HWND parent, const wchar_t* system_class, std::string_view text, DWORD style,
                     DWORD ex_style, int id) {
  const std::wstring wide = Wide(text);
  hwnd_ = CreateWindowExW(ex_style, system_class, wide.c_str(), style | WS_CHILD | WS_VISIBLE, 0, 0,
                          0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                          GetModuleHandleW(nullptr), nullptr);
  if (hwnd_ == nullptr) throw std::runtime_error("CreateWindowExW failed for a control");
  // The system's controls leave their user data to the application; a property
  // names ours, so that another window's data is never taken for a Control.
  SetPropW(hwnd_, kControlProperty, this);
}

Control::~Control() {
  if (hwnd_ != nullptr && IsWindow(hwnd_)) RemovePropW(hwnd_, kControlProperty);
}

Control* Control::From(HWND hwnd) {
  if (hwnd == nullptr) return nullptr;
  return static_cast<Control*>(GetPropW(hwnd, kControlProperty));
}

bool Button::OnCommand(WORD code) {
  if (code != BN_CLICKED || !on_click) return false;
  on_click();
  return true;
}

bool Edit::OnCommand(WORD code) {
  if (code != EN_CHANGE || !on_change) return false;
  on_change();
  return true;
}

void Edit::SetGreyed(bool greyed) {
  if (greyed_ == greyed) return;
  greyed_ = greyed;
  InvalidateRect(hwnd(), nullptr, TRUE);
}

std::optional<HBRUSH> Edit::OnColour(HDC dc) {
  if (!greyed_) return std::nullopt;
  SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  return GetSysColorBrush(COLOR_WINDOW);
}

bool OwnerDrawn::OnDraw(const DRAWITEMSTRUCT& draw) {
  if (!on_draw) return false;
  on_draw(draw);
  return true;
}

void Control::SetText(std::string_view utf8) const { SetWindowTextW(hwnd_, Wide(utf8).c_str()); }

std::string Control::Text() const {
  const int length = GetWindowTextLengthW(hwnd_);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(hwnd_, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(got));
  return Utf8(text);
}

void Control::SetFont(HFONT font) const {
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void Control::MoveTo(const RECT& where) const {
  SetWindowPos(hwnd_, nullptr, where.left, where.top, where.right - where.left,
               where.bottom - where.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace pcpos::win32
