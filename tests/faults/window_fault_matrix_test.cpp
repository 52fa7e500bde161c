// The fault matrix through the window: the real window, offscreen, with its
// payment clicked, against the same misbehaving loopback readers and failing
// log folders as the command-line rows. Each row also checks that the window
// outlives the fault: it is idle again afterwards and the same window then
// completes a good payment. Amber marks an ending after the request went out,
// when the reader may have taken the payment; red a definite one.
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "text/text.h"
#include "tests/faults/fault_report.h"
#include "tests/faults/lock_holder.h"
#include "tests/support/answers.h"
#include "tests/support/files.h"
#include "tests/support/hanging_listener.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/tcp_peer.h"
#include "tests/ui/ui_test_support.h"

namespace pcpos::ui::testing {
namespace {

using namespace std::chrono_literals;
using pcpos::testing::Answering;
using pcpos::testing::kAnswer;
using pcpos::testing::PeerSocket;
using pcpos::testing::ReadFile;
using pcpos::testing::TcpPeer;

const QString kApproved = QStringLiteral("تراکنش با موفقیت انجام شد");
const QString kMismatch = QStringLiteral("فرمت اطلاعات بازگشتی نامعتبر است.");
const QString kDeclined = QStringLiteral("عملیات با شکست مواجه شده است");
const QString kOutcomeUnknown =
    QString::fromUtf8(pcpos::screen::kOutcomeUnknownText.data(),
                      static_cast<qsizetype>(pcpos::screen::kOutcomeUnknownText.size()));
const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);
const QColor kAmber(160, 82, 0);

// The answer with another response code (its two characters after the prefix).
std::string WithCode(std::string_view code) {
  std::string answer(kAnswer);
  answer.replace(50, 2, code);
  return answer;
}

class WindowFaultMatrix : public ::testing::Test {
 protected:
  void SetUp() override {
    TransactionOptions options;
    options.answer_timeout = 1000ms;
    options.connect_timeout = 1000ms;
    window_->SetTransactionOptions(options);
    window_->Edt_IP->setText("127.0.0.1");
    window_->Edt_LogPath->setText(QString::fromStdString(folder_));
  }

  std::string LogPath() const { return folder_ + "Selvarin-PcPosLog.txt"; }

  struct Outcome {
    QString result;
    QColor colour;
    QString raw;  // without the last line naming the log the payment wrote
    std::chrono::milliseconds time;
    bool names_log = false;  // that line was there
  };

  // Clicks the payment button and waits for the payment's end; records the row.
  Outcome Pay(const std::string& fault, std::uint16_t port) {
    window_->Edt_LogPath->setText(QString::fromStdString(folder_));
    window_->Edt_Port->setText(QString::number(port));
    WaitOutPressGuard();
    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(window_->Btn_Payment, Qt::LeftButton);
    const bool ended = WaitForPaymentEnd(*window_, 20000);
    Outcome shown{testing::Shown(window_->Lbl_ResponseMsg), Colour(window_->Lbl_ResponseMsg),
                  window_->Mem_RawResponse->toPlainText(),
                  std::chrono::milliseconds(timer.elapsed())};
    const QString log_line = QStringLiteral("\nLog: ") + QString::fromStdString(LogPath());
    shown.names_log = shown.raw.endsWith(log_line);
    if (shown.names_log) shown.raw.chop(log_line.size());
    const std::string colour = shown.colour == kGreen   ? "green"
                               : shown.colour == kRed   ? "red"
                               : shown.colour == kAmber ? "amber"
                                                        : "other";
    pcpos::testing::RecordFaultRow({"window", fault, shown.result.toStdString(), colour,
                                    shown.raw.toStdString(), shown.time,
                                    pcpos::testing::DescribeLog(LogPath()),
                                    ended && window_->isVisible() ? "alive, idle" : "still busy"});
    EXPECT_TRUE(ended) << fault;
    return shown;
  }

  // The same window, after the fault, still completes a good payment.
  void ExpectStillServes() {
    folder_ = scratch_.folder() + "after/";
    std::filesystem::create_directory(folder_);
    TcpPeer peer(Answering(kAnswer));
    window_->Edt_LogPath->setText(QString::fromStdString(folder_));
    window_->Edt_Port->setText(QString::number(peer.port()));
    WaitOutPressGuard();
    QTest::mouseClick(window_->Btn_Payment, Qt::LeftButton);
    ASSERT_TRUE(WaitForPaymentEnd(*window_));
    EXPECT_EQ(testing::Shown(window_->Lbl_ResponseMsg), kApproved);
    EXPECT_EQ(ReadFile(LogPath()), kAnswer);
  }

