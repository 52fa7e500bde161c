// The guided run's panel in the native window, below the designed layout: the
// case to run, what the operator does on the reader (right to left), the last
// case's verdict, the skip button, and at the end the report's path with a
// button that opens it in the program the system gives HTML files.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "screen/guided_run.h"
#include "win32/window.h"

namespace pcpos::win32 {

class GuidedPanel final : public screen::GuidedView {
 public:
  // The height the window grows by, in design pixels.
  static constexpr int kHeight = 150;
  // Its controls' ids, clear of the layout's.
  static constexpr int kFirstId = 900;

  using SetAmount = std::function<void(std::string_view)>;
  using Opener = std::function<void(const std::string& path)>;
  GuidedPanel(HWND parent, screen::GuidedRun& run, SetAmount set_amount);

  // At the window's DPI, in its fonts.
  void Place(int dpi, HFONT regular, HFONT bold) const;
  // WM_CTLCOLORSTATIC: the verdict's colour; nullopt for the other statics.
  std::optional<LRESULT> ColourStatic(HDC dc, HWND control) const;
  // Opens the report (ShellExecuteW "open" by default; the tests record it).
  void SetOpener(Opener open) { open_report_ = std::move(open); }

  void SetAmountText(std::string_view amount) override { set_amount_(amount); }
  void ShowGuide(const screen::GuidePanel& panel) override;

  const Control& Find(int index) const;
  enum Index { kCase, kPrompt, kVerdict, kSkip, kReport, kOpen, kCount };

 private:
  screen::GuidedRun& run_;
  SetAmount set_amount_;
  Opener open_report_;
  Control case_, prompt_, verdict_, report_;
  Button skip_, open_;
  std::string report_path_;
  screen::Tone verdict_tone_ = screen::Tone::Window;
};

}  // namespace pcpos::win32
