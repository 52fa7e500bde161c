#include "ui/frm_selvarin.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QStyleHints>

#include <chrono>
#include <utility>

#include "screen/layout.h"
#include "screen/placement.h"
#include "screen/texts.h"
#include "ui/application.h"
#include "ui/qt_text.h"
#include "ui/window_font.h"

namespace pcpos::ui {
namespace {

// Greyed, with a tooltip saying why; unmarked, the control inherits the
// window's palette again (none of them has one of its own).
void MarkAsPrevious(QWidget* control, bool previous, const QColor& grey) {
  if (previous) {
    QPalette palette = control->palette();
    palette.setColor(QPalette::Text, grey);
    control->setPalette(palette);
    control->setToolTip(Q(screen::kPreviousTip));
  } else {
    control->setPalette(QPalette());
    control->setToolTip(QString());
  }
}

std::chrono::milliseconds DoubleClickTime() {
  return std::chrono::milliseconds(QGuiApplication::styleHints()->mouseDoubleClickInterval());
}

}  // namespace

TFrm_Selvarin::TFrm_Selvarin(QWidget* parent, screen::PaymentScreen::Clock clock)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      // Queued to this window's thread; a call still queued when the window goes is dropped.
      runner_([this](std::function<void()> call) {
        {
          const std::lock_guard lock(posted_mutex_);
          posted_.push_back(std::move(call));
        }
        QMetaObject::invokeMethod(this, "RunPosted", Qt::QueuedConnection);
      }),
      screen_(
          *this, guided_,
          clock ? std::move(clock) : [] { return std::chrono::steady_clock::now(); },
          DoubleClickTime()) {
  setObjectName(QStringLiteral("Frm_Selvarin"));
  setWindowTitle(Q(screen::WindowCaption()));
  setWindowIcon(QIcon(QStringLiteral(":/logo.png")));
  setFont(WindowFont());

  // The button-face colour as the window's background.
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);

  setFixedSize(screen::kClientWidth, screen::kClientHeight);
  CreateControls();
  SetTabOrder();
  ConnectControls();
  ConnectKeys();

  tick_.setInterval(1000);
  tick_.setTimerType(Qt::PreciseTimer);  // a coarse timer would skip or repeat a second
  connect(&tick_, &QTimer::timeout, this, [this] { screen_.Tick(); });
}

// The payment's thread ends before anything it posts to goes.
TFrm_Selvarin::~TFrm_Selvarin() { runner_.CancelAndWait(); }

void TFrm_Selvarin::CentreOnScreen() {
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  // The frame as far as it is known (before the first show, the window alone).
  const QRect frame = frameGeometry();
  const screen::Rect placed = screen::CentredOnWorkArea(
      frame.width(), frame.height(), {area.left(), area.top(), area.width(), area.height()});
  move(placed.left, placed.top);
}

void TFrm_Selvarin::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Only the window's own show, not the re-show after minimising.
  if (!event->spontaneous()) FormShow();
}

void TFrm_Selvarin::closeEvent(QCloseEvent* event) {
  screen_.Close();
  guided_.Close();  // a run not over is interrupted; its report is written
  event->accept();
}

void TFrm_Selvarin::FormShow() { screen_.Show(); }

// One queued event per posted call, so calls run one at a time and in order.
void TFrm_Selvarin::RunPosted() {
  std::function<void()> call;
  {
    const std::lock_guard lock(posted_mutex_);
    if (posted_.empty()) return;
    call = std::move(posted_.front());
    posted_.pop_front();
  }
  call();
}

void TFrm_Selvarin::Btn_ClearClick() { screen_.Clear(); }

void TFrm_Selvarin::Btn_PaymentClick() { Screen().PressPayment(); }

screen::PaymentScreen& TFrm_Selvarin::Screen() {
  screen_.SetDoubleClickTime(DoubleClickTime());
  return screen_;
}

void TFrm_Selvarin::ConnectControls() {
  connect(Btn_Payment, &QPushButton::clicked, this, Guarded([this] { Btn_PaymentClick(); }));
  connect(Btn_Clear, &QPushButton::clicked, this, Guarded([this] { Btn_ClearClick(); }));
  connect(Edt_LogPath, &QLineEdit::textChanged, this, [this] { screen_.LogFolderEdited(); });
}

