#include "screen/layout.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "payment/defaults.h"
#include "screen/texts.h"

namespace pcpos::screen {
namespace {

constexpr std::string_view kWindow = "";
constexpr std::string_view kRaw = "Grp_RawResponse";
constexpr std::string_view kResponse = "Grp_Response";
constexpr int kWindowField = 68;
constexpr int kLeftField = 96;
constexpr int kRightField = 301;

constexpr ControlDesign Label(std::string_view name, std::string_view parent, int left, int top,
                              std::string_view caption, int field_left) {
  return {name, ControlKind::Label, parent, {left, top, 0, 0}, caption, -1, field_left};
}
constexpr ControlDesign Edit(std::string_view name, std::string_view parent, Rect rect, int tab) {
  return {name, ControlKind::Edit, parent, rect, "", tab, 0};
}
constexpr ControlDesign ResultField(std::string_view name, int left, int top, int tab) {
  return Edit(name, kResponse, {left, top, 118, 21}, tab);
}

constexpr std::array kControls = {
    Label("Label2", kWindow, 16, 11, "IP:", kWindowField),
    Edit("Edt_IP", kWindow, {68, 8, 140, 21}, 0),
    Label("Label15", kWindow, 16, 37, "Port:", kWindowField),
    Edit("Edt_Port", kWindow, {68, 34, 140, 21}, 1),
    Label("Label1", kWindow, 16, 63, "Amount: ", kWindowField),
    Edit("txtAmount", kWindow, {68, 60, 140, 21}, 2),
    Label("Label16", kWindow, 16, 89, "Log Path:", kWindowField),
    Edit("Edt_LogPath", kWindow, {68, 86, 140, 21}, 3),
    ControlDesign{"Image1", ControlKind::Picture, kWindow, {280, 7, 105, 105}, "", -1, 0},
    ControlDesign{
        "Btn_Payment", ControlKind::Button, kWindow, {17, 118, 191, 25}, kPayCaption, 4, 0},
    ControlDesign{
        "Btn_Clear", ControlKind::Button, kWindow, {241, 118, 191, 25}, kClearCaption, 5, 0},
    ControlDesign{
        "Grp_RawResponse", ControlKind::Group, kWindow, {8, 154, 431, 79}, "Raw Response", 6, 0},
    ControlDesign{
        "Grp_Response", ControlKind::Group, kWindow, {8, 238, 431, 218}, "Response", 7, 0},
    ControlDesign{"Mem_RawResponse", ControlKind::Memo, kRaw, {9, 19, 410, 49}, "", 0, 0},
    Label("Label3", kResponse, 8, 27, "Card No:", kLeftField),
    ResultField("txtCardNo", 96, 23, 0),
    Label("Label4", kResponse, 8, 54, "STAN (Trace No):", kLeftField),
    ResultField("txtSTAN", 96, 50, 1),
    Label("Label13", kResponse, 8, 81, "RRN:", kLeftField),
    ResultField("txtRRN", 96, 77, 3),
    Label("Label6", kResponse, 8, 108, "TerminalNo: ", kLeftField),
    ResultField("txtTerminalNo", 96, 104, 4),
    Label("Label7", kResponse, 8, 135, "TransactionDate: ", kLeftField),
    ResultField("txtTransactionDate", 96, 131, 5),
    Label("Label8", kResponse, 8, 162, "TransactionTime: ", kLeftField),
    ResultField("txtTransactionTime", 96, 158, 2),
    Label("Label9", kResponse, 223, 27, "PAN: ", kRightField),
    ResultField("txtPAN", 301, 23, 10),
    Label("Label14", kResponse, 223, 54, "BIN:", kRightField),
    ResultField("txtBIN", 301, 50, 9),
    Label("Label10", kResponse, 223, 81, "BatchNo", kRightField),
    ResultField("txtBatchNo", 301, 77, 8),
    Label("Label11", kResponse, 223, 108, "ResponseType:", kRightField),
    ResultField("txtResponseType", 301, 104, 7),
    Label("Label12", kResponse, 223, 135, "ResponseCode:", kRightField),
    ResultField("txtResponseCode", 301, 131, 6),
    // Its design-time caption never shows: showing the window clears it.
    ControlDesign{"Lbl_ResponseMsg",
                  ControlKind::ResultLine,
                  kResponse,
                  {8, 192, 411, 13},
                  "Lbl_ResponseMsg",
                  -1,
                  0},
};

// The controls under `parent` that take focus, by their tab places; a group box
// stands for its own controls at its place.
void AppendTabOrder(std::string_view parent, std::vector<std::string_view>& order) {
  std::vector<const ControlDesign*> children;
  for (const ControlDesign& c : kControls) {
    if (c.parent == parent && c.tab >= 0) children.push_back(&c);
  }
  std::stable_sort(children.begin(), children.end(),
                   [](const ControlDesign* a, const ControlDesign* b) { return a->tab < b->tab; });
  for (const ControlDesign* c : children) {
    if (c->kind == ControlKind::Group) {
      AppendTabOrder(c->name, order);
    } else {
      order.push_back(c->name);
    }
  }
}

}  // namespace

std::span<const ControlDesign> Layout() { return kControls; }

const ControlDesign* FindControl(std::string_view name) {
  for (const ControlDesign& c : kControls) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

std::vector<std::string_view> TabOrder() {
  std::vector<std::string_view> order;
  AppendTabOrder(kWindow, order);
  return order;
}

int Scaled(int design_pixels, int dpi) {
  // Halves round away from zero, as MulDiv does.
  const std::int64_t product = std::int64_t{design_pixels} * dpi;
  const std::int64_t half = kDesignDpi / 2;
  return static_cast<int>(product >= 0 ? (product + half) / kDesignDpi
                                       : (product - half) / kDesignDpi);
}

Rect Scaled(const Rect& design, int dpi) {
  return {Scaled(design.left, dpi), Scaled(design.top, dpi), Scaled(design.width, dpi),
          Scaled(design.height, dpi)};
}

std::string InitialText(const ControlDesign& control) {
  if (control.name == "Edt_IP") return std::string(kDefaultHost);
  if (control.name == "Edt_Port") return std::string(kDefaultPort);
  if (control.name == "txtAmount") return std::string(kDefaultAmount);
  if (control.name == "Edt_LogPath") return DefaultLogFolder();
  return std::string(control.caption);
}

}  // namespace pcpos::screen
