// Small helpers shared by the widget tests.
#pragma once

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QStyleHints>
#include <QPalette>
#include <QString>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "screen/texts.h"
#include "ui/application.h"
#include "ui/frm_selvarin.h"
#include "ui/qt_text.h"

namespace pcpos::ui::testing {

using screen::kOutcomeUnknownText;

// The screen layer's texts as the window shows them.
inline QString WaitingText(qint64 waited_s, qint64 left_s) {
  return Q(screen::WaitingText(waited_s, left_s));
}
inline QString ResultLineDisplayText(const QString& text) {
  return Q(screen::ResultLineDisplayText(Utf8(text)));
}
// The result line's text without the isolate marks around it.
inline QString StripIsolates(QString shown) {
  shown.remove(QChar(0x2068));
  shown.remove(QChar(0x2069));
  return shown;
}

inline Application& App() { return *static_cast<Application*>(QCoreApplication::instance()); }

// Records the boxes the application would show, for the life of one test.
class BoxRecorder {
 public:
  struct Box {
    QString caption;
    QString text;
  };
  BoxRecorder() : previous_(App().MessageBox()) {
    App().SetMessageBox([this](const QString& c, const QString& t) { boxes.push_back({c, t}); });
  }
  ~BoxRecorder() { App().SetMessageBox(previous_); }
  std::vector<Box> boxes;

 private:
  MessageBoxFn previous_;
};

inline QString Shown(const QLabel* label) { return StripIsolates(label->text()); }
inline QColor Colour(const QLabel* label) { return label->palette().color(QPalette::WindowText); }

// The window as the program shows it.
inline std::unique_ptr<TFrm_Selvarin> ShownWindow() {
  auto window = std::make_unique<TFrm_Selvarin>();
  window->CentreOnScreen();
  window->show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  return window;
}

// Sets the platform's double-click interval for one test, and puts it back.
class ScopedDoubleClickInterval {
 public:
  explicit ScopedDoubleClickInterval(int ms)
      : previous_(QGuiApplication::styleHints()->mouseDoubleClickInterval()) {
    QGuiApplication::styleHints()->setMouseDoubleClickInterval(ms);
  }
  ~ScopedDoubleClickInterval() {
    QGuiApplication::styleHints()->setMouseDoubleClickInterval(previous_);
  }
  ScopedDoubleClickInterval(const ScopedDoubleClickInterval&) = delete;
  ScopedDoubleClickInterval& operator=(const ScopedDoubleClickInterval&) = delete;

 private:
  int previous_;
};

// The payment button ignores presses for a double-click interval after it
// starts or ends a payment; a test that means its next press waits that long.
inline void WaitOutPressGuard() {
  QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval());
}

// Lets the event loop run until the window's payment has ended.
inline bool WaitForPaymentEnd(TFrm_Selvarin& window, int timeout_ms = 10000) {
  return QTest::qWaitFor([&] { return !window.IsPaymentRunning(); }, timeout_ms);
}

}  // namespace pcpos::ui::testing
