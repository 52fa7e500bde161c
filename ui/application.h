// The application shell: its title, and the reporting of errors that escape
// an event handler (shown, then the program goes on) or start-up (shown, then
// the program ends with exit code 1).
#pragma once

#include <QApplication>
#include <QString>
#include <QStringView>

#include <exception>
#include <functional>

namespace pcpos::ui {

// The shell's texts, by the rules of screen/texts.h, in Qt's strings.
QString TitleFromExecutable(QStringView path);
QString EventErrorText(const QString& message);

// Shows a modal critical box with one OK button. Replaceable so that tests can
// see what would be shown without a box blocking them.
using MessageBoxFn = std::function<void(const QString& caption, const QString& text)>;
void ShowCriticalBox(const QString& caption, const QString& text);

// Shows an error that escaped an event handler the way Application::notify
// does; outside an Application it is only logged.
void ReportEscapedError(std::exception_ptr error);

// Wraps a handler so that an error leaving it is reported right there. Qt's own
// frames are built without unwinding cleanup: an error that travels through
// them up to notify() leaks what they held (the copy of a mouse event, for
// one). The window's handlers are connected through this; notify() remains the
// net for everything else.
template <typename Handler>
auto Guarded(Handler handler) {
  return [handler = std::move(handler)] {
    try {
      handler();
    } catch (...) {
      ReportEscapedError(std::current_exception());
    }
  };
}

class Application : public QApplication {
  Q_OBJECT

 public:
  Application(int& argc, char** argv);

  // The title derived from the program file; the caption of the error box.
  const QString& Title() const { return title_; }

  void SetMessageBox(MessageBoxFn show) { show_box_ = std::move(show); }
  const MessageBoxFn& MessageBox() const { return show_box_; }

  // Qt must not unwind through its event loop: errors stop here.
  bool notify(QObject* receiver, QEvent* event) override;

  // Shows the error in flight (from within a catch block) as an event error.
  void ReportEventError(std::exception_ptr error);

 private:
  QString title_;
  MessageBoxFn show_box_ = ShowCriticalBox;
};

}  // namespace pcpos::ui
