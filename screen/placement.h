// Where the window goes on its monitor. A window centred without regard to the
// work area can open with its title bar above the screen (a high DPI on a small
// screen), where it cannot be dragged back: the whole window is kept on the
// work area, and when it does not fit, its title bar and left edge are.
#pragma once

#include "screen/layout.h"

namespace pcpos::screen {

// The outer rectangle (frame and title bar included) moved onto `work`, the
// monitor's work area (the screen less the taskbar), by as little as it takes;
// its size is kept.
Rect KeptOnWorkArea(Rect window, Rect work);

// A window of this outer size in the middle of `work`, kept on it.
Rect CentredOnWorkArea(int width, int height, Rect work);

}  // namespace pcpos::screen
