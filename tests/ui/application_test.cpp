// The application shell: its title, how escaped errors are shown, start-up
// failures, command-line inputs and the exit code.
#include <QEventLoop>
#include <QLineEdit>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <functional>
#include <stdexcept>
#include <vector>

#include "link/errors.h"
#include "link/socket.h"
#include "payment/journal.h"
#include "screen/layout.h"
#include "tests/support/files.h"
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
  error = nullptr;
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_EQ(clicks, 2);

  ASSERT_EQ(recorder.boxes.size(), 1u);
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
  edit.error = nullptr;
  QTest::keyClick(&edit, Qt::Key_C);
  EXPECT_EQ(edit.presses, 2);
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

  ASSERT_EQ(recorder.boxes.size(), 2u);
  EXPECT_EQ(recorder.boxes[0].caption, App().Title());
  EXPECT_EQ(recorder.boxes[0].text, "Disk full.");
  EXPECT_EQ(recorder.boxes[1].text, "Connection refused.");
}

TEST(StartUp, FailureIsShownAsApplicationErrorAndExitsOne) {
  BoxRecorder recorder;
  EXPECT_EQ(RunApplication(App(), {"pcpos-tester"},
                           {[] { throw std::runtime_error("WSAStartup"); }, nullptr}),
            1);
  ASSERT_EQ(recorder.boxes.size(), 1u);
  EXPECT_EQ(recorder.boxes[0].caption, "Application Error");
  const QString text = recorder.boxes[0].text;
  EXPECT_TRUE(text.startsWith("Exception std::runtime_error in module ")) << text.toStdString();
  EXPECT_TRUE(text.endsWith(".\r\nWSAStartup.\r\n")) << text.toStdString();
  EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty() ||
              !QApplication::topLevelWidgets().front()->isVisible());
}

// A command line it does not understand is the operator's slip, not a crash:
// what was wrong and the usage, status 2, before anything starts.
TEST(StartUp, UnknownOptionShowsTheUsageAndExitsTwo) {
  BoxRecorder recorder;
  int starts = 0;
  EXPECT_EQ(RunApplication(App(), {"pcpos-tester", "--bogus"}, {[&] { ++starts; }, nullptr}), 2);
  EXPECT_EQ(starts, 0);
  ASSERT_EQ(recorder.boxes.size(), 1u);
  EXPECT_EQ(recorder.boxes[0].caption, App().Title());
  EXPECT_EQ(recorder.boxes[0].text.toStdString(),
            startup::UsageErrorText("Unknown option '--bogus'"));
}

// Ending the window during a payment, with its close button or as a logout or
// `kill` does (SIGTERM, POSIX), cancels the payment and keeps its journal row;
// the program ends with 0 or with 128 + the signal.
TEST(StartUp, EndingTheWindowDuringAPaymentKeepsItsJournalRowAndSaysHow) {
  struct Ending {
    const char* name;
    std::function<void(TFrm_Selvarin&)> end;
    int code;
  };
  std::vector<Ending> endings = {{"close button", [](TFrm_Selvarin& w) { w.close(); }, 0}};
#ifndef _WIN32
  endings.push_back({"SIGTERM", [](TFrm_Selvarin&) { ::raise(SIGTERM); }, 128 + SIGTERM});
#endif
  for (const Ending& ending : endings) {
    SCOPED_TRACE(ending.name);
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
    // Once the loop runs: check the pre-filled inputs, start a payment, end mid-wait.
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
      ending.end(*window);
    });
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(15000);

    const int code = RunApplication(
        App(),
        {"pcpos-tester", "--host", "127.0.0.1", "--port", QString::fromStdString(peer.port_text()),
         "--amount", "1000", "--log-dir", QString::fromStdString(logs.folder())},
        {nullptr, [&] { ++stops; }});
    watchdog.stop();
    EXPECT_EQ(code, ending.code);
    EXPECT_TRUE(was_visible);
    EXPECT_TRUE(request_seen);
    EXPECT_EQ(host_seen, "127.0.0.1");
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(peer.accepted(), 1);
    const std::string journal =
        pcpos::testing::ReadFile(logs.path() / std::string(kJournalFileName));
    // The header and the payment's row.
    EXPECT_EQ(std::count(journal.begin(), journal.end(), '\n'), 2) << journal;
    peer.Join();
  }
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
