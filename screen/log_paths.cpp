#include "screen/log_paths.h"

#include "payment/journal.h"
#include "payment/response_log.h"

namespace pcpos::screen {

namespace {

std::string BothFiles(const std::string& log_path) {
  const std::string prefix = log_path.substr(0, log_path.size() - kLogFileName.size());
  return "Log: " + log_path + "\nJournal: " + prefix + std::string(kJournalFileName);
}

}  // namespace

// The tip follows every keystroke on the window's thread, so it never asks the
// file system: a folder on a share whose server is down would freeze the
// window. Where the rule's answer depends on whether the folder exists, the tip
// names both; the raw pane names the file a payment really wrote.
std::string LogFolderTip(std::string_view folder_text) {
  const std::string as_folder = LogFilePath(folder_text, [](const std::string&) { return true; });
  const std::string as_typed = LogFilePath(folder_text, [](const std::string&) { return false; });
  if (as_folder == as_typed) return BothFiles(as_typed);
  const std::string folder = as_typed.substr(0, as_typed.size() - kLogFileName.size());
  return BothFiles(as_folder) + "\nwhen " + folder + " is a folder; if not:\n" +
         BothFiles(as_typed);
}

std::string LogWrittenLine(std::string_view log_path) { return "Log: " + std::string(log_path); }

}  // namespace pcpos::screen
