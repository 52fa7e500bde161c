#include "win32/application.h"

#include <windows.h>
#include <commctrl.h>

#include <optional>

#include "startup/errors.h"
#include "text/utf16.h"
#include "win32/errors.h"

namespace pcpos::win32 {

Session::Session() = default;
Session::Session(Session&&) noexcept = default;
Session& Session::operator=(Session&&) noexcept = default;
Session::~Session() = default;

Session OpenSession(startup::StartupInputs inputs, MainWindow::Options options) {
  std::optional<acceptance::Suite> suite;
  if (inputs.suite) suite = startup::LoadStartupSuite(*inputs.suite);  // before anything starts
  Session session;
  session.simulated_reader = startup::StartDemo(inputs);
  options.simulated_reader = session.simulated_reader != nullptr;
  session.window = std::make_unique<MainWindow>(std::move(options));
  if (inputs.host) session.window->SetInputText(screen::Input::Host, *inputs.host);
  if (inputs.port) session.window->SetInputText(screen::Input::Port, *inputs.port);
  if (inputs.amount) session.window->SetInputText(screen::Input::Amount, *inputs.amount);
  if (inputs.log_dir) session.window->SetInputText(screen::Input::LogFolder, *inputs.log_dir);
  if (suite) session.window->StartGuidedRun(std::move(*suite), *inputs.suite);
  return session;
}

int RunApplication(const std::vector<std::string>& arguments, int show_command,
                   const startup::PlatformHooks& platform) {
  startup::StartupInputs inputs;
  try {
    inputs = startup::ParseCommandLine(arguments);
  } catch (const startup::UsageError& error) {
    ShowBox(ApplicationTitle(), startup::UsageErrorText(error.what()));
    return startup::kUsageErrorStatus;
  }
  if (inputs.help) {
    MessageBoxW(nullptr, Wide(startup::UsageText()).c_str(), Wide(ApplicationTitle()).c_str(),
                MB_OK | MB_ICONINFORMATION);
    return 0;
  }

  Session session;
  try {
    if (platform.start) platform.start();
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    session = OpenSession(std::move(inputs));
  } catch (const startup::UsageError& error) {  // a --suite that cannot be read
    ShowBox(ApplicationTitle(), startup::UsageErrorText(error.what()));
    return startup::kUsageErrorStatus;
  } catch (const std::exception& error) {
    ReportStartupError(error);
    return 1;
  }

  session.window->Open(show_command);
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) session.window->Process(msg);
  // The window and its payment's thread end, then the simulated reader, before
  // the platform stops.
  session.window.reset();
  session.simulated_reader.reset();

  try {
    if (platform.stop) platform.stop();
  } catch (const std::exception& error) {
    ReportStartupError(error);
    return 1;
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace pcpos::win32
