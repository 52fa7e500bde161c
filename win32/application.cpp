#include "win32/application.h"

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <stdexcept>

#include "cli/args_win32.h"
#include "ui/platform.h"
#include "win32/errors.h"
#include "win32/main_window.h"
#include "win32/wide_text.h"

namespace pcpos::win32 {

StartupInputs ParseCommandLine(const std::vector<std::string>& arguments) {
  StartupInputs inputs;
  const std::pair<std::string_view, std::optional<std::string>*> options[] = {
      {"--host", &inputs.host},
      {"--port", &inputs.port},
      {"--amount", &inputs.amount},
      {"--log-dir", &inputs.log_dir},
  };
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h" || argument == "/?") {
      inputs.help = true;
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
    if (argument.starts_with("-")) throw std::runtime_error("Unknown option '" + std::string(name) + "'");
    throw std::runtime_error("Unexpected argument '" + argument + "'");
  }
  return inputs;
}

std::string UsageText() {
  return "Sends one purchase to a PC-POS card reader.\r\n\r\n"
         "pcpos-tester [--host ADDRESS] [--port PORT] [--amount AMOUNT] [--log-dir FOLDER]\r\n\r\n"
         "  --host     card reader address\r\n"
         "  --port     card reader port\r\n"
         "  --amount   amount to collect\r\n"
         "  --log-dir  folder of the response log, ending in a separator\r\n";
}

int RunApplication(int show_command) {
  std::unique_ptr<MainWindow> window;
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
    window = std::make_unique<MainWindow>();
    if (inputs.host) window->SetInputText(screen::Input::Host, *inputs.host);
    if (inputs.port) window->SetInputText(screen::Input::Port, *inputs.port);
    if (inputs.amount) window->SetInputText(screen::Input::Amount, *inputs.amount);
    if (inputs.log_dir) window->SetInputText(screen::Input::LogFolder, *inputs.log_dir);
  } catch (const std::exception& error) {
    ReportStartupError(error);
    return 1;
  }

  window->Open(show_command);
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) window->Process(msg);
  // The window and its payment's thread end before the socket library stops.
  window.reset();

  try {
    ui::StopPlatform();
  } catch (const std::exception& error) {
    ReportStartupError(error);
    return 1;
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace pcpos::win32
