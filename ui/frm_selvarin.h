// The tool's only window: the operator's four inputs, the two buttons, the raw
// response pane, the eleven result fields and the coloured result line. It draws
// what the screen logic decides and forwards the operator's events to it.
#pragma once

#include <QTimer>
#include <QWidget>

#include <array>
#include <deque>
#include <functional>
#include <mutex>

#include "acceptance/suite.h"
#include "payment/transaction.h"
#include "screen/guided_run.h"
#include "screen/payment_runner.h"
#include "screen/layout.h"
#include "screen/payment_screen.h"

class QCloseEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QShowEvent;

namespace pcpos::ui {
class GuidedPanel;
}

namespace pcpos::ui {

class TFrm_Selvarin : public QWidget, private screen::ScreenView {
  Q_OBJECT

 public:
  // `clock`: the screen's clock (the tests move one of their own); empty: steady_clock.
  explicit TFrm_Selvarin(QWidget* parent = nullptr, screen::PaymentScreen::Clock clock = {});
  ~TFrm_Selvarin() override;

  // Places the window in the middle of its screen's work area, title bar and
  // all on it; called before the first show.
  void CentreOnScreen();

  // Options for the transactions this window starts (the tests shorten waits).
  void SetTransactionOptions(const TransactionOptions& options) {
    screen_.SetTransactionOptions(options);
  }
  bool IsPaymentRunning() const { return runner_.IsRunning(); }
  // Shows the guided panel below the layout and starts the suite's run
  // (ui/guided_panel.cpp); `source` is "install" or the suite file's path.
  void StartGuidedRun(acceptance::Suite suite, const std::string& source);
  const screen::GuidedRun& guided_run() const { return guided_; }

  // The controls, by their design names (the table's ids name them in code).
  QLineEdit* Edt_IP = nullptr;
  QLineEdit* Edt_Port = nullptr;
  QLineEdit* txtAmount = nullptr;
  QLineEdit* Edt_LogPath = nullptr;
  QLabel* Image1 = nullptr;
  QPushButton* Btn_Payment = nullptr;
  QPushButton* Btn_Clear = nullptr;
  QGroupBox* Grp_RawResponse = nullptr;
  QPlainTextEdit* Mem_RawResponse = nullptr;
  QGroupBox* Grp_Response = nullptr;
  QLineEdit* txtCardNo = nullptr;
  QLineEdit* txtSTAN = nullptr;
  QLineEdit* txtRRN = nullptr;
  QLineEdit* txtTerminalNo = nullptr;
  QLineEdit* txtTransactionDate = nullptr;
  QLineEdit* txtTransactionTime = nullptr;
  QLineEdit* txtPAN = nullptr;
  QLineEdit* txtBIN = nullptr;
  QLineEdit* txtBatchNo = nullptr;
  QLineEdit* txtResponseType = nullptr;
  QLineEdit* txtResponseCode = nullptr;
  QLabel* Lbl_ResponseMsg = nullptr;
  GuidedPanel* Pnl_Guided = nullptr;  // only with a suite

 public slots:
  void FormShow();
  void Btn_ClearClick();
  void Btn_PaymentClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private slots:
  void RunPosted();

 private:
  void CreateControls();
  void SetTabOrder();
  void ConnectControls();
  void ConnectKeys();
  // The platform's double-click time, read at each press: the operator may change it.
  screen::PaymentScreen& Screen();
  QLineEdit* FieldEdit(screen::Field field) const;
  QWidget* Widget(screen::ControlId id) const { return controls_[static_cast<std::size_t>(id)]; }
  template <typename T>
  T* Get(screen::ControlId id) const {
    return static_cast<T*>(Widget(id));
  }

  // ScreenView
  std::string InputText(screen::Input input) const override;
  std::string FieldText(screen::Field field) const override;
  std::string RawText() const override;
  void SetFieldText(screen::Field field, std::string_view text) override;
  void SetRawText(std::string_view text) override;
  void SetRawCaption(std::string_view caption) override;
  void SetFieldPrevious(screen::Field field, bool previous) override;
  void SetRawPrevious(bool previous) override;
  void SetResultLine(std::string_view text, screen::TextDirection direction,
                     screen::Tone tone) override;
  void SetBusy(bool busy) override;
  void SetTicking(bool ticking) override;
  void SetLogFolderTip(std::string_view tip) override;

  std::array<QWidget*, screen::kControlCount> controls_{};  // by ControlId
  QTimer tick_;
  bool busy_cursor_ = false;
  // Calls the payment thread hands to this window, behind a standard mutex so
  // every hand-off is visible to the thread checkers, which cannot see inside Qt.
  // Declared before the runner: its thread may still post while it is joined.
  std::mutex posted_mutex_;
  std::deque<std::function<void()>> posted_;
  screen::PaymentRunner runner_;
  screen::GuidedRun guided_{runner_};  // passes payments through until a suite begins
  screen::PaymentScreen screen_;
};

}  // namespace pcpos::ui
