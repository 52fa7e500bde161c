// pcpos-tester.exe: the operator window, native on Windows. The arguments are
// read as UTF-16 from the system (CommandLineToArgvW), not from here.
#include <windows.h>

#include "win32/application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show_command) {
  return pcpos::win32::RunApplication(show_command);
}
