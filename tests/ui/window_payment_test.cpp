// Payments clicked through the window against card readers played by TCP
// peers on loopback, through the real transaction and connection.
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/support/hanging_listener.h"
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
const QColor kAmber(160, 82, 0);
const QString kOutcomeUnknown = QString::fromUtf8(
    kOutcomeUnknownText.data(), static_cast<qsizetype>(kOutcomeUnknownText.size()));
const QString kPrevious = QStringLiteral("این مقدار از پرداخت قبلی است");

// A reader that answers well at once, for as many payments as a test makes.
void AnswerAtOnce(PeerSocket& s) {
  s.ReadLine();
  s.Send(kGoodAnswer);
}

struct FieldValue {
  const char* field;
  const char* value;
};
const FieldValue kGoodFields[] = {
    {"txtTerminalNo", "12345678"},
    {"txtSTAN", "000123"},
    {"txtRRN", "123456789012"},
    {"txtBatchNo", "001"},
    {"txtResponseType", "00"},
    {"txtResponseCode", "00"},
    {"txtCardNo", "123456******7890"},
    {"txtBIN", "123456"},
    {"txtPAN", "7890"},
    {"txtTransactionDate", "1398/12/05"},
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
    WaitOutPressGuard();
    QTest::mouseClick(window->Btn_Payment, Qt::LeftButton);
  }

  // Whether the field shows the marking of a value from the previous payment.
  bool MarkedAsPrevious(const QWidget* field) const {
    const QColor normal = window->palette().color(QPalette::Text);
    const QColor shown = field->palette().color(QPalette::Text);
    if (shown == normal && field->toolTip().isEmpty()) return false;
    EXPECT_EQ(shown, window->palette().color(QPalette::Disabled, QPalette::Text))
        << field->objectName().toStdString();
    EXPECT_NE(shown, normal) << "greyed text must differ from the normal text";
    EXPECT_EQ(field->toolTip(), kPrevious) << field->objectName().toStdString();
    return true;
  }

  // The raw pane after an answer whose log was written: the answer, then the log's path.
  QString AnswerAndLog() const {
    return kGoodAnswer + QStringLiteral("\nLog: ") + log_dir.filePath("Selvarin-PcPosLog.txt");
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
    for (QWidget* w :
         std::initializer_list<QWidget*>{window->Btn_Clear, window->Edt_IP, window->Edt_Port,
                                         window->txtAmount, window->Edt_LogPath}) {
      EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  }

  // Short, so that the tests' own presses wait little for the press guard.
  ScopedDoubleClickInterval interval{100};
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
  for (QWidget* w :
       std::initializer_list<QWidget*>{window->Btn_Clear, window->Edt_IP, window->Edt_Port,
                                       window->txtAmount, window->Edt_LogPath}) {
    EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
  }
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);

  ASSERT_TRUE(WaitForPaymentEnd(*window));
  peer.Join();
  EXPECT_EQ(peer.received(), "@@ZRM@@011000410000000020000000530000011\r\n");
  ExpectFields(kGoodFields);
  EXPECT_EQ(window->Mem_RawResponse->toPlainText(), AnswerAndLog());
  // The log folder box's tip names both files of the folder it holds.
  EXPECT_EQ(window->Edt_LogPath->toolTip(),
            QStringLiteral("Log: ") + log_dir.filePath("Selvarin-PcPosLog.txt") +
                QStringLiteral("\nJournal: ") + log_dir.filePath("Selvarin-PcPosJournal.csv"));
  EXPECT_EQ(Shown(window->Lbl_ResponseMsg), QStringLiteral("تراکنش با موفقیت انجام شد"));
  EXPECT_EQ(Colour(window->Lbl_ResponseMsg), kGreen);
  EXPECT_EQ(LogContent(), kGoodAnswer);
  ExpectIdle();

  // The picture of the finished window, for a person to look at.
  QDir().mkpath(PCPOS_UI_ARTIFACT_DIR);
  EXPECT_TRUE(window->grab().save(PCPOS_UI_ARTIFACT_DIR "/window-after-payment.png"));
}

