// The window's controls, built from the design table (screen/layout.h): positions
// and sizes at 96 dots per inch, in the client area or in their group box.
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>

#include <cmath>
#include <string_view>
#include <vector>

#include "screen/layout.h"
#include "ui/frm_selvarin.h"
#include "ui/qt_text.h"
#include "ui/window_font.h"

namespace pcpos::ui {
namespace {

// Labels are sized to their text, and their text ends before the field at `field_left`.
QLabel* MakeLabel(QWidget* parent, std::string_view name, const QString& caption, int left, int top,
                  int field_left) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(Q(name));
  label->move(left, top);
  FitCaption(label, field_left);
  return label;
}

QLineEdit* MakeEdit(QWidget* parent, std::string_view name, const QString& text, QRect geometry) {
  auto* edit = new QLineEdit(text, parent);
  edit->setObjectName(Q(name));
  edit->setGeometry(geometry);
  edit->setCursorPosition(0);  // a long folder shows its beginning
  return edit;
}

QPushButton* MakeButton(QWidget* parent, std::string_view name, const QString& caption,
                        QRect geometry) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(Q(name));
  button->setGeometry(geometry);
  button->setAutoDefault(false);
  return button;
}

QGroupBox* MakeGroup(QWidget* parent, std::string_view name, const QString& caption,
                     QRect geometry) {
  auto* group = new QGroupBox(caption, parent);
  group->setObjectName(Q(name));
  group->setGeometry(geometry);
  return group;
}

// At a fractional scale (1.5) the style's aliased one-pixel frame of a text pane
// that sits on a half device pixel falls outside the pane's clip and vanishes on
// three sides. Drawn antialiased on the pixel centres, as line edits are, it stays
// whole; at whole-number scales the style draws as it always does.
class WholeFrameStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
    if (element != PE_Frame || ratio == std::floor(ratio)) {
      QProxyStyle::drawPrimitive(element, option, painter, widget);
      return;
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->translate(0.5, 0.5);
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    painter->restore();
  }
};

QRect Geometry(const screen::Rect& r) { return QRect(r.left, r.top, r.width, r.height); }

}  // namespace

void TFrm_Selvarin::CreateControls() {
  // Every control from the design table, parents before their children.
  for (const screen::ControlDesign& c : screen::Layout()) {
    const screen::ControlDesign* group = screen::Parent(c);
    QWidget* parent = group != nullptr ? Widget(group->id) : this;
    const QString text = Q(screen::InitialText(c));
    QWidget* made = nullptr;
    switch (c.kind) {
      case screen::ControlKind::Label:
        made = MakeLabel(parent, c.name, text, c.rect.left, c.rect.top, c.field_left);
        break;
      case screen::ControlKind::Edit:
        made = MakeEdit(parent, c.name, text, Geometry(c.rect));
        break;
      case screen::ControlKind::Button:
        made = MakeButton(parent, c.name, text, Geometry(c.rect));
        made->setFont(PersianWindowFont());
        break;
      case screen::ControlKind::Group:
        made = MakeGroup(parent, c.name, text, Geometry(c.rect));
        break;
      case screen::ControlKind::Memo: {
        auto* memo = new QPlainTextEdit(text, parent);
        memo->setObjectName(Q(c.name));
        memo->setGeometry(Geometry(c.rect));
        memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        memo->setTabChangesFocus(true);
        auto* frame_style = new WholeFrameStyle(QApplication::style()->name());
        frame_style->setParent(memo);
        memo->setStyle(frame_style);
        made = memo;
        break;
      }
      case screen::ControlKind::Picture: {
        auto* picture = new QLabel(parent);
        picture->setObjectName(Q(c.name));
        picture->setGeometry(Geometry(c.rect));
        picture->setPixmap(QPixmap(QStringLiteral(":/logo.png")));
        picture->setScaledContents(true);
        made = picture;
        break;
      }
      case screen::ControlKind::ResultLine: {
        auto* line = new QLabel(text, parent);
        line->setObjectName(Q(c.name));
        line->setGeometry(Geometry(c.rect));
        QFont bold = PersianWindowFont();
        bold.setBold(true);
        line->setFont(bold);
        line->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        line->setLayoutDirection(Qt::RightToLeft);
        line->setWordWrap(false);
        made = line;
        break;
      }
    }
    controls_[static_cast<std::size_t>(c.id)] = made;
  }

  using Id = screen::ControlId;
  Edt_IP = Get<QLineEdit>(Id::Edt_IP);
  Edt_Port = Get<QLineEdit>(Id::Edt_Port);
  txtAmount = Get<QLineEdit>(Id::txtAmount);
  Edt_LogPath = Get<QLineEdit>(Id::Edt_LogPath);
  Image1 = Get<QLabel>(Id::Image1);
  Btn_Payment = Get<QPushButton>(Id::Btn_Payment);
  Btn_Clear = Get<QPushButton>(Id::Btn_Clear);
  Grp_RawResponse = Get<QGroupBox>(Id::Grp_RawResponse);
  Mem_RawResponse = Get<QPlainTextEdit>(Id::Mem_RawResponse);
  Grp_Response = Get<QGroupBox>(Id::Grp_Response);
  Lbl_ResponseMsg = Get<QLabel>(Id::Lbl_ResponseMsg);
  txtCardNo = Get<QLineEdit>(Id::txtCardNo);
  txtSTAN = Get<QLineEdit>(Id::txtSTAN);
  txtRRN = Get<QLineEdit>(Id::txtRRN);
  txtTerminalNo = Get<QLineEdit>(Id::txtTerminalNo);
  txtTransactionDate = Get<QLineEdit>(Id::txtTransactionDate);
  txtTransactionTime = Get<QLineEdit>(Id::txtTransactionTime);
  txtPAN = Get<QLineEdit>(Id::txtPAN);
  txtBIN = Get<QLineEdit>(Id::txtBIN);
  txtBatchNo = Get<QLineEdit>(Id::txtBatchNo);
  txtResponseType = Get<QLineEdit>(Id::txtResponseType);
  txtResponseCode = Get<QLineEdit>(Id::txtResponseCode);
}

void TFrm_Selvarin::SetTabOrder() {
  // The window's order, then inside each group box by its own tab numbers.
  const std::vector<screen::ControlId> order = screen::TabOrderIds();
  for (std::size_t i = 1; i < order.size(); ++i) {
    QWidget::setTabOrder(Widget(order[i - 1]), Widget(order[i]));
  }
}

}  // namespace pcpos::ui
