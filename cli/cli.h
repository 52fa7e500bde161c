// The command-line client: one payment with the given texts, outputs printed
// as they happen, or one JSON object at the end.
#pragma once

#include <iosfwd>

namespace pcpos {

// Exit status by outcome: a script can tell "charge again" (1) from "look at
// the reader first" (3).
inline constexpr int kExitApproved = 0;
inline constexpr int kExitNotApproved = 1;  // declined, not sent, or could not start
inline constexpr int kExitUsage = 2;
inline constexpr int kExitUnknown = 3;

class PaymentTransaction;

// Called with the running transaction (nullptr once it has ended), so that a
// signal handler can cancel it.
using TransactionHook = void (*)(PaymentTransaction*);

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           TransactionHook hook = nullptr);

}  // namespace pcpos
