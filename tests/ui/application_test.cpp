// The application shell: its title, how escaped errors are shown, start-up
// failures, command-line inputs and the exit code.
#include <QEventLoop>
#include <QLineEdit>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>

#include <stdexcept>

#include "link/errors.h"
#include "link/socket.h"
#include "screen/layout.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/tcp_peer.h"
#include "tests/ui/ui_test_support.h"
#include "ui/startup.h"

namespace pcpos::ui::testing {
namespace {

using namespace std::chrono_literals;

TEST(ApplicationTitle, DerivedFromTheProgramFileName) {
  const struct {
    const char* path;
    const char* title;
  } cases[] = {
      {"card.test.exe", "card"},
      {"CardTest.Exe", "Cardtest"},
      {"C:\\Program Files\\Tools\\PcPosTester.EXE", "Pcpostester"},
      {"/usr/local/bin/pcpos-tester", "pcpos-tester"},
      {"D:\\x.y/Mixed\\ABC", "Abc"},
      {"noext", "noext"},
      {".hidden", ""},
      {"C:\\dir\\", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TitleFromExecutable(QString::fromUtf8(c.path)).toStdString(), c.title) << c.path;
  }
}

TEST(EventErrorText, FullStopAddedOnlyAfterCharactersAboveIt) {
  const struct {
    const char* message;
    const char* shown;
  } cases[] = {
      {"Connection refused.", "Connection refused."},
      {"Disk full", "Disk full."},
      {"", ""},
      {"Stop!", "Stop!"},
      {"(code 5)", "(code 5)"},
      {"ends with blank ", "ends with blank "},
      {"two lines\r\n", "two lines\r\n"},
      {"dash-", "dash-"},
      {"path/", "path/."},  // "/" comes after "."
      {"code 7", "code 7."},
      {"پرداخت ناموفق", "پرداخت ناموفق."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EventErrorText(QString::fromUtf8(c.message)).toStdString(), c.shown) << c.message;
  }
}

TEST(StartupErrorText, FollowsTheApplicationErrorFormat) {
  EXPECT_EQ(StartupErrorText("std::runtime_error", "pcpos-tester", 0x401A2B, "WSAStartup"),
            "Exception std::runtime_error in module pcpos-tester at 00401A2B.\r\nWSAStartup.\r\n");
  // No second "." after one; none for an empty message; only the low 32 bits.
  EXPECT_EQ(StartupErrorText("E", "m.exe", 0xFFFFFFFF00000010ull, "Done."),
            "Exception E in module m.exe at 00000010.\r\nDone.\r\n");
  EXPECT_EQ(StartupErrorText("E", "m", 0, ""), "Exception E in module m at 00000000.\r\n\r\n");
  // Unlike the event box, a "!" or ")" still gets its ".".
  EXPECT_EQ(StartupErrorText("E", "m", 1, "Stop!"),
            "Exception E in module m at 00000001.\r\nStop!.\r\n");
}

// A control whose key handler fails the way a careless handler would.
class FailingEdit : public QLineEdit {
 public:
  std::exception_ptr error;
  int presses = 0;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    ++presses;
    if (error) std::rethrow_exception(error);
    QLineEdit::keyPressEvent(event);
  }
};

TEST(EscapedErrors, GuardedHandlerErrorIsShownWithTheTitle) {
  BoxRecorder recorder;
  QPushButton button;
  std::exception_ptr error;
  int clicks = 0;
  QObject::connect(&button, &QPushButton::clicked, Guarded([&] {
    ++clicks;
    if (error) std::rethrow_exception(error);
  }));
  button.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));

  error = std::make_exception_ptr(std::runtime_error("Disk full"));
  QTest::mouseClick(&button, Qt::LeftButton);
  error = std::make_exception_ptr(SilentAbort());
  QTest::mouseClick(&button, Qt::LeftButton);
  error = nullptr;
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_EQ(clicks, 3);

  ASSERT_EQ(recorder.boxes.size(), 1u) << "the abort showed nothing";
  EXPECT_EQ(recorder.boxes[0].caption, App().Title());
  EXPECT_EQ(recorder.boxes[0].text, "Disk full.");
  EXPECT_EQ(App().Title(), TitleFromExecutable(QCoreApplication::applicationFilePath()));
}

