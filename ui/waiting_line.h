// The result line while a payment runs: how long the operator has waited, and
// how long the reader still has before the transaction gives up on its answer.
// Without it the line would go on showing the previous payment's result.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>

namespace pcpos::ui {

// "در انتظار پاسخ کارت خوان… ۵ ثانیه گذشته، ۱۱۵ ثانیه مانده", in Persian digits.
QString WaitingText(qint64 waited_s, qint64 left_s);

class WaitingLine : public QObject {
  Q_OBJECT

 public:
  explicit WaitingLine(QObject* parent = nullptr);

  // The press: counting starts, and TextChanged comes at once and every second.
  void Start(std::chrono::milliseconds answer_limit);
  // The answer limit runs from the moment the request went out; until then the
  // whole of it is left.
  void RequestSent();
  void Stop();
  bool IsActive() const { return timer_.isActive(); }
  QString Text() const;

 signals:
  void TextChanged(const QString& text);

 private:
  QTimer timer_;
  QElapsedTimer since_press_;
  QElapsedTimer since_sent_;
  std::chrono::milliseconds answer_limit_{0};
};

}  // namespace pcpos::ui
