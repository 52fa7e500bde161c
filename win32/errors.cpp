#include "win32/errors.h"

#include <windows.h>

#include <cstdint>

#include "screen/texts.h"
#include "startup/errors.h"
#include "startup/process_win32.h"
#include "text/utf16.h"

namespace pcpos::win32 {
namespace {

MessageBoxFn& BoxFunction() {
  static MessageBoxFn show = ShowStopBox;
  return show;
}

}  // namespace

void SetMessageBox(MessageBoxFn show) { BoxFunction() = std::move(show); }

void ShowStopBox(const std::string& caption, const std::string& text) {
  // Task-modal: the thread's other windows wait, and focus returns where it was.
  MessageBoxW(GetActiveWindow(), Wide(text).c_str(), Wide(caption).c_str(),
              MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

void ShowBox(const std::string& caption, const std::string& text) {
  if (BoxFunction()) BoxFunction()(caption, text);
}

std::string ApplicationTitle() { return screen::TitleFromExecutable(startup::ProgramPath()); }

void ReportEventError(std::exception_ptr error) {
  std::string message;
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = "Unknown error";
  }
  ShowBox(ApplicationTitle(), screen::EventErrorText(message));
}

void ReportStartupError(const std::exception& error) {
  // The code address of a C++ throw is not known; the reporter's own entry stands in.
  const auto address = reinterpret_cast<std::uintptr_t>(&ReportStartupError);
  ShowBox(std::string(screen::kStartupErrorCaption),
          startup::StartupErrorReport(error, startup::ProgramPath(), address));
}

}  // namespace pcpos::win32
