#include "profiler.hpp"

#include <time.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

namespace vexlor {
namespace {

constexpr uint64_t kMaxU64 = std::numeric_limits<uint64_t>::max();

// (root, function id) packed so that ordering the packed value orders by
// root first, then function id.
using AggregateKey = uint64_t;

AggregateKey aggregate_key(JitProfileRoot root, uint32_t function_id) {
  return (uint64_t{root} << 32) | function_id;
}
JitProfileRoot key_root(AggregateKey key) { return static_cast<JitProfileRoot>(key >> 32); }
uint32_t key_function(AggregateKey key) { return static_cast<uint32_t>(key); }

struct JitProfileAggregate {
  std::atomic<uint64_t> calls{0};
  std::atomic<uint64_t> total_ns{0};
  std::atomic<uint64_t> self_ns{0};
  std::atomic<uint64_t> max_ns{0};
};

struct JitProfilePendingAggregate {
  uint64_t calls = 0;
  uint64_t total_ns = 0;
  uint64_t self_ns = 0;
  uint64_t max_ns = 0;
};

// Entries are never removed, so a pointer to an aggregate stays valid for
// the life of the process and threads may cache it.
struct AggregateTable {
  std::shared_mutex lock;
  std::map<AggregateKey, std::unique_ptr<JitProfileAggregate>> aggregates;
};

// Never destroyed: threads that outlive static destruction may still hold
// handles into it.
AggregateTable& aggregate_table() {
  static AggregateTable* table = new AggregateTable;
  return *table;
}

// Read without a lock on the instrumented path.
std::atomic<bool> JIT_PROFILE_ENABLED{false};
std::atomic<uint64_t> JIT_PROFILE_GENERATION{0};

// Thread-local open-addressing map from aggregate key to shared aggregate:
// the instrumented path's only lookup, so it avoids the cost of a general
// hash map.
class AggregateHandleCache {
 public:
  JitProfileAggregate* find(AggregateKey key) const {
    if (slots_.empty()) return nullptr;
    for (size_t i = slot_of(key);; i = (i + 1) & mask()) {
      const Slot& slot = slots_[i];
      if (slot.aggregate == nullptr) return nullptr;
      if (slot.key == key) return slot.aggregate;
    }
  }

  void insert(AggregateKey key, JitProfileAggregate* aggregate) {
    if ((used_ + 1) * 2 > slots_.size()) grow();
    place(key, aggregate);
    ++used_;
  }

  void clear() {
    slots_.clear();
    used_ = 0;
  }

 private:
  struct Slot {
    AggregateKey key;
    JitProfileAggregate* aggregate;  // nullptr marks an empty slot
  };

  size_t mask() const { return slots_.size() - 1; }
  size_t slot_of(AggregateKey key) const {
    // Fibonacci hashing spreads the low function-id bits over the table.
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & mask();
  }

  void place(AggregateKey key, JitProfileAggregate* aggregate) {
    size_t i = slot_of(key);
    while (slots_[i].aggregate != nullptr) i = (i + 1) & mask();
    slots_[i] = Slot{key, aggregate};
  }

  void grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, Slot{0, nullptr});
    for (const Slot& slot : old) {
      if (slot.aggregate != nullptr) place(slot.key, slot.aggregate);
    }
  }

  std::vector<Slot> slots_;
  size_t used_ = 0;
};

// One open call. An entry needs no generation of its own: the generation
// check empties the stack whenever the generation changes, so every entry
// belongs to its state's generation.
struct JitProfileFrame {
  std::optional<uint64_t> frame;
  timespec start;
  uint64_t child_ns;
  uint32_t function_id;
  JitProfileRoot root;
};

// Per frame id, the frame's held-back calls ordered by (root, function).
using PendingFrame = std::map<AggregateKey, JitProfilePendingAggregate>;

struct JitProfileState {
  std::vector<JitProfileFrame> stack;
  AggregateHandleCache handles;
  std::unordered_map<uint64_t, PendingFrame> pending;
  // Ids of this thread's frame guards that are still open, innermost last.
  // Guards outlive generations, so the generation check leaves this alone.
  std::vector<uint64_t> open_frames;
  uint64_t generation = 0;
};

thread_local JitProfileState t_state;
thread_local JitProfileRoot t_current_root = kJitProfileDefaultRoot;
thread_local std::optional<uint64_t> t_current_frame;

uint64_t saturating_add(uint64_t a, uint64_t b) { return b > kMaxU64 - a ? kMaxU64 : a + b; }

timespec monotonic_now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now;
}

