// Payments clicked through the window against card readers played by TCP
// peers on loopback, through the real transaction and connection.
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <chrono>

#include "tests/support/tcp_peer.h"
#include "tests/ui/ui_test_support.h"

namespace pcpos::ui::testing {
namespace {

using pcpos::testing::PeerSocket;
using pcpos::testing::TcpPeer;
using namespace std::chrono_literals;

constexpr char kGoodAnswer[] =
    "@@ZRM@@08123456780600012312123456789012030010200020016123456******789012139812051230";
// The same answer with a header in other letter case.
constexpr char kBadHeaderAnswer[] =
    "@@zrm@@08876543210600099912999999999999030020200020016999999******111122139901011111";

const QString kPay = QStringLiteral("ارسال مبلغ به کارت خوان");
const QString kCancel = QStringLiteral("لغو");
const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);

struct FieldValue {
  const char* field;
  const char* value;
};
const FieldValue kGoodFields[] = {
    {"txtTerminalNo", "12345678"},   {"txtSTAN", "000123"},
    {"txtRRN", "123456789012"},      {"txtBatchNo", "001"},
    {"txtResponseType", "00"},       {"txtResponseCode", "00"},
    {"txtCardNo", "123456******7890"}, {"txtBIN", "123456"},
    {"txtPAN", "7890"},              {"txtTransactionDate", "1398/12/05"},
    {"txtTransactionTime", "12:30"},
};

class WindowPayment : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(log_dir.isValid());
    window->Edt_IP->setText("127.0.0.1");
    window->Edt_LogPath->setText(log_dir.path() + "/");
  }

  void Pay(const TcpPeer& peer) {
    window->Edt_Port->setText(QString::fromStdString(peer.port_text()));
    QTest::mouseClick(window->Btn_Payment, Qt::LeftButton);
  }

  QString LogContent() const {
    QFile file(log_dir.filePath("Selvarin-PcPosLog.txt"));
    if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("<missing>");
    return QString::fromUtf8(file.readAll());
  }

  void ExpectFields(const FieldValue (&expected)[11]) {
    for (const auto& [name, value] : expected) {
      auto* field = window->findChild<QLineEdit*>(name);
      ASSERT_NE(field, nullptr) << name;
      EXPECT_EQ(field->text().toStdString(), value) << name;
    }
  }

  // Everything the operator may touch again, and the cursor, as before the payment.
  void ExpectIdle() {
    EXPECT_EQ(window->Btn_Payment->text(), kPay);
    for (QWidget* w : std::initializer_list<QWidget*>{window->Btn_Clear, window->Edt_IP,
                                                      window->Edt_Port, window->txtAmount,
                                                      window->Edt_LogPath}) {
      EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  }

  QTemporaryDir log_dir;
  std::unique_ptr<TFrm_Selvarin> window = ShownWindow();
};

TEST_F(WindowPayment, SuccessfulPaymentFillsTheWindowAndTheLog) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.Send(kGoodAnswer);
  });
  Pay(peer);

  // While it runs, only the cancel button acts.
  EXPECT_EQ(window->Btn_Payment->text(), kCancel);
  EXPECT_TRUE(window->Btn_Payment->isEnabled());
  for (QWidget* w : std::initializer_list<QWidget*>{window->Btn_Clear, window->Edt_IP,
                                                    window->Edt_Port, window->txtAmount,
                                                    window->Edt_LogPath}) {
    EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
  }
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);

  ASSERT_TRUE(WaitForPaymentEnd(*window));
  peer.Join();
  EXPECT_EQ(peer.received(), "@@ZRM@@011000410000000020000000530000011\r\n");
  ExpectFields(kGoodFields);
  EXPECT_EQ(window->Mem_RawResponse->toPlainText(), kGoodAnswer);
  EXPECT_EQ(Shown(window->Lbl_ResponseMsg), QStringLiteral("تراکنش با موفقیت انجام شد"));
  EXPECT_EQ(Colour(window->Lbl_ResponseMsg), kGreen);
  EXPECT_EQ(LogContent(), kGoodAnswer);
  ExpectIdle();

  // The picture of the finished window, for a person to look at.
  QDir().mkpath(PCPOS_UI_ARTIFACT_DIR);
  EXPECT_TRUE(window->grab().save(PCPOS_UI_ARTIFACT_DIR "/window-after-payment.png"));
}

