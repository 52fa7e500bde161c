#include "win32/display.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

#include "screen/layout.h"
#include "text/utf16.h"

namespace pcpos::win32 {
namespace {

// Functions of Windows 10 (1607 and later), looked up so that the program still
// starts on an older system, where it is scaled by the system instead.
template <typename Function>
Function User32Function(const char* name) {
  static const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  FARPROC found = user32 != nullptr ? GetProcAddress(user32, name) : nullptr;
  Function typed = nullptr;
  static_assert(sizeof typed == sizeof found);
  std::memcpy(&typed, &found, sizeof typed);
  return typed;
}

UniqueFont MakeFont(const std::wstring& face, int dpi, bool bold,
                    int pixels = screen::kFontPixels) {
  LOGFONTW lf{};
  lf.lfHeight = -screen::Scaled(pixels, dpi);
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = DEFAULT_QUALITY;  // the system's choice: ClearType where it is on
  face.copy(lf.lfFaceName, LF_FACESIZE - 1);
  return UniqueFont(Checked(CreateFontIndirectW(&lf), "CreateFontIndirectW"));
}

}  // namespace

int WindowDpi(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto get_dpi = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  if (get_dpi != nullptr && hwnd != nullptr) {
    const UINT dpi = get_dpi(hwnd);
    if (dpi != 0) return static_cast<int>(dpi);
  }
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : screen::kDesignDpi;
}

RECT OuterRect(int width, int height, DWORD style, DWORD ex_style, int dpi) {
  using AdjustFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto adjust = User32Function<AdjustFn>("AdjustWindowRectExForDpi");
  RECT rect{0, 0, width, height};
  if (adjust != nullptr) {
    adjust(&rect, style, FALSE, ex_style, static_cast<UINT>(dpi));
  } else {
    AdjustWindowRectEx(&rect, style, FALSE, ex_style);
  }
  return rect;
}

std::wstring WindowFace() {
  static const std::wstring face = [] {
    // Asked for by name, a missing face is quietly replaced by another (Wine
    // even lists "Tahoma" then); the face the system really selects decides.
    const std::wstring tahoma = Wide(screen::kFontFace);
    LOGFONTW wanted{};
    wanted.lfHeight = -screen::kFontPixels;
    wanted.lfCharSet = DEFAULT_CHARSET;
    tahoma.copy(wanted.lfFaceName, LF_FACESIZE - 1);
    const UniqueFont font(Checked(CreateFontIndirectW(&wanted), "CreateFontIndirectW"));
    const UniqueDc dc(Checked(CreateCompatibleDC(nullptr), "CreateCompatibleDC"));
    wchar_t selected[LF_FACESIZE] = {};
    {
      const Selection chosen(dc.get(), font.get());
      GetTextFaceW(dc.get(), LF_FACESIZE, selected);
    }
    if (tahoma == selected) return tahoma;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
      return std::wstring(metrics.lfMessageFont.lfFaceName);
    }
    return std::wstring(L"MS Shell Dlg 2");
  }();
  return face;
}

Fonts::Fonts(int dpi)
    : dpi_(dpi),
      regular_(MakeFont(WindowFace(), dpi, false)),
      bold_(MakeFont(WindowFace(), dpi, true)) {}

HFONT Fonts::Sized(int design_pixels) {
  if (design_pixels == screen::kFontPixels) return regular_.get();
  for (const auto& [pixels, font] : sized_) {
    if (pixels == design_pixels) return font.get();
  }
  sized_.emplace_back(design_pixels, MakeFont(WindowFace(), dpi_, false, design_pixels));
  return sized_.back().second.get();
}

