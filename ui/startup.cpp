#include "ui/startup.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QLineEdit>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <typeinfo>

#if __has_include(<cxxabi.h>)
#include <cxxabi.h>
#endif

#include "acceptance/suite.h"
#include "screen/layout.h"
#include "ui/application.h"
#include "ui/frm_selvarin.h"
#include "ui/platform.h"
#include "ui/qt_text.h"

#ifdef PCPOS_UI_DEMO
#include "simulator/in_process.h"
#endif

namespace pcpos::ui {
namespace {

QString Demangled(const char* name) {
#if __has_include(<cxxabi.h>)
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> plain(abi::__cxa_demangle(name, nullptr, nullptr, &status),
                                               std::free);
  if (status == 0 && plain) return QString::fromUtf8(plain.get());
#endif
  return QString::fromUtf8(name);
}

// The program file's name after its last separator, as the start-up box shows it.
QString ModuleName(const QString& path) {
  const qsizetype slash = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
  return path.mid(slash + 1);
}

void ShowStartupError(const Application& app, const std::exception& error) {
  if (dynamic_cast<const SilentAbort*>(&error)) return;
  // The code address of a C++ throw is not known; the shell's own entry stands in.
  const auto address = reinterpret_cast<quintptr>(&RunApplication);
  const QString text = StartupErrorText(ErrorKind(error), ModuleName(app.applicationFilePath()),
                                        address, QString::fromUtf8(error.what()));
  if (app.MessageBox()) app.MessageBox()(kStartupErrorCaption, text);
}

}  // namespace

StartupInputs ParseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Sends one purchase to a PC-POS card reader."));
  const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("Card reader address."),
                                QStringLiteral("address"));
  const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Card reader port."),
                                QStringLiteral("port"));
  const QCommandLineOption amount(QStringLiteral("amount"), QStringLiteral("Amount to collect."),
                                  QStringLiteral("amount"));
  const QCommandLineOption log_dir(QStringLiteral("log-dir"),
                                   QStringLiteral("Folder of the response log, ending in a "
                                                  "separator."),
                                   QStringLiteral("folder"));
  const QCommandLineOption demo(QStringLiteral("demo"),
                                QStringLiteral("Start a simulated card reader in this program and "
                                               "point the window at it."));
  const QCommandLineOption suite(QStringLiteral("suite"),
                                 QStringLiteral("Guides an acceptance run of the suite in the "
                                                "file, or of the built-in installation check "
                                                "(install)."),
                                 QStringLiteral("file|install"));
  parser.addOptions({host, port, amount, log_dir, demo, suite});
  const QCommandLineOption help = parser.addHelpOption();

  if (!parser.parse(arguments)) throw std::runtime_error(parser.errorText().toStdString());
  if (parser.isSet(help)) parser.showHelp(0);
  if (!parser.positionalArguments().isEmpty()) {
    throw std::runtime_error(
        ("Unexpected argument '" + parser.positionalArguments().front() + "'").toStdString());
  }

  StartupInputs inputs;
  const auto take = [&parser](const QCommandLineOption& option) -> std::optional<QString> {
    if (!parser.isSet(option)) return std::nullopt;
    return parser.value(option);
  };
  inputs.host = take(host);
  inputs.port = take(port);
  inputs.amount = take(amount);
  inputs.log_dir = take(log_dir);
  inputs.demo = parser.isSet(demo);
  inputs.suite = take(suite);
  return inputs;
}

void ApplyStartupInputs(TFrm_Selvarin& window, const StartupInputs& inputs) {
  if (inputs.host) window.Edt_IP->setText(*inputs.host);
  if (inputs.port) window.Edt_Port->setText(*inputs.port);
  if (inputs.amount) window.txtAmount->setText(*inputs.amount);
  if (inputs.log_dir) window.Edt_LogPath->setText(*inputs.log_dir);
  for (QLineEdit* edit : {window.Edt_IP, window.Edt_Port, window.txtAmount, window.Edt_LogPath}) {
    edit->setCursorPosition(0);
  }
}

PlatformHooks DefaultPlatformHooks() { return {StartPlatform, StopPlatform}; }

QString ErrorKind(const std::exception& error) { return Demangled(typeid(error).name()); }

int RunApplication(Application& app, const QStringList& arguments, const PlatformHooks& platform) {
#ifdef PCPOS_UI_DEMO
  // Declared before the window, so that it stops after it on every path.
  std::unique_ptr<sim::InProcessSimulator> simulated_reader;
#endif
  std::unique_ptr<TFrm_Selvarin> window;
  acceptance::Suite suite;
  try {
    if (platform.start) platform.start();
    StartupInputs inputs = ParseCommandLine(arguments);
    if (inputs.suite) {
      std::string error;
      if (!acceptance::LoadSuite(Utf8(*inputs.suite), suite, error)) {
        if (app.MessageBox()) app.MessageBox()(app.Title(), QString::fromStdString(error));
        return 2;
      }
    }
    if (inputs.demo) {
#ifdef PCPOS_UI_DEMO
      simulated_reader = std::make_unique<sim::InProcessSimulator>();
      std::string error;
      if (!simulated_reader->Start(0, error)) {
        throw std::runtime_error("The simulated card reader cannot listen: " + error);
      }
      inputs.host = QStringLiteral("127.0.0.1");
      inputs.port = QString::number(simulated_reader->port());
#else
      throw std::runtime_error("This build has no simulated card reader (--demo)");
#endif
    }
    window = std::make_unique<TFrm_Selvarin>();
    ApplyStartupInputs(*window, inputs);
    if (inputs.demo) window->setWindowTitle(QString::fromStdString(screen::WindowCaption(true)));
    app.setWindowIcon(window->windowIcon());
    if (inputs.suite) window->StartGuidedRun(std::move(suite), Utf8(*inputs.suite));
    window->CentreOnScreen();
  } catch (const std::exception& error) {
    ShowStartupError(app, error);
    return 1;
  }

  // Showing honours a minimised or maximised start; it clears the results (FormShow).
  window->show();
  const int code = app.exec();
  // The window and its payment thread end before the platform stops.
  window.reset();
#ifdef PCPOS_UI_DEMO
  simulated_reader.reset();
#endif

  try {
    if (platform.stop) platform.stop();
  } catch (const std::exception& error) {
    ShowStartupError(app, error);
    return 1;
  }
  return code;
}

}  // namespace pcpos::ui
