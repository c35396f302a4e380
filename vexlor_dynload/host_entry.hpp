// Host entry for development hosts that supply the game code at run time:
// the published entry targets, the trampolines that call through them, the
// guarded invocation of guest functions under the jit dispatch lock, and the
// code-swap hook with its rejection.
#pragma once

#include <cstdint>
#include <optional>

#include "export.hpp"
#include "result.hpp"

namespace vexlor {

// An address that may be absent; present with address 0 is possible and
// means "present but not callable".
struct OptionalAddress {
  bool present;
  uint64_t address;
};

struct JitHostEntryTargets {
  OptionalAddress render_begin;  // void()
  OptionalAddress render_end;    // int32_t(int32_t status)
  OptionalAddress code_swap;     // void()
  uint64_t revision;
  uint64_t main;    // int32_t()
  uint64_t tick;    // int32_t()
  uint64_t render;  // int32_t(int32_t arg)
};

Status validate_jit_host_entry_targets(const JitHostEntryTargets& targets);
// Installs the record whatever revision was installed before.
Status begin_jit_host_entry_session(const JitHostEntryTargets& targets);
// Installs the record only over a lower revision.
Status publish_jit_host_entry_targets(const JitHostEntryTargets& targets);
std::optional<JitHostEntryTargets> jit_host_entry_targets();

// Guarded invocation: the call runs under the jit dispatch lock and is
// counted in guest_execution_count. An exception escaping the guest poisons
// the lock; every later guarded invocation then stops the process.
Result<int32_t> invoke_noarg_i32(uint64_t address);
Result<uint64_t> invoke_noarg_u64(uint64_t address);
Status invoke_noarg_void(uint64_t address);
Result<int32_t> invoke_i32_to_i32(uint64_t address, int32_t a);
Status invoke_i32_to_void(uint64_t address, int32_t a);
Result<int32_t> invoke_i32_i32_to_i32(uint64_t address, int32_t a, int32_t b);
Status invoke_i32_i32_to_void(uint64_t address, int32_t a, int32_t b);
Result<int32_t> invoke_i32_i32_i32_to_i32(uint64_t address, int32_t a, int32_t b, int32_t c);
Status invoke_i32_i32_i32_to_void(uint64_t address, int32_t a, int32_t b, int32_t c);
Status invoke_i32_i32_i32_i32_to_void(uint64_t address, int32_t a, int32_t b, int32_t c, int32_t d);
Status invoke_i32_i32_i32_f32_to_void(uint64_t address, int32_t a, int32_t b, int32_t c, float d);

// Runs a code-swap hook (void()) guarded, with external links suppressed on
// this thread; fails with the hook's own rejection if it asked for one.
Status invoke_code_swap_hook(uint64_t hook);

// Set on this thread while a code-swap hook runs; the link service opens
// nothing while it is set.
bool jit_external_link_suppressed();

}  // namespace vexlor

extern "C" {
VEXLOR_EXPORT int32_t vexlor_jit_host_main_trampoline() noexcept;
VEXLOR_EXPORT int32_t vexlor_jit_host_tick_trampoline() noexcept;
VEXLOR_EXPORT int32_t vexlor_jit_host_render_trampoline(int32_t arg) noexcept;
VEXLOR_EXPORT void vexlor_jit_host_on_code_swap_trampoline() noexcept;
VEXLOR_EXPORT void vexlor_jit_reject_code_swap() noexcept;
}
