// A name lookup that the operator can abandon. The platform resolver has no
// cancel of its own and may take as long as its name servers do, so it runs on
// a thread of its own; the caller waits for either its result or the waker.
#pragma once

#include <cstdint>
#include <string>

#include "link/socket.h"

namespace pcpos::net {

// The first IPv4 address of the name, as LookupIPv4 gives it. Throws Canceled
// as soon as the waker (may be null: no cancel) fires; an abandoned lookup ends
// on its own thread and its result is dropped.
std::uint32_t LookupIPv4Cancellable(const std::string& host, const Waker* waker);

}  // namespace pcpos::net
