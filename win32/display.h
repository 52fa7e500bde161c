// What depends on the monitor: its dots per inch, the fonts made for them and
// the logo drawn at the size they give. The window is designed at 96 DPI and
// scaled from there (screen::Scaled); on a move to a monitor of another density
// (WM_DPICHANGED) all of it is made again.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace pcpos::win32 {

// The window's DPI (GetDpiForWindow, where the system has it), else the screen's.
int WindowDpi(HWND hwnd);
// The outer rectangle (frame and caption) of a window whose client area is
// `width` x `height` device pixels, at `dpi`.
RECT OuterRect(int width, int height, DWORD style, DWORD ex_style, int dpi);

// "Tahoma" where it is installed, else the system's dialog (message) face.
std::wstring WindowFace();

// The window's fonts at one DPI: regular, bold for the result line, and the
// smaller sizes a caption may need to end before its field.
class Fonts {
 public:
  explicit Fonts(int dpi);
  ~Fonts();
  Fonts(const Fonts&) = delete;
  Fonts& operator=(const Fonts&) = delete;

  HFONT regular() const { return regular_; }
  HFONT bold() const { return bold_; }
  // The regular face `design_pixels` high at 96 DPI, scaled.
  HFONT Sized(int design_pixels);

 private:
  int dpi_;
  HFONT regular_;
  HFONT bold_;
  std::vector<std::pair<int, HFONT>> sized_;
};

// The program's icon "MAINICON" at its largest, drawn at any size by averaging
// its pixels, over the window's background (the logo box has no frame).
class Logo {
 public:
  Logo();
  ~Logo();
  Logo(const Logo&) = delete;
  Logo& operator=(const Logo&) = delete;

  // Makes the picture `size` x `size` device pixels over `background`.
  void Render(int size, COLORREF background);
  // Draws the last rendered picture at `left`, `top`.
  void Draw(HDC dc, int left, int top) const;
  bool loaded() const { return source_size_ > 0; }

 private:
  int source_size_ = 0;
  std::vector<std::uint32_t> source_;  // BGRA, top-down, straight alpha
  HBITMAP rendered_ = nullptr;
  int rendered_size_ = 0;
};

}  // namespace pcpos::win32
