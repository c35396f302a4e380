// Checked access to the game's state arrays. The replay image may restore
// any bytes, so every index the game computes is checked here: a read out of
// range gives 0 and a write out of range is dropped.
#pragma once

#include <cstdint>

namespace quillfen {

template <typename T, int32_t N>
struct StateArray {
  T* data;

  static constexpr int32_t capacity = N;
  static constexpr bool in_range(int32_t index) { return index >= 0 && index < N; }

  T get(int32_t index) const { return in_range(index) ? data[index] : T{}; }
  void set(int32_t index, T value) const {
    if (in_range(index)) data[index] = value;
  }
};

}  // namespace quillfen
