// Windows only, for every program there (the window and pcpos-cli): the
// command line as UTF-8, the program file's path, and console output that
// shows Persian. The C runtime hands main() its arguments in the ANSI code
// page, where Persian digits and folder names are lost; the core expects UTF-8.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace pcpos::startup {

// The program's arguments, read from the system as UTF-16 and converted to UTF-8.
std::vector<std::string> Utf8Arguments();

// The running program file's full path, in UTF-8.
std::string ProgramPath();

// While it lives, std::cout and std::cerr that are attached to a console write
// through WriteConsoleW, so the UTF-8 the program prints shows as the same
// characters whatever the console's code page. Output into a file or a pipe
// passes unchanged: UTF-8 bytes.
class ConsoleText {
 public:
  ConsoleText();
  ~ConsoleText();
  ConsoleText(const ConsoleText&) = delete;
  ConsoleText& operator=(const ConsoleText&) = delete;

 private:
  struct Redirect;
  std::unique_ptr<Redirect> out_, err_;
};

}  // namespace pcpos::startup
