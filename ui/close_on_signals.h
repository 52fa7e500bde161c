// SIGTERM (a logout, a service manager, kill), SIGINT and SIGHUP end the window
// as its close button does: a payment under way is cancelled and waited for,
// so its journal row is written, and a guided run's report is written. Without
// this the signal would end the process on the spot and lose both.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace pcpos::ui {

class CloseOnSignals : public QObject {
 public:
  // `close` runs on the window's thread, in its event loop, with the signal's number.
  explicit CloseOnSignals(std::function<void(int signal)> close);
  ~CloseOnSignals() override;  // the signals' earlier handling comes back
  CloseOnSignals(const CloseOnSignals&) = delete;
  CloseOnSignals& operator=(const CloseOnSignals&) = delete;

 private:
  void Arrived();

  std::function<void(int)> close_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace pcpos::ui
