// Where the window opens, against fake work areas: no monitor is needed.
#include "screen/placement.h"

#include <gtest/gtest.h>

namespace pcpos::screen {
namespace {

// The window's outer size at 192 dots per inch: the client area doubled, with
// a frame and a title bar.
constexpr int kWide = 2 * kClientWidth + 16;
constexpr int kTall = 2 * kClientHeight + 8 + 60;

TEST(Placement, CentresOnTheWorkAreaWhenTheWindowFits) {
  // A 1920 x 1080 screen with a 40-pixel taskbar at the bottom.
  const Rect placed = CentredOnWorkArea(461, 501, {0, 0, 1920, 1040});
  EXPECT_EQ(placed, (Rect{729, 269, 461, 501}));
  // A second monitor left of the first, with its taskbar at the top.
  EXPECT_EQ(CentredOnWorkArea(461, 501, {-1280, 40, 1280, 984}), (Rect{-871, 281, 461, 501}));
}

// Centred, a window taller than the work area starts above it; its title bar
// comes first: the top edge is on the area and what does not fit is below.
TEST(Placement, KeepsTheTitleBarOnAWorkAreaTooSmallForTheWindow) {
  const Rect work{0, 0, 1280, 860};  // 1280 x 900, taskbar 40 pixels high
  const Rect placed = CentredOnWorkArea(kWide, kTall, work);
  EXPECT_EQ(placed.top, 0) << "centred it would be at " << (work.height - kTall) / 2;
  EXPECT_EQ(placed.left, (1280 - kWide) / 2);
  EXPECT_EQ(placed.width, kWide);
  EXPECT_EQ(placed.height, kTall);

  // Wider and taller than a taskbar-topped area of a monitor at an offset.
  const Rect small{1920, 48, 800, 552};
  EXPECT_EQ(CentredOnWorkArea(kWide, kTall, small), (Rect{1920, 48, kWide, kTall}));
}

TEST(Placement, AWindowPartlyOffTheAreaMovesBackByAsLittleAsItTakes) {
  const Rect work{0, 0, 1920, 1040};
  EXPECT_EQ(KeptOnWorkArea({100, 200, 461, 501}, work), (Rect{100, 200, 461, 501}))
      << "whole on the area: left where it is";
  EXPECT_EQ(KeptOnWorkArea({1700, 900, 461, 501}, work), (Rect{1459, 539, 461, 501}));
  EXPECT_EQ(KeptOnWorkArea({-66, -66, 461, 501}, work), (Rect{0, 0, 461, 501}));
  // Grown past the bottom by a larger scale: pulled up, but never above the area.
  EXPECT_EQ(KeptOnWorkArea({300, 100, kWide, kTall}, {0, 0, 1280, 860}),
            (Rect{300, 0, kWide, kTall}));
}

}  // namespace
}  // namespace pcpos::screen
