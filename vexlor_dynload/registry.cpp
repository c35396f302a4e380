#include "registry.hpp"

#include "collections.hpp"
#include "dispatch.hpp"
#include "storage_tables.hpp"
#include "text.hpp"

namespace vexlor {

namespace {

constexpr const char* registered_scalar_generic = "registered scalar table mutex poisoned";
constexpr const char* registered_array_generic = "registered array table mutex poisoned";
constexpr const char* owned_scalar_generic = "owned scalar table mutex poisoned";
constexpr const char* fallback_scalar_generic = "fallback scalar table mutex poisoned";

using SlotMap = std::unordered_map<StorageKey, std::unique_ptr<JitStorageSlot>, StorageKeyHash>;
using RequiredLengthMap = std::unordered_map<StorageKey, size_t, StorageKeyHash>;

Locked<SlotMap>& direct_storage_slots() {
  static Locked<SlotMap> table("direct storage slot table mutex poisoned");
  return table;
}

Locked<RequiredLengthMap>& direct_array_required_lengths() {
  static Locked<RequiredLengthMap> table("direct array required-length table mutex poisoned");
  return table;
}

bool is_integer_array_kind(JitStorageKind kind) {
  return kind == JitStorageKind::I32 || kind == JitStorageKind::U8 || kind == JitStorageKind::U16;
}

// Calls `visit` with the array lane of `kind`.
template <class Visit>
decltype(auto) with_array_lane(JitStorageKind kind, Visit&& visit) {
  switch (kind) {
    case JitStorageKind::F32: return visit(f32_arrays());
    case JitStorageKind::F64: return visit(f64_arrays());
    case JitStorageKind::U8: return visit(u8_arrays());
    case JitStorageKind::U16: return visit(u16_arrays());
    case JitStorageKind::I32: break;
  }
  return visit(i32_arrays());
}

// Calls `visit` with the scalar lane of I32, F32 or F64.
template <class Visit>
decltype(auto) with_scalar_lane(JitStorageKind kind, Visit&& visit) {
  if (kind == JitStorageKind::F32) return visit(f32_scalars());
  if (kind == JitStorageKind::F64) return visit(f64_scalars());
  return visit(i32_scalars());
}

bool has_scalar_lane(JitStorageKind kind) {
  return kind == JitStorageKind::I32 || kind == JitStorageKind::F32 || kind == JitStorageKind::F64;
}

template <class T>
void register_scalar(ScalarLane<T>& lane, int32_t key, T* address) {
  if (address == nullptr) return;
  auto guard = acquire_rebind_guard();
  if (!guard) return;
  // The replaced cell is freed only once no table entry can lead to it.
  PoisonGuard owned_hold(lane.owned.mutex);
  {
    PoisonGuard registered_hold(lane.registered.mutex);
    lane.registered.value[key] = address;
    update_direct_storage_slot({lane.kind, key, 0}, address, 1);
  }
  auto it = lane.owned.value.find(key);
  if (it != lane.owned.value.end() && it->second.get() != address) lane.owned.value.erase(it);
}

template <class T>
void register_array(ArrayLane<T>& lane, int32_t first, int32_t second, T* address, size_t count) {
  if (address == nullptr || count == 0) return;
  auto guard = acquire_rebind_guard();
  if (!guard) return;
  if (!accepts_direct_array_rebind({lane.kind, first, second}, count)) return;
  if (is_integer_array_kind(lane.kind)) discard_integer_array_lane(first, second, lane.kind);
  const PairKey pair = pair_key(first, second);
  PoisonGuard owned_hold(lane.owned.mutex);
  {
    PoisonGuard registered_hold(lane.registered.mutex);
    lane.registered.value[pair] = {address, count};
    update_direct_storage_slot({lane.kind, first, second}, address, count);
  }
  auto it = lane.owned.value.find(pair);
  if (it != lane.owned.value.end() && it->second.data() != address) lane.owned.value.erase(it);
}

template <class T>
T scalar_load(ScalarLane<T>& lane, int32_t key) {
  std::optional<T> value = with_lock(lane.registered.mutex, [&]() -> std::optional<T> {
    auto it = lane.registered.value.find(key);
    if (it == lane.registered.value.end()) return std::nullopt;
    return *it->second;
  });
  if (value) return *value;
  return with_lock(lane.fallback.mutex, [&] {
    auto it = lane.fallback.value.find(key);
    return it == lane.fallback.value.end() ? T{} : it->second;
  });
}

template <class T>
void scalar_store(ScalarLane<T>& lane, int32_t key, T value) {
  const bool registered = with_lock(lane.registered.mutex, [&] {
    auto it = lane.registered.value.find(key);
    if (it == lane.registered.value.end()) return false;
    *it->second = value;
    return true;
  });
  if (!registered) with_lock(lane.fallback.mutex, [&] { lane.fallback.value[key] = value; });
}

// The element of a registered array (0 out of range), or nothing when the
// pair is not registered in the lane. Read under the table's lock so the
// buffer cannot be freed meanwhile.
template <class T>
std::optional<T> registered_element(ArrayLane<T>& lane, PairKey pair, int32_t index) {
  return with_lock(lane.registered.mutex, [&]() -> std::optional<T> {
    auto it = lane.registered.value.find(pair);
    if (it == lane.registered.value.end()) return std::nullopt;
    const auto& entry = it->second;
    return static_cast<size_t>(index) < entry.count ? entry.address[index] : T{};
  });
}

// Writes an element of a registered array when in range; false when the
// pair is not registered in the lane.
template <class T>
bool store_registered_element(ArrayLane<T>& lane, PairKey pair, int32_t index, T value) {
  return with_lock(lane.registered.mutex, [&] {
    auto it = lane.registered.value.find(pair);
    if (it == lane.registered.value.end()) return false;
    if (static_cast<size_t>(index) < it->second.count) it->second.address[index] = value;
    return true;
  });
}

template <class T>
std::optional<T> fallback_element(ArrayLane<T>& lane, PairKey pair, int32_t index, bool& pair_present) {
  PoisonGuard hold(lane.fallback.mutex);
  auto it = lane.fallback.value.find(pair);
  pair_present = it != lane.fallback.value.end();
  if (!pair_present) return std::nullopt;
  auto element = it->second.find(index);
  if (element == it->second.end()) return std::nullopt;
  return element->second;
}

template <class T>
void store_fallback_element(ArrayLane<T>& lane, PairKey pair, int32_t index, T value) {
  PoisonGuard hold(lane.fallback.mutex);
  lane.fallback.value[pair][index] = value;
}

// f32 and f64 arrays: registered storage, then the fallback table.
template <class T>
T float_array_load(ArrayLane<T>& lane, int32_t first, int32_t second, int32_t index) {
  if (index < 0) return T{};
  const PairKey pair = pair_key(first, second);
  if (auto value = registered_element(lane, pair, index)) return *value;
  bool pair_present = false;
  return fallback_element(lane, pair, index, pair_present).value_or(T{});
}

template <class T>
void float_array_store(ArrayLane<T>& lane, int32_t first, int32_t second, int32_t index, T value) {
  if (index < 0) return;
  const PairKey pair = pair_key(first, second);
  if (store_registered_element(lane, pair, index, value)) return;
  store_fallback_element(lane, pair, index, value);
}

template <class T>
T* array_ptr(ArrayLane<T>& lane, int32_t first, int32_t second, int32_t minimum,
             Status (*ensure)(int32_t, int32_t, size_t)) {
  if (minimum < 1) return nullptr;
  const PairKey pair = pair_key(first, second);
  const size_t wanted = static_cast<size_t>(minimum);
  if (auto entry = find_registered_array(lane, pair); entry && entry->count >= wanted) return entry->address;
  if (!ensure(first, second, wanted)) return nullptr;
  auto entry = find_registered_array(lane, pair);
  return entry ? entry->address : nullptr;
}

template <class T>
void zero_owned_scalars(ScalarLane<T>& lane) {
  {
    PoisonGuard hold(lane.fallback.mutex);
    lane.fallback.value.clear();
  }
  PoisonGuard owned_hold(lane.owned.mutex);
  PoisonGuard registered_hold(lane.registered.mutex);
  for (auto& [key, cell] : lane.owned.value) *cell = T{};
}

template <class T>
void zero_owned_arrays(ArrayLane<T>& lane) {
  {
    PoisonGuard hold(lane.fallback.mutex);
    lane.fallback.value.clear();
  }
  PoisonGuard owned_hold(lane.owned.mutex);
  PoisonGuard registered_hold(lane.registered.mutex);
  for (auto& [pair, buffer] : lane.owned.value) std::fill(buffer.begin(), buffer.end(), T{});
}

template <class Lane>
void clear_registered(Lane& lane) {
  PoisonGuard hold(lane.registered.mutex);
  lane.registered.value.clear();
}

template <class Lane>
void free_owned(Lane& lane) {
  PoisonGuard hold(lane.owned.mutex);
  lane.owned.value.clear();
}

template <class T>
Status provision_scalar_cell(ScalarLane<T>& lane, int32_t key) {
  {
    PoisonGuard hold(lane.registered.mutex, registered_scalar_generic);
    if (lane.registered.value.count(key) != 0) return {};
  }
  if (guest_execution_count().load(std::memory_order_acquire) != 0) return error(rebind_refused_message);
  T value{};
  {
    PoisonGuard hold(lane.fallback.mutex, fallback_scalar_generic);
    auto it = lane.fallback.value.find(key);
    if (it != lane.fallback.value.end()) {
      value = it->second;
      lane.fallback.value.erase(it);
    }
  }
  PoisonGuard owned_hold(lane.owned.mutex, owned_scalar_generic);
  auto& cell = lane.owned.value[key];
  if (!cell) cell = std::make_unique<T>(value);
  PoisonGuard registered_hold(lane.registered.mutex, registered_scalar_generic);
  lane.registered.value[key] = cell.get();
  return {};
}

}  // namespace

ScalarLane<int32_t>& i32_scalars() {
  static ScalarLane<int32_t> lane{JitStorageKind::I32, Locked<ScalarMap<int32_t>>("registered i32 ptr table mutex poisoned"),
                                  Locked<OwnedScalarMap<int32_t>>("owned i32 scalar table mutex poisoned"),
                                  Locked<FallbackScalarMap<int32_t>>("jit i32 global table mutex poisoned")};
  return lane;
}
ScalarLane<float>& f32_scalars() {
  static ScalarLane<float> lane{JitStorageKind::F32, Locked<ScalarMap<float>>("registered f32 ptr table mutex poisoned"),
                                Locked<OwnedScalarMap<float>>("owned f32 scalar table mutex poisoned"),
                                Locked<FallbackScalarMap<float>>("jit f32 global table mutex poisoned")};
  return lane;
}
ScalarLane<double>& f64_scalars() {
  static ScalarLane<double> lane{JitStorageKind::F64, Locked<ScalarMap<double>>("registered f64 ptr table mutex poisoned"),
                                 Locked<OwnedScalarMap<double>>("owned f64 scalar table mutex poisoned"),
                                 Locked<FallbackScalarMap<double>>("jit f64 global table mutex poisoned")};
  return lane;
}
ArrayLane<int32_t>& i32_arrays() {
  static ArrayLane<int32_t> lane{JitStorageKind::I32, Locked<ArrayMap<int32_t>>("registered i32 array table mutex poisoned"),
                                 Locked<OwnedArrayMap<int32_t>>("owned i32 array table mutex poisoned"),
                                 Locked<FallbackArrayMap<int32_t>>("jit i32 array global table mutex poisoned")};
  return lane;
}
ArrayLane<float>& f32_arrays() {
  static ArrayLane<float> lane{JitStorageKind::F32, Locked<ArrayMap<float>>("registered f32 array table mutex poisoned"),
                               Locked<OwnedArrayMap<float>>("owned f32 array table mutex poisoned"),
                               Locked<FallbackArrayMap<float>>("jit f32 array global table mutex poisoned")};
  return lane;
}
ArrayLane<double>& f64_arrays() {
  static ArrayLane<double> lane{JitStorageKind::F64, Locked<ArrayMap<double>>("registered f64 array table mutex poisoned"),
                                Locked<OwnedArrayMap<double>>("owned f64 array table mutex poisoned"),
                                Locked<FallbackArrayMap<double>>("jit f64 array global table mutex poisoned")};
  return lane;
}
ArrayLane<uint8_t>& u8_arrays() {
  static ArrayLane<uint8_t> lane{JitStorageKind::U8, Locked<ArrayMap<uint8_t>>("registered u8 array table mutex poisoned"),
                                 Locked<OwnedArrayMap<uint8_t>>("owned u8 array table mutex poisoned"),
                                 Locked<FallbackArrayMap<uint8_t>>("fallback array table mutex poisoned")};
  return lane;
}
ArrayLane<uint16_t>& u16_arrays() {
  static ArrayLane<uint16_t> lane{JitStorageKind::U16, Locked<ArrayMap<uint16_t>>("registered u16 array table mutex poisoned"),
                                  Locked<OwnedArrayMap<uint16_t>>("owned u16 array table mutex poisoned"),
                                  Locked<FallbackArrayMap<uint16_t>>("fallback array table mutex poisoned")};
  return lane;
}

JitStorageKind storage_kind_from_byte(uint8_t kind) {
  return kind <= static_cast<uint8_t>(JitStorageKind::U16) ? static_cast<JitStorageKind>(kind) : JitStorageKind::I32;
}

void RebindGuard::release() {
  if (held_) jit_dispatch_lock().unlock();
  held_ = false;
}

Result<RebindGuard> acquire_rebind_guard() {
  if (guest_execution_count().load(std::memory_order_acquire) != 0) return error(rebind_refused_message);
  jit_dispatch_lock().lock();
  if (guest_execution_count().load(std::memory_order_acquire) != 0) {
    jit_dispatch_lock().unlock();
    return error(rebind_refused_message);
  }
  return RebindGuard(true);
}

Result<RebindGuard> direct_array_rebind_guard(JitStorageKind kind, int32_t first, int32_t second) {
  bool has_slot = false;
  {
    auto& slots = direct_storage_slots();
    PoisonGuard hold(slots.mutex);
    has_slot = slots.value.count({kind, first, second}) != 0;
  }
  if (!has_slot) return RebindGuard();
  return acquire_rebind_guard();
}

void register_global_i32_ptr(int32_t key, int32_t* address) { register_scalar(i32_scalars(), key, address); }
void register_global_f32_ptr(int32_t key, float* address) { register_scalar(f32_scalars(), key, address); }
void register_global_f64_ptr(int32_t key, double* address) { register_scalar(f64_scalars(), key, address); }
void register_global_i32_array(int32_t first, int32_t second, int32_t* address, size_t count) {
  register_array(i32_arrays(), first, second, address, count);
}
void register_global_f32_array(int32_t first, int32_t second, float* address, size_t count) {
  register_array(f32_arrays(), first, second, address, count);
}
void register_global_f64_array(int32_t first, int32_t second, double* address, size_t count) {
  register_array(f64_arrays(), first, second, address, count);
}
void register_global_u8_array(int32_t first, int32_t second, uint8_t* address, size_t count) {
  register_array(u8_arrays(), first, second, address, count);
}
void register_global_u16_array(int32_t first, int32_t second, uint16_t* address, size_t count) {
  register_array(u16_arrays(), first, second, address, count);
}

Result<Backing> registered_storage(JitStorageKind kind, int32_t first, int32_t second) {
  if (second == 0 && has_scalar_lane(kind)) {
    std::optional<Backing> scalar = with_scalar_lane(kind, [&](auto& lane) -> std::optional<Backing> {
      PoisonGuard hold(lane.registered.mutex, registered_scalar_generic);
      auto it = lane.registered.value.find(first);
      if (it == lane.registered.value.end()) return std::nullopt;
      return Backing{it->second, 1};
    });
    if (scalar) return *scalar;
  }
  std::optional<Backing> array = with_array_lane(kind, [&](auto& lane) -> std::optional<Backing> {
    PoisonGuard hold(lane.registered.mutex, registered_array_generic);
    auto it = lane.registered.value.find(pair_key(first, second));
    if (it == lane.registered.value.end()) return std::nullopt;
    return Backing{it->second.address, it->second.count};
  });
  if (array) return *array;
  return error(backing_missing_message);
}

JitStorageSlot* direct_array_storage_slot_address(uint8_t kind_byte, int32_t first, int32_t second) {
  const JitStorageKind kind = storage_kind_from_byte(kind_byte);
  auto backing = registered_storage(kind, first, second);
  const Backing initial = backing ? *backing : Backing{nullptr, 0};
  auto& slots = direct_storage_slots();
  PoisonGuard hold(slots.mutex);
  auto& slot = slots.value[{kind, first, second}];
  if (!slot) slot = std::make_unique<JitStorageSlot>(JitStorageSlot{initial.address, initial.count});
  return slot.get();
}

JitStorageSlot* direct_scalar_storage_slot_address(uint8_t kind, int32_t key) {
  return direct_array_storage_slot_address(kind, key, 0);
}

Status provision_direct_scalar_storage(uint8_t kind_byte, int32_t key) {
  const JitStorageKind kind = storage_kind_from_byte(kind_byte);
  auto guard = acquire_rebind_guard();
  if (!guard) return error(guard.error());
  if (has_scalar_lane(kind)) {
    Status cell = with_scalar_lane(kind, [&](auto& lane) { return provision_scalar_cell(lane, key); });
    if (!cell) return cell;
  } else {
    Status capacity = ensure_array_capacity_unlocked(kind, key, 0, 1);
    if (!capacity) return capacity;
  }
  auto backing = registered_storage(kind, key, 0);
  if (!backing) return error(backing.error());
  update_direct_storage_slot({kind, key, 0}, backing->address, backing->count);
  return {};
}

Status provision_direct_array_storage(uint8_t kind_byte, int32_t first, int32_t second, size_t count) {
  const JitStorageKind kind = storage_kind_from_byte(kind_byte);
  auto guard = acquire_rebind_guard();
  if (!guard) return error(guard.error());
  Status capacity = ensure_array_capacity_unlocked(kind, first, second, count);
  if (!capacity) return capacity;
  auto backing = registered_storage(kind, first, second);
  if (!backing) return error(backing.error());
  {
    auto& required = direct_array_required_lengths();
    PoisonGuard hold(required.mutex);
    required.value[{kind, first, second}] = count;
  }
  update_direct_storage_slot({kind, first, second}, backing->address, backing->count);
  return {};
}

std::optional<size_t> direct_array_storage_slot_len_for_test(uint8_t kind, int32_t first, int32_t second) {
  auto& slots = direct_storage_slots();
  PoisonGuard hold(slots.mutex);
  auto it = slots.value.find({storage_kind_from_byte(kind), first, second});
  if (it == slots.value.end()) return std::nullopt;
  return it->second->len;
}

void update_direct_storage_slot(StorageKey key, void* address, size_t count) {
  auto& slots = direct_storage_slots();
  PoisonGuard hold(slots.mutex);
  auto it = slots.value.find(key);
  if (it == slots.value.end()) return;
  it->second->ptr = address;
  it->second->len = count;
}

bool accepts_direct_array_rebind(StorageKey key, size_t count) {
  auto& required = direct_array_required_lengths();
  PoisonGuard hold(required.mutex);
  auto it = required.value.find(key);
  return it == required.value.end() || it->second <= count;
}

uint8_t* global_u8_array_ptr(int32_t key) {
  return array_ptr(u8_arrays(), key, 0, 65536, ensure_jit_u8_array_capacity);
}

bool jit_i32_slot_is_registered(int32_t key) {
  auto& lane = i32_scalars();
  {
    PoisonGuard hold(lane.registered.mutex);
    if (lane.registered.value.count(key) != 0) return true;
  }
  PoisonGuard hold(lane.fallback.mutex, "jit global table mutex poisoned");
  return lane.fallback.value.count(key) != 0;
}

void clear_jit_i32_global_table() { zero_owned_scalars(i32_scalars()); }
void clear_jit_f32_global_table() { zero_owned_scalars(f32_scalars()); }
void clear_jit_f64_global_table() { zero_owned_scalars(f64_scalars()); }
void clear_jit_i32_array_global_table() { zero_owned_arrays(i32_arrays()); }
void clear_jit_f32_array_global_table() { zero_owned_arrays(f32_arrays()); }
void clear_jit_f64_array_global_table() { zero_owned_arrays(f64_arrays()); }

void clear_registered_global_memory() {
  auto guard = acquire_rebind_guard();
  if (!guard) return;
  clear_registered(i32_scalars());
  clear_registered(f32_scalars());
  clear_registered(f64_scalars());
  clear_registered(i32_arrays());
  clear_registered(f32_arrays());
  clear_registered(f64_arrays());
  clear_registered(u8_arrays());
  clear_registered(u16_arrays());
  free_owned(f32_arrays());
  free_owned(i32_arrays());
  free_owned(f64_arrays());
  free_owned(u8_arrays());
  free_owned(u16_arrays());
  free_owned(i32_scalars());
  free_owned(f32_scalars());
  free_owned(f64_scalars());
  {
    auto& slots = direct_storage_slots();
    PoisonGuard hold(slots.mutex);
    slots.value.clear();
  }
  auto& required = direct_array_required_lengths();
  PoisonGuard hold(required.mutex);
  required.value.clear();
}

}  // namespace vexlor

