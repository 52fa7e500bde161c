// The window program as pcpos-tester starts it (same application, same
// start-up, same window), with one measuring hook chosen by PCPOS_BENCH_MODE:
//   startup  time from exec (PCPOS_BENCH_T0_NS, set by pcpos-bench-spawn) to the
//            window's first paint plus one event-loop turn, and resident memory then;
//   latency  a loopback reader answers PCPOS_BENCH_RUNS payments clicked in the
//            window; per payment, the reader's send to the last field set,
//            painted, and one event-loop turn later;
//   idle     clicks the payment against the reader given on the command line
//            (a silent one) and reports the processor time the whole process
//            spends during PCPOS_BENCH_IDLE_SECONDS of waiting.
// Each result is one line on standard output; the window then closes itself.
#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleHints>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "bench/answer_peer.h"
#include "bench/bench_clock.h"
#include "ui/application.h"
#include "ui/frm_selvarin.h"
#include "ui/startup.h"

namespace {

using pcpos::bench::Clock;
using pcpos::ui::TFrm_Selvarin;

long EnvNumber(const char* name, long fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::strtol(text, nullptr, 10) : fallback;
}

TFrm_Selvarin* FindWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* window = qobject_cast<TFrm_Selvarin*>(widget)) return window;
  }
  return nullptr;
}

void Fail(const std::string& why) {
  std::cerr << "pcpos-bench-window: " << why << std::endl;
  QCoreApplication::exit(3);
}

double Us(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// Start-up: the window counts as shown once its first paint has been handled
// and the event loop has turned once more (the frame has then been flushed).
class StartupProbe final : public QObject {
 public:
  StartupProbe(std::int64_t spawned_ns, std::int64_t main_ns)
      : spawned_ns_(spawned_ns), main_ns_(main_ns) {}

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (!seen_ && event->type() == QEvent::Paint) {
      if (auto* window = qobject_cast<TFrm_Selvarin*>(object)) {
        seen_ = true;
        QTimer::singleShot(0, this, [this, window] { Report(window); });
      }
    }
    return false;
  }

 private:
  void Report(TFrm_Selvarin* window) {
    const std::int64_t shown_ns = pcpos::bench::MonotonicNs();
    std::cout << "startup_main_ms " << static_cast<double>(main_ns_ - spawned_ns_) / 1e6
              << " startup_shown_ms " << static_cast<double>(shown_ns - spawned_ns_) / 1e6
              << " rss_kb " << pcpos::bench::StatusKb("VmRSS").value_or(-1) << " hwm_kb "
              << pcpos::bench::StatusKb("VmHWM").value_or(-1) << std::endl;
    window->close();
  }

  std::int64_t spawned_ns_;
  std::int64_t main_ns_;
  bool seen_ = false;
};

// Answer latency through the window. The fields are cleared (and painted
// cleared) before each payment so that the new values always repaint.
class LatencyProbe final : public QObject {
 public:
  LatencyProbe(int runs, int warmup) : runs_(runs), warmup_(warmup) {}
  ~LatencyProbe() override {
    if (!folder_.empty()) pcpos::bench::RemoveTree(folder_);
  }

  void Begin() {
    window_ = FindWindow();
    if (!window_) return Fail("no window");
    peer_ = std::make_unique<pcpos::bench::AnswerPeer>();
    folder_ = pcpos::bench::MakeTempFolder("window");
    window_->Edt_IP->setText(QStringLiteral("127.0.0.1"));
    window_->Edt_Port->setText(QString::number(peer_->port()));
    window_->txtAmount->setText(QStringLiteral("1000"));
    window_->Edt_LogPath->setText(QString::fromStdString(folder_));
    // The last field the window fills; its paint means all eleven are drawn.
    last_field_ = window_->txtTransactionTime;
    last_field_->installEventFilter(this);
    connect(last_field_, &QLineEdit::textChanged, this, [this](const QString& text) {
      if (state_ == State::Waiting && !text.isEmpty()) {
        set_at_ = Clock::now();
        state_ = State::Set;
      }
    });
    QTimer::singleShot(200, this, [this] { StartRun(); });
  }

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (object == last_field_ && event->type() == QEvent::Paint && state_ == State::Set) {
      painted_at_ = Clock::now();
      state_ = State::Painted;
      QTimer::singleShot(0, this, [this] { OnTurn(); });
    }
    return false;
  }

 private:
  enum class State { Idle, Waiting, Set, Painted };

  void StartRun() {
    window_->Btn_Clear->click();
    // The payment button ignores presses for a double-click interval after a
    // payment ends; an earlier press would be lost.
    const int pause = QGuiApplication::styleHints()->mouseDoubleClickInterval() + 30;
    QTimer::singleShot(pause, this, [this] {
      state_ = State::Waiting;
      window_->Btn_Payment->click();
    });
  }

  void OnTurn() {
    const Clock::time_point turn_at = Clock::now();
    state_ = State::Idle;
    const auto sent = peer_->TakeSendTime(std::chrono::seconds(1));
    if (!sent) return Fail("the reader did not note its answer");
    if (index_++ >= warmup_) {
      std::cout << "window_set_us " << Us(set_at_ - *sent) << " window_painted_us "
                << Us(painted_at_ - *sent) << " window_turn_us " << Us(turn_at - *sent)
                << std::endl;
    }
    WaitForEnd();
  }

  void WaitForEnd() {
    if (window_->IsPaymentRunning()) {
      QTimer::singleShot(2, this, [this] { WaitForEnd(); });
      return;
    }
    if (window_->txtResponseCode->text() != QStringLiteral("00"))
      return Fail("the payment did not approve");
    if (index_ < warmup_ + runs_) {
      QTimer::singleShot(20, this, [this] { StartRun(); });
    } else {
      window_->close();
    }
  }

  int runs_;
  int warmup_;
  int index_ = 0;
  State state_ = State::Idle;
  TFrm_Selvarin* window_ = nullptr;
  QLineEdit* last_field_ = nullptr;
  std::unique_ptr<pcpos::bench::AnswerPeer> peer_;
  std::string folder_;
  Clock::time_point set_at_{};
  Clock::time_point painted_at_{};
};

