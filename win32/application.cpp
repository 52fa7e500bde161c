#include "win32/application.h"

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <stdexcept>

#include "acceptance/suite.h"
#include "cli/args_win32.h"
#include "ui/platform.h"
#include "win32/errors.h"
#include "win32/main_window.h"
#include "win32/wide_text.h"
#ifdef PCPOS_WIN32_DEMO
#include "simulator/in_process.h"
#endif

namespace pcpos::win32 {

StartupInputs ParseCommandLine(const std::vector<std::string>& arguments) {
  StartupInputs inputs;
  const std::pair<std::string_view, std::optional<std::string>*> options[] = {
      {"--host", &inputs.host},       {"--port", &inputs.port},   {"--amount", &inputs.amount},
      {"--log-dir", &inputs.log_dir}, {"--suite", &inputs.suite},
  };
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h" || argument == "/?") {
      inputs.help = true;
      continue;
    }
    if (argument == "--demo") {
      inputs.demo = true;
      continue;
    }
    const std::size_t equals = argument.find('=');
    const std::string_view name = std::string_view(argument).substr(0, equals);
    bool known = false;
    for (const auto& [option, value] : options) {
      if (name != option) continue;
      known = true;
      if (equals != std::string::npos) {
        *value = argument.substr(equals + 1);
      } else if (i + 1 < arguments.size()) {
        *value = arguments[++i];
      } else {
        throw std::runtime_error("Missing value after '" + argument + "'");
      }
    }
    if (known) continue;
    if (argument.starts_with("-"))
      throw std::runtime_error("Unknown option '" + std::string(name) + "'");
    throw std::runtime_error("Unexpected argument '" + argument + "'");
  }
  return inputs;
}

std::string UsageText() {
  return "Sends one purchase to a PC-POS card reader.\r\n\r\n"
         "pcpos-tester [--host ADDRESS] [--port PORT] [--amount AMOUNT] [--log-dir FOLDER] "
         "[--demo] [--suite FILE|install]\r\n\r\n"
         "  --host     card reader address\r\n"
         "  --port     card reader port\r\n"
         "  --amount   amount to collect\r\n"
         "  --log-dir  folder of the response log, ending in a separator\r\n"
         "  --demo     start a simulated card reader in this program and point the window at "
         "it\r\n"
         "  --suite    guide an acceptance run of the suite in FILE, or of the built-in\r\n"
         "             installation check (install); the report goes into the log folder\r\n";
}

Session::Session() = default;
Session::Session(Session&&) noexcept = default;
Session& Session::operator=(Session&&) noexcept = default;
Session::~Session() = default;

Session OpenSession(const StartupInputs& inputs, MainWindow::Options options) {
  acceptance::Suite suite;
  if (inputs.suite) {
    std::string error;
    if (!acceptance::LoadSuite(*inputs.suite, suite, error)) throw SuiteError(error);
  }
  Session session;
  std::optional<std::string> host = inputs.host;
  std::optional<std::string> port = inputs.port;
  if (inputs.demo) {
#ifdef PCPOS_WIN32_DEMO
    session.simulated_reader = std::make_unique<sim::InProcessSimulator>();
    std::string error;
    if (!session.simulated_reader->Start(0, error)) {
      throw std::runtime_error("The simulated card reader cannot listen: " + error);
    }
    host = "127.0.0.1";
    port = std::to_string(session.simulated_reader->port());
    options.simulated_reader = true;
#else
    throw std::runtime_error("This build has no simulated card reader (--demo)");
#endif
  }
  session.window = std::make_unique<MainWindow>(std::move(options));
  if (host) session.window->SetInputText(screen::Input::Host, *host);
  if (port) session.window->SetInputText(screen::Input::Port, *port);
  if (inputs.amount) session.window->SetInputText(screen::Input::Amount, *inputs.amount);
  if (inputs.log_dir) session.window->SetInputText(screen::Input::LogFolder, *inputs.log_dir);
  if (inputs.suite) session.window->StartGuidedRun(std::move(suite), *inputs.suite);
  return session;
}

int RunApplication(int show_command) {
  Session session;
  try {
    ui::StartPlatform();
    const StartupInputs inputs = ParseCommandLine(Utf8Arguments());
    if (inputs.help) {
      MessageBoxW(nullptr, Wide(UsageText()).c_str(), Wide(ApplicationTitle()).c_str(),
                  MB_OK | MB_ICONINFORMATION);
      return 0;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    session = OpenSession(inputs);
  } catch (const SuiteError& error) {
    MessageBoxW(nullptr, Wide(error.what()).c_str(), Wide(ApplicationTitle()).c_str(),
                MB_OK | MB_ICONERROR);
    return 2;
  } catch (const std::exception& error) {
    ReportStartupError(error);
    return 1;
  }

  session.window->Open(show_command);
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) session.window->Process(msg);
  // The window and its payment's thread end, then the simulated reader, before
  // the socket library stops.
  session.window.reset();
  session.simulated_reader.reset();

  try {
    ui::StopPlatform();
  } catch (const std::exception& error) {
    ReportStartupError(error);
    return 1;
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace pcpos::win32
