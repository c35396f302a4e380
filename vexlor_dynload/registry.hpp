// The registry of game globals: keyed scalar and array storage in four layers
// (registered memory, runtime-owned memory, fallback values, and for i32
// arrays the string-literal table), plus stable slots for compiled code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

#include "export.hpp"
#include "result.hpp"

namespace vexlor {

enum class JitStorageKind : uint8_t { I32 = 0, F32 = 1, F64 = 2, U8 = 3, U16 = 4 };

// A kind byte above 4 selects the I32 tables.
JitStorageKind storage_kind_from_byte(uint8_t kind);

struct StorageKey {
  JitStorageKind kind;
  int32_t first;
  int32_t second;
  bool operator==(const StorageKey&) const = default;
};

// Read by compiled code on every access; never moves until
// clear_registered_global_memory.
struct JitStorageSlot {
  void* ptr;
  size_t len;
};

struct Backing {
  void* address;
  size_t count;
};

inline constexpr const char* rebind_refused_message =
    "storage rebinding is only allowed between guest execution windows";
inline constexpr const char* backing_missing_message = "direct storage backing was not provisioned";

// Holds the jit dispatch lock while storage is rebound; an empty guard
// holds nothing.
class RebindGuard {
 public:
  RebindGuard() = default;
  RebindGuard(RebindGuard&& other) noexcept : held_(std::exchange(other.held_, false)) {}
  RebindGuard& operator=(RebindGuard&& other) noexcept {
    release();
    held_ = std::exchange(other.held_, false);
    return *this;
  }
  RebindGuard(const RebindGuard&) = delete;
  RebindGuard& operator=(const RebindGuard&) = delete;
  ~RebindGuard() { release(); }
  void release();

 private:
  friend Result<RebindGuard> acquire_rebind_guard();
  explicit RebindGuard(bool held) : held_(held) {}
  bool held_ = false;
};

Result<RebindGuard> acquire_rebind_guard();
// No slot for the key: succeeds with an empty guard, without the dispatch lock.
Result<RebindGuard> direct_array_rebind_guard(JitStorageKind kind, int32_t first, int32_t second);

// Registration; none of these report failure.
void register_global_i32_ptr(int32_t key, int32_t* address);
void register_global_f32_ptr(int32_t key, float* address);
void register_global_f64_ptr(int32_t key, double* address);
void register_global_i32_array(int32_t first, int32_t second, int32_t* address, size_t count);
void register_global_f32_array(int32_t first, int32_t second, float* address, size_t count);
void register_global_f64_array(int32_t first, int32_t second, double* address, size_t count);
void register_global_u8_array(int32_t first, int32_t second, uint8_t* address, size_t count);
void register_global_u16_array(int32_t first, int32_t second, uint16_t* address, size_t count);

// Direct storage slots and provisioning.
JitStorageSlot* direct_scalar_storage_slot_address(uint8_t kind, int32_t key);
JitStorageSlot* direct_array_storage_slot_address(uint8_t kind, int32_t first, int32_t second);
Status provision_direct_scalar_storage(uint8_t kind, int32_t key);
Status provision_direct_array_storage(uint8_t kind, int32_t first, int32_t second, size_t count);
std::optional<size_t> direct_array_storage_slot_len_for_test(uint8_t kind, int32_t first, int32_t second);

void clear_jit_i32_global_table();
void clear_jit_f32_global_table();
void clear_jit_f64_global_table();
void clear_jit_i32_array_global_table();
void clear_jit_f32_array_global_table();
void clear_jit_f64_array_global_table();
void clear_registered_global_memory();

Result<Backing> registered_storage(JitStorageKind kind, int32_t first, int32_t second);
uint8_t* global_u8_array_ptr(int32_t key);
bool jit_i32_slot_is_registered(int32_t key);
void update_direct_storage_slot(StorageKey key, void* address, size_t count);
bool accepts_direct_array_rebind(StorageKey key, size_t count);

}  // namespace vexlor

extern "C" {
VEXLOR_EXPORT void vexlor_jit_register_global_i32_ptr(int32_t key, int32_t* ptr) noexcept;
VEXLOR_EXPORT void vexlor_jit_register_global_f32_ptr(int32_t key, float* ptr) noexcept;
VEXLOR_EXPORT void vexlor_jit_register_global_f64_ptr(int32_t key, double* ptr) noexcept;
VEXLOR_EXPORT void vexlor_jit_register_global_i32_array(int32_t first, int32_t second, int32_t* ptr,
                                                        int32_t count) noexcept;
VEXLOR_EXPORT void vexlor_jit_register_global_f32_array(int32_t first, int32_t second, float* ptr,
                                                        int32_t count) noexcept;
VEXLOR_EXPORT void vexlor_jit_register_global_f64_array(int32_t first, int32_t second, double* ptr,
                                                        int32_t count) noexcept;
VEXLOR_EXPORT void vexlor_jit_register_global_u8_array(int32_t first, int32_t second, uint8_t* ptr,
                                                       int32_t count) noexcept;
VEXLOR_EXPORT void vexlor_jit_register_global_u16_array(int32_t first, int32_t second, uint16_t* ptr,
                                                        int32_t count) noexcept;

VEXLOR_EXPORT int32_t vexlor_jit_global_i32_load(int32_t key) noexcept;
VEXLOR_EXPORT float vexlor_jit_global_f32_load(int32_t key) noexcept;
VEXLOR_EXPORT double vexlor_jit_global_f64_load(int32_t key) noexcept;
VEXLOR_EXPORT void vexlor_jit_global_i32_store(int32_t key, int32_t value) noexcept;
VEXLOR_EXPORT void vexlor_jit_global_f32_store(int32_t key, float value) noexcept;
VEXLOR_EXPORT void vexlor_jit_global_f64_store(int32_t key, double value) noexcept;

VEXLOR_EXPORT int32_t vexlor_jit_global_i32_array_load(int32_t first, int32_t second, int32_t index) noexcept;
VEXLOR_EXPORT float vexlor_jit_global_f32_array_load(int32_t first, int32_t second, int32_t index) noexcept;
VEXLOR_EXPORT double vexlor_jit_global_f64_array_load(int32_t first, int32_t second, int32_t index) noexcept;
VEXLOR_EXPORT void vexlor_jit_global_i32_array_store(int32_t first, int32_t second, int32_t index,
                                                     int32_t value) noexcept;
VEXLOR_EXPORT void vexlor_jit_global_f32_array_store(int32_t first, int32_t second, int32_t index,
                                                     float value) noexcept;
VEXLOR_EXPORT void vexlor_jit_global_f64_array_store(int32_t first, int32_t second, int32_t index,
                                                     double value) noexcept;

VEXLOR_EXPORT int32_t* vexlor_jit_global_i32_array_ptr(int32_t first, int32_t second, int32_t min_count) noexcept;
VEXLOR_EXPORT float* vexlor_jit_global_f32_array_ptr(int32_t first, int32_t second, int32_t min_count) noexcept;
VEXLOR_EXPORT double* vexlor_jit_global_f64_array_ptr(int32_t first, int32_t second, int32_t min_count) noexcept;
}
