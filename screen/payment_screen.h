// Everything the window does that is not drawing: the state of a payment run,
// what each press and key does, which values are greyed as left from the
// previous payment, and the texts and tones of the result line and the raw pane.
// A window (Qt or Win32) implements ScreenView to render, forwards its events
// here, and gives the screen a runner that posts results to its own thread.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "payment/transaction.h"
#include "screen/layout.h"
#include "screen/payment_runner.h"
#include "screen/texts.h"

namespace pcpos::screen {

// The result fields are the answer's fields (payment/answer_fields.h), in the
// order a payment writes them; the layout table gives each its control.
using Field = AnswerField;
inline constexpr std::size_t kFieldCount = kAnswerFieldCount;
// "txtTerminalNo", ...
std::string_view FieldControlName(Field field);
inline const std::string& FieldValue(const ResponseFields& fields, Field field) {
  return Value(fields, field);
}

enum class Input { Host, Port, Amount, LogFolder };
// Edt_IP, Edt_Port, txtAmount, Edt_LogPath.
ControlId InputControl(Input input);

// How sure the result line is. Window is the window-text colour: the waiting
// line, and the line before any payment.
enum class Tone { Window, Green, Red, Amber };
struct Rgb {
  std::uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};
// Green (0, 128, 0), red (255, 0, 0), amber (160, 82, 0); nullopt for Window.
std::optional<Rgb> ToneColour(Tone tone);
Tone ToneOf(Outcome outcome);

enum class Phase { Idle, Running, Cancelling, Finished };
enum class Command { None, Start, Cancel };

class ScreenView {
 public:
  virtual ~ScreenView() = default;
  virtual std::string InputText(Input input) const = 0;
  virtual std::string FieldText(Field field) const = 0;
  virtual std::string RawText() const = 0;

  virtual void SetFieldText(Field field, std::string_view text) = 0;
  // CR LF line breaks.
  virtual void SetRawText(std::string_view text) = 0;
  virtual void SetRawCaption(std::string_view caption) = 0;
  // Greyed (the platform's disabled-text colour) with the tooltip kPreviousTip.
  virtual void SetFieldPrevious(Field field, bool previous) = 0;
  virtual void SetRawPrevious(bool previous) = 0;
  // `text` is one line, plain (ResultLineDisplayText); `direction` is the way
  // it reads, for the window to apply.
  virtual void SetResultLine(std::string_view text, TextDirection direction, Tone tone) = 0;
  // Running: the payment button reads kCancelCaption, the four inputs and the
  // clear button are disabled, the busy cursor shows.
  virtual void SetBusy(bool busy) = 0;
  // While on, the window calls Tick() once a second.
  virtual void SetTicking(bool ticking) = 0;
  // The log folder box's tooltip (LogFolderTip): "\n" between its lines.
  virtual void SetLogFolderTip(std::string_view tip) = 0;
};

class PaymentScreen final : public PaymentListener {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  // `double_click` is the platform's double-click time: for that long after the
  // payment button starts or ends a payment its presses are ignored.
  PaymentScreen(ScreenView& view, Runner& runner, Clock clock,
                std::chrono::milliseconds double_click, TransactionOptions options = {});

  // Operator events. Each returns what it did.
  Command PressPayment();  // a click of the payment button
  Command PressReturn();   // Return or Enter in an input or on the payment button: starts only
  Command PressEscape();   // cancels only
  void Show();             // the window shown: clears, as the clear button does
  void Clear();            // the clear button
  void Tick();             // the one-second timer
  void LogFolderEdited();  // the log folder's text changed: its tooltip follows
  // The window closes: cancels and waits for the payment's thread (bounded by
  // the cancel), so its journal row is written before the window goes.
  void Close();

  Phase phase() const { return phase_; }
  // Running or cancelling: the payment button cancels, the inputs are locked.
  bool Busy() const { return phase_ == Phase::Running || phase_ == Phase::Cancelling; }
  void SetTransactionOptions(const TransactionOptions& options) { options_ = options; }
  // The platform's double-click time changed (a setting the operator may change).
  void SetDoubleClickTime(std::chrono::milliseconds double_click) { double_click_ = double_click; }

  // From the runner, on the window's thread.
  void OnConnected() override;
  void OnRequestSent(const std::string& request) override;
  void OnRawResponse(const std::string& text) override;
  void OnFields(const ResponseFields& fields) override;
  void OnResultLine(const ResultLine& line) override;
  void OnFinished(const PaymentReport& report,
                  const std::optional<std::string>& journal_error) override;

 private:
  using TimePoint = std::chrono::steady_clock::time_point;
  bool WithinPressGuard() const;
  void SetBusy(bool busy);
  void MarkPrevious(bool previous);
  void StopWaiting();
  void ShowWaiting();
  void ShowLine(std::string_view text);  // in tone_
  void ShowRaw();

  ScreenView& view_;
  Runner& runner_;
  Clock clock_;
  std::chrono::milliseconds double_click_;
  TransactionOptions options_;
  Phase phase_ = Phase::Idle;
  // Since the payment button last changed between starting and cancelling.
  std::optional<TimePoint> button_changed_;
  // The waiting line: on from the press until the result line or the end.
  bool waiting_ = false;
  TimePoint pressed_at_{};
  bool connected_ = false;  // until then the waiting line counts down the connect limit
  std::optional<TimePoint> sent_at_;
  // The raw pane's parts as far as this run has reported them.
  std::string raw_;
  std::optional<Outcome> outcome_;
  std::optional<std::string> log_error_;
  std::optional<std::string> journal_error_;
  std::optional<std::string> log_file_;  // the log this run wrote
  // Kept when the line is cleared: the next text sets it again.
  Tone tone_ = Tone::Window;
};

}  // namespace pcpos::screen