// Each payment leaves a journal row, and the raw pane's caption says how long
// the reader took; a journal that cannot be written is said below the answer
// and changes nothing else.
TEST_F(WindowPayment, JournalRowAndTheReadersTimeAfterEachPayment) {
  TcpPeer peer(
      [](PeerSocket& s) {
        s.ReadLine();
        std::this_thread::sleep_for(250ms);
        s.Send(kGoodAnswer);
      },
      2);
  Pay(peer);
  ASSERT_TRUE(WaitForPaymentEnd(*window));
  const QString title = window->Grp_RawResponse->title();
  const QRegularExpressionMatch took =
      QRegularExpression(QStringLiteral("^Raw Response \\(reader answered in ([0-9.]+) (s|ms)\\)$"))
          .match(title);
  ASSERT_TRUE(took.hasMatch()) << title.toStdString();
  // The reader waited 250 ms; the time is stamped just after the request's
  // send returns, so a busy test machine that holds the payment thread there
  // takes a little off it.
  EXPECT_GE(took.captured(1).toDouble() * (took.captured(2) == QStringLiteral("s") ? 1000 : 1),
            200.0);
  QFile journal(log_dir.filePath("Selvarin-PcPosJournal.csv"));
  ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
  const QList<QByteArray> rows = journal.readAll().split('\n');
  ASSERT_EQ(rows.size(), 3);  // header, the row, and nothing after the last CR LF
  EXPECT_TRUE(rows[1].contains(",approved,")) << rows[1].toStdString();
  EXPECT_TRUE(rows[1].contains(kGoodAnswer)) << rows[1].toStdString();
  journal.close();

  // A folder where the journal should be: the row cannot be written.
  ASSERT_TRUE(journal.remove());
  ASSERT_TRUE(QDir(log_dir.path()).mkdir(QStringLiteral("Selvarin-PcPosJournal.csv")));
  Pay(peer);
  EXPECT_EQ(window->Grp_RawResponse->title(), QStringLiteral("Raw Response"));  // while it runs
  ASSERT_TRUE(WaitForPaymentEnd(*window));
  const QStringList lines = window->Mem_RawResponse->toPlainText().split(u'\n');
  ASSERT_EQ(lines.size(), 3);
  EXPECT_EQ(lines[0], kGoodAnswer);
  const QString journal_path = QDir(log_dir.path()).filePath("Selvarin-PcPosJournal.csv");
  EXPECT_EQ(lines[1], QStringLiteral("File access denied - ") + journal_path)
      << "the message names the file";
  EXPECT_EQ(lines[2],
            QStringLiteral("Log: ") + QDir(log_dir.path()).filePath("Selvarin-PcPosLog.txt"));
  EXPECT_EQ(Colour(window->Lbl_ResponseMsg), kGreen);
  EXPECT_EQ(LogContent(), kGoodAnswer);
}

TEST_F(WindowPayment, BadHeaderKeepsEarlierValuesAndClearingKeepsTheColour) {
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
  EXPECT_EQ(window->Mem_RawResponse->toPlainText(), kOutcomeUnknown + "\n" + kBadHeaderAnswer);
  EXPECT_EQ(Shown(window->Lbl_ResponseMsg), QStringLiteral("فرمت اطلاعات بازگشتی نامعتبر است."));
  EXPECT_EQ(Colour(window->Lbl_ResponseMsg), kAmber) << "the request had gone out";
  EXPECT_EQ(LogContent(), kGoodAnswer) << "a bad answer is not logged";

  window->Edt_Port->setText("1234");
  QTest::mouseClick(window->Btn_Clear, Qt::LeftButton);
  for (const auto& [name, value] : kGoodFields) {
    EXPECT_TRUE(window->findChild<QLineEdit*>(name)->text().isEmpty()) << name;
  }
  EXPECT_TRUE(window->Mem_RawResponse->toPlainText().isEmpty());
  EXPECT_TRUE(window->Lbl_ResponseMsg->text().isEmpty());
  EXPECT_EQ(Colour(window->Lbl_ResponseMsg), kAmber);
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
            kOutcomeUnknown + QStringLiteral("\nSocket Error # 10054\nConnection reset by peer."));
  EXPECT_EQ(Shown(window->Lbl_ResponseMsg), QStringLiteral("Socket Error # 10054"));
  EXPECT_EQ(Colour(window->Lbl_ResponseMsg), kAmber);
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

  WaitOutPressGuard();
  QElapsedTimer timer;
  timer.start();
  QTest::mouseClick(window->Btn_Payment, Qt::LeftButton);
  ASSERT_TRUE(WaitForPaymentEnd(*window, 3000));
  EXPECT_LT(timer.elapsed(), 2000);

  EXPECT_EQ(Shown(window->Lbl_ResponseMsg), QStringLiteral("Canceled by operator."));
  EXPECT_EQ(Colour(window->Lbl_ResponseMsg), kAmber);
  ExpectIdle();
  peer.Join();
  EXPECT_EQ(peer.accepted(), 1) << "pressing the button while busy started no second payment";
  // A Latin message in the right-to-left line keeps its full stop at its end.
  QDir().mkpath(PCPOS_UI_ARTIFACT_DIR);
  EXPECT_TRUE(window->grab().save(PCPOS_UI_ARTIFACT_DIR "/window-after-cancel.png"));
}

