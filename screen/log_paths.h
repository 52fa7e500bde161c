// Where a payment's files go, said where the operator can see it: the log
// folder box's tooltip names both files for the folder text as it stands, and
// the raw pane names the log a payment wrote. The folder rule (a final
// separator added only for an existing folder) surprises no one who can see it.
#pragma once

#include <string>
#include <string_view>

namespace pcpos::screen {

// "Log: <path>\nJournal: <path>", the files a payment would write with this
// folder text, by the same rule the payment uses. It asks the file system
// nothing: where the rule's answer hangs on whether the text names an existing
// folder, it gives the files inside that folder, then the files as typed.
std::string LogFolderTip(std::string_view folder_text);

// The raw pane's last line once a payment has written its log: "Log: <path>".
std::string LogWrittenLine(std::string_view log_path);

}  // namespace pcpos::screen
