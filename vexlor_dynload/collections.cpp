#include "collections.hpp"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "fnv.hpp"
#include "storage_tables.hpp"
#include "text.hpp"

namespace vexlor {

namespace {

constexpr const char* owned_array_generic = "owned array table mutex poisoned";
constexpr const char* registered_array_generic = "registered array table mutex poisoned";
constexpr const char* fallback_array_generic = "fallback array table mutex poisoned";

Error host_owned_error(size_t registered_count, size_t minimum) {
  return error("cannot grow host-owned collection storage from " + std::to_string(registered_count) + " to " +
               std::to_string(minimum));
}

bool lane_has_fallback(JitStorageKind kind) {
  return kind == JitStorageKind::I32 || kind == JitStorageKind::F32 || kind == JitStorageKind::F64;
}

const char* unprovisioned_message(JitStorageKind kind) {
  if (kind == JitStorageKind::U8) return "u8 storage was not provisioned";
  if (kind == JitStorageKind::U16) return "u16 storage was not provisioned";
  return nullptr;
}

// Moves fallback elements of the pair below the buffer's size into the buffer.
template <class T>
void migrate_fallback_elements(ArrayLane<T>& lane, PairKey pair, std::vector<T>& buffer) {
  PoisonGuard hold(lane.fallback.mutex, fallback_array_generic);
  auto it = lane.fallback.value.find(pair);
  if (it == lane.fallback.value.end()) return;
  auto& elements = it->second;
  const auto end = elements.lower_bound(static_cast<int32_t>(std::min<size_t>(buffer.size(), INT32_MAX)));
  for (auto element = elements.begin(); element != end; ++element) buffer[element->first] = element->second;
  elements.erase(elements.begin(), end);
  if (elements.empty()) lane.fallback.value.erase(it);
}

// Grows or creates the owned buffer of the pair; refuses to grow memory the
// runtime does not own. Returns the owned buffer when one exists. The caller
// holds the lane's owned and registered tables.
template <class T>
Result<std::vector<T>*> grow_owned_buffer(ArrayLane<T>& lane, PairKey pair, size_t minimum) {
  auto& owned = lane.owned.value;
  auto& registered = lane.registered.value;
  auto buffer = owned.find(pair);
  auto entry = registered.find(pair);
  if (buffer != owned.end()) {
    if (entry != registered.end() && entry->second.address != buffer->second.data()) {
      if (entry->second.count < minimum) return host_owned_error(entry->second.count, minimum);
      return &buffer->second;
    }
    if (buffer->second.size() < minimum) buffer->second.resize(minimum);
    registered[pair] = {buffer->second.data(), buffer->second.size()};
    return &buffer->second;
  }
  if (entry != registered.end()) {
    if (entry->second.count < minimum) return host_owned_error(entry->second.count, minimum);
    return static_cast<std::vector<T>*>(nullptr);
  }
  auto& created = owned.emplace(pair, std::vector<T>(minimum)).first->second;
  registered[pair] = {created.data(), created.size()};
  return &created;
}

template <class T>
Status ensure_capacity_unlocked(ArrayLane<T>& lane, int32_t first, int32_t second, size_t minimum) {
  const JitStorageKind kind = lane.kind;
  if (kind == JitStorageKind::I32 || kind == JitStorageKind::U8 || kind == JitStorageKind::U16) {
    discard_integer_array_lane(first, second, kind);
  }
  const PairKey pair = pair_key(first, second);
  {
    // Keyed accessors write elements under the registered table, so the
    // buffer's contents change only while it is held too.
    PoisonGuard owned_hold(lane.owned.mutex, owned_array_generic);
    PoisonGuard registered_hold(lane.registered.mutex, registered_array_generic);
    auto buffer = grow_owned_buffer(lane, pair, minimum);
    if (!buffer) return error(buffer.error());
    if (*buffer != nullptr && lane_has_fallback(kind)) migrate_fallback_elements(lane, pair, **buffer);
  }
  PoisonGuard hold(lane.registered.mutex, registered_array_generic);
  auto entry = lane.registered.value.find(pair);
  if (entry == lane.registered.value.end()) {
    if (const char* message = unprovisioned_message(kind)) return error(message);
    return {};
  }
  update_direct_storage_slot({kind, first, second}, entry->second.address, entry->second.count);
  return {};
}

template <class T>
Status ensure_capacity(ArrayLane<T>& lane, int32_t first, int32_t second, size_t minimum) {
  auto guard = direct_array_rebind_guard(lane.kind, first, second);
  if (!guard) return error(guard.error());
  return ensure_capacity_unlocked(lane, first, second, minimum);
}

template <class T>
Status preflight_capacity(ArrayLane<T>& lane, int32_t first, int32_t second, size_t minimum) {
  const PairKey pair = pair_key(first, second);
  PoisonGuard owned_hold(lane.owned.mutex, owned_array_generic);
  PoisonGuard registered_hold(lane.registered.mutex, registered_array_generic);
  auto entry = lane.registered.value.find(pair);
  if (entry == lane.registered.value.end()) return {};
  auto buffer = lane.owned.value.find(pair);
  const bool runtime_owned = buffer != lane.owned.value.end() && buffer->second.data() == entry->second.address;
  if (!runtime_owned && entry->second.count < minimum) return host_owned_error(entry->second.count, minimum);
  return {};
}

template <class T>
void discard_pair(ArrayLane<T>& lane, PairKey pair) {
  {
    PoisonGuard hold(lane.registered.mutex);
    lane.registered.value.erase(pair);
  }
  PoisonGuard hold(lane.owned.mutex);
  lane.owned.value.erase(pair);
}

int32_t saturating_add(int32_t a, int32_t b) {
  const int64_t sum = static_cast<int64_t>(a) + b;
  return static_cast<int32_t>(std::clamp<int64_t>(sum, INT32_MIN, INT32_MAX));
}

// Reads every source element before writing any, so overlapping ranges of
// one array copy correctly in either direction.
template <class T>
void keyed_copy(int32_t dst, int32_t dst_start, int32_t count, T (*load)(int32_t, int32_t, int32_t),
                void (*store)(int32_t, int32_t, int32_t, T), int32_t src, int32_t src_start) {
  if (count <= 0) return;
  std::vector<T> elements(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) elements[i] = load(src, 0, saturating_add(src_start, i));
  for (int32_t i = 0; i < count; ++i) store(dst, 0, saturating_add(dst_start, i), elements[i]);
}

const char* collection_suffix(int32_t selector) {
  switch (selector) {
    case collection_length_selector: return ".length";
    case collection_max_length_selector: return ".max_length";
    case collection_char_length_selector: return ".char_length";
    default: return nullptr;
  }
}

int32_t capped(size_t value) { return static_cast<int32_t>(std::min<size_t>(value, INT32_MAX)); }

}  // namespace

Status ensure_jit_i32_array_capacity(int32_t first, int32_t second, size_t minimum) {
  return ensure_capacity(i32_arrays(), first, second, minimum);
}
Status ensure_jit_f32_array_capacity(int32_t first, int32_t second, size_t minimum) {
  return ensure_capacity(f32_arrays(), first, second, minimum);
}
Status ensure_jit_f64_array_capacity(int32_t first, int32_t second, size_t minimum) {
  return ensure_capacity(f64_arrays(), first, second, minimum);
}
Status ensure_jit_u8_array_capacity(int32_t first, int32_t second, size_t minimum) {
  return ensure_capacity(u8_arrays(), first, second, minimum);
}
Status ensure_jit_u16_array_capacity(int32_t first, int32_t second, size_t minimum) {
  return ensure_capacity(u16_arrays(), first, second, minimum);
}

Status ensure_jit_i32_array_capacity_unlocked(int32_t first, int32_t second, size_t minimum) {
  return ensure_capacity_unlocked(i32_arrays(), first, second, minimum);
}
Status ensure_jit_f32_array_capacity_unlocked(int32_t first, int32_t second, size_t minimum) {
  return ensure_capacity_unlocked(f32_arrays(), first, second, minimum);
}
Status ensure_jit_f64_array_capacity_unlocked(int32_t first, int32_t second, size_t minimum) {
  return ensure_capacity_unlocked(f64_arrays(), first, second, minimum);
}
Status ensure_jit_u8_array_capacity_unlocked(int32_t first, int32_t second, size_t minimum) {
  return ensure_capacity_unlocked(u8_arrays(), first, second, minimum);
}
Status ensure_jit_u16_array_capacity_unlocked(int32_t first, int32_t second, size_t minimum) {
  return ensure_capacity_unlocked(u16_arrays(), first, second, minimum);
}

Status ensure_array_capacity_unlocked(JitStorageKind kind, int32_t first, int32_t second, size_t minimum) {
  switch (kind) {
    case JitStorageKind::F32: return ensure_jit_f32_array_capacity_unlocked(first, second, minimum);
    case JitStorageKind::F64: return ensure_jit_f64_array_capacity_unlocked(first, second, minimum);
    case JitStorageKind::U8: return ensure_jit_u8_array_capacity_unlocked(first, second, minimum);
    case JitStorageKind::U16: return ensure_jit_u16_array_capacity_unlocked(first, second, minimum);
    case JitStorageKind::I32: break;
  }
  return ensure_jit_i32_array_capacity_unlocked(first, second, minimum);
}

Status preflight_jit_i32_array_capacity(int32_t first, int32_t second, size_t minimum) {
  return preflight_capacity(i32_arrays(), first, second, minimum);
}
Status preflight_jit_f32_array_capacity(int32_t first, int32_t second, size_t minimum) {
  return preflight_capacity(f32_arrays(), first, second, minimum);
}
Status preflight_jit_f64_array_capacity(int32_t first, int32_t second, size_t minimum) {
  return preflight_capacity(f64_arrays(), first, second, minimum);
}
Status preflight_jit_u8_array_capacity(int32_t first, int32_t second, size_t minimum) {
  return preflight_capacity(u8_arrays(), first, second, minimum);
}
Status preflight_jit_u16_array_capacity(int32_t first, int32_t second, size_t minimum) {
  return preflight_capacity(u16_arrays(), first, second, minimum);
}

std::optional<size_t> jit_i32_array_capacity(int32_t first, int32_t second) {
  auto& lane = i32_arrays();
  const PairKey pair = pair_key(first, second);
  if (auto entry = find_registered_array(lane, pair)) return entry->count;
  {
    PoisonGuard hold(lane.owned.mutex);
    auto buffer = lane.owned.value.find(pair);
    if (buffer != lane.owned.value.end()) return buffer->second.size();
  }
  PoisonGuard hold(lane.fallback.mutex, "jit i32 array table mutex poisoned");
  auto elements = lane.fallback.value.find(pair);
  if (elements == lane.fallback.value.end() || elements->second.empty()) return std::nullopt;
  return static_cast<size_t>(elements->second.rbegin()->first) + 1;
}

void discard_integer_array_lane(int32_t first, int32_t second, JitStorageKind keep) {
  const PairKey pair = pair_key(first, second);
  if (keep != JitStorageKind::I32) discard_pair(i32_arrays(), pair);
  if (keep != JitStorageKind::U8) discard_pair(u8_arrays(), pair);
  if (keep != JitStorageKind::U16) discard_pair(u16_arrays(), pair);
}

Status fill_registered_global_i32_array(int32_t first, int32_t second, size_t start, size_t count, int32_t value) {
  if (count > std::numeric_limits<size_t>::max() - start) return error("registered i32 array range overflowed");
  const size_t end = start + count;
  auto& registered = i32_arrays().registered;
  if (!registered.mutex.lock_unless_poisoned()) return error("registered i32 array table mutex poisoned");
  PoisonGuard hold(registered.mutex, std::adopt_lock);
  auto entry = registered.value.find(pair_key(first, second));
  if (entry == registered.value.end()) return error("registered i32 array was not found");
  if (entry->second.count < end) {
    return error("registered i32 array range " + std::to_string(start) + ".." + std::to_string(end) +
                 " exceeds length " + std::to_string(entry->second.count));
  }
  std::fill(entry->second.address + start, entry->second.address + end, value);
  return {};
}

}  // namespace vexlor

