#include "screen/payment_screen.h"

#include <algorithm>
#include <utility>

#include "screen/log_paths.h"
#include "screen/texts.h"
#include "text/text.h"

namespace pcpos::screen {
namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;

// Rounded to the nearest second, so a tick that comes a little early or late
// still moves both counts by one.
std::int64_t RoundedSeconds(milliseconds ms) { return (ms.count() + 500) / 1000; }

// The raw pane: the warning above an open outcome, the answer or the error, and
// below them what could not be written (each message names its file) or the log
// that was; nothing hides what the reader answered.
std::string RawPaneText(const std::string& raw, bool unknown,
                        const std::optional<std::string>& log_error,
                        const std::optional<std::string>& journal_error,
                        const std::optional<std::string>& log_file) {
  std::string text = raw;
  if (unknown) text = std::string(kOutcomeUnknownText) + "\r\n" + text;
  const auto below = [&text](const std::string& line) {
    text = text.empty() ? line : text + "\r\n" + line;
  };
  if (log_error) text += "\r\n" + NormaliseLineBreaks(*log_error);
  if (journal_error && !journal_error->empty()) below(NormaliseLineBreaks(*journal_error));
  if (log_file) below(LogWrittenLine(*log_file));
  return text;
}

}  // namespace

std::string_view FieldControlName(Field field) { return FieldControl(field).name; }

ControlId InputControl(Input input) {
  switch (input) {
    case Input::Host:
      return ControlId::Edt_IP;
    case Input::Port:
      return ControlId::Edt_Port;
    case Input::Amount:
      return ControlId::txtAmount;
    case Input::LogFolder:
      break;
  }
  return ControlId::Edt_LogPath;
}

std::optional<Rgb> ToneColour(Tone tone) {
  switch (tone) {
    case Tone::Green:
      return Rgb{0, 128, 0};
    case Tone::Red:
      return Rgb{255, 0, 0};
    // Dark enough to read on the button face, far enough from red to tell apart.
    case Tone::Amber:
      return Rgb{160, 82, 0};
    case Tone::Window:
      break;
  }
  return std::nullopt;
}

Tone ToneOf(Outcome outcome) {
  switch (outcome) {
    case Outcome::Approved:
      return Tone::Green;
    case Outcome::Declined:
    case Outcome::NotSent:
      return Tone::Red;
    case Outcome::Unknown:
      break;
  }
  return Tone::Amber;
}

PaymentScreen::PaymentScreen(ScreenView& view, Runner& runner, Clock clock,
                             std::chrono::milliseconds double_click, TransactionOptions options)
    : view_(view),
      runner_(runner),
      clock_(std::move(clock)),
      double_click_(double_click),
      options_(options) {}

// The second click of a double-click, or a late click just after the payment
// ended, was meant for the button's previous role: a cancel needs a press of
// its own, and so does a new purchase.
bool PaymentScreen::WithinPressGuard() const {
  return button_changed_ && clock_() - *button_changed_ < double_click_;
}

Command PaymentScreen::PressPayment() {
  if (WithinPressGuard()) return Command::None;
  if (phase_ == Phase::Running) {
    runner_.Cancel();
    phase_ = Phase::Cancelling;
    return Command::Cancel;
  }
  if (phase_ == Phase::Cancelling) return Command::None;  // asked already; the end follows

  PaymentInputs inputs{view_.InputText(Input::Host), view_.InputText(Input::Port),
                       view_.InputText(Input::Amount), view_.InputText(Input::LogFolder)};
  if (!runner_.Start(std::move(inputs), options_, *this)) return Command::None;
  phase_ = Phase::Running;
  raw_.clear();
  outcome_.reset();
  log_error_.reset();
  journal_error_.reset();
  log_file_.reset();
  connected_ = false;
  SetBusy(true);
  MarkPrevious(true);
  view_.SetRawCaption(RawResponseCaption());
  waiting_ = true;
  pressed_at_ = clock_();
  sent_at_.reset();
  view_.SetTicking(true);
  ShowWaiting();
  return Command::Start;
}

// Return starts and Escape stops; neither does the other's work, so a key
// pressed twice never undoes itself.
Command PaymentScreen::PressReturn() {
  if (Busy()) return Command::None;
  return PressPayment();
}

Command PaymentScreen::PressEscape() {
  if (phase_ != Phase::Running) return Command::None;
  runner_.Cancel();
  phase_ = Phase::Cancelling;
  return Command::Cancel;
}

