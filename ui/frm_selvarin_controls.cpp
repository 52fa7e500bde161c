// The window's controls as designed at 96 dots per inch: positions and sizes in
// pixels of the client area (of the group box for the controls inside one).
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

#include "payment/defaults.h"
#include "ui/frm_selvarin.h"
#include "ui/window_font.h"

namespace pcpos::ui {
namespace {

// Labels are sized to their text, and their text ends before the field at `field_left`.
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, int left, int top,
                  int field_left) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->move(left, top);
  FitCaption(label, field_left);
  return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, const QString& text, QRect geometry) {
  auto* edit = new QLineEdit(text, parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setGeometry(geometry);
  edit->setCursorPosition(0);  // a long folder shows its beginning
  return edit;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(geometry);
  button->setAutoDefault(false);
  return button;
}

QGroupBox* MakeGroup(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
  auto* group = new QGroupBox(caption, parent);
  group->setObjectName(QString::fromLatin1(name));
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

// One result field with its label; both rows of the group box share the sizes.
QLineEdit* MakeResultField(QGroupBox* group, const char* label_name, const char* caption,
                           QPoint label_at, const char* field_name, QPoint field_at) {
  MakeLabel(group, label_name, QString::fromUtf8(caption), label_at.x(), label_at.y(),
            field_at.x());
  return MakeEdit(group, field_name, QString(), QRect(field_at, QSize(118, 21)));
}

}  // namespace

void TFrm_Selvarin::CreateControls() {
  MakeLabel(this, "Label2", QStringLiteral("IP:"), 16, 11, 68);
  Edt_IP = MakeEdit(this, "Edt_IP", QString::fromUtf8(kDefaultHost.data(), kDefaultHost.size()),
                    QRect(68, 8, 140, 21));
  MakeLabel(this, "Label15", QStringLiteral("Port:"), 16, 37, 68);
  Edt_Port = MakeEdit(this, "Edt_Port", QString::fromUtf8(kDefaultPort.data(), kDefaultPort.size()),
                      QRect(68, 34, 140, 21));
  MakeLabel(this, "Label1", QStringLiteral("Amount: "), 16, 63, 68);
  txtAmount = MakeEdit(this, "txtAmount",
                       QString::fromUtf8(kDefaultAmount.data(), kDefaultAmount.size()),
                       QRect(68, 60, 140, 21));
  MakeLabel(this, "Label16", QStringLiteral("Log Path:"), 16, 89, 68);
  Edt_LogPath = MakeEdit(this, "Edt_LogPath", QString::fromStdString(DefaultLogFolder()),
                         QRect(68, 86, 140, 21));

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(280, 7, 105, 105);
  Image1->setPixmap(QPixmap(QStringLiteral(":/logo.png")));
  Image1->setScaledContents(true);

  Btn_Payment = MakeButton(this, "Btn_Payment", PayCaption(),
                           QRect(17, 118, 191, 25));
  Btn_Clear = MakeButton(this, "Btn_Clear", QStringLiteral("پاک سازی نتایج"),
                         QRect(241, 118, 191, 25));
  Btn_Payment->setFont(PersianWindowFont());
  Btn_Clear->setFont(PersianWindowFont());

  Grp_RawResponse = MakeGroup(this, "Grp_RawResponse", RawResponseCaption(),
                              QRect(8, 154, 431, 79));
  Mem_RawResponse = new QPlainTextEdit(Grp_RawResponse);
  Mem_RawResponse->setObjectName(QStringLiteral("Mem_RawResponse"));
  Mem_RawResponse->setGeometry(9, 19, 410, 49);
  Mem_RawResponse->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Mem_RawResponse->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Mem_RawResponse->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Mem_RawResponse->setTabChangesFocus(true);
  auto* frame_style = new WholeFrameStyle(QApplication::style()->name());
  frame_style->setParent(Mem_RawResponse);
  Mem_RawResponse->setStyle(frame_style);

  Grp_Response = MakeGroup(this, "Grp_Response", QStringLiteral("Response"),
                           QRect(8, 238, 431, 218));
  QGroupBox* g = Grp_Response;
  txtCardNo = MakeResultField(g, "Label3", "Card No:", {8, 27}, "txtCardNo", {96, 23});
  txtSTAN = MakeResultField(g, "Label4", "STAN (Trace No):", {8, 54}, "txtSTAN", {96, 50});
  txtRRN = MakeResultField(g, "Label13", "RRN:", {8, 81}, "txtRRN", {96, 77});
  txtTerminalNo =
      MakeResultField(g, "Label6", "TerminalNo: ", {8, 108}, "txtTerminalNo", {96, 104});
  txtTransactionDate = MakeResultField(g, "Label7", "TransactionDate: ", {8, 135},
                                       "txtTransactionDate", {96, 131});
  txtTransactionTime = MakeResultField(g, "Label8", "TransactionTime: ", {8, 162},
                                       "txtTransactionTime", {96, 158});
  txtPAN = MakeResultField(g, "Label9", "PAN: ", {223, 27}, "txtPAN", {301, 23});
  txtBIN = MakeResultField(g, "Label14", "BIN:", {223, 54}, "txtBIN", {301, 50});
  txtBatchNo = MakeResultField(g, "Label10", "BatchNo", {223, 81}, "txtBatchNo", {301, 77});
  txtResponseType =
      MakeResultField(g, "Label11", "ResponseType:", {223, 108}, "txtResponseType", {301, 104});
  txtResponseCode =
      MakeResultField(g, "Label12", "ResponseCode:", {223, 135}, "txtResponseCode", {301, 131});

  // Its design-time caption never shows: showing the window clears it.
  Lbl_ResponseMsg = new QLabel(QStringLiteral("Lbl_ResponseMsg"), g);
  Lbl_ResponseMsg->setObjectName(QStringLiteral("Lbl_ResponseMsg"));
  Lbl_ResponseMsg->setGeometry(8, 192, 411, 13);
  QFont bold = PersianWindowFont();
  bold.setBold(true);
  Lbl_ResponseMsg->setFont(bold);
  Lbl_ResponseMsg->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  Lbl_ResponseMsg->setLayoutDirection(Qt::RightToLeft);
  Lbl_ResponseMsg->setWordWrap(false);
}

void TFrm_Selvarin::SetTabOrder() {
  // The window's order, then inside each group box by its own tab numbers.
  QWidget* const order[] = {
      Edt_IP,         Edt_Port,      txtAmount,          Edt_LogPath,
      Btn_Payment,    Btn_Clear,     Mem_RawResponse,    txtCardNo,
      txtSTAN,        txtTransactionTime, txtRRN,        txtTerminalNo,
      txtTransactionDate, txtResponseCode, txtResponseType, txtBatchNo,
      txtBIN,         txtPAN,
  };
  for (std::size_t i = 1; i < std::size(order); ++i) {
    QWidget::setTabOrder(order[i - 1], order[i]);
  }
}

}  // namespace pcpos::ui
