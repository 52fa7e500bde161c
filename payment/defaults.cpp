#include "payment/defaults.h"

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first: the shell's headers build on its types.
#include <knownfolders.h>
#include <shlobj.h>

#include <cwchar>

namespace pcpos {
namespace {

std::string Utf8(const wchar_t* wide) {
  const int length = static_cast<int>(std::wcslen(wide));
  if (length == 0) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, length, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

// A process that is not elevated may not create files in the root of drive C,
// and the manifest's asInvoker turns off the virtualisation that once let it
// seem to: the user's own Documents folder is one they can write and find.
std::string DefaultLogFolder() {
  PWSTR documents = nullptr;
  std::string folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, KF_FLAG_DEFAULT, nullptr, &documents))) {
    folder = Utf8(documents);
  }
  CoTaskMemFree(documents);  // also when the call failed, as its contract asks
  if (folder.empty()) return "C:\\";
  if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return folder;
}

}  // namespace pcpos

#else

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace pcpos {

std::string DefaultLogFolder() {
  // The log path adds no separator, so the folder carries its own.
  const auto with_separator = [](std::string folder) {
    if (folder.back() != '/') folder += '/';
    return folder;
  };
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return with_separator(home);
  }
  if (const passwd* entry = ::getpwuid(::geteuid());
      entry != nullptr && entry->pw_dir != nullptr && *entry->pw_dir != '\0') {
    return with_separator(entry->pw_dir);
  }
  return "/tmp/";
}

}  // namespace pcpos

#endif
