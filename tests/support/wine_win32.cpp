#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <filesystem>
#include <system_error>

#include "tests/support/wine.h"

namespace pcpos::testing {

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

int WineUnixDescriptors() {
  // Wine's drive Z: is the Unix root, and this Windows process is the Unix
  // process that /proc/self names.
  int count = 0;
  std::error_code error;
  for (std::filesystem::directory_iterator it("Z:/proc/self/fd", error), end; !error && it != end;
       it.increment(error)) {
    ++count;
  }
  return error ? -1 : count;
}

}  // namespace pcpos::testing
