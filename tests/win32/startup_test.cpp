// The native window's part of the shared start-up: a command line it does not
// understand gets the usage in a box and status 2, and the demo's caption stays
// whole in the title bar.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "screen/layout.h"
#include "screen/texts.h"
#include "startup/options.h"
#include "text/utf16.h"
#include "win32/application.h"
#include "win32/errors.h"

namespace pcpos::win32 {
namespace {

TEST(StartupBoxes, AnUnknownOptionShowsWhatWasWrongThenTheUsageAndExitsTwo) {
  std::vector<std::pair<std::string, std::string>> shown;
  SetMessageBox([&](const std::string& caption, const std::string& text) {
    shown.emplace_back(caption, text);
  });
  int starts = 0;
  const int status = RunApplication({"pcpos-tester.exe", "--host", "h", "--bogus"}, SW_HIDE,
                                    {[&] { ++starts; }, {}});
  SetMessageBox(ShowStopBox);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(starts, 0) << "nothing starts after a usage error";
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].first, ApplicationTitle());
  EXPECT_EQ(shown[0].second, startup::UsageErrorText("Unknown option '--bogus'"));
}

// At 96 DPI the title bar holds the icon, the caption and the close box, which
// Windows 10 and 11 draw 46 pixels wide whatever the metrics say; the system's
// caption font there is wider than Wine's, so a fifth is kept to spare.
TEST(DemoCaption, StaysWholeBesideTheCloseBoxAt96Dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
  const HFONT font = CreateFontIndirectW(&metrics.lfCaptionFont);
  ASSERT_NE(font, nullptr);
  const HDC dc = GetDC(nullptr);
  const HGDIOBJ previous = SelectObject(dc, font);
  const auto width_of = [dc](const std::string& text) {
    const std::wstring wide = Wide(text);
    SIZE size{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    return static_cast<int>(size.cx);
  };
  const int designed = width_of(screen::WindowCaption(false));
  const int demo = width_of(screen::WindowCaption(true));
  SelectObject(dc, previous);
  ReleaseDC(nullptr, dc);
  DeleteObject(font);

  // The title bar is as wide as the client area; the icon is 16 pixels, with
  // gaps of about 8 before, after and beside the close box.
  const int room = screen::kClientWidth - 46 - 16 - 3 * 8;
  EXPECT_GT(demo, designed);
  EXPECT_LE(demo * 6 / 5, room) << "caption " << demo << " px (designed " << designed
                                << " px), room " << room << " px";
}

}  // namespace
}  // namespace pcpos::win32
