// A name server that never answers, for tests of a lookup that hangs. The body
// runs in a child process with a network of its own (loopback only) whose
// resolver is a UDP socket on 127.0.0.1:53 that reads nothing, so the machine's
// real network and name servers are never touched.
#pragma once

#include <functional>
#include <optional>

namespace pcpos::testing {

// A name that only DNS could resolve: "files" does not know it.
inline constexpr const char* kUnanswerableName = "card-reader.pcpos-test";

// The body's result (0..255), or nullopt when this machine does not allow the
// namespaces (the caller skips). A body that throws gives 255.
std::optional<int> RunWithSilentResolver(const std::function<int()>& body);

}  // namespace pcpos::testing
