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
#include <QShortcut>
#include <QShowEvent>
#include <QStyleHints>

#include "payment/journal.h"
#include "ui/application.h"
#include "ui/result_line.h"
#include "ui/window_font.h"

namespace pcpos::ui {
namespace {

constexpr int kClientWidth = 445;
constexpr int kClientHeight = 462;

const QString kCancelCaption = QStringLiteral("لغو");
const QString kPreviousTip = QStringLiteral("این مقدار از پرداخت قبلی است");

std::string Text(const QLineEdit* edit) { return edit->text().toStdString(); }

// Greyed, with a tooltip saying why; unmarked, the control inherits the
// window's palette again (none of them has one of its own).
void MarkAsPrevious(QWidget* control, bool previous, const QColor& grey) {
  if (previous) {
    QPalette palette = control->palette();
    palette.setColor(QPalette::Text, grey);
    control->setPalette(palette);
    control->setToolTip(kPreviousTip);
  } else {
    control->setPalette(QPalette());
    control->setToolTip(QString());
  }
}

}  // namespace

QString PayCaption() { return QStringLiteral("ارسال مبلغ به کارت خوان"); }

// The reader's own time: from the request leaving to the answer read. The
// group box keeps its place, only its caption grows.
QString RawResponseCaption(const PaymentReport* report) {
  const QString plain = QStringLiteral("Raw Response");
  if (report == nullptr || !report->timings.sent_ms || !report->timings.answer_ms) return plain;
  const double ms = *report->timings.answer_ms - *report->timings.sent_ms;
  const QString took = ms >= 1000 ? QStringLiteral("%1 s").arg(ms / 1000, 0, 'f', 2)
                                  : QStringLiteral("%1 ms").arg(ms, 0, 'f', 1);
  return plain + QStringLiteral(" (reader answered in %1)").arg(took);
}

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
  ConnectKeys();
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
  // The cancel cuts short the lookup, the connect and the wait alike, so the
  // window goes at once, and only after its thread has ended.
  worker_.CancelAndWait();
  waiting_.Stop();
  SetBusy(false);
  event->accept();
}

void TFrm_Selvarin::FormShow() { Btn_ClearClick(); }

void TFrm_Selvarin::Btn_ClearClick() {
  for (QLineEdit* field : ResultFields()) field->clear();
  Mem_RawResponse->clear();
  Grp_RawResponse->setTitle(RawResponseCaption());
  MarkPrevious(false);
  Lbl_ResponseMsg->clear();  // its colour stays until the next text sets it
}

void TFrm_Selvarin::Btn_PaymentClick() {
  // The second click of a double-click, or a late click just after the payment
  // ended, was meant for the button's previous role: a cancel needs a press of
  // its own, and so does a new purchase.
  if (WithinPressGuard()) return;
  if (worker_.IsRunning()) {
    worker_.Cancel();
    return;
  }
  PaymentInputs inputs{Text(Edt_IP), Text(Edt_Port), Text(txtAmount), Text(Edt_LogPath)};
  if (!worker_.Start(std::move(inputs), options_)) return;
  SetBusy(true);
  MarkPrevious(true);
  Grp_RawResponse->setTitle(RawResponseCaption());
  waiting_.Start(options_.answer_timeout);
}

bool TFrm_Selvarin::WithinPressGuard() const {
  return button_changed_.isValid() &&
         button_changed_.elapsed() < QGuiApplication::styleHints()->mouseDoubleClickInterval();
}

// Return starts and Escape stops; neither does the other's work, so a key
// pressed twice never undoes itself.
void TFrm_Selvarin::StartFromKeyboard() {
  if (!worker_.IsRunning()) Btn_PaymentClick();
}

void TFrm_Selvarin::CancelFromKeyboard() {
  if (worker_.IsRunning()) worker_.Cancel();
}

std::array<QLineEdit*, 11> TFrm_Selvarin::ResultFields() const {
  return {txtTerminalNo, txtSTAN, txtRRN,  txtBatchNo,         txtResponseType,   txtResponseCode,
          txtCardNo,     txtPAN,  txtBIN,  txtTransactionDate, txtTransactionTime};
}

