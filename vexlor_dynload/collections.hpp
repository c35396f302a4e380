// Runtime-owned array capacity, collection length fields, fills and bulk
// copies between keyed arrays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "export.hpp"
#include "registry.hpp"
#include "result.hpp"

namespace vexlor {

Status ensure_jit_i32_array_capacity(int32_t first, int32_t second, size_t minimum);
Status ensure_jit_f32_array_capacity(int32_t first, int32_t second, size_t minimum);
Status ensure_jit_f64_array_capacity(int32_t first, int32_t second, size_t minimum);
Status ensure_jit_u8_array_capacity(int32_t first, int32_t second, size_t minimum);
Status ensure_jit_u16_array_capacity(int32_t first, int32_t second, size_t minimum);

// The caller holds whatever guard it needs.
Status ensure_jit_i32_array_capacity_unlocked(int32_t first, int32_t second, size_t minimum);
Status ensure_jit_f32_array_capacity_unlocked(int32_t first, int32_t second, size_t minimum);
Status ensure_jit_f64_array_capacity_unlocked(int32_t first, int32_t second, size_t minimum);
Status ensure_jit_u8_array_capacity_unlocked(int32_t first, int32_t second, size_t minimum);
Status ensure_jit_u16_array_capacity_unlocked(int32_t first, int32_t second, size_t minimum);

// The error that ensuring would give; changes nothing.
Status preflight_jit_i32_array_capacity(int32_t first, int32_t second, size_t minimum);
Status preflight_jit_f32_array_capacity(int32_t first, int32_t second, size_t minimum);
Status preflight_jit_f64_array_capacity(int32_t first, int32_t second, size_t minimum);
Status preflight_jit_u8_array_capacity(int32_t first, int32_t second, size_t minimum);
Status preflight_jit_u16_array_capacity(int32_t first, int32_t second, size_t minimum);

// Ensures capacity in the lane of `kind`, without taking a guard.
Status ensure_array_capacity_unlocked(JitStorageKind kind, int32_t first, int32_t second, size_t minimum);

std::optional<size_t> jit_i32_array_capacity(int32_t first, int32_t second);
void discard_integer_array_lane(int32_t first, int32_t second, JitStorageKind keep);
Status fill_registered_global_i32_array(int32_t first, int32_t second, size_t start, size_t count, int32_t value);

inline constexpr int32_t collection_length_selector = 1;
inline constexpr int32_t collection_max_length_selector = 2;
inline constexpr int32_t collection_char_length_selector = 3;

}  // namespace vexlor

extern "C" {
VEXLOR_EXPORT int32_t vexlor_jit_collection_i32_load(int32_t key, int32_t selector) noexcept;
VEXLOR_EXPORT void vexlor_jit_collection_i32_store(int32_t key, int32_t selector, int32_t value) noexcept;
VEXLOR_EXPORT void vexlor_jit_sys_memcpy_u8(int32_t dst, int32_t dst_start, int32_t src, int32_t src_start,
                                            int32_t count) noexcept;
VEXLOR_EXPORT void vexlor_jit_sys_memcpy_i32(int32_t dst, int32_t dst_start, int32_t src, int32_t src_start,
                                             int32_t count) noexcept;
VEXLOR_EXPORT void vexlor_jit_sys_memcpy_f32(int32_t dst, int32_t dst_start, int32_t src, int32_t src_start,
                                             int32_t count) noexcept;
VEXLOR_EXPORT void vexlor_jit_sys_memmove_u8(int32_t dst, int32_t dst_start, int32_t src, int32_t src_start,
                                             int32_t count) noexcept;
VEXLOR_EXPORT void vexlor_jit_sys_memmove_i32(int32_t dst, int32_t dst_start, int32_t src, int32_t src_start,
                                              int32_t count) noexcept;
VEXLOR_EXPORT void vexlor_jit_sys_memmove_f32(int32_t dst, int32_t dst_start, int32_t src, int32_t src_start,
                                              int32_t count) noexcept;
}