TEST_F(WindowPayment, WaitingLineCountsTheSecondsInPlaceOfThePreviousResult) {
  TransactionOptions options;
  options.answer_timeout = 30s;
  window->SetTransactionOptions(options);
  int connection = 0;
  TcpPeer peer(
      [&connection](PeerSocket& s) {
        s.ReadLine();
        if (connection++ == 0) {
          s.Send(kGoodAnswer);
        } else {
          s.WaitForClose(10s);
        }
      },
      2);
  Pay(peer);
  ASSERT_TRUE(WaitForPaymentEnd(*window));
  ASSERT_EQ(Colour(window->Lbl_ResponseMsg), kGreen);

  Pay(peer);
  const QColor window_text = window->palette().color(QPalette::WindowText);
  // From the press until connected, the connect limit counts down.
  EXPECT_EQ(Shown(window->Lbl_ResponseMsg),
            QStringLiteral("در حال اتصال به کارت خوان… ۰ ثانیه گذشته، ۱۰ ثانیه مانده"));
  EXPECT_EQ(Colour(window->Lbl_ResponseMsg), window_text);
  EXPECT_NE(window_text, kGreen);

  // The limit runs from the request's sending, a moment after the press.
  const QString one_second =
      QStringLiteral("در انتظار پاسخ کارت خوان… ۱ ثانیه گذشته، ۲۹ ثانیه مانده");
  EXPECT_TRUE(QTest::qWaitFor([&] { return Shown(window->Lbl_ResponseMsg) == one_second; }, 3000))
      << Shown(window->Lbl_ResponseMsg).toStdString();
  EXPECT_EQ(Colour(window->Lbl_ResponseMsg), window_text);
  EXPECT_TRUE(window->IsPaymentRunning());

  // The longest line the 120 s limit can bring fits the line's width.
  const QString longest = ResultLineDisplayText(WaitingText(130, 120));
  EXPECT_LE(window->Lbl_ResponseMsg->fontMetrics().horizontalAdvance(longest),
            window->Lbl_ResponseMsg->width());

  WaitOutPressGuard();
  QTest::mouseClick(window->Btn_Payment, Qt::LeftButton);
  ASSERT_TRUE(WaitForPaymentEnd(*window));
  EXPECT_EQ(Shown(window->Lbl_ResponseMsg), QStringLiteral("Canceled by operator."));
  // Nothing of the waiting line comes back after the result.
  QTest::qWait(1100);
  EXPECT_EQ(Shown(window->Lbl_ResponseMsg), QStringLiteral("Canceled by operator."));
  peer.Join();
}

TEST_F(WindowPayment, PreviousValuesAreMarkedUntilOverwrittenOrCleared) {
  std::atomic<bool> answer_now{false};
  int connection = 0;
  TcpPeer peer(
      [&](PeerSocket& s) {
        s.ReadLine();
        if (connection++ == 1) {
          while (!answer_now) std::this_thread::sleep_for(5ms);
        }
        s.Send(kGoodAnswer);
      },
      2);
  Pay(peer);
  ASSERT_TRUE(WaitForPaymentEnd(*window));
  for (const auto& [name, value] : kGoodFields) {
    EXPECT_FALSE(MarkedAsPrevious(window->findChild<QLineEdit*>(name))) << name;
  }

  // From the press on, every value of the first payment is marked, and kept.
  Pay(peer);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !peer.received().empty(); }, 5000));
  ExpectFields(kGoodFields);
  for (const auto& [name, value] : kGoodFields) {
    EXPECT_TRUE(MarkedAsPrevious(window->findChild<QLineEdit*>(name))) << name;
  }
  answer_now = true;
  ASSERT_TRUE(WaitForPaymentEnd(*window));
  for (const auto& [name, value] : kGoodFields) {
    EXPECT_FALSE(MarkedAsPrevious(window->findChild<QLineEdit*>(name))) << name;
  }

  peer.Join();

  // While a connect hangs the raw pane still holds the previous answer: it is
  // marked too, until the pane gets this payment's text. A payment that brings
  // no fields leaves them marked; clearing ends that.
  pcpos::testing::HangingListener unreachable;
  window->Edt_Port->setText(QString::number(unreachable.port()));
  WaitOutPressGuard();
  QTest::mouseClick(window->Btn_Payment, Qt::LeftButton);
  EXPECT_EQ(window->Mem_RawResponse->toPlainText(), AnswerAndLog());
  EXPECT_TRUE(MarkedAsPrevious(window->Mem_RawResponse));
  WaitOutPressGuard();
  QTest::mouseClick(window->Btn_Payment, Qt::LeftButton);
  ASSERT_TRUE(WaitForPaymentEnd(*window));
  EXPECT_EQ(window->Mem_RawResponse->toPlainText(), QStringLiteral("Canceled by operator."));
  EXPECT_FALSE(MarkedAsPrevious(window->Mem_RawResponse));
  ExpectFields(kGoodFields);
  EXPECT_TRUE(MarkedAsPrevious(window->txtCardNo));
  EXPECT_TRUE(MarkedAsPrevious(window->txtResponseCode));
  QTest::mouseClick(window->Btn_Clear, Qt::LeftButton);
  for (const auto& [name, value] : kGoodFields) {
    EXPECT_FALSE(MarkedAsPrevious(window->findChild<QLineEdit*>(name))) << name;
  }
}

