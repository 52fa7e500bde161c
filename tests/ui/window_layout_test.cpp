// The window against its design: every control where the design puts it, with
// its caption or initial text, in the design's tab order.
#include <QGlyphRun>
#include <QGroupBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextLayout>

#include <cmath>
#include <cstdlib>

#include "screen/layout.h"
#include "tests/ui/ui_test_support.h"

namespace pcpos::ui::testing {
namespace {

constexpr int kAuto = -1;  // sized to its text

struct Control {
  std::string name;
  std::string parent;  // object name of the window or group box it sits on
  int left, top, width, height;
  QString text;  // caption, title or initial text
};

// The design table as the shown window must match it.
std::vector<Control> DesignedControls() {
  std::vector<Control> controls;
  for (const screen::ControlDesign& c : screen::Layout()) {
    const bool sized = c.kind != screen::ControlKind::Label;
    controls.push_back(
        {std::string(c.name), c.parent.empty() ? "Frm_Selvarin" : std::string(c.parent),
         c.rect.left, c.rect.top, sized ? c.rect.width : kAuto, sized ? c.rect.height : kAuto,
         // Shown empty: showing the window cleared its design-time caption.
         c.kind == screen::ControlKind::ResultLine ? QString() : Q(screen::InitialText(c))});
  }
  return controls;
}

QString TextOf(const QWidget* w) {
  if (auto* label = qobject_cast<const QLabel*>(w)) return label->text();
  if (auto* edit = qobject_cast<const QLineEdit*>(w)) return edit->text();
  if (auto* button = qobject_cast<const QPushButton*>(w)) return button->text();
  if (auto* group = qobject_cast<const QGroupBox*>(w)) return group->title();
  if (auto* memo = qobject_cast<const QPlainTextEdit*>(w)) return memo->toPlainText();
  return QStringLiteral("<no text>");
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
    auto* w = window->findChild<QWidget*>(Q(c.name));
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

TEST_F(WindowLayout, TabOrderFollowsTheDesignAlsoInsideTheGroupBoxes) {
  std::vector<std::string> expected;
  for (std::string_view name : screen::TabOrder()) expected.emplace_back(name);
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
  EXPECT_EQ(window->windowTitle(), Q(screen::WindowCaption()));
  EXPECT_EQ(window->size(), QSize(screen::kClientWidth, screen::kClientHeight));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());

  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));

  // Centred up to rounding and the frame the platform adds, where it fits; on a
  // work area too small for it (QT_SCALE_FACTOR=2 on the test screen), its
  // top-left corner, title bar first, stays on the work area.
  const QRect screen = window->screen()->availableGeometry();
  const QRect frame = window->frameGeometry();
  if (frame.width() <= screen.width() && frame.height() <= screen.height()) {
    EXPECT_LE((frame.center() - screen.center()).manhattanLength(), 4);
  } else {
    EXPECT_TRUE(screen.contains(frame.topLeft())) << frame.x() << "," << frame.y();
  }

  EXPECT_EQ(window->palette().color(QPalette::Window), window->palette().color(QPalette::Button));
  EXPECT_FALSE(window->windowIcon().isNull());
}

