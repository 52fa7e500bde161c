#include "screen/layout.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "payment/defaults.h"
#include "screen/texts.h"

namespace pcpos::screen {
namespace {

// Where a control sits: the window itself, or a group box (its id and name).
struct Place {
  std::optional<ControlId> id;
  std::string_view name;
};
constexpr Place kWindow{std::nullopt, ""};
constexpr Place kRaw{ControlId::Grp_RawResponse, "Grp_RawResponse"};
constexpr Place kResponse{ControlId::Grp_Response, "Grp_Response"};
constexpr int kWindowField = 68;
constexpr int kLeftField = 96;
constexpr int kRightField = 301;

constexpr ControlDesign Control(ControlId id, std::string_view name, ControlKind kind, Place parent,
                                Rect rect, std::string_view caption, int tab) {
  return {id, name, kind, parent.name, parent.id, rect, caption, tab, 0, std::nullopt};
}
constexpr ControlDesign Label(ControlId id, std::string_view name, Place parent, int left, int top,
                              std::string_view caption, int field_left) {
  return {id,      name, ControlKind::Label, parent.name, parent.id, {left, top, 0, 0},
          caption, -1,   field_left,         std::nullopt};
}
constexpr ControlDesign Edit(ControlId id, std::string_view name, Place parent, Rect rect,
                             int tab) {
  return Control(id, name, ControlKind::Edit, parent, rect, "", tab);
}
// An answer's field in the response group: its label, captioned from the
// field table, and its edit box.
constexpr ControlDesign FieldLabel(ControlId id, std::string_view name, AnswerField field, int left,
                                   int top, int field_left) {
  ControlDesign label = Label(id, name, kResponse, left, top, Info(field).caption, field_left);
  label.field = field;
  return label;
}
constexpr ControlDesign ResultField(ControlId id, std::string_view name, AnswerField field,
                                    int left, int top, int tab) {
  ControlDesign edit = Edit(id, name, kResponse, {left, top, 118, 21}, tab);
  edit.field = field;
  return edit;
}

using enum ControlId;
using F = AnswerField;

constexpr std::array kControls = {
    Label(Label2, "Label2", kWindow, 16, 11, "IP:", kWindowField),
    Edit(Edt_IP, "Edt_IP", kWindow, {68, 8, 140, 21}, 0),
    Label(Label15, "Label15", kWindow, 16, 37, "Port:", kWindowField),
    Edit(Edt_Port, "Edt_Port", kWindow, {68, 34, 140, 21}, 1),
    Label(Label1, "Label1", kWindow, 16, 63, "Amount: ", kWindowField),
    Edit(txtAmount, "txtAmount", kWindow, {68, 60, 140, 21}, 2),
    Label(Label16, "Label16", kWindow, 16, 89, "Log Path:", kWindowField),
    Edit(Edt_LogPath, "Edt_LogPath", kWindow, {68, 86, 140, 21}, 3),
    Control(Image1, "Image1", ControlKind::Picture, kWindow, {280, 7, 105, 105}, "", -1),
    Control(Btn_Payment, "Btn_Payment", ControlKind::Button, kWindow, {17, 118, 191, 25},
            kPayCaption, 4),
    Control(Btn_Clear, "Btn_Clear", ControlKind::Button, kWindow, {241, 118, 191, 25},
            kClearCaption, 5),
    Control(Grp_RawResponse, "Grp_RawResponse", ControlKind::Group, kWindow, {8, 154, 431, 79},
            "Raw Response", 6),
    Control(Grp_Response, "Grp_Response", ControlKind::Group, kWindow, {8, 238, 431, 218},
            "Response", 7),
    Control(Mem_RawResponse, "Mem_RawResponse", ControlKind::Memo, kRaw, {9, 19, 410, 49}, "", 0),
    FieldLabel(Label3, "Label3", F::CardNo, 8, 27, kLeftField),
    ResultField(txtCardNo, "txtCardNo", F::CardNo, 96, 23, 0),
    FieldLabel(Label4, "Label4", F::STAN, 8, 54, kLeftField),
    ResultField(txtSTAN, "txtSTAN", F::STAN, 96, 50, 1),
    FieldLabel(Label13, "Label13", F::RRN, 8, 81, kLeftField),
    ResultField(txtRRN, "txtRRN", F::RRN, 96, 77, 3),
    FieldLabel(Label6, "Label6", F::TerminalNo, 8, 108, kLeftField),
    ResultField(txtTerminalNo, "txtTerminalNo", F::TerminalNo, 96, 104, 4),
    FieldLabel(Label7, "Label7", F::TransactionDate, 8, 135, kLeftField),
    ResultField(txtTransactionDate, "txtTransactionDate", F::TransactionDate, 96, 131, 5),
    FieldLabel(Label8, "Label8", F::TransactionTime, 8, 162, kLeftField),
    ResultField(txtTransactionTime, "txtTransactionTime", F::TransactionTime, 96, 158, 2),
    FieldLabel(Label9, "Label9", F::PAN, 223, 27, kRightField),
    ResultField(txtPAN, "txtPAN", F::PAN, 301, 23, 10),
    FieldLabel(Label14, "Label14", F::BIN, 223, 54, kRightField),
    ResultField(txtBIN, "txtBIN", F::BIN, 301, 50, 9),
    FieldLabel(Label10, "Label10", F::BatchNo, 223, 81, kRightField),
    ResultField(txtBatchNo, "txtBatchNo", F::BatchNo, 301, 77, 8),
    FieldLabel(Label11, "Label11", F::ResponseType, 223, 108, kRightField),
    ResultField(txtResponseType, "txtResponseType", F::ResponseType, 301, 104, 7),
    FieldLabel(Label12, "Label12", F::ResponseCode, 223, 135, kRightField),
    ResultField(txtResponseCode, "txtResponseCode", F::ResponseCode, 301, 131, 6),
    // Its design-time caption never shows: showing the window clears it.
    Control(Lbl_ResponseMsg, "Lbl_ResponseMsg", ControlKind::ResultLine, kResponse,
            {8, 192, 411, 13}, "Lbl_ResponseMsg", -1),
};
static_assert(kControls.size() == kControlCount);

// Each row at its id's place, so that an id finds its control without a search;
// and every answer field drawn by exactly one edit box.
static_assert([] {
  for (std::size_t i = 0; i < kControls.size(); ++i) {
    if (static_cast<std::size_t>(kControls[i].id) != i) return false;
  }
  for (const AnswerFieldInfo& info : kAnswerFields) {
    int edits = 0;
    for (const ControlDesign& c : kControls) {
      if (c.field == info.field && c.kind == ControlKind::Edit) ++edits;
    }
    if (edits != 1) return false;
  }
  return true;
}());

// The edit box of each answer field, by the field.
constexpr std::array<ControlId, kAnswerFieldCount> kFieldControls = [] {
  std::array<ControlId, kAnswerFieldCount> ids{};
  for (const ControlDesign& c : kControls) {
    if (c.field && c.kind == ControlKind::Edit) ids[static_cast<std::size_t>(*c.field)] = c.id;
  }
  return ids;
}();

// The controls under `parent` that take focus, by their tab places; a group box
// stands for its own controls at its place.
void AppendTabOrder(std::optional<ControlId> parent, std::vector<ControlId>& order) {
  std::vector<const ControlDesign*> children;
  for (const ControlDesign& c : kControls) {
    if (c.parent_id == parent && c.tab >= 0) children.push_back(&c);
  }
  std::stable_sort(children.begin(), children.end(),
                   [](const ControlDesign* a, const ControlDesign* b) { return a->tab < b->tab; });
  for (const ControlDesign* c : children) {
    if (c->kind == ControlKind::Group) {
      AppendTabOrder(c->id, order);
    } else {
      order.push_back(c->id);
    }
  }
}

}  // namespace

std::span<const ControlDesign> Layout() { return kControls; }

const ControlDesign& FindControl(ControlId id) { return kControls[static_cast<std::size_t>(id)]; }

const ControlDesign* FindControl(std::string_view name) {
  for (const ControlDesign& c : kControls) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

const ControlDesign& FieldControl(AnswerField field) {
  return FindControl(kFieldControls[static_cast<std::size_t>(field)]);
}

const ControlDesign* Parent(const ControlDesign& control) {
  return control.parent_id ? &FindControl(*control.parent_id) : nullptr;
}

std::vector<ControlId> TabOrderIds() {
  std::vector<ControlId> order;
  AppendTabOrder(kWindow.id, order);
  return order;
}

std::vector<std::string_view> TabOrder() {
  std::vector<std::string_view> names;
  for (const ControlId id : TabOrderIds()) names.push_back(FindControl(id).name);
  return names;
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
  switch (control.id) {
    case ControlId::Edt_IP:
      return std::string(kDefaultHost);
    case ControlId::Edt_Port:
      return std::string(kDefaultPort);
    case ControlId::txtAmount:
      return std::string(kDefaultAmount);
    case ControlId::Edt_LogPath:
      return DefaultLogFolder();
    default:
      return std::string(control.caption);
  }
}

}  // namespace pcpos::screen
