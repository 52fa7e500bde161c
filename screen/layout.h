// The window as designed at 96 dots per inch: every control with its kind, its
// parent, its rectangle, its caption or initial text and its tab place. Both
// windows build themselves from this table and the tests measure them against it.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "payment/answer_fields.h"

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

// Every control of the window, in the layout table's order (parents before
// their children). Code names a control by this, never by its design name.
enum class ControlId {
  Label2,
  Edt_IP,
  Label15,
  Edt_Port,
  Label1,
  txtAmount,
  Label16,
  Edt_LogPath,
  Image1,
  Btn_Payment,
  Btn_Clear,
  Grp_RawResponse,
  Grp_Response,
  Mem_RawResponse,
  Label3,
  txtCardNo,
  Label4,
  txtSTAN,
  Label13,
  txtRRN,
  Label6,
  txtTerminalNo,
  Label7,
  txtTransactionDate,
  Label8,
  txtTransactionTime,
  Label9,
  txtPAN,
  Label14,
  txtBIN,
  Label10,
  txtBatchNo,
  Label11,
  txtResponseType,
  Label12,
  txtResponseCode,
  Lbl_ResponseMsg,
};
inline constexpr std::size_t kControlCount = 37;

struct ControlDesign {
  ControlId id;
  std::string_view name;  // the design name: "Edt_IP", "Label3", "Grp_Response"
  ControlKind kind;
  std::string_view parent;  // empty for the window itself, else a group's name
  std::optional<ControlId> parent_id;
  Rect rect;                 // in the parent's client coordinates, at 96 DPI
  std::string_view caption;  // UTF-8; empty for the inputs (see InitialText)
  int tab = -1;              // place in the parent's tab order; -1 takes no focus
  // For a label: the left edge of the field it names; its caption must end before it.
  int field_left = 0;
  // The answer's field that a result field shows, or that a label names.
  std::optional<AnswerField> field;
};

// Every control, parents before their children, each at its ControlId's place.
std::span<const ControlDesign> Layout();
const ControlDesign& FindControl(ControlId id);
// By design name, for whoever holds only the name (tests, tools); nullptr for
// a name that is not in the table.
const ControlDesign* FindControl(std::string_view name);
// The edit box that shows an answer's field: every field has one.
const ControlDesign& FieldControl(AnswerField field);
// The group box the control sits in; nullptr for one directly on the window.
const ControlDesign* Parent(const ControlDesign& control);
// The whole window's focus order: the window's own tab places, and inside each
// group box its own places, at the group's place.
std::vector<ControlId> TabOrderIds();
// The same by design names.
std::vector<std::string_view> TabOrder();

// Scales a design length to a monitor's DPI, rounding to the nearest pixel.
int Scaled(int design_pixels, int dpi);
Rect Scaled(const Rect& design, int dpi);

// What a control shows when the window is created: its caption, or for the four
// inputs their initial texts (payment/defaults).
std::string InitialText(const ControlDesign& control);

}  // namespace pcpos::screen
