// Game arithmetic: signed 32-bit with wrap-around, and division that never
// traps. The state may hold any value, so no operation here may overflow.
#pragma once

#include <cstdint>
#include <limits>

namespace quillfen {

constexpr int32_t wrapping_add(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

constexpr int32_t wrapping_sub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

constexpr int32_t wrapping_mul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// Truncates toward zero; a zero divisor gives 0 and the one overflowing
// quotient wraps.
constexpr int32_t checked_div(int32_t a, int32_t b) {
  if (b == 0) return 0;
  if (b == -1) return wrapping_sub(0, a);
  return a / b;
}

constexpr int32_t checked_rem(int32_t a, int32_t b) {
  if (b == 0 || b == -1) return 0;
  return a % b;
}

// Float to int32 truncating toward zero, saturating outside the int32 range;
// NaN gives 0. A plain cast of such values is undefined.
constexpr int32_t truncate_to_i32(float v) {
  if (v != v) return 0;
  if (v >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
  if (v < -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

}  // namespace quillfen
