#include "ui/startup.h"

#include <QLineEdit>

#include <iostream>
#include <memory>

#include "screen/texts.h"
#include "startup/demo.h"
#include "startup/errors.h"
#include "ui/application.h"
#include "ui/close_on_signals.h"
#include "ui/frm_selvarin.h"
#include "ui/qt_text.h"

namespace pcpos::ui {
namespace {

void ShowStartupError(const Application& app, const std::exception& error) {
  // The code address of a C++ throw is not known; the shell's own entry stands in.
  const auto address = reinterpret_cast<std::uintptr_t>(&RunApplication);
  const std::string text =
      startup::StartupErrorReport(error, Utf8(app.applicationFilePath()), address);
  if (app.MessageBox()) app.MessageBox()(Q(screen::kStartupErrorCaption), Q(text));
}

}  // namespace

void ApplyStartupInputs(TFrm_Selvarin& window, const startup::StartupInputs& inputs) {
  if (inputs.host) window.Edt_IP->setText(Q(*inputs.host));
  if (inputs.port) window.Edt_Port->setText(Q(*inputs.port));
  if (inputs.amount) window.txtAmount->setText(Q(*inputs.amount));
  if (inputs.log_dir) window.Edt_LogPath->setText(Q(*inputs.log_dir));
  for (QLineEdit* edit : {window.Edt_IP, window.Edt_Port, window.txtAmount, window.Edt_LogPath}) {
    edit->setCursorPosition(0);
  }
}

std::vector<std::string> Utf8Arguments(const QStringList& arguments) {
  std::vector<std::string> utf8;
  for (const QString& argument : arguments) utf8.push_back(Utf8(argument));
  return utf8;
}

bool PrintHelpIfAsked(const std::vector<std::string>& arguments) {
  if (!startup::AsksForHelp(arguments)) return false;
  std::cout << startup::UsageText() << std::flush;
  return true;
}

int RunApplication(Application& app, const QStringList& arguments,
                   const startup::PlatformHooks& platform) {
  startup::StartupInputs inputs;
  acceptance::Suite suite;
  try {
    inputs = startup::ParseCommandLine(Utf8Arguments(arguments));
    if (inputs.suite && !inputs.help) suite = startup::LoadStartupSuite(*inputs.suite);
  } catch (const startup::UsageError& error) {
    const std::string text = startup::UsageErrorText(error.what());
    std::cerr << text << std::flush;
    if (app.MessageBox()) app.MessageBox()(app.Title(), Q(text));
    return startup::kUsageErrorStatus;
  }
  if (inputs.help) {
    std::cout << startup::UsageText() << std::flush;
    return 0;
  }

  // Declared before the window, so that it stops after it on every path.
  std::unique_ptr<startup::SimulatedReader> simulated_reader;
  std::unique_ptr<TFrm_Selvarin> window;
  try {
    if (platform.start) platform.start();
    simulated_reader = startup::StartDemo(inputs);
    window = std::make_unique<TFrm_Selvarin>();
    ApplyStartupInputs(*window, inputs);
    if (simulated_reader) window->setWindowTitle(Q(screen::WindowCaption(true)));
    app.setWindowIcon(window->windowIcon());
    if (inputs.suite) window->StartGuidedRun(std::move(suite), *inputs.suite);
    window->CentreOnScreen();
  } catch (const std::exception& error) {
    ShowStartupError(app, error);
    return 1;
  }

  // Showing honours a minimised or maximised start; it clears the results (FormShow).
  window->show();
  int signalled = 0;
  const CloseOnSignals on_signal([&](int number) {
    if (signalled != 0) return;
    signalled = number;
    window->close();
    // Also ends a message box's loop, should one be open.
    QCoreApplication::exit(0);
  });
  int code = app.exec();
  // As a shell reports a program a signal ended.
  if (signalled != 0) code = 128 + signalled;
  // The window and its payment thread end, then the simulated reader, before
  // the platform stops.
  window.reset();
  simulated_reader.reset();

  try {
    if (platform.stop) platform.stop();
  } catch (const std::exception& error) {
    ShowStartupError(app, error);
    return 1;
  }
  return code;
}

}  // namespace pcpos::ui
