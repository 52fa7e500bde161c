#include "screen/log_paths.h"

#include "payment/journal.h"
#include "payment/response_log.h"

namespace pcpos::screen {

std::string LogFolderTip(std::string_view folder_text) {
  return "Log: " + LogFilePath(folder_text) + "\nJournal: " + JournalFilePath(folder_text);
}

std::string LogWrittenLine(std::string_view log_path) { return "Log: " + std::string(log_path); }

}  // namespace pcpos::screen
