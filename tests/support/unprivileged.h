// File permission checks that hold also when the tests run as root, which
// ignores permission bits: the check then runs in a child process that has
// given up root (POSIX only).
#pragma once

#include <functional>

namespace pcpos::testing {

#ifndef _WIN32
// The user and group the child takes when the tests run as root ("nobody").
inline constexpr unsigned kUnprivilegedId = 65534;

// Runs `body` where permission bits apply and returns its result (0..255).
// Not root: runs it directly. Root: runs it in a forked child that has dropped
// to kUnprivilegedId; the child's exit status carries the result. An exception
// escaping the body, or a child that could not drop its privileges, gives
// kUnprivilegedFailure.
inline constexpr int kUnprivilegedFailure = 255;
int RunUnprivileged(const std::function<int()>& body);
#endif

}  // namespace pcpos::testing
