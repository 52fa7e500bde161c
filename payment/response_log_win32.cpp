// The response log's file on Windows.
#include "payment/response_log.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>

#include "payment/buffered_write.h"
#include "payment/file_win32.h"
#include "text/utf16.h"

namespace pcpos {

// Windows: the system error codes are the codes of the messages, so they pass
// through unchanged.

using win32_file::Handle;

namespace {

// The file holds text in the ANSI code page; characters it lacks become its
// default character.
std::string Ansi(std::string_view utf8) {
  const std::wstring wide = Wide(utf8);
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

// Others may read the file while it is written, but not write it.
HANDLE OpenForWriting(const std::string& path, DWORD disposition) {
  HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw LogFileError(static_cast<int>(GetLastError()), path);
  return h;
}

}  // namespace

int LogErrorFromPlatform(int platform_error) { return platform_error; }

bool LogFileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsExistingFolder(const std::string& path) {
  if (path.find('\0') != std::string::npos) return false;
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void EnsureLog(const std::string& path) {
  if (LogFileExists(path)) return;
  // OPEN_ALWAYS: a file that appeared since the test keeps its content.
  Handle file(OpenForWriting(path, OPEN_ALWAYS));
  if (const DWORD error = file.Close()) throw LogFileError(static_cast<int>(error), path);
}

bool WriteLog(const std::string& path, std::string_view text) {
  if (!LogFileExists(path)) return false;
  Handle file(OpenForWriting(path, CREATE_ALWAYS));
  detail::WriteBuffered(Ansi(text), [&](const char* data, std::size_t size) {
    DWORD written = 0;
    if (!WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) ||
        written != size) {
      throw LogFileError(static_cast<int>(GetLastError()), path);
    }
  });
  if (const DWORD error = file.Close()) throw LogFileError(static_cast<int>(error), path);
  return true;
}

}  // namespace pcpos
