// Frame profiler: instrumented game code reports function entry and exit;
// each thread keeps a stack of its open calls and, at every return, adds the
// call's total and self time to a shared aggregate per (root, function).
// Calls made while a frame guard is current are held back on their thread
// until the host commits the frame.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "export.hpp"

extern "C" {
VEXLOR_EXPORT void vexlor_jit_profile_frame_enter(uint32_t function_id) noexcept;
VEXLOR_EXPORT void vexlor_jit_profile_frame_leave(uint32_t function_id) noexcept;
}

namespace vexlor {

// Names the entry point under which code runs; the values are the host's.
using JitProfileRoot = uint8_t;

// The root every thread starts with.
inline constexpr JitProfileRoot kJitProfileDefaultRoot = 2;

struct JitProfileSample {
  uint64_t calls;
  uint64_t total_ns;
  uint64_t self_ns;
  uint64_t max_ns;  // the largest single total
  uint32_t function_id;
  JitProfileRoot root;
};

void enable_jit_profiler();
void disable_jit_profiler();
// Starts a new generation: open calls on every thread are dropped and every
// shared aggregate is zeroed.
void reset_jit_profile();
// One sample per aggregate with at least one call, sorted by (root, function).
std::vector<JitProfileSample> jit_profile_snapshot();

// Makes `root` the calling thread's current root until the guard ends.
class JitProfileRootGuard {
 public:
  static JitProfileRootGuard enter(JitProfileRoot root);
  ~JitProfileRootGuard();
  JitProfileRootGuard(const JitProfileRootGuard&) = delete;
  JitProfileRootGuard& operator=(const JitProfileRootGuard&) = delete;

 private:
  explicit JitProfileRootGuard(JitProfileRoot previous) : previous_(previous) {}
  JitProfileRoot previous_;
};

// Makes `frame_id` the calling thread's current frame. Calls that begin while
// it is current are held back until commit(); a guard that ends without a
// commit discards them, and so are calls that are still open when the guard
// ends. A guard belongs to the thread that entered it.
class JitProfileFrameGuard {
 public:
  static JitProfileFrameGuard enter(uint64_t frame_id);
  ~JitProfileFrameGuard();
  JitProfileFrameGuard(const JitProfileFrameGuard&) = delete;
  JitProfileFrameGuard& operator=(const JitProfileFrameGuard&) = delete;

  // Restores the previous frame, adds the frame's calls to the shared
  // aggregates and returns them sorted by (root, function). Every commit
  // after the first returns an empty list.
  std::vector<JitProfileSample> commit();

 private:
  JitProfileFrameGuard(std::optional<uint64_t> previous, uint64_t frame_id)
      : previous_frame_(previous), frame_id_(frame_id) {}
  // Makes the previous frame current again and closes this one.
  void end_frame();
  std::optional<uint64_t> previous_frame_;
  uint64_t frame_id_;
  bool committed_ = false;
};

}  // namespace vexlor
