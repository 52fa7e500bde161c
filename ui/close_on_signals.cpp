#include "ui/close_on_signals.h"

#include <QSocketNotifier>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace pcpos::ui {

#ifndef _WIN32
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// A handler may only write to a descriptor; the event loop reads the other end.
int g_pipe[2] = {-1, -1};
struct sigaction g_previous[std::size(kSignals)];

extern "C" void OnSignal(int number) {
  const int saved = errno;
  const char byte = static_cast<char>(number);
  // Full pipe: a close is already on its way.
  [[maybe_unused]] const auto written = ::write(g_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

CloseOnSignals::CloseOnSignals(std::function<void(int)> close) : close_(std::move(close)) {
  if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { Arrived(); });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    ::sigaction(kSignals[i], &action, &g_previous[i]);
  }
}

CloseOnSignals::~CloseOnSignals() {
  if (notifier_ == nullptr) return;
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    ::sigaction(kSignals[i], &g_previous[i], nullptr);
  }
  delete notifier_;
  ::close(g_pipe[0]);
  ::close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}

void CloseOnSignals::Arrived() {
  char byte = 0;
  if (::read(g_pipe[0], &byte, 1) != 1) return;
  if (close_) close_(static_cast<unsigned char>(byte));
}

#else

// Windows ends a session with messages, which the window handles itself.
CloseOnSignals::CloseOnSignals(std::function<void(int)> close) : close_(std::move(close)) {}
CloseOnSignals::~CloseOnSignals() = default;
void CloseOnSignals::Arrived() {}

#endif

}  // namespace pcpos::ui
