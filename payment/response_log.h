// The response log: one file holding the last good answer, nothing else.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pcpos {

inline constexpr std::string_view kLogFileName = "Selvarin-PcPosLog.txt";

// Error codes of the log file, in the Windows numbering the messages are keyed by.
namespace log_error {
inline constexpr int kFileNotFound = 2;
inline constexpr int kPathNotFound = 3;
inline constexpr int kTooManyOpenFiles = 4;
inline constexpr int kAccessDenied = 5;
inline constexpr int kSharingViolation = 32;
// A name the file system cannot take (a zero byte in it): ERROR_INVALID_NAME.
inline constexpr int kInvalidName = 123;
inline constexpr int kDiskFull = 112;
}  // namespace log_error

// what() is LogFileErrorText: the operator learns which file failed, and how.
class LogFileError : public std::runtime_error {
 public:
  LogFileError(int code, const std::string& path);
  int code() const noexcept { return code_; }

 private:
  int code_;
};

// "The specified file was not found", "Invalid file name - <path>", ... "I/O error <code>".
std::string LogErrorMessage(int code, std::string_view path);

// The message an operator is shown for a file that failed: a missing folder in
// words ("The log folder /no/such/ does not exist"), any other failure as
// LogErrorMessage followed by " - " and the full path ("File access denied -
// C:\Users\op\Documents\Selvarin-PcPosJournal.csv"). The code stays the same.
std::string LogFileErrorText(int code, std::string_view path);

// The folder part of a file path: up to and including its last separator
// ("/"; on Windows "\\" or "/"), empty when it has none.
std::string_view FolderOf(std::string_view path);

// Maps a platform error (errno on POSIX) onto the codes above.
int LogErrorFromPlatform(int platform_error);

// The folder text trimmed of characters 0..32, with a separator added when it
// names an existing folder and does not end with one ("/"; on Windows "\\" or
// "/"). Any other text is kept as typed, so the file name is appended to it
// directly; an empty text names the current folder.
std::string LogFolderPrefix(std::string_view folder);

// LogFolderPrefix of the folder text, followed by the file name.
std::string LogFilePath(std::string_view folder);
// The same, with `is_folder` asked in place of IsExistingFolder.
std::string LogFilePath(std::string_view folder,
                        const std::function<bool(const std::string&)>& is_folder);

// True when the path names an existing folder (a zero byte in it names none).
bool IsExistingFolder(const std::string& path);

// True when the path names a file (not a folder, not missing, not invalid).
bool LogFileExists(const std::string& path);

// Creates the file empty when none exists; leaves an existing one alone.
void EnsureLog(const std::string& path);

// Replaces the content of an existing file with the text, written through a
// 128-byte buffer while holding the file against other writers. Does nothing
// when no file exists at the path. True when it wrote the file.
bool WriteLog(const std::string& path, std::string_view text);

}  // namespace pcpos
