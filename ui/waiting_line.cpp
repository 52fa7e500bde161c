#include "ui/waiting_line.h"

#include <algorithm>

namespace pcpos::ui {
namespace {

QString PersianNumber(qint64 value) {
  QString digits = QString::number(value);
  for (QChar& c : digits) {
    if (c.isDigit()) c = QChar(u'\u06F0' + (c.unicode() - u'0'));
  }
  return digits;
}

}  // namespace

QString WaitingText(qint64 waited_s, qint64 left_s) {
  return QStringLiteral("در انتظار پاسخ کارت خوان… %1 ثانیه گذشته، %2 ثانیه مانده")
      .arg(PersianNumber(waited_s), PersianNumber(left_s));
}

WaitingLine::WaitingLine(QObject* parent) : QObject(parent) {
  timer_.setInterval(1000);
  timer_.setTimerType(Qt::PreciseTimer);  // a coarse timer would skip or repeat a second
  connect(&timer_, &QTimer::timeout, this, [this] { emit TextChanged(Text()); });
}

void WaitingLine::Start(std::chrono::milliseconds answer_limit) {
  answer_limit_ = answer_limit;
  since_sent_.invalidate();
  since_press_.start();
  timer_.start();
  emit TextChanged(Text());
}

void WaitingLine::RequestSent() {
  if (IsActive()) since_sent_.start();
}

void WaitingLine::Stop() { timer_.stop(); }

QString WaitingLine::Text() const {
  const qint64 waited_ms = since_press_.isValid() ? since_press_.elapsed() : 0;
  const qint64 sent_ms = since_sent_.isValid() ? since_sent_.elapsed() : 0;
  const qint64 left_ms = std::max<qint64>(0, answer_limit_.count() - sent_ms);
  // Rounded to the nearest second, so a tick that comes a little early or late
  // still moves both counts by one.
  return WaitingText((waited_ms + 500) / 1000, (left_ms + 500) / 1000);
}

}  // namespace pcpos::ui