TEST_F(WindowPayment, BadHeaderKeepsEarlierValuesAndClearingKeepsTheRedColour) {
  int connection = 0;
  TcpPeer peer(
      [&connection](PeerSocket& s) {
        s.ReadLine();
        s.Send(connection++ == 0 ? kGoodAnswer : kBadHeaderAnswer);
      },
      2);
  Pay(peer);
  ASSERT_TRUE(WaitForPaymentEnd(*window));
  Pay(peer);
  ASSERT_TRUE(WaitForPaymentEnd(*window));
  peer.Join();
  EXPECT_EQ(peer.accepted(), 2);

  ExpectFields(kGoodFields);
  EXPECT_EQ(window->Mem_RawResponse->toPlainText(), kBadHeaderAnswer);
  EXPECT_EQ(Shown(window->Lbl_ResponseMsg), QStringLiteral("فرمت اطلاعات بازگشتی نامعتبر است."));
  EXPECT_EQ(Colour(window->Lbl_ResponseMsg), kRed);
  EXPECT_EQ(LogContent(), kGoodAnswer) << "a bad answer is not logged";

  window->Edt_Port->setText("1234");
  QTest::mouseClick(window->Btn_Clear, Qt::LeftButton);
  for (const auto& [name, value] : kGoodFields) {
    EXPECT_TRUE(window->findChild<QLineEdit*>(name)->text().isEmpty()) << name;
  }
  EXPECT_TRUE(window->Mem_RawResponse->toPlainText().isEmpty());
  EXPECT_TRUE(window->Lbl_ResponseMsg->text().isEmpty());
  EXPECT_EQ(Colour(window->Lbl_ResponseMsg), kRed);
  EXPECT_EQ(window->Edt_Port->text(), "1234");
  EXPECT_EQ(window->Edt_IP->text(), "127.0.0.1");
  EXPECT_EQ(window->txtAmount->text(), "1000");
}

TEST_F(WindowPayment, ResetConnectionShowsOnlyTheFirstLineInTheResultLine) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.Reset();
  });
  Pay(peer);
  ASSERT_TRUE(WaitForPaymentEnd(*window));
  EXPECT_EQ(window->Mem_RawResponse->toPlainText(),
            QStringLiteral("Socket Error # 10054\nConnection reset by peer."));
  EXPECT_EQ(Shown(window->Lbl_ResponseMsg), QStringLiteral("Socket Error # 10054"));
  EXPECT_EQ(Colour(window->Lbl_ResponseMsg), kRed);
  ExpectIdle();
}

TEST_F(WindowPayment, CancelButtonEndsTheWait) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.WaitForClose(10s);
  });
  Pay(peer);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !peer.received().empty(); }, 5000));
  ASSERT_EQ(window->Btn_Payment->text(), kCancel);

  QElapsedTimer timer;
  timer.start();
  QTest::mouseClick(window->Btn_Payment, Qt::LeftButton);
  ASSERT_TRUE(WaitForPaymentEnd(*window, 3000));
  EXPECT_LT(timer.elapsed(), 2000);

  EXPECT_EQ(Shown(window->Lbl_ResponseMsg), QStringLiteral("Canceled by operator."));
  EXPECT_EQ(Colour(window->Lbl_ResponseMsg), kRed);
  ExpectIdle();
  peer.Join();
  EXPECT_EQ(peer.accepted(), 1) << "pressing the button while busy started no second payment";
  // A Latin message in the right-to-left line keeps its full stop at its end.
  QDir().mkpath(PCPOS_UI_ARTIFACT_DIR);
  EXPECT_TRUE(window->grab().save(PCPOS_UI_ARTIFACT_DIR "/window-after-cancel.png"));
}

TEST_F(WindowPayment, ClosingDuringTheWaitCancelsAndJoins) {
  std::atomic<bool> released{false};
  TcpPeer peer([&released](PeerSocket& s) {
    s.ReadLine();
    released = s.WaitForClose(10s);
  });
  Pay(peer);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !peer.received().empty(); }, 5000));

  QElapsedTimer timer;
  timer.start();
  EXPECT_TRUE(window->close());
  EXPECT_LT(timer.elapsed(), 1000);
  EXPECT_FALSE(window->IsPaymentRunning()) << "the worker was joined before the window went";
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  peer.Join();
  EXPECT_TRUE(released) << "the connection to the reader was closed";

  // Outputs still queued for the closed window do no harm, and it goes once.
  QTest::qWait(50);
  window.reset();
}

}  // namespace
}  // namespace pcpos::ui::testing
