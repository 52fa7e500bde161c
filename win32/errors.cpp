#include "win32/errors.h"

#include <windows.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

#if __has_include(<cxxabi.h>)
#include <cxxabi.h>
#endif

#include "screen/texts.h"
#include "win32/wide_text.h"

namespace pcpos::win32 {
namespace {

MessageBoxFn& BoxFunction() {
  static MessageBoxFn show = ShowStopBox;
  return show;
}

std::string ProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD got = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (got < path.size()) {
      path.resize(got);
      return Utf8(path);
    }
    path.resize(path.size() * 2);
  }
}

std::string ErrorKind(const std::exception& error) {
  const char* name = typeid(error).name();
#if __has_include(<cxxabi.h>)
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> plain(abi::__cxa_demangle(name, nullptr, nullptr, &status),
                                               std::free);
  if (status == 0 && plain) return plain.get();
#endif
  return name;
}

void Show(const std::string& caption, const std::string& text) {
  if (BoxFunction()) BoxFunction()(caption, text);
}

}  // namespace

void SetMessageBox(MessageBoxFn show) { BoxFunction() = std::move(show); }

void ShowStopBox(const std::string& caption, const std::string& text) {
  // Task-modal: the thread's other windows wait, and focus returns where it was.
  MessageBoxW(GetActiveWindow(), Wide(text).c_str(), Wide(caption).c_str(),
              MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

std::string ApplicationTitle() { return screen::TitleFromExecutable(ProgramPath()); }

void ReportEventError(std::exception_ptr error) {
  std::string message;
  try {
    std::rethrow_exception(error);
  } catch (const SilentAbort&) {
    return;
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = "Unknown error";
  }
  Show(ApplicationTitle(), screen::EventErrorText(message));
}

void ReportStartupError(const std::exception& error) {
  if (dynamic_cast<const SilentAbort*>(&error) != nullptr) return;
  const std::string path = ProgramPath();
  const std::string module = path.substr(path.find_last_of("\\/") + 1);
  // The code address of a C++ throw is not known; the reporter's own entry stands in.
  const auto address = reinterpret_cast<std::uintptr_t>(&ReportStartupError);
  Show(std::string(screen::kStartupErrorCaption),
       screen::StartupErrorText(ErrorKind(error), module, address, error.what()));
}

}  // namespace pcpos::win32