TEST_F(WindowPayment, EscapeCancelsTheWait) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.WaitForClose(10s);
  });
  Pay(peer);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !peer.received().empty(); }, 5000));
  QWidget* focus = QApplication::focusWidget();
  QTest::keyClick(focus ? focus : window.get(), Qt::Key_Escape);
  ASSERT_TRUE(WaitForPaymentEnd(*window, 2000));
  EXPECT_EQ(Shown(window->Lbl_ResponseMsg), QStringLiteral("Canceled by operator."));
  EXPECT_EQ(Colour(window->Lbl_ResponseMsg), kAmber);
  ExpectIdle();
  peer.Join();
}

TEST_F(WindowPayment, ReturnInEachInputAndOnTheButtonStartsThePayment) {
  TcpPeer peer(AnswerAtOnce, 5);
  window->Edt_Port->setText(QString::fromStdString(peer.port_text()));
  QApplication::setActiveWindow(window.get());
  int payments = 0;
  auto press = [&](QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    SCOPED_TRACE(target->objectName().toStdString());
    WaitOutPressGuard();
    target->setFocus();
    QTest::keyClick(target, key, modifiers);
    ASSERT_TRUE(window->IsPaymentRunning());
    ASSERT_TRUE(WaitForPaymentEnd(*window));
    EXPECT_EQ(peer.accepted(), ++payments);
    EXPECT_EQ(Colour(window->Lbl_ResponseMsg), kGreen);
  };
  press(window->Edt_IP, Qt::Key_Return, Qt::NoModifier);
  press(window->Edt_Port, Qt::Key_Enter, Qt::KeypadModifier);
  press(window->txtAmount, Qt::Key_Return, Qt::NoModifier);
  press(window->Edt_LogPath, Qt::Key_Return, Qt::NoModifier);
  press(window->Btn_Payment, Qt::Key_Return, Qt::NoModifier);
  EXPECT_EQ(peer.accepted(), 5);
}

// The guard's interval is long here, so that the test's own timing cannot
// leave it by accident.
TEST_F(WindowPayment, DoubleClickSendsOnceAndDoesNotCancel) {
  ScopedDoubleClickInterval long_interval(1000);
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    std::this_thread::sleep_for(300ms);  // the cardholder pays
    s.Send(kGoodAnswer);
  });
  window->Edt_Port->setText(QString::fromStdString(peer.port_text()));
  // As the system delivers a double-click to a widget.
  QTest::mouseClick(window->Btn_Payment, Qt::LeftButton);
  QTest::mouseDClick(window->Btn_Payment, Qt::LeftButton);
  QTest::mouseRelease(window->Btn_Payment, Qt::LeftButton);
  ASSERT_TRUE(window->IsPaymentRunning());
  ASSERT_TRUE(WaitForPaymentEnd(*window));
  peer.Join();
  EXPECT_EQ(peer.accepted(), 1);
  EXPECT_EQ(Shown(window->Lbl_ResponseMsg), QStringLiteral("تراکنش با موفقیت انجام شد"));
  EXPECT_EQ(Colour(window->Lbl_ResponseMsg), kGreen);
  ExpectFields(kGoodFields);
}

TEST_F(WindowPayment, ClickRightAfterTheEndStartsNothing) {
  ScopedDoubleClickInterval long_interval(1000);
  TcpPeer peer(AnswerAtOnce, 2);
  window->Edt_Port->setText(QString::fromStdString(peer.port_text()));
  QTest::mouseClick(window->Btn_Payment, Qt::LeftButton);
  ASSERT_TRUE(WaitForPaymentEnd(*window));
  QTest::mouseClick(window->Btn_Payment, Qt::LeftButton);
  EXPECT_FALSE(window->IsPaymentRunning());
  QTest::qWait(100);
  EXPECT_EQ(peer.accepted(), 1);

  // A deliberate press, once the interval has passed, starts the next one.
  WaitOutPressGuard();
  QTest::mouseClick(window->Btn_Payment, Qt::LeftButton);
  ASSERT_TRUE(WaitForPaymentEnd(*window));
  peer.Join();
  EXPECT_EQ(peer.accepted(), 2);
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
  EXPECT_LT(timer.elapsed(), 3000);  // the reader would hold the wait for 10 s
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
