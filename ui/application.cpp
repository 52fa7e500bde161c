#include "ui/application.h"

#include <QMessageBox>

#include <algorithm>

namespace pcpos::ui {

QString TitleFromExecutable(QStringView path) {
  const qsizetype slash = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
  QStringView name = path.mid(slash + 1);
  const qsizetype dot = name.indexOf(u'.');
  if (dot >= 0) name = name.left(dot);
  if (name.isEmpty()) return {};
  return name.left(1).toString() + name.mid(1).toString().toLower();
}

QString EventErrorText(const QString& message) {
  if (!message.isEmpty() && message.back().unicode() > u'.') return message + u'.';
  return message;
}

QString StartupErrorText(const QString& kind, const QString& module, quintptr address,
                         const QString& message) {
  const QString period =
      !message.isEmpty() && !message.endsWith(u'.') ? QStringLiteral(".") : QString();
  return QStringLiteral("Exception %1 in module %2 at %3.\r\n%4%5\r\n")
      .arg(kind, module,
           QStringLiteral("%1").arg(static_cast<quint32>(address), 8, 16, QChar(u'0')).toUpper(),
           message, period);
}

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
  } catch (const SilentAbort&) {
    return;
  } catch (const std::exception& e) {
    message = QString::fromUtf8(e.what());
  } catch (...) {
    message = QStringLiteral("Unknown error");
  }
  if (show_box_) show_box_(title_, EventErrorText(message));
}

}  // namespace pcpos::ui
