// The layout table's own consistency; the windows are measured against it in
// their own tests.
#include "screen/layout.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "payment/defaults.h"

namespace pcpos::screen {
namespace {

TEST(Layout, EveryControlSitsInsideItsParentAfterIt) {
  std::set<std::string_view> seen;
  for (const ControlDesign& c : Layout()) {
    SCOPED_TRACE(std::string(c.name));
    EXPECT_TRUE(seen.insert(c.name).second) << "one name, one control";
    int width = kClientWidth, height = kClientHeight;
    if (!c.parent.empty()) {
      ASSERT_TRUE(seen.count(c.parent)) << "parents come before their children";
      const ControlDesign* parent = FindControl(c.parent);
      ASSERT_EQ(parent->kind, ControlKind::Group);
      width = parent->rect.width;
      height = parent->rect.height;
    }
    EXPECT_GE(c.rect.left, 0);
    EXPECT_GE(c.rect.top, 0);
    EXPECT_LE(c.rect.left + c.rect.width, width);
    EXPECT_LE(c.rect.top + c.rect.height, height);
    if (c.kind == ControlKind::Label) {
      EXPECT_EQ(c.rect.width, 0);
      EXPECT_GT(c.field_left, c.rect.left) << "its field lies to its right";
      EXPECT_EQ(c.tab, -1);
    } else {
      EXPECT_GT(c.rect.width, 0);
      EXPECT_GT(c.rect.height, 0);
    }
  }
  EXPECT_EQ(FindControl("Label5"), nullptr);
}

// Code finds a control by its id and a field's box through the field table, so
// each must lead to the row the design means.
TEST(Layout, IdsAndAnswerFieldsLeadToTheirOwnRows) {
  for (const ControlDesign& c : Layout()) {
    SCOPED_TRACE(std::string(c.name));
    EXPECT_EQ(&FindControl(c.id), &c);
    EXPECT_EQ(FindControl(c.name), &c);
    EXPECT_EQ(Parent(c) == nullptr ? std::string_view() : Parent(c)->name, c.parent);
  }
  for (const AnswerFieldInfo& info : AnswerFields()) {
    SCOPED_TRACE(std::string(info.name));
    const ControlDesign& box = FieldControl(info.field);
    EXPECT_EQ(box.name, "txt" + std::string(info.name));
    EXPECT_EQ(box.parent, "Grp_Response");
    int labels = 0;
    for (const ControlDesign& c : Layout()) {
      if (c.kind != ControlKind::Label || c.field != info.field) continue;
      ++labels;
      EXPECT_EQ(c.caption, info.caption);
      EXPECT_EQ(c.field_left, box.rect.left) << "beside its own box";
      EXPECT_EQ(c.rect.top, box.rect.top + 4) << "on its box's line";
    }
    EXPECT_EQ(labels, 1);
  }
  EXPECT_EQ(FindControl("Label3")->caption, "Card No:");
  EXPECT_EQ(FindControl("Label4")->caption, "STAN (Trace No):");
}

TEST(Layout, TabOrderFollowsTheDesignAlsoInsideTheGroupBoxes) {
  const std::vector<std::string_view> expected = {
      "Edt_IP",
      "Edt_Port",
      "txtAmount",
      "Edt_LogPath",
      "Btn_Payment",
      "Btn_Clear",
      "Mem_RawResponse",
      "txtCardNo",
      "txtSTAN",
      "txtTransactionTime",
      "txtRRN",
      "txtTerminalNo",
      "txtTransactionDate",
      "txtResponseCode",
      "txtResponseType",
      "txtBatchNo",
      "txtBIN",
      "txtPAN",
  };
  EXPECT_EQ(TabOrder(), expected);
}

TEST(Layout, InputsStartWithTheDefaultsAndEverythingScalesFromTheDesign) {
  EXPECT_EQ(InitialText(*FindControl("Edt_IP")), kDefaultHost);
  EXPECT_EQ(InitialText(*FindControl("Edt_LogPath")), DefaultLogFolder());
  EXPECT_EQ(InitialText(*FindControl("Btn_Payment")), "ارسال مبلغ به کارت خوان");
  EXPECT_EQ(Scaled(Rect{8, 154, 431, 79}, 96), (Rect{8, 154, 431, 79}));
  EXPECT_EQ(Scaled(Rect{8, 154, 431, 79}, 192), (Rect{16, 308, 862, 158}));
  EXPECT_EQ(Scaled(11, 144), 17) << "16.5 rounds up";
  EXPECT_EQ(Scaled(13, 120), 16) << "16.25 rounds down";
}

}  // namespace
}  // namespace pcpos::screen
