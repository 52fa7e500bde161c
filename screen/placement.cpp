#include "screen/placement.h"

#include <algorithm>

namespace pcpos::screen {
namespace {

// One axis: the far edge pulled in first, then the near edge, so that a window
// larger than the area keeps its near edge (the title bar, the system menu) on it.
int KeptOnAxis(int start, int length, int area_start, int area_length) {
  start = std::min(start, area_start + area_length - length);
  return std::max(start, area_start);
}

}  // namespace

Rect KeptOnWorkArea(Rect window, Rect work) {
  window.left = KeptOnAxis(window.left, window.width, work.left, work.width);
  window.top = KeptOnAxis(window.top, window.height, work.top, work.height);
  return window;
}

Rect CentredOnWorkArea(int width, int height, Rect work) {
  return KeptOnWorkArea(Rect{work.left + (work.width - width) / 2,
                             work.top + (work.height - height) / 2, width, height},
                        work);
}

}  // namespace pcpos::screen
