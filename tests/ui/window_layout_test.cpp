// The window against its design: every control where the design puts it, with
// its caption or initial text, in the design's tab order.
#include <QFontDatabase>
#include <QGroupBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "payment/defaults.h"
#include "tests/ui/ui_test_support.h"
#include "ui/window_font.h"

namespace pcpos::ui::testing {
namespace {

constexpr int kAuto = -1;  // sized to its text

struct Control {
  const char* name;
  const char* parent;  // object name of the window or group box it sits on
  int left, top, width, height;
  QString text;  // caption, title or initial text
};

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), s.size()); }

std::vector<Control> DesignedControls() {
  const char* W = "Frm_Selvarin";
  const char* R = "Grp_Response";
  return {
      {"Label2", W, 16, 11, kAuto, kAuto, "IP:"},
      {"Edt_IP", W, 68, 8, 140, 21, Q(kDefaultHost)},
      {"Label15", W, 16, 37, kAuto, kAuto, "Port:"},
      {"Edt_Port", W, 68, 34, 140, 21, "9053"},
      {"Label1", W, 16, 63, kAuto, kAuto, "Amount: "},
      {"txtAmount", W, 68, 60, 140, 21, "1000"},
      {"Label16", W, 16, 89, kAuto, kAuto, "Log Path:"},
      {"Edt_LogPath", W, 68, 86, 140, 21, Q(DefaultLogFolder())},
      {"Image1", W, 280, 7, 105, 105, ""},
      {"Btn_Payment", W, 17, 118, 191, 25, "ارسال مبلغ به کارت خوان"},
      {"Btn_Clear", W, 241, 118, 191, 25, "پاک سازی نتایج"},
      {"Grp_RawResponse", W, 8, 154, 431, 79, "Raw Response"},
      {"Grp_Response", W, 8, 238, 431, 218, "Response"},
      {"Mem_RawResponse", "Grp_RawResponse", 9, 19, 410, 49, ""},
      {"Label3", R, 8, 27, kAuto, kAuto, "Card No:"},
      {"txtCardNo", R, 96, 23, 118, 21, ""},
      {"Label4", R, 8, 54, kAuto, kAuto, "STAN (Trace No):"},
      {"txtSTAN", R, 96, 50, 118, 21, ""},
      {"Label13", R, 8, 81, kAuto, kAuto, "RRN:"},
      {"txtRRN", R, 96, 77, 118, 21, ""},
      {"Label6", R, 8, 108, kAuto, kAuto, "TerminalNo: "},
      {"txtTerminalNo", R, 96, 104, 118, 21, ""},
      {"Label7", R, 8, 135, kAuto, kAuto, "TransactionDate: "},
      {"txtTransactionDate", R, 96, 131, 118, 21, ""},
      {"Label8", R, 8, 162, kAuto, kAuto, "TransactionTime: "},
      {"txtTransactionTime", R, 96, 158, 118, 21, ""},
      {"Label9", R, 223, 27, kAuto, kAuto, "PAN: "},
      {"txtPAN", R, 301, 23, 118, 21, ""},
      {"Label14", R, 223, 54, kAuto, kAuto, "BIN:"},
      {"txtBIN", R, 301, 50, 118, 21, ""},
      {"Label10", R, 223, 81, kAuto, kAuto, "BatchNo"},
      {"txtBatchNo", R, 301, 77, 118, 21, ""},
      {"Label11", R, 223, 108, kAuto, kAuto, "ResponseType:"},
      {"txtResponseType", R, 301, 104, 118, 21, ""},
      {"Label12", R, 223, 135, kAuto, kAuto, "ResponseCode:"},
      {"txtResponseCode", R, 301, 131, 118, 21, ""},
      // Shown empty: showing the window cleared its design-time caption.
      {"Lbl_ResponseMsg", R, 8, 192, 411, 13, ""},
  };
}

QString TextOf(const QWidget* w) {
  if (auto* label = qobject_cast<const QLabel*>(w)) return label->text();
  if (auto* edit = qobject_cast<const QLineEdit*>(w)) return edit->text();
  if (auto* button = qobject_cast<const QPushButton*>(w)) return button->text();
  if (auto* group = qobject_cast<const QGroupBox*>(w)) return group->title();
  if (auto* memo = qobject_cast<const QPlainTextEdit*>(w)) return memo->toPlainText();
  return QStringLiteral("<no text>");
}

bool IsTahomaInstalled() {
  for (const QString& f : QFontDatabase::families()) {
    if (f.startsWith("Tahoma")) return true;
  }
  return false;
}

class WindowLayout : public ::testing::Test {
 protected:
  std::unique_ptr<TFrm_Selvarin> window = ShownWindow();
};

TEST_F(WindowLayout, EveryControlHasItsPlaceSizeAndText) {
  const auto controls = DesignedControls();
  // Label5 does not exist; nothing else either.
  EXPECT_EQ(window->findChild<QWidget*>("Label5"), nullptr);
  for (const Control& c : controls) {
    SCOPED_TRACE(c.name);
    auto* w = window->findChild<QWidget*>(c.name);
    ASSERT_NE(w, nullptr);
    ASSERT_NE(w->parentWidget(), nullptr);
    EXPECT_EQ(w->parentWidget()->objectName().toStdString(), c.parent);
    EXPECT_EQ(w->pos(), QPoint(c.left, c.top));
    if (c.width == kAuto) {
      EXPECT_EQ(w->size(), w->sizeHint()) << "labels are sized to their text";
    } else {
      EXPECT_EQ(w->size(), QSize(c.width, c.height));
    }
    EXPECT_EQ(TextOf(w).toStdString(), c.text.toStdString());
    EXPECT_TRUE(w->isVisible());
  }
}

