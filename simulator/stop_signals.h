// Turns Ctrl-C and SIGTERM into an orderly QCoreApplication::quit(), so open
// connections are closed and the process exits with 0.
#pragma once

#include <QObject>

namespace pcpos::sim {

class StopSignals : public QObject {
  Q_OBJECT

 public:
  explicit StopSignals(QObject* parent = nullptr);
  ~StopSignals() override;

 signals:
  void stopRequested(int signal_number);
};

}  // namespace pcpos::sim