Logo::Logo() {
  constexpr int kLargest = 256;
  const UniqueIcon icon(
      Checked(static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), L"MAINICON", IMAGE_ICON,
                                            kLargest, kLargest, LR_DEFAULTCOLOR)),
              "Loading the icon MAINICON"));
  ICONINFO info{};
  if (!GetIconInfo(icon.get(), &info)) throw std::runtime_error("GetIconInfo failed for MAINICON");
  const UniqueBitmap colour_bitmap(info.hbmColor);
  const UniqueBitmap mask(info.hbmMask);
  BITMAP colour{};
  if (!colour_bitmap || GetObjectW(colour_bitmap.get(), sizeof colour, &colour) == 0 ||
      colour.bmWidth != colour.bmHeight) {
    throw std::runtime_error("MAINICON has no square colour image");
  }
  const int size = colour.bmWidth;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = size;
  bi.bmiHeader.biHeight = -size;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  source_.resize(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
  const WindowDc screen(nullptr);
  if (GetDIBits(screen.get(), colour_bitmap.get(), 0, static_cast<UINT>(size), source_.data(), &bi,
                DIB_RGB_COLORS) != size) {
    throw std::runtime_error("GetDIBits failed for MAINICON");
  }
  source_size_ = size;
}

void Logo::Render(int size, COLORREF background) {
  // Each target pixel is the average of the source area it covers (a box filter
  // with fractional edges), so the stretched logo stays smooth at any size.
  const double step = static_cast<double>(source_size_) / size;
  struct Tap {
    int index;
    double weight;
  };
  std::vector<std::vector<Tap>> taps(static_cast<std::size_t>(size));
  for (int i = 0; i < size; ++i) {
    const double from = i * step;
    const double to = from + step;
    for (int j = static_cast<int>(std::floor(from)); j < static_cast<int>(std::ceil(to)); ++j) {
      const double w = std::min(to, j + 1.0) - std::max(from, static_cast<double>(j));
      if (w > 0 && j < source_size_) taps[static_cast<std::size_t>(i)].push_back({j, w / step});
    }
  }
  const double bg[3] = {GetBValue(background) / 255.0, GetGValue(background) / 255.0,
                        GetRValue(background) / 255.0};
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = size;
  bi.bmiHeader.biHeight = -size;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  UniqueBitmap bitmap(Checked(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0),
                              "CreateDIBSection"));
  auto* out = static_cast<std::uint32_t*>(bits);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      double sum[4] = {0, 0, 0, 0};  // premultiplied B, G, R, and alpha
      for (const Tap& ty : taps[static_cast<std::size_t>(y)]) {
        for (const Tap& tx : taps[static_cast<std::size_t>(x)]) {
          const std::uint32_t p =
              source_[static_cast<std::size_t>(ty.index) * static_cast<std::size_t>(source_size_) +
                      static_cast<std::size_t>(tx.index)];
          const double a = ((p >> 24) & 0xFF) / 255.0;
          const double w = ty.weight * tx.weight;
          sum[0] += w * a * (p & 0xFF) / 255.0;
          sum[1] += w * a * ((p >> 8) & 0xFF) / 255.0;
          sum[2] += w * a * ((p >> 16) & 0xFF) / 255.0;
          sum[3] += w * a;
        }
      }
      std::uint32_t pixel = 0;
      for (int c = 0; c < 3; ++c) {
        const double v = sum[c] + bg[c] * (1.0 - sum[3]);
        pixel |= static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0))
                 << (8 * c);
      }
      out[static_cast<std::size_t>(y) * static_cast<std::size_t>(size) +
          static_cast<std::size_t>(x)] = pixel;
    }
  }
  rendered_ = std::move(bitmap);
  rendered_size_ = size;
  rendered_background_ = background;
}

void Logo::Draw(HDC dc, const RECT& box) {
  const int size = std::min(box.right - box.left, box.bottom - box.top);
  if (size <= 0) return;
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  if (!rendered_ || size != rendered_size_ || face != rendered_background_) Render(size, face);
  const UniqueDc memory(Checked(CreateCompatibleDC(dc), "CreateCompatibleDC"));
  const Selection picture(memory.get(), rendered_.get());
  BitBlt(dc, box.left, box.top, size, size, memory.get(), 0, 0, SRCCOPY);
}

}  // namespace pcpos::win32
