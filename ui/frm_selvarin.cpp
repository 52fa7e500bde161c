#include "ui/frm_selvarin.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include "ui/application.h"
#include "ui/result_line.h"
#include "ui/window_font.h"

namespace pcpos::ui {
namespace {

constexpr int kClientWidth = 445;
constexpr int kClientHeight = 462;

const QString kPayCaption = QStringLiteral("ارسال مبلغ به کارت خوان");
const QString kCancelCaption = QStringLiteral("لغو");

std::string Text(const QLineEdit* edit) { return edit->text().toStdString(); }

}  // namespace

TFrm_Selvarin::TFrm_Selvarin(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("Frm_Selvarin"));
  setWindowTitle(QStringLiteral("تست دستگاه کارت خوان سلوارین - 1398/12/05"));
  setWindowIcon(QIcon(QStringLiteral(":/logo.png")));
  setFont(WindowFont());

  // The button-face colour as the window's background.
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);

  setFixedSize(kClientWidth, kClientHeight);
  CreateControls();
  SetTabOrder();
  ConnectWorker();
}

TFrm_Selvarin::~TFrm_Selvarin() { worker_.CancelAndWait(); }

void TFrm_Selvarin::CentreOnScreen() {
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  move(area.center() - QPoint(width() / 2, height() / 2));
}

void TFrm_Selvarin::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Only the window's own show, not the re-show after minimising.
  if (!event->spontaneous()) FormShow();
}

void TFrm_Selvarin::closeEvent(QCloseEvent* event) {
  // The wait is cut short; the window goes only after its thread has ended.
  worker_.CancelAndWait();
  SetBusy(false);
  event->accept();
}

void TFrm_Selvarin::FormShow() { Btn_ClearClick(); }

void TFrm_Selvarin::Btn_ClearClick() {
  for (QLineEdit* field : {txtTerminalNo, txtSTAN, txtRRN, txtBatchNo, txtResponseType,
                           txtResponseCode, txtCardNo, txtPAN, txtBIN, txtTransactionDate,
                           txtTransactionTime}) {
    field->clear();
  }
  Mem_RawResponse->clear();
  Lbl_ResponseMsg->clear();  // its colour stays until the next text sets it
}

void TFrm_Selvarin::Btn_PaymentClick() {
  if (worker_.IsRunning()) {
    worker_.Cancel();
    return;
  }
  PaymentInputs inputs{Text(Edt_IP), Text(Edt_Port), Text(txtAmount), Text(Edt_LogPath)};
  if (worker_.Start(std::move(inputs), options_)) SetBusy(true);
}

void TFrm_Selvarin::ConnectWorker() {
  connect(Btn_Payment, &QPushButton::clicked, this, Guarded([this] { Btn_PaymentClick(); }));
  connect(Btn_Clear, &QPushButton::clicked, this, Guarded([this] { Btn_ClearClick(); }));
  connect(&worker_, &PaymentWorker::RawResponse, this, &TFrm_Selvarin::ShowRawResponse);
  connect(&worker_, &PaymentWorker::FieldsReceived, this, &TFrm_Selvarin::ShowFields);
  connect(&worker_, &PaymentWorker::ResultLineChanged, this, &TFrm_Selvarin::ShowResultLine);
  connect(&worker_, &PaymentWorker::Finished, this, &TFrm_Selvarin::PaymentFinished);
}

void TFrm_Selvarin::SetBusy(bool busy) {
  Btn_Payment->setText(busy ? kCancelCaption : kPayCaption);
  for (QWidget* control : {static_cast<QWidget*>(Btn_Clear), static_cast<QWidget*>(Edt_IP),
                           static_cast<QWidget*>(Edt_Port), static_cast<QWidget*>(txtAmount),
                           static_cast<QWidget*>(Edt_LogPath)}) {
    control->setEnabled(!busy);
  }
  // The override cursor is a stack: push and pop it exactly once per payment.
  if (busy != busy_) {
    busy_ = busy;
    if (busy) {
      QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    } else {
      QGuiApplication::restoreOverrideCursor();
    }
  }
}

void TFrm_Selvarin::ShowRawResponse(const QString& text) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  Mem_RawResponse->setPlainText(shown);
}

void TFrm_Selvarin::ShowFields(const ResponseFields& f) {
  // The order in which the operator sees them filled.
  const std::pair<QLineEdit*, const std::string*> writes[] = {
      {txtTerminalNo, &f.TerminalNo},
      {txtSTAN, &f.STAN},
      {txtRRN, &f.RRN},
      {txtBatchNo, &f.BatchNo},
      {txtResponseType, &f.ResponseType},
      {txtResponseCode, &f.ResponseCode},
      {txtCardNo, &f.CardNo},
      {txtPAN, &f.PAN},
      {txtBIN, &f.BIN},
      {txtTransactionDate, &f.TransactionDate},
      {txtTransactionTime, &f.TransactionTime},
  };
  for (const auto& [field, value] : writes) field->setText(QString::fromStdString(*value));
}

void TFrm_Selvarin::ShowResultLine(const QString& text, Colour colour) {
  QPalette palette = Lbl_ResponseMsg->palette();
  palette.setColor(QPalette::WindowText, ResultLineColour(colour));
  Lbl_ResponseMsg->setPalette(palette);
  Lbl_ResponseMsg->setText(ResultLineDisplayText(text));
}

void TFrm_Selvarin::PaymentFinished() { SetBusy(false); }

}  // namespace pcpos::ui
