// The payment journal: one CSV row per payment attempt, appended beside the
// response log, so that a day of payments can be shown afterwards.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "payment/transaction.h"

namespace pcpos {

inline constexpr std::string_view kJournalFileName = "Selvarin-PcPosJournal.csv";
inline constexpr std::string_view kJournalHeader =
    "time,host,port,amount,request,answer,response_code,result,outcome,connect_ms,answer_ms,error";

// How long a writer waits for another one to finish its row before it gives up.
inline constexpr std::chrono::milliseconds kJournalLockWait{2000};

// The journal beside the response log: the same folder rule (LogFolderPrefix).
std::string JournalFilePath(std::string_view folder);

// One field as RFC 4180 wants it: quoted, with quotes doubled, when it holds a
// comma, a quote, CR or LF; as it is otherwise.
std::string CsvField(std::string_view text);

// A cell from outside as the journal writes one (see JournalRow): control
// characters, DEL and backslash as "\xNN", a would-be formula prefixed with an
// apostrophe, then CsvField. Other CSV files of the tool use it for theirs.
std::string SafeCsvCell(std::string_view text);

// Local time with its offset from UTC, to the second: "2026-12-08T13:05:09+03:30".
std::string LocalIsoTime(std::chrono::system_clock::time_point when);

// The row for one payment, CR LF included, on one physical line whatever the
// reader sent. The cells that come from outside (host, port, amount, request,
// answer) are written as received (the answer's card number masked to its
// first six and last four digits) except that each control character, DEL and
// backslash is "\xNN" (uppercase hex), and that one which a spreadsheet would
// take for a formula (starting with '=', '+', '-', '@' or an apostrophe, and
// not a plain number such as "-5") is prefixed with an apostrophe; a request or
// answer that starts with the reader's header is never prefixed. The tool's own
// texts (result, error) have each line break as " / ". response_code is the
// code only when it is readable (digits once trimmed), else empty. Times are
// milliseconds with one decimal ("12.3"), empty for a phase not reached.
std::string JournalRow(const PaymentInputs& inputs, const PaymentReport& report,
                       std::chrono::system_clock::time_point started);

// A cell of bytes from the wire, and a cell of the tool's own text, by the
// rules of JournalRow; for other journals of the same kind.
std::string WireCell(std::string_view bytes);
std::string OwnTextCell(std::string_view text);

// Appends the bytes of whole rows to the journal at `path` in one write, while
// holding the file against other writers, and returns only once they are on
// the disk (fdatasync, FlushFileBuffers); whoever creates the file writes the
// byte-order mark and the header first. Throws LogFileError.
void AppendJournalRows(const std::string& path, std::string_view rows,
                       std::string_view header = kJournalHeader);

// Journals one payment in the journal beside its response log (the inputs' log
// folder). Returns the message of an error that kept the row out, for the
// caller to show; the payment's outcome is not touched either way.
std::optional<std::string> JournalPayment(const PaymentInputs& inputs, const PaymentReport& report,
                                          std::chrono::system_clock::time_point started);

}  // namespace pcpos