  void ExpectRed(const Outcome& shown, std::string_view text) {
    // The result line shows the first line of a message; the pane shows all of it.
    const QString full = QString::fromStdString(std::string(text));
    EXPECT_EQ(shown.result, full.section(QStringLiteral("\r\n"), 0, 0));
    EXPECT_EQ(shown.colour, kRed);
    EXPECT_EQ(shown.raw, QString(full).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  }

  // The same, in amber, with the line that sends the operator to the reader above it.
  void ExpectAmber(const Outcome& shown, std::string_view text) {
    const QString full = QString::fromStdString(std::string(text));
    EXPECT_EQ(shown.result, full.section(QStringLiteral("\r\n"), 0, 0));
    EXPECT_EQ(shown.colour, kAmber);
    EXPECT_EQ(shown.raw, kOutcomeUnknown + "\n" +
                             QString(full).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  }

  // Presses of the payment button right after a payment are ignored; a short
  // interval keeps the rows quick.
  ScopedDoubleClickInterval interval_{100};
  pcpos::testing::ScratchDir scratch_{"pcpos-window-faults-"};
  std::string folder_ = scratch_.folder();
  std::unique_ptr<TFrm_Selvarin> window_ = ShownWindow();
};

struct ReaderFault {
  const char* name;
  TcpPeer::Script script;
  std::string_view expected;
};

TEST_F(WindowFaultMatrix, ReaderFaultsAfterSendingEndInAmberAndTheWindowGoesOn) {
  const ReaderFault faults[] = {
      {"reader resets the connection",
       [](PeerSocket& s) {
         s.ReadLine();
         s.Reset();
       },
       "Socket Error # 10054\r\nConnection reset by peer."},
      {"reader closes without answering",
       [](PeerSocket& s) {
         s.ReadLine();
         s.Close();
       },
       "Connection Closed Gracefully."},
      {"reader stays silent (1 s answer limit)",
       [](PeerSocket& s) {
         s.ReadLine();
         s.WaitForClose(10s);
       },
       "Socket Error # 10060\r\nConnection timed out."},
      {"reader accepts and never reads (1 s answer limit)",
       [](PeerSocket& s) {
         std::this_thread::sleep_for(1500ms);
         s.Close();
       },
       "Socket Error # 10060\r\nConnection timed out."},
  };
  for (const ReaderFault& f : faults) {
    SCOPED_TRACE(f.name);
    TcpPeer peer(f.script);
    const Outcome shown = Pay(f.name, peer.port());
    ExpectAmber(shown, f.expected);
    EXPECT_EQ(ReadFile(LogPath()), "");
    EXPECT_LT(shown.time, 5000ms);
  }
  ExpectStillServes();
}

TEST_F(WindowFaultMatrix, AnswersThatComeBrokenAreReadWhole) {
  {
    TcpPeer peer([](PeerSocket& s) {
      s.ReadLine();
      s.Send(kAnswer);
      s.Reset();
    });
    const Outcome shown = Pay("answer, then the connection reset", peer.port());
    EXPECT_EQ(shown.result, kApproved);
    EXPECT_EQ(shown.colour, kGreen);
    EXPECT_EQ(ReadFile(LogPath()), kAnswer);
  }
  {
    const std::string declined = WithCode("51");
    TcpPeer peer([&declined](PeerSocket& s) {
      s.ReadLine();
      s.Send(std::string_view(declined).substr(0, 44));  // cut after the batch number
      std::this_thread::sleep_for(200ms);
      s.Send(std::string_view(declined).substr(44));
    });
    const Outcome shown = Pay("decline (51) in two pieces, 200 ms apart", peer.port());
    EXPECT_EQ(shown.result, kDeclined);
    EXPECT_EQ(shown.colour, kRed);
    EXPECT_EQ(window_->txtResponseCode->text(), "51");
    EXPECT_EQ(ReadFile(LogPath()), declined);
  }
  {
    const std::string unreadable = WithCode("XX");
    TcpPeer peer(Answering(unreadable));
    const Outcome shown = Pay("response code \"XX\"", peer.port());
    EXPECT_EQ(shown.result, kMismatch);
    EXPECT_EQ(shown.colour, kAmber);
    EXPECT_EQ(shown.raw, kOutcomeUnknown + "\n" + QString::fromStdString(unreadable));
    EXPECT_EQ(window_->txtResponseCode->text(), "XX");
    EXPECT_EQ(ReadFile(LogPath()), unreadable) << "its fields are logged all the same";
  }
  ExpectStillServes();
}

TEST_F(WindowFaultMatrix, UnreachableReaderEndsAtTheConnectLimit) {
  pcpos::testing::HangingListener listener;
  const Outcome shown = Pay("address unreachable (1 s connect limit)", listener.port());
  ExpectRed(shown, "Socket Error # 10060\r\nConnection timed out.");
  EXPECT_GE(shown.time, 900ms);
  EXPECT_LT(shown.time, 5000ms);
  ExpectStillServes();
}

TEST_F(WindowFaultMatrix, FloodsAndStrangeBytesAreShownSafely) {
  {
    TcpPeer peer([](PeerSocket& s) {
      s.ReadLine();
      s.Send(std::string(kAnswer) + std::string(1 << 20, '7'));
    });
    const Outcome shown = Pay("1 MiB of data after an answer", peer.port());
    EXPECT_EQ(shown.result, kApproved);
    EXPECT_LE(shown.raw.size(), 2 * 32768);
    EXPECT_EQ(ReadFile(LogPath()), shown.raw.toStdString());
  }
  {
    std::string answer(kAnswer);
    answer.replace(9, 2, "\xC3\xA9");
    answer[58] = '\0';
    TcpPeer peer(Answering(answer));
    const Outcome shown = Pay("bytes above 127 and a NUL in the answer", peer.port());
    EXPECT_EQ(shown.result, kApproved);
    EXPECT_EQ(window_->txtTerminalNo->text(), "??345678");
    EXPECT_EQ(window_->txtCardNo->text(), "1234");
    EXPECT_EQ(ReadFile(LogPath()), pcpos::FromAscii(answer));
  }
  {
    TcpPeer peer([](PeerSocket& s) {
      s.ReadLine();
      for (char c : kAnswer) {
        s.Send(std::string_view(&c, 1));
        std::this_thread::sleep_for(10ms);
      }
    });
    const Outcome shown = Pay("answer byte by byte, 10 ms apart", peer.port());
    EXPECT_EQ(shown.result, kApproved);
    EXPECT_EQ(shown.colour, kGreen);
    EXPECT_EQ(shown.raw.toStdString(), kAnswer);
    EXPECT_TRUE(shown.names_log);
    EXPECT_EQ(ReadFile(LogPath()), kAnswer);
  }
  ExpectStillServes();
}

TEST_F(WindowFaultMatrix, LogFaultsKeepTheLogIntactAndTheWindowGoesOn) {
  {
    TcpPeer peer(Answering(kAnswer));
    const std::string kept = "@@ZRM@@ an earlier good answer";
    std::ofstream(LogPath(), std::ios::binary) << kept;
    pcpos::testing::LockHolder holder(LogPath());
    ASSERT_TRUE(holder.locked());
    const Outcome shown = Pay("log file locked by another process", peer.port());
    // The approval stays in sight; the log's failure is said below the answer.
    EXPECT_EQ(shown.result, kApproved);
    EXPECT_EQ(shown.colour, kGreen);
    EXPECT_EQ(shown.raw.toStdString(), std::string(kAnswer) + "\nI/O error 32 - " + LogPath());
    EXPECT_EQ(window_->txtTerminalNo->text(), "12345678");
    EXPECT_EQ(ReadFile(LogPath()), kept);
  }
  {
    TcpPeer peer(Answering(kAnswer));
    folder_ = scratch_.folder() + "missing/";
    const Outcome shown = Pay("log folder missing", peer.port());
    // The journal beside the log cannot be written either, and says so below.
    ExpectRed(Outcome{shown.result, shown.colour, shown.raw.section(u'\n', 0, 0), shown.time},
              "The log folder " + folder_ + " does not exist");
    EXPECT_EQ(shown.raw.section(u'\n', 1).toStdString(),
              "The log folder " + folder_ + " does not exist");
    EXPECT_EQ(peer.accepted(), 0);
  }
  {
    folder_ = scratch_.folder();
    const std::string path = LogPath();
    std::filesystem::remove(path);
    TcpPeer peer([&path](PeerSocket& s) {
      s.ReadLine();
      std::filesystem::remove(path);
      std::filesystem::create_directory(path);
      s.Send(kAnswer);
    });
    const Outcome shown = Pay("log file replaced by a folder mid-payment", peer.port());
    EXPECT_EQ(shown.result, kApproved);
    EXPECT_EQ(shown.colour, kGreen);
    EXPECT_TRUE(std::filesystem::is_directory(path));
  }
  ExpectStillServes();
}

class TableWriter : public ::testing::Environment {
 public:
  void TearDown() override {
    pcpos::testing::WriteFaultTable(PCPOS_FAULT_TABLE, "window (offscreen)");
  }
};
const auto* const table_writer = ::testing::AddGlobalTestEnvironment(new TableWriter);

}  // namespace
}  // namespace pcpos::ui::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  pcpos::ui::Application app(argc, argv);
  // A modal box would block the run; none is expected from any row.
  app.SetMessageBox([](const QString& caption, const QString& text) {
    ADD_FAILURE() << "unexpected message box: " << caption.toStdString() << ": "
                  << text.toStdString();
  });
  return RUN_ALL_TESTS();
}
