#include "dispatch.hpp"

#include <cstdio>
#include <cstdlib>

namespace vexlor {

void fatal_stop(const char* message) noexcept {
  std::fprintf(stderr, "%s\n", message);
  std::fflush(stderr);
  std::abort();
}

PoisonMutex& jit_dispatch_lock() {
  static PoisonMutex lock("jit dispatch lock mutex poisoned");
  return lock;
}

std::atomic<uint64_t>& guest_execution_count() {
  static std::atomic<uint64_t> count{0};
  return count;
}

}  // namespace vexlor
