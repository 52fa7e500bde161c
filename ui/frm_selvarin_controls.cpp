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
#include <map>
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
  std::map<std::string_view, QWidget*> parents{{std::string_view(), this}};
  for (const screen::ControlDesign& c : screen::Layout()) {
    QWidget* parent = parents.at(c.parent);
    const QString text = Q(screen::InitialText(c));
    switch (c.kind) {
      case screen::ControlKind::Label:
        MakeLabel(parent, c.name, text, c.rect.left, c.rect.top, c.field_left);
        break;
      case screen::ControlKind::Edit:
        MakeEdit(parent, c.name, text, Geometry(c.rect));
        break;
      case screen::ControlKind::Button:
        MakeButton(parent, c.name, text, Geometry(c.rect))->setFont(PersianWindowFont());
        break;
      case screen::ControlKind::Group:
        parents[c.name] = MakeGroup(parent, c.name, text, Geometry(c.rect));
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
        break;
      }
      case screen::ControlKind::Picture: {
        auto* picture = new QLabel(parent);
        picture->setObjectName(Q(c.name));
        picture->setGeometry(Geometry(c.rect));
        picture->setPixmap(QPixmap(QStringLiteral(":/logo.png")));
        picture->setScaledContents(true);
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
        break;
      }
    }
  }

  const auto find = [this]<typename T>(T*& control, std::string_view name) {
    control = findChild<T*>(Q(name));
  };
  find(Edt_IP, "Edt_IP");
  find(Edt_Port, "Edt_Port");
  find(txtAmount, "txtAmount");
  find(Edt_LogPath, "Edt_LogPath");
  find(Image1, "Image1");
  find(Btn_Payment, "Btn_Payment");
  find(Btn_Clear, "Btn_Clear");
  find(Grp_RawResponse, "Grp_RawResponse");
  find(Mem_RawResponse, "Mem_RawResponse");
  find(Grp_Response, "Grp_Response");
  find(Lbl_ResponseMsg, "Lbl_ResponseMsg");
  for (std::size_t i = 0; i < screen::kFieldCount; ++i) {
    find(fields_[i], screen::FieldControlName(static_cast<screen::Field>(i)));
  }
  const auto field = [this](screen::Field f) { return FieldEdit(f); };
  txtCardNo = field(screen::Field::CardNo);
  txtSTAN = field(screen::Field::STAN);
  txtRRN = field(screen::Field::RRN);
  txtTerminalNo = field(screen::Field::TerminalNo);
  txtTransactionDate = field(screen::Field::TransactionDate);
  txtTransactionTime = field(screen::Field::TransactionTime);
  txtPAN = field(screen::Field::PAN);
  txtBIN = field(screen::Field::BIN);
  txtBatchNo = field(screen::Field::BatchNo);
  txtResponseType = field(screen::Field::ResponseType);
  txtResponseCode = field(screen::Field::ResponseCode);
}

void TFrm_Selvarin::SetTabOrder() {
  // The window's order, then inside each group box by its own tab numbers.
  const std::vector<std::string_view> order = screen::TabOrder();
  for (std::size_t i = 1; i < order.size(); ++i) {
    QWidget::setTabOrder(findChild<QWidget*>(Q(order[i - 1])), findChild<QWidget*>(Q(order[i])));
  }
}

}  // namespace pcpos::ui