uint64_t saturating_elapsed_ns(const timespec& start, const timespec& now) {
  int64_t seconds = static_cast<int64_t>(now.tv_sec) - static_cast<int64_t>(start.tv_sec);
  int64_t nanos = static_cast<int64_t>(now.tv_nsec) - static_cast<int64_t>(start.tv_nsec);
  if (nanos < 0) {
    nanos += 1000000000;
    --seconds;
  }
  if (seconds < 0) return 0;
  const uint64_t whole = static_cast<uint64_t>(seconds);
  if (whole > kMaxU64 / 1000000000u) return kMaxU64;
  return saturating_add(whole * 1000000000u, static_cast<uint64_t>(nanos));
}

void raise_max(std::atomic<uint64_t>& max, uint64_t value) {
  uint64_t seen = max.load(std::memory_order_relaxed);
  while (value > seen && !max.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
  }
}

void add_to_aggregate(JitProfileAggregate& aggregate, uint64_t calls, uint64_t total_ns,
                      uint64_t self_ns, uint64_t max_ns) {
  aggregate.calls.fetch_add(calls, std::memory_order_relaxed);
  aggregate.total_ns.fetch_add(total_ns, std::memory_order_relaxed);
  aggregate.self_ns.fetch_add(self_ns, std::memory_order_relaxed);
  raise_max(aggregate.max_ns, max_ns);
}

// Caller holds the table's write lock.
JitProfileAggregate& aggregate_for_locked(AggregateTable& table, AggregateKey key) {
  std::unique_ptr<JitProfileAggregate>& slot = table.aggregates[key];
  if (!slot) slot = std::make_unique<JitProfileAggregate>();
  return *slot;
}

JitProfileAggregate& cached_aggregate(JitProfileState& state, AggregateKey key) {
  if (JitProfileAggregate* cached = state.handles.find(key)) return *cached;
  AggregateTable& table = aggregate_table();
  JitProfileAggregate* aggregate;
  {
    std::unique_lock hold(table.lock);
    aggregate = &aggregate_for_locked(table, key);
  }
  state.handles.insert(key, aggregate);
  return *aggregate;
}

void add_pending(JitProfileState& state, uint64_t frame_id, AggregateKey key, uint64_t total_ns,
                 uint64_t self_ns) {
  // A call that outlived its frame's guard has no frame left to join: that
  // frame was committed or discarded already. Keeping it would leak it, or
  // hand it to a later frame that reuses the id.
  const std::vector<uint64_t>& open = state.open_frames;
  if (std::find(open.begin(), open.end(), frame_id) == open.end()) return;
  JitProfilePendingAggregate& pending = state.pending[frame_id][key];
  pending.calls = saturating_add(pending.calls, 1);
  pending.total_ns = saturating_add(pending.total_ns, total_ns);
  pending.self_ns = saturating_add(pending.self_ns, self_ns);
  pending.max_ns = std::max(pending.max_ns, total_ns);
}

void discard_open_calls(JitProfileState& state) {
  state.stack.clear();
  state.pending.clear();
}

void sync_jit_profile_generation(JitProfileState& state, uint64_t generation) {
  if (state.generation == generation) return;
  state.generation = generation;
  discard_open_calls(state);
  state.handles.clear();
}

bool profiler_enabled() { return JIT_PROFILE_ENABLED.load(std::memory_order_acquire); }

uint64_t current_generation() { return JIT_PROFILE_GENERATION.load(std::memory_order_acquire); }

// The measuring halves of enter and leave stay out of line so that the
// disabled path is a flag test and a return, with no register saves.
[[gnu::noinline]] void record_enter(uint32_t function_id) {
  const uint64_t generation = current_generation();
  const timespec start = monotonic_now();
  JitProfileState& state = t_state;
  sync_jit_profile_generation(state, generation);
  state.stack.push_back(JitProfileFrame{t_current_frame, start, 0, function_id, t_current_root});
}

[[gnu::noinline]] void record_leave(uint32_t function_id) {
  JitProfileState& state = t_state;
  sync_jit_profile_generation(state, current_generation());
  if (state.stack.empty()) return;
  const JitProfileFrame entry = state.stack.back();
  state.stack.pop_back();
  if (entry.function_id != function_id) {
    // An unbalanced leave: no open call of this thread can be trusted.
    state.stack.clear();
    return;
  }
  const uint64_t total_ns = saturating_elapsed_ns(entry.start, monotonic_now());
  const uint64_t self_ns = total_ns > entry.child_ns ? total_ns - entry.child_ns : 0;
  if (!state.stack.empty()) {
    uint64_t& parent_child_ns = state.stack.back().child_ns;
    parent_child_ns = saturating_add(parent_child_ns, total_ns);
  }
  const AggregateKey key = aggregate_key(entry.root, function_id);
  if (entry.frame) {
    add_pending(state, *entry.frame, key, total_ns, self_ns);
  } else {
    add_to_aggregate(cached_aggregate(state, key), 1, total_ns, self_ns, total_ns);
  }
}

}  // namespace

