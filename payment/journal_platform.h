// What the journal's platform files share. Internal to payment/.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <thread>

#include "payment/journal.h"

namespace pcpos::journal_detail {

// A spreadsheet takes the file for UTF-8 only with this mark, and shows the
// Persian result texts as mojibake without it.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Another writer holds the file only for the moment of one row; waiting in
// short steps keeps a stuck holder from blocking a payment for ever.
template <typename TryOnce>
bool WithinLockWait(TryOnce&& try_once) {
  const auto deadline = std::chrono::steady_clock::now() + kJournalLockWait;
  for (;;) {
    if (try_once()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

inline std::string FirstRowsOfNewFile(std::string_view header) {
  return std::string(kByteOrderMark) + std::string(header) + "\r\n";
}

}  // namespace pcpos::journal_detail
