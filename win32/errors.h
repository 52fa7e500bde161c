// Errors that no handler catches: one escaping a window's message handler is
// shown in a box captioned with the application's title and the program goes
// on; one during start-up is shown in the "Application Error" box and ends it.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace pcpos::win32 {

// Shows a modal box with one OK button and the stop icon; replaceable so that
// a test sees what would be shown without a box blocking it. UTF-8 texts.
using MessageBoxFn = std::function<void(const std::string& caption, const std::string& text)>;
void SetMessageBox(MessageBoxFn show);
void ShowStopBox(const std::string& caption, const std::string& text);
// Through the replaceable box.
void ShowBox(const std::string& caption, const std::string& text);

// The application title, from the program file's name.
std::string ApplicationTitle();

// Shows the error in flight as an error that escaped an event handler.
void ReportEventError(std::exception_ptr error);
// Shows an error during start-up in the "Application Error" box.
void ReportStartupError(const std::exception& error);

}  // namespace pcpos::win32