// Idle cost: the payment waits for a reader that never answers.
class IdleProbe final : public QObject {
 public:
  explicit IdleProbe(long seconds) : seconds_(seconds) {}

  void Begin() {
    window_ = FindWindow();
    if (!window_) return Fail("no window");
    window_->Btn_Payment->click();
    if (!window_->IsPaymentRunning()) return Fail("the payment did not start");
    cpu_before_ = pcpos::bench::ProcessCpuSeconds();
    started_ = Clock::now();
    QTimer::singleShot(std::chrono::seconds(seconds_), Qt::PreciseTimer, this, [this] { End(); });
  }

 private:
  void End() {
    const double cpu = pcpos::bench::ProcessCpuSeconds() - cpu_before_;
    const double wall = std::chrono::duration<double>(Clock::now() - started_).count();
    // A wait that ended early (refused, closed, timed out) would flatter the figure.
    if (!window_->IsPaymentRunning()) return Fail("the payment stopped waiting before the end");
    std::cout << "window_idle_cpu_s " << cpu << " wall_s " << wall << std::endl;
    window_->close();
  }

  long seconds_;
  TFrm_Selvarin* window_ = nullptr;
  double cpu_before_ = 0;
  Clock::time_point started_{};
};

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t main_ns = pcpos::bench::MonotonicNs();
  pcpos::ui::Application app(argc, argv);
  // A modal box would hang an unattended run; the error goes to the log instead.
  app.SetMessageBox([](const QString& caption, const QString& text) {
    std::cerr << caption.toStdString() << ": " << text.toStdString() << std::endl;
  });

  const std::string mode = std::getenv("PCPOS_BENCH_MODE") ? std::getenv("PCPOS_BENCH_MODE") : "";
  std::unique_ptr<QObject> probe;
  if (mode == "startup") {
    const long spawned_ns = EnvNumber("PCPOS_BENCH_T0_NS", 0);
    if (spawned_ns <= 0) {
      std::cerr << "startup mode wants PCPOS_BENCH_T0_NS (start through pcpos-bench-spawn)\n";
      return 2;
    }
    probe = std::make_unique<StartupProbe>(spawned_ns, main_ns);
    app.installEventFilter(probe.get());
  } else if (mode == "latency") {
    auto latency =
        std::make_unique<LatencyProbe>(static_cast<int>(EnvNumber("PCPOS_BENCH_RUNS", 100)),
                                       static_cast<int>(EnvNumber("PCPOS_BENCH_WARMUP", 10)));
    QTimer::singleShot(0, latency.get(), [p = latency.get()] { p->Begin(); });
    probe = std::move(latency);
  } else if (mode == "idle") {
    auto idle = std::make_unique<IdleProbe>(EnvNumber("PCPOS_BENCH_IDLE_SECONDS", 60));
    // Begins once the window has settled after its first show.
    QTimer::singleShot(300, idle.get(), [p = idle.get()] { p->Begin(); });
    probe = std::move(idle);
  } else {
    std::cerr << "set PCPOS_BENCH_MODE to startup, latency or idle\n";
    return 2;
  }

  // A guard so that no measurement outlives its purpose.
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { Fail("gave up after the guard time"); });
  guard.start(std::chrono::seconds(EnvNumber("PCPOS_BENCH_IDLE_SECONDS", 60) + 120));

  const int code = pcpos::ui::RunApplication(app, app.arguments());
  app.removeEventFilter(probe.get());
  return code;
}
