// pcpos-tester.exe: the operator window, native on Windows. The arguments are
// read as UTF-16 from the system (CommandLineToArgvW), not from here.
#include <windows.h>

#include "startup/process_win32.h"
#include "win32/application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show_command) {
  return pcpos::win32::RunApplication(pcpos::startup::Utf8Arguments(), show_command);
}
