// The jit dispatch lock and the count of guest calls in progress: the
// outermost lock of the runtime. Guest calls hold the lock for their whole
// duration; rebinding storage takes it through the rebind guard.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "poison_mutex.hpp"

namespace vexlor {

PoisonMutex& jit_dispatch_lock();
std::atomic<uint64_t>& guest_execution_count();

// Counts one guest call for the lifetime of the object.
class GuestExecutionScope {
 public:
  GuestExecutionScope() { guest_execution_count().fetch_add(1, std::memory_order_acq_rel); }
  ~GuestExecutionScope() { guest_execution_count().fetch_sub(1, std::memory_order_acq_rel); }
  GuestExecutionScope(const GuestExecutionScope&) = delete;
  GuestExecutionScope& operator=(const GuestExecutionScope&) = delete;
};

}  // namespace vexlor