void enable_jit_profiler() {
  reset_jit_profile();
  JIT_PROFILE_ENABLED.store(true, std::memory_order_release);
}

void disable_jit_profiler() {
  JIT_PROFILE_ENABLED.store(false, std::memory_order_release);
  discard_open_calls(t_state);
}

void reset_jit_profile() {
  const uint64_t generation = JIT_PROFILE_GENERATION.fetch_add(1, std::memory_order_acq_rel) + 1;
  sync_jit_profile_generation(t_state, generation);
  AggregateTable& table = aggregate_table();
  std::shared_lock hold(table.lock);
  for (auto& entry : table.aggregates) {
    JitProfileAggregate& aggregate = *entry.second;
    aggregate.calls.store(0, std::memory_order_relaxed);
    aggregate.total_ns.store(0, std::memory_order_relaxed);
    aggregate.self_ns.store(0, std::memory_order_relaxed);
    aggregate.max_ns.store(0, std::memory_order_relaxed);
  }
}

std::vector<JitProfileSample> jit_profile_snapshot() {
  std::vector<JitProfileSample> samples;
  AggregateTable& table = aggregate_table();
  std::shared_lock hold(table.lock);
  // The table is ordered by key, so the samples come out sorted.
  for (const auto& [key, aggregate] : table.aggregates) {
    const uint64_t calls = aggregate->calls.load(std::memory_order_relaxed);
    if (calls == 0) continue;
    samples.push_back(JitProfileSample{calls, aggregate->total_ns.load(std::memory_order_relaxed),
                                       aggregate->self_ns.load(std::memory_order_relaxed),
                                       aggregate->max_ns.load(std::memory_order_relaxed),
                                       key_function(key), key_root(key)});
  }
  return samples;
}

JitProfileRootGuard JitProfileRootGuard::enter(JitProfileRoot root) {
  const JitProfileRoot previous = t_current_root;
  t_current_root = root;
  return JitProfileRootGuard(previous);
}

JitProfileRootGuard::~JitProfileRootGuard() { t_current_root = previous_; }

JitProfileFrameGuard JitProfileFrameGuard::enter(uint64_t frame_id) {
  const std::optional<uint64_t> previous = t_current_frame;
  t_current_frame = frame_id;
  t_state.open_frames.push_back(frame_id);
  return JitProfileFrameGuard(previous, frame_id);
}

void JitProfileFrameGuard::end_frame() {
  t_current_frame = previous_frame_;
  std::vector<uint64_t>& open = t_state.open_frames;
  const auto last = std::find(open.rbegin(), open.rend(), frame_id_);
  if (last != open.rend()) open.erase(std::next(last).base());
}

// A committed guard ended its frame already; ending it again here would
// undo a frame that was made current after the commit.
JitProfileFrameGuard::~JitProfileFrameGuard() {
  if (committed_) return;
  end_frame();
  t_state.pending.erase(frame_id_);
}

std::vector<JitProfileSample> JitProfileFrameGuard::commit() {
  if (committed_) return {};
  end_frame();
  committed_ = true;
  auto found = t_state.pending.find(frame_id_);
  if (found == t_state.pending.end()) return {};
  const PendingFrame pending = std::move(found->second);
  t_state.pending.erase(found);

  std::vector<JitProfileSample> samples;
  samples.reserve(pending.size());
  AggregateTable& table = aggregate_table();
  std::unique_lock hold(table.lock);
  for (const auto& [key, entry] : pending) {
    add_to_aggregate(aggregate_for_locked(table, key), entry.calls, entry.total_ns, entry.self_ns,
                     entry.max_ns);
    samples.push_back(JitProfileSample{entry.calls, entry.total_ns, entry.self_ns, entry.max_ns,
                                       key_function(key), key_root(key)});
  }
  return samples;
}

}  // namespace vexlor

extern "C" VEXLOR_EXPORT void vexlor_jit_profile_frame_enter(uint32_t function_id) noexcept {
  if (vexlor::profiler_enabled()) vexlor::record_enter(function_id);
}

extern "C" VEXLOR_EXPORT void vexlor_jit_profile_frame_leave(uint32_t function_id) noexcept {
  if (vexlor::profiler_enabled()) vexlor::record_leave(function_id);
}
