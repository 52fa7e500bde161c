#include "ui/application.h"

#include <QMessageBox>

#include "screen/texts.h"
#include "ui/qt_text.h"

namespace pcpos::ui {

QString TitleFromExecutable(QStringView path) {
  return Q(screen::TitleFromExecutable(Utf8(path.toString())));
}

QString EventErrorText(const QString& message) { return Q(screen::EventErrorText(Utf8(message))); }

void ShowCriticalBox(const QString& caption, const QString& text) {
  // Application-modal: the other windows wait, and focus returns where it was.
  QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

void ReportEscapedError(std::exception_ptr error) {
  if (auto* app = qobject_cast<Application*>(QCoreApplication::instance())) {
    app->ReportEventError(error);
    return;
  }
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    qWarning("Unhandled error: %s", e.what());
  } catch (...) {
    qWarning("Unhandled error");
  }
}

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv), title_(TitleFromExecutable(applicationFilePath())) {}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ReportEventError(std::current_exception());
  }
  return false;
}

void Application::ReportEventError(std::exception_ptr error) {
  QString message;
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    message = QString::fromUtf8(e.what());
  } catch (...) {
    message = QStringLiteral("Unknown error");
  }
  if (show_box_) show_box_(title_, EventErrorText(message));
}

}  // namespace pcpos::ui
