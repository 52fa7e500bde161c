// The command-line client: one payment with the given texts, outputs printed
// as they happen, or one JSON object at the end.
#pragma once

#include <iosfwd>

namespace pcpos {

inline constexpr int kExitGreen = 0;
inline constexpr int kExitNotGreen = 1;
inline constexpr int kExitUsage = 2;

class PaymentTransaction;

// Called with the running transaction (nullptr once it has ended), so that a
// signal handler can cancel it.
using TransactionHook = void (*)(PaymentTransaction*);

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           TransactionHook hook = nullptr);

}  // namespace pcpos
