// The window as designed at 96 dots per inch: every control with its kind, its
// parent, its rectangle, its caption or initial text and its tab place. Both
// windows build themselves from this table and the tests measure them against it.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pcpos::screen {

inline constexpr int kDesignDpi = 96;
inline constexpr int kClientWidth = 445;
inline constexpr int kClientHeight = 462;
// Outer size (frame and caption included) below which the window never shrinks.
inline constexpr int kMinOuterWidth = 451;
inline constexpr int kMinOuterHeight = 443;
// "Tahoma", 11 pixels high at 96 DPI (8 points); the result line is bold.
inline constexpr std::string_view kFontFace = "Tahoma";
inline constexpr int kFontPixels = 11;

enum class ControlKind {
  Label,  // sized to its caption; `rect` holds only its left and top
  Edit,   // one line
  Memo,   // several lines, wrapping, no scroll bars
  Button,
  Group,       // a group box; its children are placed in its own coordinates
  Picture,     // the logo, stretched to fill the box
  ResultLine,  // one bold line, centred, right to left
};

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;  // 0 for a label: sized to its caption
  int height = 0;
  bool operator==(const Rect&) const = default;
};

struct ControlDesign {
  std::string_view name;  // the design name: "Edt_IP", "Label3", "Grp_Response"
  ControlKind kind;
  std::string_view parent;   // empty for the window itself, else a group's name
  Rect rect;                 // in the parent's client coordinates, at 96 DPI
  std::string_view caption;  // UTF-8; empty for the inputs (see InitialText)
  int tab = -1;              // place in the parent's tab order; -1 takes no focus
  // For a label: the left edge of the field it names; its caption must end before it.
  int field_left = 0;
};

// Every control, parents before their children.
std::span<const ControlDesign> Layout();
// nullptr for a name that is not in the table.
const ControlDesign* FindControl(std::string_view name);
// The whole window's focus order: the window's own tab places, and inside each
// group box its own places, at the group's place.
std::vector<std::string_view> TabOrder();

// Scales a design length to a monitor's DPI, rounding to the nearest pixel.
int Scaled(int design_pixels, int dpi);
Rect Scaled(const Rect& design, int dpi);

// What a control shows when the window is created: its caption, or for the four
// inputs their initial texts (payment/defaults).
std::string InitialText(const ControlDesign& control);

}  // namespace pcpos::screen