// Values an earlier payment left stay where they are, but from the press on
// they are marked, so that none is read as this payment's.
void TFrm_Selvarin::MarkPrevious(bool previous) {
  const QColor grey = palette().color(QPalette::Disabled, QPalette::Text);
  for (QLineEdit* field : ResultFields()) {
    MarkAsPrevious(field, previous && !field->text().isEmpty(), grey);
  }
  MarkAsPrevious(Mem_RawResponse, previous && !Mem_RawResponse->toPlainText().isEmpty(), grey);
}

void TFrm_Selvarin::ConnectWorker() {
  connect(Btn_Payment, &QPushButton::clicked, this, Guarded([this] { Btn_PaymentClick(); }));
  connect(Btn_Clear, &QPushButton::clicked, this, Guarded([this] { Btn_ClearClick(); }));
  connect(&worker_, &PaymentWorker::RawResponse, this, &TFrm_Selvarin::ShowRawResponse);
  connect(&worker_, &PaymentWorker::FieldsReceived, this, &TFrm_Selvarin::ShowFields);
  connect(&worker_, &PaymentWorker::ResultLineChanged, this, &TFrm_Selvarin::ShowResultLine);
  connect(&worker_, &PaymentWorker::Finished, this, &TFrm_Selvarin::PaymentFinished);
  connect(&worker_, &PaymentWorker::RequestSent, &waiting_, [this] { waiting_.RequestSent(); });
  connect(&waiting_, &WaitingLine::TextChanged, this, [this](const QString& text) {
    SetResultLine(text, palette().color(QPalette::WindowText));
  });
}

void TFrm_Selvarin::ConnectKeys() {
  for (QLineEdit* input : {Edt_IP, Edt_Port, txtAmount, Edt_LogPath}) {
    connect(input, &QLineEdit::returnPressed, this, Guarded([this] { StartFromKeyboard(); }));
  }
  // A push button takes Return only as a dialog's default button; this one is
  // not in a dialog. Keypad Enter matches Key_Enter with its modifier dropped.
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
    auto* on_button = new QShortcut(QKeySequence(key), Btn_Payment);
    on_button->setContext(Qt::WidgetShortcut);
    on_button->setAutoRepeat(false);
    connect(on_button, &QShortcut::activated, this, Guarded([this] { StartFromKeyboard(); }));
  }
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setAutoRepeat(false);
  connect(escape, &QShortcut::activated, this, [this] { CancelFromKeyboard(); });
}

void TFrm_Selvarin::SetBusy(bool busy) {
  Btn_Payment->setText(busy ? kCancelCaption : PayCaption());
  for (QWidget* control : {static_cast<QWidget*>(Btn_Clear), static_cast<QWidget*>(Edt_IP),
                           static_cast<QWidget*>(Edt_Port), static_cast<QWidget*>(txtAmount),
                           static_cast<QWidget*>(Edt_LogPath)}) {
    control->setEnabled(!busy);
  }
  // The override cursor is a stack: push and pop it exactly once per payment.
  if (busy != busy_) {
    busy_ = busy;
    button_changed_.start();
    if (busy) {
      QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    } else {
      QGuiApplication::restoreOverrideCursor();
    }
  }
}

void TFrm_Selvarin::ShowRawResponse(const QString& text) {
  MarkAsPrevious(Mem_RawResponse, false, {});
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
  for (const auto& [field, value] : writes) {
    field->setText(QString::fromStdString(*value));
    MarkAsPrevious(field, false, {});
  }
}

void TFrm_Selvarin::ShowResultLine(const QString& text, Colour colour) {
  waiting_.Stop();
  SetResultLine(text, ResultLineColour(colour));
}

void TFrm_Selvarin::SetResultLine(const QString& text, const QColor& colour) {
  QPalette palette = Lbl_ResponseMsg->palette();
  palette.setColor(QPalette::WindowText, colour);
  Lbl_ResponseMsg->setPalette(palette);
  Lbl_ResponseMsg->setText(ResultLineDisplayText(text));
}

void TFrm_Selvarin::PaymentFinished(const PaymentReport& report, const QString& journal_error) {
  waiting_.Stop();
  SetBusy(false);
  Grp_RawResponse->setTitle(RawResponseCaption(&report));
  // Below whatever the payment showed: the journal never hides an outcome.
  if (!journal_error.isEmpty()) {
    Mem_RawResponse->appendPlainText(QString::fromUtf8(kJournalFileName.data(),
                                                       static_cast<qsizetype>(kJournalFileName.size())) +
                                     QStringLiteral(": ") + journal_error);
  }
}

}  // namespace pcpos::ui
