// The response log's messages and path; response_log_posix.cpp and
// response_log_win32.cpp hold the file access of each platform.
#include "payment/response_log.h"

#include "text/text.h"

namespace pcpos {

LogFileError::LogFileError(int code, const std::string& path)
    : std::runtime_error(LogFileErrorText(code, path)), code_(code) {}

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

// A path is shown as text: a control character in it (a zero byte makes the
// name invalid) would cut the message short or break its line.
std::string Shown(std::string_view path) {
  std::string text;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 32) {
      text += c;
      continue;
    }
    constexpr char kHex[] = "0123456789ABCDEF";
    text += "\\x";
    text += kHex[byte >> 4];
    text += kHex[byte & 15];
  }
  return text;
}

}  // namespace

std::string LogFileErrorText(int code, std::string_view path) {
  if (code == log_error::kPathNotFound) {
    // "Invalid file name" sent operators looking for a typing mistake in a
    // name they never typed; the folder is what is wrong.
    const std::string_view folder = FolderOf(path);
    if (!folder.empty()) return "The log folder " + Shown(folder) + " does not exist";
    return LogErrorMessage(code, Shown(path));
  }
  return LogErrorMessage(code, path) + " - " + Shown(path);
}

std::string_view FolderOf(std::string_view path) {
#ifdef _WIN32
  const std::size_t last = path.find_last_of("\\/");
#else
  const std::size_t last = path.find_last_of('/');
#endif
  return last == std::string_view::npos ? std::string_view() : path.substr(0, last + 1);
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