TEST(EscapedErrors, ErrorsReachingNotifyAreShownAndTheLoopGoesOn) {
  BoxRecorder recorder;
  FailingEdit edit;
  edit.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));

  edit.error = std::make_exception_ptr(std::runtime_error("Disk full"));
  QTest::keyClick(&edit, Qt::Key_A);
  edit.error = std::make_exception_ptr(SilentAbort());
  QTest::keyClick(&edit, Qt::Key_B);
  edit.error = nullptr;
  QTest::keyClick(&edit, Qt::Key_C);
  EXPECT_EQ(edit.presses, 3);
  EXPECT_EQ(edit.text(), "c") << "the widget still works after the errors";

  // An error from an event the loop itself delivers leaves the loop running.
  QEventLoop loop;
  bool after = false;
  QTimer::singleShot(0, &edit, [] { throw std::runtime_error("Connection refused."); });
  QTimer::singleShot(10, &loop, [&] {
    after = true;
    loop.quit();
  });
  QTimer::singleShot(5000, &loop, [&] { loop.exit(1); });
  EXPECT_EQ(loop.exec(), 0);
  EXPECT_TRUE(after);

  ASSERT_EQ(recorder.boxes.size(), 2u) << "the abort showed nothing";
  EXPECT_EQ(recorder.boxes[0].caption, App().Title());
  EXPECT_EQ(recorder.boxes[0].text, "Disk full.");
  EXPECT_EQ(recorder.boxes[1].text, "Connection refused.");
}

TEST(CommandLine, PrefillsTheInputsAndRefusesWhatItDoesNotKnow) {
  const StartupInputs inputs =
      ParseCommandLine({"pcpos-tester", "--host", "10.1.2.3", "--port=9999", "--amount", "250000",
                        "--log-dir", "/tmp/logs/"});
  EXPECT_EQ(inputs.host, "10.1.2.3");
  EXPECT_EQ(inputs.port, "9999");
  EXPECT_EQ(inputs.amount, "250000");
  EXPECT_EQ(inputs.log_dir, "/tmp/logs/");

  const StartupInputs none = ParseCommandLine({"pcpos-tester"});
  EXPECT_FALSE(none.host || none.port || none.amount || none.log_dir);

  EXPECT_THROW(ParseCommandLine({"pcpos-tester", "--bogus"}), std::runtime_error);
  EXPECT_THROW(ParseCommandLine({"pcpos-tester", "--port"}), std::runtime_error);
  EXPECT_THROW(ParseCommandLine({"pcpos-tester", "stray"}), std::runtime_error);
}

TEST(StartUp, FailureIsShownAsApplicationErrorAndExitsOne) {
  const struct {
    const char* what;
    PlatformHooks platform;
    QStringList arguments;
    std::string message_line;
  } cases[] = {
      {"socket library",
       {[] { throw std::runtime_error("WSAStartup"); }, nullptr},
       {"pcpos-tester"},
       "WSAStartup."},
      {"command line", {}, {"pcpos-tester", "--bogus"}, "Unknown option 'bogus'."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    BoxRecorder recorder;
    EXPECT_EQ(RunApplication(App(), c.arguments, c.platform), 1);
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].caption, "Application Error");
    const QString text = recorder.boxes[0].text;
    EXPECT_TRUE(text.startsWith("Exception std::runtime_error in module ")) << text.toStdString();
    EXPECT_TRUE(text.endsWith(".\r\n" + QString::fromStdString(c.message_line) + "\r\n"))
        << text.toStdString();
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty() ||
                !QApplication::topLevelWidgets().front()->isVisible());
  }
}

