#include "win32/guided_panel.h"

#include <shellapi.h>

#include "screen/layout.h"
#include "text/utf16.h"

namespace pcpos::win32 {
namespace {

// Each control's place in the panel, in design pixels from its top left.
struct Place {
  int left, top, width, height;
};
constexpr int kWidth = screen::kClientWidth;
constexpr Place kPlaces[GuidedPanel::kCount] = {
    {8, 4, kWidth - 16, 20},             // case K of N: title
    {8, 26, kWidth - 16, 52},            // prompt
    {8, 80, kWidth - 16, 34},            // verdict
    {8, 118, 90, 26},                    // skip
    {104, 122, kWidth - 104 - 106, 22},  // report path
    {kWidth - 98, 118, 90, 26},          // open
};

// Wine draws isolate marks as boxes; a static control's own reading order is
// left to right, which is what the heading's "case K of N" needs.
std::string WithoutIsolates(std::string text) {
  for (const std::string_view mark : {"\u2068", "\u2069"}) {
    for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
      text.erase(at, mark.size());
    }
  }
  return text;
}

}  // namespace

GuidedPanel::GuidedPanel(HWND parent, screen::GuidedRun& run, SetAmount set_amount)
    : run_(run), set_amount_(std::move(set_amount)), open_report_([](const std::string& path) {
        ShellExecuteW(nullptr, L"open", Wide(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
      }) {
  constexpr DWORD kStatic = SS_NOPREFIX | SS_LEFT;
  case_.Create(parent, L"STATIC", "", kStatic, 0, kFirstId + kCase);
  // Persian: right-aligned, in right-to-left reading order, wrapped.
  prompt_.Create(parent, L"STATIC", "", SS_NOPREFIX | SS_RIGHT, WS_EX_RTLREADING | WS_EX_RIGHT,
                 kFirstId + kPrompt);
  verdict_.Create(parent, L"STATIC", "", kStatic, 0, kFirstId + kVerdict);
  skip_.Create(parent, L"BUTTON", screen::kSkipCaption, BS_PUSHBUTTON | WS_TABSTOP, 0,
               kFirstId + kSkip);
  report_.Create(parent, L"STATIC", "", SS_NOPREFIX | SS_PATHELLIPSIS, 0, kFirstId + kReport);
  open_.Create(parent, L"BUTTON", screen::kOpenReportCaption, BS_PUSHBUTTON | WS_TABSTOP, 0,
               kFirstId + kOpen);
  open_.Enable(false);
  skip_.on_click = [this] { run_.Skip(); };
  open_.on_click = [this] {
    if (!report_path_.empty() && open_report_) open_report_(report_path_);
  };
}

void GuidedPanel::Place(int dpi, HFONT regular, HFONT bold) const {
  for (int i = 0; i < kCount; ++i) {
    const auto& p = kPlaces[i];
    const int top = screen::kClientHeight + p.top;
    const RECT where{screen::Scaled(p.left, dpi), screen::Scaled(top, dpi),
                     screen::Scaled(p.left + p.width, dpi), screen::Scaled(top + p.height, dpi)};
    Find(i).SetFont(i == kCase ? bold : regular);
    Find(i).MoveTo(where);
  }
}

std::optional<LRESULT> GuidedPanel::ColourStatic(HDC dc, HWND control) const {
  if (control != verdict_.hwnd()) return std::nullopt;
  const auto rgb = screen::ToneColour(verdict_tone_);
  SetTextColor(dc, rgb ? RGB(rgb->r, rgb->g, rgb->b) : GetSysColor(COLOR_WINDOWTEXT));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

void GuidedPanel::ShowGuide(const screen::GuidePanel& panel) {
  case_.SetText(WithoutIsolates(panel.heading));
  prompt_.SetText(panel.prompt);
  verdict_tone_ = panel.verdict_tone;
  verdict_.SetText(panel.verdict);
  InvalidateRect(verdict_.hwnd(), nullptr, TRUE);
  skip_.Enable(panel.can_skip);
  report_path_ = panel.report_path;
  report_.SetText(panel.report_error.empty() ? panel.report_path : panel.report_error);
  open_.Enable(!report_path_.empty());
}

const Control& GuidedPanel::Find(int index) const {
  switch (index) {
    case kCase:
      return case_;
    case kPrompt:
      return prompt_;
    case kVerdict:
      return verdict_;
    case kSkip:
      return skip_;
    case kReport:
      return report_;
    default:
      return open_;
  }
}

}  // namespace pcpos::win32

#include "win32/main_window.h"

namespace pcpos::win32 {

int MainWindow::ClientHeight() const {
  return screen::kClientHeight + (guided_panel_ ? GuidedPanel::kHeight : 0);
}

void MainWindow::StartGuidedRun(acceptance::Suite suite, const std::string& source) {
  guided_panel_ = std::make_unique<GuidedPanel>(hwnd(), *guided_, [this](std::string_view amount) {
    SetInputText(screen::Input::Amount, amount);
  });
  // The designed layout stays where it is; the window grows by the panel only.
  ApplyDpi(dpi_);
  const PaymentInputs inputs{InputText(screen::Input::Host), InputText(screen::Input::Port),
                             InputText(screen::Input::Amount), InputText(screen::Input::LogFolder)};
  guided_->Begin(*guided_panel_, std::move(suite), source, inputs);
}

}  // namespace pcpos::win32