TEST_F(WindowLayout, LabelsEndBeforeTheirFieldsAndControlsStayInsideTheirParents) {
  // A stand-in font wider than the designed one would push captions under their
  // fields or controls past the edge of the window: nothing may be clipped.
  const auto controls = DesignedControls();
  for (std::size_t i = 0; i < controls.size(); ++i) {
    auto* w = window->findChild<QWidget*>(controls[i].name);
    ASSERT_NE(w, nullptr);
    SCOPED_TRACE(controls[i].name);
    EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry()));
    if (controls[i].width == kAuto && i + 1 < controls.size()) {
      auto* field = window->findChild<QWidget*>(controls[i + 1].name);
      ASSERT_NE(field, nullptr);
      EXPECT_LE(w->geometry().right(), field->geometry().left());
      // The label's top row lines up with its field's text.
      EXPECT_LE(w->geometry().bottom(), field->geometry().bottom());
    }
  }
}

TEST_F(WindowLayout, TabOrderFollowsTheDesignAlsoInsideTheGroupBoxes) {
  const std::vector<std::string> expected = {
      "Edt_IP",        "Edt_Port",        "txtAmount",       "Edt_LogPath",
      "Btn_Payment",   "Btn_Clear",       "Mem_RawResponse", "txtCardNo",
      "txtSTAN",       "txtTransactionTime", "txtRRN",      "txtTerminalNo",
      "txtTransactionDate", "txtResponseCode", "txtResponseType", "txtBatchNo",
      "txtBIN",        "txtPAN",
  };
  std::vector<std::string> order;
  QWidget* start = window->Edt_IP;
  QWidget* w = start;
  do {
    if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(window.get()) && w->isEnabled()) {
      order.push_back(w->objectName().toStdString());
    }
    w = w->nextInFocusChain();
  } while (w != start && order.size() < 100);
  EXPECT_EQ(order, expected);
}

TEST_F(WindowLayout, WindowIsFixedCentredAndCaptioned) {
  EXPECT_EQ(window->objectName(), "Frm_Selvarin");
  EXPECT_EQ(window->windowTitle(), QStringLiteral("تست دستگاه کارت خوان سلوارین - 1398/12/05"));
  EXPECT_EQ(window->size(), QSize(445, 462));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());

  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));

  // Centred up to rounding and the frame the platform adds.
  const QRect screen = window->screen()->availableGeometry();
  EXPECT_LE((window->frameGeometry().center() - screen.center()).manhattanLength(), 4);

  EXPECT_EQ(window->palette().color(QPalette::Window), window->palette().color(QPalette::Button));
  EXPECT_FALSE(window->windowIcon().isNull());
}

TEST_F(WindowLayout, FontsAndTheResultLineLook) {
  EXPECT_EQ(window->font().pixelSize(), 11);
  const QString family = window->font().families().value(0);
  EXPECT_EQ(family, IsTahomaInstalled() ? "Tahoma" : "Nimbus Sans");
  EXPECT_FALSE(window->font().bold());
  EXPECT_EQ(window->Btn_Payment->font().pixelSize(), 11);

  const QLabel* line = window->Lbl_ResponseMsg;
  EXPECT_TRUE(line->font().bold());
  EXPECT_EQ(line->font().pixelSize(), 11);
  EXPECT_EQ(line->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
  EXPECT_EQ(line->layoutDirection(), Qt::RightToLeft);
  EXPECT_FALSE(line->wordWrap());

  const QPlainTextEdit* memo = window->Mem_RawResponse;
  EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST(WindowFont, FallsBackToInstalledFacesWithPersianGlyphs) {
  // Tahoma alone when present; otherwise a Latin and a Persian stand-in from
  // those installed, whatever foundry the database names with them.
  EXPECT_EQ(WindowFont({"Tahoma [MS]", "DejaVu Sans"}).families(), QStringList{"Tahoma"});
  EXPECT_EQ(WindowFont({"DejaVu Sans", "Noto Sans Arabic UI", "Nimbus Sans [urw]"}).families(),
            (QStringList{"Nimbus Sans", "Noto Sans Arabic UI"}));
  EXPECT_EQ(WindowFont({"DejaVu Sans"}).families(), QStringList{"DejaVu Sans"});
  EXPECT_EQ(WindowFont({"Nimbus Sans Narrow"}).families(), QStringList{});
  EXPECT_EQ(WindowFont(QStringList{}).pixelSize(), 11);
}

TEST_F(WindowLayout, LogoIsThePngWithAlphaStretchedIntoItsBox) {
  const QImage logo(QStringLiteral(":/logo.png"));
  EXPECT_EQ(logo.size(), QSize(300, 300));
  EXPECT_TRUE(logo.hasAlphaChannel());
  EXPECT_EQ(logo.pixelColor(0, 0).alpha(), 0) << "the corners are transparent";
  EXPECT_TRUE(window->Image1->hasScaledContents());
  EXPECT_EQ(window->Image1->pixmap().size(), QSize(300, 300));
}

}  // namespace
}  // namespace pcpos::ui::testing