TEST_F(WindowLayout, FontsAndTheResultLineLook) {
  EXPECT_EQ(window->font().pixelSize(), 11);
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

TEST_F(WindowLayout, LogoIsThePngWithAlphaStretchedIntoItsBox) {
  const QImage logo(QStringLiteral(":/logo.png"));
  EXPECT_EQ(logo.size(), QSize(300, 300));
  EXPECT_TRUE(logo.hasAlphaChannel());
  EXPECT_EQ(logo.pixelColor(0, 0).alpha(), 0) << "the corners are transparent";
  EXPECT_TRUE(window->Image1->hasScaledContents());
  EXPECT_EQ(window->Image1->pixmap().size(), QSize(300, 300));
}

// What follows holds whatever fonts the machine has and at any scale factor; CTest
// runs it again under restricted font sets and with QT_SCALE_FACTOR.
class WindowFit : public WindowLayout {
 protected:
  // Pairs of a label and the field to its right, by the design's order.
  std::vector<std::pair<QLabel*, QWidget*>> CaptionsAndFields() const {
    std::vector<std::pair<QLabel*, QWidget*>> pairs;
    const auto controls = DesignedControls();
    for (std::size_t i = 0; i + 1 < controls.size(); ++i) {
      if (controls[i].width != kAuto) continue;
      pairs.emplace_back(window->findChild<QLabel*>(Q(controls[i].name)),
                         window->findChild<QWidget*>(Q(controls[i + 1].name)));
    }
    return pairs;
  }
};

// How far right a label's text is drawn, in its parent's logical pixels: the end
// of the last pixel column with any stroke, antialiased edges included.
double InkedUpTo(QLabel* label) {
  const QImage image = label->grab().toImage();
  const int background = qGray(label->palette().color(label->backgroundRole()).rgb());
  for (int x = image.width() - 1; x >= 0; --x) {
    for (int y = 0; y < image.height(); ++y) {
      if (std::abs(qGray(image.pixel(x, y)) - background) > 16) {
        return label->x() + (x + 1) / image.devicePixelRatio();
      }
    }
  }
  return label->x();
}

TEST_F(WindowFit, CaptionsEndTwoPixelsBeforeTheirFields) {
  const auto pairs = CaptionsAndFields();
  ASSERT_EQ(pairs.size(), 15u);
  for (const auto& [label, field] : pairs) {
    ASSERT_NE(label, nullptr);
    ASSERT_NE(field, nullptr);
    SCOPED_TRACE(label->text().toStdString());
    ASSERT_EQ(label->parentWidget(), field->parentWidget());
    const double end = InkedUpTo(label);
    EXPECT_GT(end, label->x() + 5) << "the caption is drawn";
    EXPECT_LE(end, field->x() - 2.0);
    EXPECT_LT(label->geometry().right(), field->x()) << "the label stays clear of its field";
    // Shrunk if it must be, yet readable; never larger than designed.
    EXPECT_GE(label->font().pixelSize(), 8);
    EXPECT_LE(label->font().pixelSize(), 11);
    // The label's top row lines up with its field's text.
    EXPECT_LE(label->geometry().bottom(), field->geometry().bottom());
  }
}

// Whether the outermost logical pixel row or column of `w` on one side shows a
// line darker than the window's background in the window's picture.
bool FrameLineShows(const QImage& picture, const QWidget* w, Qt::Edge side) {
  const double ratio = picture.devicePixelRatio();
  const QRect r(w->mapTo(w->window(), QPoint(0, 0)), w->size());
  const int background = qGray(w->window()->palette().color(QPalette::Window).rgb());
  // The band of device pixels that the side's logical pixel covers, at its middle.
  auto band = [&](int logical) {
    return std::pair(static_cast<int>(std::floor(logical * ratio)),
                     static_cast<int>(std::ceil((logical + 1) * ratio)) - 1);
  };
  const bool vertical = side == Qt::LeftEdge || side == Qt::RightEdge;
  const int edge = side == Qt::LeftEdge    ? r.left()
                   : side == Qt::RightEdge ? r.right()
                   : side == Qt::TopEdge   ? r.top()
                                           : r.bottom();
  const int middle = static_cast<int>((vertical ? r.center().y() : r.center().x()) * ratio);
  const auto [from, to] = band(edge);
  for (int i = from; i <= to; ++i) {
    const QPoint at = vertical ? QPoint(i, middle) : QPoint(middle, i);
    if (qGray(picture.pixel(at)) <= background - 24) return true;
  }
  return false;
}

TEST_F(WindowFit, ControlsStayInsideTheirParentsWithTheirFramesWhole) {
  const QImage picture = window->grab().toImage();
  for (const Control& c : DesignedControls()) {
    auto* w = window->findChild<QWidget*>(Q(c.name));
    ASSERT_NE(w, nullptr);
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry()));
    if (!qobject_cast<QLineEdit*>(w) && !qobject_cast<QPlainTextEdit*>(w) &&
        !qobject_cast<QPushButton*>(w)) {
      continue;
    }
    for (Qt::Edge side : {Qt::LeftEdge, Qt::TopEdge, Qt::RightEdge, Qt::BottomEdge}) {
      EXPECT_TRUE(FrameLineShows(picture, w, side)) << "side " << side;
    }
  }
}

// The glyphs that `font` shapes `text` into, all runs checked for direction and
// for characters the font set lacks.
QList<quint32> ShapedGlyphs(const QFont& font, const QString& text) {
  QTextLayout layout(text, font);
  layout.beginLayout();
  layout.createLine();
  layout.endLayout();
  QList<quint32> glyphs;
  for (const QGlyphRun& run : layout.glyphRuns()) {
    EXPECT_TRUE(run.isRightToLeft()) << text.toStdString();
    glyphs += run.glyphIndexes();
  }
  EXPECT_FALSE(glyphs.isEmpty());
  EXPECT_FALSE(glyphs.contains(0u)) << "a character without a glyph in " << text.toStdString();
  return glyphs;
}

TEST_F(WindowFit, PersianTextIsShapedRightToLeft) {
  for (const QWidget* w :
       {static_cast<QWidget*>(window->Btn_Payment), static_cast<QWidget*>(window->Btn_Clear),
        static_cast<QWidget*>(window->Lbl_ResponseMsg)}) {
    SCOPED_TRACE(w->objectName().toStdString());
    ShapedGlyphs(w->font(), QStringLiteral("ارسال مبلغ به کارت خوان"));
    ShapedGlyphs(w->font(), QStringLiteral("پاک سازی نتایج"));
    // Joined letters take other forms than a letter standing alone.
    const quint32 alone = ShapedGlyphs(w->font(), QStringLiteral("ب")).value(0);
    EXPECT_FALSE(ShapedGlyphs(w->font(), QStringLiteral("ببب")).contains(alone));
  }
}

}  // namespace
}  // namespace pcpos::ui::testing
