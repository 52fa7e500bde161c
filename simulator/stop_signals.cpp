#include "simulator/stop_signals.h"

#include <csignal>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>
#else
#include <QTimer>
#endif

namespace pcpos::sim {
namespace {

#ifdef Q_OS_UNIX
// A handler may do next to nothing; it writes the signal's number into a
// socket pair, and the event loop reads it on the other end.
int g_pipe[2] = {-1, -1};

extern "C" void OnStopSignal(int signal_number) {
  const unsigned char byte = static_cast<unsigned char>(signal_number);
  [[maybe_unused]] const auto written = ::write(g_pipe[0], &byte, 1);
}
#else
volatile std::sig_atomic_t g_signal = 0;

extern "C" void OnStopSignal(int signal_number) { g_signal = signal_number; }
#endif

}  // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
#ifdef Q_OS_UNIX
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pipe) != 0) return;
  auto* notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this, [this] {
    unsigned char byte = 0;
    if (::read(g_pipe[1], &byte, 1) == 1) emit stopRequested(byte);
  });
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
#else
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  auto* timer = new QTimer(this);
  connect(timer, &QTimer::timeout, this, [this] {
    if (const int number = g_signal) {
      g_signal = 0;
      emit stopRequested(number);
    }
  });
  timer->start(100);
#endif
}

StopSignals::~StopSignals() {
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
#ifdef Q_OS_UNIX
  for (int& fd : g_pipe) {
    if (fd != -1) ::close(fd);
    fd = -1;
  }
#endif
}

}  // namespace pcpos::sim
