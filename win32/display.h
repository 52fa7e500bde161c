// What depends on the monitor: its dots per inch, the fonts made for them and
// the logo drawn at the size they give. The window is designed at 96 DPI and
// scaled from there (screen::Scaled); on a move to a monitor of another density
// (WM_DPICHANGED) all of it is made again.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "win32/gdi.h"

namespace pcpos::win32 {

// The window's DPI (GetDpiForWindow, where the system has it), else the screen's.
int WindowDpi(HWND hwnd);
// The outer rectangle (frame and caption) of a window whose client area is
// `width` x `height` device pixels, at `dpi`.
RECT OuterRect(int width, int height, DWORD style, DWORD ex_style, int dpi);

// "Tahoma" where it is installed, else the system's dialog (message) face.
std::wstring WindowFace();

// The window's fonts at one DPI: regular, bold for the result line, and the
// smaller sizes a caption may need to end before its field. Each is checked
// as it is made (the constructor and Sized throw when the system gives none).
class Fonts {
 public:
  explicit Fonts(int dpi);

  HFONT regular() const { return regular_.get(); }
  HFONT bold() const { return bold_.get(); }
  // The regular face `design_pixels` high at 96 DPI, scaled.
  HFONT Sized(int design_pixels);

 private:
  int dpi_;
  UniqueFont regular_;
  UniqueFont bold_;
  std::vector<std::pair<int, UniqueFont>> sized_;
};

// The program's icon "MAINICON" at its largest, drawn at the logo box's size
// by averaging its pixels over the window's face colour. The picture is made
// again when the box's size (the DPI) or the face colour (the system's colours
// or theme) has changed since it was last drawn. The system's own scaling of
// icons (LoadIconWithScaleDown, DrawIconEx) was tried and drew the keys as
// blocks under Wine at these sizes, which the icon carries no image of.
class Logo {
 public:
  // Reads the icon; throws when it cannot.
  Logo();
  // Draws the picture filling `box` (a square, in device pixels).
  void Draw(HDC dc, const RECT& box);

 private:
  void Render(int size, COLORREF background);

  int source_size_ = 0;
  std::vector<std::uint32_t> source_;  // BGRA, top-down, straight alpha
  UniqueBitmap rendered_;
  int rendered_size_ = 0;
  COLORREF rendered_background_ = 0;
};

}  // namespace pcpos::win32