using namespace vexlor;

namespace {

size_t count_or_zero(int32_t count) { return count > 0 ? static_cast<size_t>(count) : 0; }

}  // namespace

extern "C" {

void vexlor_jit_register_global_i32_ptr(int32_t key, int32_t* ptr) noexcept { register_global_i32_ptr(key, ptr); }
void vexlor_jit_register_global_f32_ptr(int32_t key, float* ptr) noexcept { register_global_f32_ptr(key, ptr); }
void vexlor_jit_register_global_f64_ptr(int32_t key, double* ptr) noexcept { register_global_f64_ptr(key, ptr); }
void vexlor_jit_register_global_i32_array(int32_t first, int32_t second, int32_t* ptr, int32_t count) noexcept {
  register_global_i32_array(first, second, ptr, count_or_zero(count));
}
void vexlor_jit_register_global_f32_array(int32_t first, int32_t second, float* ptr, int32_t count) noexcept {
  register_global_f32_array(first, second, ptr, count_or_zero(count));
}
void vexlor_jit_register_global_f64_array(int32_t first, int32_t second, double* ptr, int32_t count) noexcept {
  register_global_f64_array(first, second, ptr, count_or_zero(count));
}
void vexlor_jit_register_global_u8_array(int32_t first, int32_t second, uint8_t* ptr, int32_t count) noexcept {
  register_global_u8_array(first, second, ptr, count_or_zero(count));
}
void vexlor_jit_register_global_u16_array(int32_t first, int32_t second, uint16_t* ptr, int32_t count) noexcept {
  register_global_u16_array(first, second, ptr, count_or_zero(count));
}

int32_t vexlor_jit_global_i32_load(int32_t key) noexcept { return scalar_load(i32_scalars(), key); }
float vexlor_jit_global_f32_load(int32_t key) noexcept { return scalar_load(f32_scalars(), key); }
double vexlor_jit_global_f64_load(int32_t key) noexcept { return scalar_load(f64_scalars(), key); }
void vexlor_jit_global_i32_store(int32_t key, int32_t value) noexcept { scalar_store(i32_scalars(), key, value); }
void vexlor_jit_global_f32_store(int32_t key, float value) noexcept { scalar_store(f32_scalars(), key, value); }
void vexlor_jit_global_f64_store(int32_t key, double value) noexcept { scalar_store(f64_scalars(), key, value); }

int32_t vexlor_jit_global_i32_array_load(int32_t first, int32_t second, int32_t index) noexcept {
  if (index < 0) return 0;
  const PairKey pair = pair_key(first, second);
  if (auto value = registered_element(i32_arrays(), pair, index)) return *value;
  if (auto byte = registered_element(u8_arrays(), pair, index)) return *byte;
  if (auto half = registered_element(u16_arrays(), pair, index)) return *half;
  bool pair_present = false;
  if (auto value = fallback_element(i32_arrays(), pair, index, pair_present)) return *value;
  // A pair with no storage at all reads as the bytes of the literal of that id.
  if (!pair_present && second == 0) return jit_string_literal_byte(first, index).value_or(0);
  return 0;
}

float vexlor_jit_global_f32_array_load(int32_t first, int32_t second, int32_t index) noexcept {
  return float_array_load(f32_arrays(), first, second, index);
}
double vexlor_jit_global_f64_array_load(int32_t first, int32_t second, int32_t index) noexcept {
  return float_array_load(f64_arrays(), first, second, index);
}

void vexlor_jit_global_i32_array_store(int32_t first, int32_t second, int32_t index, int32_t value) noexcept {
  if (index < 0) return;
  const PairKey pair = pair_key(first, second);
  if (store_registered_element(i32_arrays(), pair, index, value)) return;
  if (store_registered_element(u8_arrays(), pair, index, static_cast<uint8_t>(value & 0xFF))) return;
  if (store_registered_element(u16_arrays(), pair, index, static_cast<uint16_t>(value & 0xFFFF))) return;
  store_fallback_element(i32_arrays(), pair, index, value);
}

void vexlor_jit_global_f32_array_store(int32_t first, int32_t second, int32_t index, float value) noexcept {
  float_array_store(f32_arrays(), first, second, index, value);
}
void vexlor_jit_global_f64_array_store(int32_t first, int32_t second, int32_t index, double value) noexcept {
  float_array_store(f64_arrays(), first, second, index, value);
}

int32_t* vexlor_jit_global_i32_array_ptr(int32_t first, int32_t second, int32_t min_count) noexcept {
  return array_ptr(i32_arrays(), first, second, min_count, ensure_jit_i32_array_capacity);
}
float* vexlor_jit_global_f32_array_ptr(int32_t first, int32_t second, int32_t min_count) noexcept {
  return array_ptr(f32_arrays(), first, second, min_count, ensure_jit_f32_array_capacity);
}
double* vexlor_jit_global_f64_array_ptr(int32_t first, int32_t second, int32_t min_count) noexcept {
  return array_ptr(f64_arrays(), first, second, min_count, ensure_jit_f64_array_capacity);
}

}  // extern "C"
