// The response log's messages and path; response_log_posix.cpp and
// response_log_win32.cpp hold the file access of each platform.
#include "payment/response_log.h"

#include "text/text.h"

namespace pcpos {

LogFileError::LogFileError(int code, const std::string& path)
    : std::runtime_error(LogErrorMessage(code, path)), code_(code) {}

std::string LogErrorMessage(int code, std::string_view path) {
  switch (code) {
    case log_error::kFileNotFound:
      return "The specified file was not found";
    case log_error::kPathNotFound:
      return "Invalid file name - " + std::string(path);
    case log_error::kTooManyOpenFiles:
      return "Too many open files";
    case log_error::kAccessDenied:
      return "File access denied";
    default:
      return "I/O error " + std::to_string(code);
  }
}

namespace {

std::string FolderPrefix(std::string_view folder,
                         const std::function<bool(const std::string&)>& is_folder) {
  std::string prefix(TrimControl(folder));
#ifdef _WIN32
  constexpr std::string_view kSeparators = "\\/";
  constexpr char kSeparator = '\\';
#else
  constexpr std::string_view kSeparators = "/";
  constexpr char kSeparator = '/';
#endif
  // An operator who types "/var/log/pcpos" means the folder, not a file name
  // starting "pcpos" beside it; text that names no folder keeps the old rule.
  if (!prefix.empty() && kSeparators.find(prefix.back()) == std::string_view::npos &&
      is_folder(prefix)) {
    prefix += kSeparator;
  }
  return prefix;
}

}  // namespace

std::string LogFolderPrefix(std::string_view folder) {
  return FolderPrefix(folder, IsExistingFolder);
}

std::string LogFilePath(std::string_view folder) {
  return LogFolderPrefix(folder) + std::string(kLogFileName);
}

std::string LogFilePath(std::string_view folder,
                        const std::function<bool(const std::string&)>& is_folder) {
  return FolderPrefix(folder, is_folder) + std::string(kLogFileName);
}

}  // namespace pcpos