void TFrm_Selvarin::ConnectKeys() {
  for (QLineEdit* input : {Edt_IP, Edt_Port, txtAmount, Edt_LogPath}) {
    connect(input, &QLineEdit::returnPressed, this, Guarded([this] { Screen().PressReturn(); }));
  }
  // A push button takes Return only as a dialog's default button; this one is
  // not in a dialog. Keypad Enter matches Key_Enter with its modifier dropped.
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
    auto* on_button = new QShortcut(QKeySequence(key), Btn_Payment);
    on_button->setContext(Qt::WidgetShortcut);
    on_button->setAutoRepeat(false);
    connect(on_button, &QShortcut::activated, this, Guarded([this] { Screen().PressReturn(); }));
  }
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setAutoRepeat(false);
  connect(escape, &QShortcut::activated, this, [this] { screen_.PressEscape(); });
}

QLineEdit* TFrm_Selvarin::FieldEdit(screen::Field field) const {
  return Get<QLineEdit>(screen::FieldControl(field).id);
}

std::string TFrm_Selvarin::InputText(screen::Input input) const {
  return Utf8(Get<QLineEdit>(screen::InputControl(input))->text());
}

std::string TFrm_Selvarin::FieldText(screen::Field field) const {
  return Utf8(FieldEdit(field)->text());
}

std::string TFrm_Selvarin::RawText() const { return Utf8(Mem_RawResponse->toPlainText()); }

void TFrm_Selvarin::SetFieldText(screen::Field field, std::string_view text) {
  FieldEdit(field)->setText(Q(text));
}

void TFrm_Selvarin::SetRawText(std::string_view text) {
  QString shown = Q(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  Mem_RawResponse->setPlainText(shown);
}

void TFrm_Selvarin::SetRawCaption(std::string_view caption) {
  Grp_RawResponse->setTitle(Q(caption));
}

void TFrm_Selvarin::SetFieldPrevious(screen::Field field, bool previous) {
  MarkAsPrevious(FieldEdit(field), previous, palette().color(QPalette::Disabled, QPalette::Text));
}

void TFrm_Selvarin::SetRawPrevious(bool previous) {
  MarkAsPrevious(Mem_RawResponse, previous, palette().color(QPalette::Disabled, QPalette::Text));
}

void TFrm_Selvarin::SetResultLine(std::string_view text, screen::TextDirection direction,
                                  screen::Tone tone) {
  QColor colour = palette().color(QPalette::WindowText);
  if (const auto rgb = screen::ToneColour(tone)) colour = QColor(rgb->r, rgb->g, rgb->b);
  QPalette palette = Lbl_ResponseMsg->palette();
  palette.setColor(QPalette::WindowText, colour);
  Lbl_ResponseMsg->setPalette(palette);
  // A plain label takes its paragraph's direction from its layout direction;
  // the line stays centred either way.
  Lbl_ResponseMsg->setLayoutDirection(
      direction == screen::TextDirection::LeftToRight ? Qt::LeftToRight : Qt::RightToLeft);
  Lbl_ResponseMsg->setText(Q(text));
}

void TFrm_Selvarin::SetBusy(bool busy) {
  Btn_Payment->setText(Q(busy ? screen::kCancelCaption : screen::kPayCaption));
  for (QWidget* control : {static_cast<QWidget*>(Btn_Clear), static_cast<QWidget*>(Edt_IP),
                           static_cast<QWidget*>(Edt_Port), static_cast<QWidget*>(txtAmount),
                           static_cast<QWidget*>(Edt_LogPath)}) {
    control->setEnabled(!busy);
  }
  // The override cursor is a stack: push and pop it exactly once per payment.
  if (busy != busy_cursor_) {
    busy_cursor_ = busy;
    if (busy) {
      QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    } else {
      QGuiApplication::restoreOverrideCursor();
    }
  }
}

void TFrm_Selvarin::SetTicking(bool ticking) {
  if (ticking) {
    tick_.start();
  } else {
    tick_.stop();
  }
}

void TFrm_Selvarin::SetLogFolderTip(std::string_view tip) { Edt_LogPath->setToolTip(Q(tip)); }

}  // namespace pcpos::ui
