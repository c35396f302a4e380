#include "host_entry.hpp"

#include <atomic>
#include <mutex>
#include <string>
#include <type_traits>

#include "dispatch.hpp"
#include "poison_mutex.hpp"

namespace vexlor {
namespace {

constexpr const char* missing_targets_message =
    "JIT host-entry publication requires non-zero main, tick, and render targets";
constexpr const char* null_function_message = "cannot invoke null function pointer";
constexpr const char* rejection_message = "hook requested rejection";

// A published record is never modified or released, so a trampoline that
// loaded the pointer keeps a valid record. Each record links to the one it
// replaced, which keeps every record reachable for the life of the process.
struct PublishedTargets {
  JitHostEntryTargets targets;
  const PublishedTargets* replaced;
};

std::atomic<const PublishedTargets*> JIT_HOST_ENTRY_TARGETS{nullptr};
// Serialises the revision check with the install.
std::mutex publication_mutex;

thread_local std::optional<std::string> pending_rejection;
thread_local bool external_link_suppressed = false;

void install(const JitHostEntryTargets& targets) {
  const PublishedTargets* previous = JIT_HOST_ENTRY_TARGETS.load(std::memory_order_acquire);
  JIT_HOST_ENTRY_TARGETS.store(new PublishedTargets{targets, previous}, std::memory_order_release);
}

const JitHostEntryTargets* installed_targets() {
  const PublishedTargets* published = JIT_HOST_ENTRY_TARGETS.load(std::memory_order_acquire);
  return published ? &published->targets : nullptr;
}

template <class Function>
Function* function_at(uint64_t address) {
  return reinterpret_cast<Function*>(static_cast<uintptr_t>(address));
}

template <class R, class... Args>
Result<R> invoke_guarded(uint64_t address, Args... args) {
  if (address == 0) return error(null_function_message);
  PoisonGuard hold(jit_dispatch_lock());
  GuestExecutionScope counted;
  if constexpr (std::is_void_v<R>) {
    function_at<void(Args...)>(address)(args...);
    return {};
  } else {
    return function_at<R(Args...)>(address)(args...);
  }
}

// Sets this thread's suppression flag for the object's lifetime.
class ExternalLinkSuppression {
 public:
  ExternalLinkSuppression() : previous_(external_link_suppressed) { external_link_suppressed = true; }
  ~ExternalLinkSuppression() { external_link_suppressed = previous_; }
  ExternalLinkSuppression(const ExternalLinkSuppression&) = delete;
  ExternalLinkSuppression& operator=(const ExternalLinkSuppression&) = delete;

 private:
  bool previous_;
};

int32_t call_entry(uint64_t address) {
  if (address == 0) return -1;
  return function_at<int32_t()>(address)();
}

}  // namespace

Status validate_jit_host_entry_targets(const JitHostEntryTargets& targets) {
  if (targets.main == 0 || targets.tick == 0 || targets.render == 0) return error(missing_targets_message);
  return {};
}

Status begin_jit_host_entry_session(const JitHostEntryTargets& targets) {
  Status valid = validate_jit_host_entry_targets(targets);
  if (!valid) return valid;
  std::lock_guard hold(publication_mutex);
  install(targets);
  return {};
}

Status publish_jit_host_entry_targets(const JitHostEntryTargets& targets) {
  Status valid = validate_jit_host_entry_targets(targets);
  if (!valid) return valid;
  std::lock_guard hold(publication_mutex);
  if (const JitHostEntryTargets* active = installed_targets(); active && targets.revision <= active->revision) {
    return error("stale JIT host-entry revision " + std::to_string(targets.revision) +
                 " cannot replace active revision " + std::to_string(active->revision));
  }
  install(targets);
  return {};
}

std::optional<JitHostEntryTargets> jit_host_entry_targets() {
  const JitHostEntryTargets* active = installed_targets();
  if (!active) return std::nullopt;
  return *active;
}

Result<int32_t> invoke_noarg_i32(uint64_t address) { return invoke_guarded<int32_t>(address); }
Result<uint64_t> invoke_noarg_u64(uint64_t address) { return invoke_guarded<uint64_t>(address); }
Status invoke_noarg_void(uint64_t address) { return invoke_guarded<void>(address); }
Result<int32_t> invoke_i32_to_i32(uint64_t address, int32_t a) { return invoke_guarded<int32_t>(address, a); }
Status invoke_i32_to_void(uint64_t address, int32_t a) { return invoke_guarded<void>(address, a); }
Result<int32_t> invoke_i32_i32_to_i32(uint64_t address, int32_t a, int32_t b) {
  return invoke_guarded<int32_t>(address, a, b);
}
Status invoke_i32_i32_to_void(uint64_t address, int32_t a, int32_t b) { return invoke_guarded<void>(address, a, b); }
Result<int32_t> invoke_i32_i32_i32_to_i32(uint64_t address, int32_t a, int32_t b, int32_t c) {
  return invoke_guarded<int32_t>(address, a, b, c);
}
Status invoke_i32_i32_i32_to_void(uint64_t address, int32_t a, int32_t b, int32_t c) {
  return invoke_guarded<void>(address, a, b, c);
}
Status invoke_i32_i32_i32_i32_to_void(uint64_t address, int32_t a, int32_t b, int32_t c, int32_t d) {
  return invoke_guarded<void>(address, a, b, c, d);
}
Status invoke_i32_i32_i32_f32_to_void(uint64_t address, int32_t a, int32_t b, int32_t c, float d) {
  return invoke_guarded<void>(address, a, b, c, d);
}

Status invoke_code_swap_hook(uint64_t hook) {
  ExternalLinkSuppression suppressed;
  pending_rejection.reset();
  Status called = invoke_noarg_void(hook);
  if (!called) return called;
  std::optional<std::string> rejection = std::exchange(pending_rejection, std::nullopt);
  if (rejection) return error(std::move(*rejection));
  return {};
}

bool jit_external_link_suppressed() { return external_link_suppressed; }

}  // namespace vexlor

using namespace vexlor;

extern "C" {

int32_t vexlor_jit_host_main_trampoline() noexcept {
  const JitHostEntryTargets* targets = installed_targets();
  return targets ? call_entry(targets->main) : -1;
}

int32_t vexlor_jit_host_tick_trampoline() noexcept {
  const JitHostEntryTargets* targets = installed_targets();
  return targets ? call_entry(targets->tick) : -1;
}

int32_t vexlor_jit_host_render_trampoline(int32_t arg) noexcept {
  const JitHostEntryTargets* targets = installed_targets();
  if (!targets) return -1;
  const OptionalAddress begin = targets->render_begin;
  const OptionalAddress end = targets->render_end;
  if (!begin.present) {
    if (end.present || targets->render == 0) return -1;
    return function_at<int32_t(int32_t)>(targets->render)(arg);
  }
  if (!end.present) return -1;
  if (begin.address != 0) function_at<void()>(begin.address)();
  const int32_t status = targets->render != 0 ? function_at<int32_t(int32_t)>(targets->render)(arg) : -1;
  return end.address != 0 ? function_at<int32_t(int32_t)>(end.address)(status) : -1;
}

void vexlor_jit_host_on_code_swap_trampoline() noexcept {
  const JitHostEntryTargets* targets = installed_targets();
  ExternalLinkSuppression suppressed;
  if (targets && targets->code_swap.present && targets->code_swap.address != 0) {
    function_at<void()>(targets->code_swap.address)();
  }
}

void vexlor_jit_reject_code_swap() noexcept { pending_rejection = rejection_message; }

}  // extern "C"