TEST(StartUp, ClosingTheWindowDuringAPaymentExitsZero) {
  pcpos::testing::TcpPeer peer([](pcpos::testing::PeerSocket& s) {
    s.ReadLine();
    s.WaitForClose(10s);
  });
  // The payment's log and journal go here, not into the shared temporary folder.
  const pcpos::testing::ScratchDir logs("pcpos-app-");
  int stops = 0;
  QString host_seen;
  bool was_visible = false;
  bool request_seen = false;
  // Once the loop runs: check the pre-filled inputs, start a payment, close mid-wait.
  QTimer::singleShot(0, [&] {
    TFrm_Selvarin* window = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->objectName() == "Frm_Selvarin") window = static_cast<TFrm_Selvarin*>(w);
    }
    ASSERT_NE(window, nullptr);
    was_visible = window->isVisible();
    host_seen = window->Edt_IP->text();
    QTest::mouseClick(window->Btn_Payment, Qt::LeftButton);
    request_seen = QTest::qWaitFor([&] { return !peer.received().empty(); }, 5000);
    window->close();
  });
  QTimer watchdog;
  QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  watchdog.start(15000);

  const int code = RunApplication(
      App(),
      {"pcpos-tester", "--host", "127.0.0.1", "--port", QString::fromStdString(peer.port_text()),
       "--log-dir", QString::fromStdString(logs.folder())},
      {nullptr, [&] { ++stops; }});
  watchdog.stop();
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(was_visible);
  EXPECT_TRUE(request_seen);
  EXPECT_EQ(host_seen, "127.0.0.1");
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(peer.accepted(), 1);
  peer.Join();
}

// The demo mode end to end: the window's own simulated reader, no other
// process, two payments through it, and the reader gone with the window.
TEST(StartUp, DemoPaysThroughItsOwnSimulatedReader) {
  const pcpos::testing::ScratchDir scratch("pcpos-demo-");
  QString caption, host, port;
  QString first_text, second_text;
  QColor first_colour, second_colour;
  QTimer::singleShot(0, [&] {
    TFrm_Selvarin* window = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->objectName() == "Frm_Selvarin") window = static_cast<TFrm_Selvarin*>(w);
    }
    ASSERT_NE(window, nullptr);
    caption = window->windowTitle();
    host = window->Edt_IP->text();
    port = window->Edt_Port->text();
    const auto pay = [&](const QString& amount, QString& text, QColor& colour) {
      WaitOutPressGuard();
      window->txtAmount->setText(amount);
      QTest::mouseClick(window->Btn_Payment, Qt::LeftButton);
      QTest::qWait(50);
      WaitForPaymentEnd(*window);
      text = Shown(window->Lbl_ResponseMsg);
      colour = Colour(window->Lbl_ResponseMsg);
    };
    pay(QStringLiteral("1000"), first_text, first_colour);
    pay(QStringLiteral("1030"), second_text, second_colour);
    window->close();
  });
  QTimer watchdog;
  QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  watchdog.start(20000);
  const int code = RunApplication(
      App(), {"pcpos-tester", "--demo", "--log-dir", QString::fromStdString(scratch.folder())}, {});
  watchdog.stop();

  EXPECT_EQ(code, 0);
  EXPECT_EQ(caption.toStdString(), screen::WindowCaption(true));
  EXPECT_EQ(host, "127.0.0.1");
  ASSERT_GT(port.toInt(), 0);
  EXPECT_EQ(first_text, QStringLiteral("تراکنش با موفقیت انجام شد"));
  EXPECT_EQ(first_colour, QColor(0, 128, 0));
  EXPECT_EQ(second_text, QStringLiteral("رمز عبور نامعتبر است"));
  EXPECT_EQ(second_colour, QColor(255, 0, 0));
  // The reader stopped with the window: nothing answers on its port now.
  const net::Socket socket = net::CreateTcpSocket();
  EXPECT_THROW(net::Connect(socket.get(), 0x7F000001, static_cast<std::uint16_t>(port.toInt()),
                            2000, nullptr),
               ConnectionError);
}

}  // namespace
}  // namespace pcpos::ui::testing