void PaymentScreen::Show() {
  Clear();
  LogFolderEdited();
}

void PaymentScreen::LogFolderEdited() {
  view_.SetLogFolderTip(LogFolderTip(view_.InputText(Input::LogFolder)));
}

void PaymentScreen::Clear() {
  for (const AnswerFieldInfo& f : AnswerFields()) view_.SetFieldText(f.field, "");
  view_.SetRawText("");
  view_.SetRawCaption(RawResponseCaption());
  MarkPrevious(false);
  ShowLine("");  // its colour stays until the next text sets it
}

void PaymentScreen::Tick() {
  if (waiting_) ShowWaiting();
}

void PaymentScreen::Close() {
  // The cancel cuts short the lookup, the connect and the wait alike, so the
  // window goes at once, and only after its thread has ended.
  runner_.CancelAndWait();
  StopWaiting();
  if (Busy()) SetBusy(false);
  phase_ = Phase::Idle;
}

void PaymentScreen::OnConnected() {
  connected_ = true;
  if (waiting_) ShowWaiting();
}

void PaymentScreen::OnRequestSent(const std::string& /*request*/) {
  connected_ = true;  // a request that went out went out on a connection
  if (waiting_) sent_at_ = clock_();
}

void PaymentScreen::OnRawResponse(const std::string& text) {
  raw_ = text;
  view_.SetRawPrevious(false);
  ShowRaw();
}

void PaymentScreen::OnFields(const ResponseFields& fields) {
  for (const AnswerFieldInfo& f : AnswerFields()) {
    view_.SetFieldText(f.field, Value(fields, f.field));
    view_.SetFieldPrevious(f.field, false);
  }
}

void PaymentScreen::OnResultLine(const ResultLine& line) {
  StopWaiting();
  outcome_ = line.outcome;
  tone_ = ToneOf(line.outcome);
  ShowLine(line.text);
  // An error is reported before its result line: the warning goes above it now.
  // An answer comes after its line and finds the outcome there.
  if (!raw_.empty()) ShowRaw();
}

void PaymentScreen::OnFinished(const PaymentReport& report,
                               const std::optional<std::string>& journal_error) {
  StopWaiting();
  SetBusy(false);
  phase_ = Phase::Finished;
  view_.SetRawCaption(RawResponseCaption(&report));
  const bool changed = outcome_ != report.outcome || report.log_error ||
                       (journal_error && !journal_error->empty()) || report.log_file;
  outcome_ = report.outcome;
  log_error_ = report.log_error;
  journal_error_ = journal_error;
  log_file_ = report.log_file;
  if (changed) ShowRaw();
}

void PaymentScreen::SetBusy(bool busy) {
  view_.SetBusy(busy);
  button_changed_ = clock_();
}

// Values an earlier payment left stay where they are, but from the press on
// they are marked, so that none is read as this payment's.
void PaymentScreen::MarkPrevious(bool previous) {
  for (const AnswerFieldInfo& f : AnswerFields()) {
    view_.SetFieldPrevious(f.field, previous && !view_.FieldText(f.field).empty());
  }
  view_.SetRawPrevious(previous && !view_.RawText().empty());
}

void PaymentScreen::StopWaiting() {
  if (!waiting_) return;
  waiting_ = false;
  view_.SetTicking(false);
}

// How long the operator has waited, and how long is left of the limit that
// runs now: the connect limit until the connection is made, then the answer
// limit from the moment the request went out.
void PaymentScreen::ShowWaiting() {
  const auto now = clock_();
  const auto waited = duration_cast<milliseconds>(now - pressed_at_);
  const auto sent = sent_at_ ? duration_cast<milliseconds>(now - *sent_at_) : milliseconds{0};
  const auto left = connected_ ? options_.answer_timeout - sent : options_.connect_timeout - waited;
  const auto seconds_left = RoundedSeconds(std::max(milliseconds{0}, left));
  tone_ = Tone::Window;
  ShowLine(connected_ ? WaitingText(RoundedSeconds(waited), seconds_left)
                      : ConnectingText(RoundedSeconds(waited), seconds_left));
}

void PaymentScreen::ShowLine(std::string_view text) {
  const std::string line = ResultLineDisplayText(text);
  view_.SetResultLine(line, DirectionOf(line), tone_);
}

void PaymentScreen::ShowRaw() {
  view_.SetRawText(
      RawPaneText(raw_, outcome_ == Outcome::Unknown, log_error_, journal_error_, log_file_));
}

}  // namespace pcpos::screen
