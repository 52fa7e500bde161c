// The tool's only window: the operator's four inputs, the two buttons, the raw
// response pane, the eleven result fields and the coloured result line.
#pragma once

#include <QElapsedTimer>
#include <QWidget>

#include <array>

#include "payment/transaction.h"
#include "ui/payment_worker.h"
#include "ui/waiting_line.h"

class QCloseEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QShowEvent;

namespace pcpos::ui {

// The payment button's caption, shown again whenever a payment ends.
QString PayCaption();
// The raw pane's group caption, and the same with how long the reader took.
QString RawResponseCaption(const PaymentReport* report = nullptr);

class TFrm_Selvarin : public QWidget {
  Q_OBJECT

 public:
  explicit TFrm_Selvarin(QWidget* parent = nullptr);
  ~TFrm_Selvarin() override;

  // Places the window in the middle of its screen; called before the first show.
  void CentreOnScreen();

  // Options for the transactions this window starts (the tests shorten waits).
  void SetTransactionOptions(const TransactionOptions& options) { options_ = options; }
  bool IsPaymentRunning() const { return worker_.IsRunning(); }

  // The controls, by their design names.
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

 public slots:
  void FormShow();
  void Btn_ClearClick();
  void Btn_PaymentClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateControls();
  void SetTabOrder();
  void ConnectWorker();
  void ConnectKeys();
  void SetBusy(bool busy);
  bool WithinPressGuard() const;
  void StartFromKeyboard();
  void CancelFromKeyboard();
  std::array<QLineEdit*, 11> ResultFields() const;
  void MarkPrevious(bool previous);

  void ShowRawResponse(const QString& text);
  void ShowFields(const ResponseFields& fields);
  void ShowResultLine(const QString& text, Colour colour);
  void SetResultLine(const QString& text, const QColor& colour);
  void PaymentFinished(const PaymentReport& report, const QString& journal_error);

  PaymentWorker worker_;
  TransactionOptions options_;
  WaitingLine waiting_;
  // Since the payment button last changed between starting and cancelling.
  QElapsedTimer button_changed_;
  bool busy_ = false;
};

}  // namespace pcpos::ui
