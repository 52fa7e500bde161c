#include "link/cancellable_lookup.h"

#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "link/errors.h"

namespace pcpos::net {
namespace {

// Shared by the caller and the lookup thread, so that whichever ends last frees it.
struct LookupState {
  std::mutex mutex;
  std::uint32_t address = 0;
  std::exception_ptr error;
  Waker done;
};

}  // namespace

std::uint32_t LookupIPv4Cancellable(const std::string& host, const Waker* waker) {
  if (waker == nullptr) return LookupIPv4(host);
  if (waker->IsWoken()) throw Canceled();

  auto state = std::make_shared<LookupState>();
  std::thread([state, host] {
    try {
      const std::uint32_t address = LookupIPv4(host);
      const std::lock_guard lock(state->mutex);
      state->address = address;
    } catch (...) {
      const std::lock_guard lock(state->mutex);
      state->error = std::current_exception();
    }
    state->done.Wake();
  }).detach();

  // The done waker's handle is readable once the thread has finished.
  if (WaitReadable(state->done.Handle(), -1, waker) == Readiness::Woken) throw Canceled();
  const std::lock_guard lock(state->mutex);
  if (state->error) std::rethrow_exception(state->error);
  return state->address;
}

}  // namespace pcpos::net