using namespace vexlor;

extern "C" {

int32_t vexlor_jit_collection_i32_load(int32_t key, int32_t selector) noexcept {
  const char* suffix = collection_suffix(selector);
  if (suffix == nullptr) return 0;
  const int32_t scalar = key_continue(key, suffix);
  if (jit_i32_slot_is_registered(scalar)) return vexlor_jit_global_i32_load(scalar);
  if (auto lengths = jit_string_literal_lengths(key)) {
    return capped(selector == collection_char_length_selector ? lengths->scalar_values : lengths->bytes);
  }
  return 0;
}

void vexlor_jit_collection_i32_store(int32_t key, int32_t selector, int32_t value) noexcept {
  const char* suffix = collection_suffix(selector);
  if (suffix == nullptr) return;
  vexlor_jit_global_i32_store(key_continue(key, suffix), value);
}

void vexlor_jit_sys_memcpy_i32(int32_t dst, int32_t dst_start, int32_t src, int32_t src_start, int32_t count) noexcept {
  keyed_copy<int32_t>(dst, dst_start, count, vexlor_jit_global_i32_array_load, vexlor_jit_global_i32_array_store, src,
                      src_start);
}

void vexlor_jit_sys_memcpy_f32(int32_t dst, int32_t dst_start, int32_t src, int32_t src_start, int32_t count) noexcept {
  keyed_copy<float>(dst, dst_start, count, vexlor_jit_global_f32_array_load, vexlor_jit_global_f32_array_store, src,
                    src_start);
}

void vexlor_jit_sys_memcpy_u8(int32_t dst, int32_t dst_start, int32_t src, int32_t src_start, int32_t count) noexcept {
  if (count <= 0) return;
  std::optional<std::string> literal;
  if (!jit_text_buffer_is_registered(src)) literal = jit_string_literal_value(src);
  if (!literal) {
    vexlor_jit_sys_memcpy_i32(dst, dst_start, src, src_start, count);
    return;
  }
  for (int32_t i = 0; i < count; ++i) {
    const int32_t index = saturating_add(src_start, i);
    const bool inside = index >= 0 && static_cast<size_t>(index) < literal->size();
    const int32_t byte = inside ? static_cast<uint8_t>((*literal)[index]) : 0;
    vexlor_jit_global_i32_array_store(dst, 0, saturating_add(dst_start, i), byte);
  }
}

void vexlor_jit_sys_memmove_u8(int32_t dst, int32_t dst_start, int32_t src, int32_t src_start, int32_t count) noexcept {
  vexlor_jit_sys_memcpy_u8(dst, dst_start, src, src_start, count);
}
void vexlor_jit_sys_memmove_i32(int32_t dst, int32_t dst_start, int32_t src, int32_t src_start, int32_t count) noexcept {
  vexlor_jit_sys_memcpy_i32(dst, dst_start, src, src_start, count);
}
void vexlor_jit_sys_memmove_f32(int32_t dst, int32_t dst_start, int32_t src, int32_t src_start, int32_t count) noexcept {
  vexlor_jit_sys_memcpy_f32(dst, dst_start, src, src_start, count);
}

}  // extern "C"
