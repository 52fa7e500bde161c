// Drives a running pcpos-tester.exe as an operator would, for scripts/windows.sh:
// waits for its window, presses Return in the address field, waits for the
// payment to end, prints the result line (UTF-8) and closes the window.
// Exit status 0 when all of that happened, 1 otherwise. With --hold SECONDS it
// leaves the window open that long before closing it (scripts/screenshot.sh).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "screen/layout.h"
#include "screen/texts.h"
#include "win32/main_window.h"
#include "text/utf16.h"

namespace {

using namespace std::chrono_literals;
using pcpos::Utf8;

HWND ControlOf(HWND window, std::string_view name) {
  const auto layout = pcpos::screen::Layout();
  for (std::size_t i = 0; i < layout.size(); ++i) {
    if (layout[i].name == name) {
      return GetDlgItem(window, pcpos::win32::kFirstControlId + static_cast<int>(i));
    }
  }
  return nullptr;
}

std::string TextOf(HWND control) {
  wchar_t text[1024] = {};
  DWORD_PTR got = 0;
  SendMessageTimeoutW(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000,
                      &got);
  std::wstring shown;
  for (const wchar_t* c = text; *c != 0; ++c) {
    if (*c < 0x2066 || *c > 0x2069) shown.push_back(*c);  // the isolate marks
  }
  return Utf8(shown);
}

}  // namespace

int main(int argc, char** argv) {
  const double hold_s = argc == 3 && std::string_view(argv[1]) == "--hold" ? std::atof(argv[2]) : 0;
  const auto start = std::chrono::steady_clock::now();
  const auto elapsed_ms = [&] {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
  };
  HWND window = nullptr;
  while (window == nullptr) {
    window = FindWindowW(pcpos::win32::kWindowClass, nullptr);
    if (window != nullptr && IsWindowVisible(window)) break;
    window = nullptr;
    if (elapsed_ms() > 60000) {
      std::puts("no window");
      return 1;
    }
    std::this_thread::sleep_for(10ms);
  }
  // The wall clock too, so that a script that started the driver first can
  // time the program's start-up alone.
  const auto unix_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  std::printf("window shown after %.0f ms (unix time %lld ms)\n", elapsed_ms(),
              static_cast<long long>(unix_ms.count()));
  std::fflush(stdout);
  const HWND address = ControlOf(window, "Edt_IP");
  const HWND pay = ControlOf(window, "Btn_Payment");
  const HWND line = ControlOf(window, "Lbl_ResponseMsg");
  PostMessageW(address, WM_KEYDOWN, VK_RETURN, 1);
  const std::string pay_caption(pcpos::screen::kPayCaption);
  std::string result;
  // The press shows the waiting line (the button already reads "cancel" then).
  while (TextOf(line).empty()) {
    if (elapsed_ms() > 60000) {
      std::puts("the press was not taken");
      return 1;
    }
    std::this_thread::sleep_for(10ms);
  }
  for (;;) {
    // The button first: once it offers to pay again the run has ended, and the
    // line read after that is its last.
    const bool ended = TextOf(pay) == pay_caption;
    result = TextOf(line);
    if (ended && !result.empty()) break;
    if (elapsed_ms() > 120000) {
      std::puts("the payment did not end");
      return 1;
    }
    std::this_thread::sleep_for(20ms);
  }
  std::printf("result: %s\n", result.c_str());
  std::printf("raw: %s\n", TextOf(ControlOf(window, "Mem_RawResponse")).c_str());
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::duration<double>(hold_s));
  PostMessageW(window, WM_CLOSE, 0, 0);
  return 0;
}
