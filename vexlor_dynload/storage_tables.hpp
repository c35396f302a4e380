// The registry's process-wide tables, shared by the registry, the capacity
// and collection operations and the text handles.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "poison_mutex.hpp"
#include "registry.hpp"

namespace vexlor {

using PairKey = uint64_t;

inline PairKey pair_key(int32_t first, int32_t second) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(first)) << 32) | static_cast<uint32_t>(second);
}

// Keys are hashes already, so they index the tables as they are.
struct IdentityHash {
  size_t operator()(uint64_t key) const { return static_cast<size_t>(key ^ (key >> 29)); }
};
struct StorageKeyHash {
  size_t operator()(const StorageKey& key) const {
    return IdentityHash{}(pair_key(key.first, key.second)) * 31 + static_cast<size_t>(key.kind);
  }
};

template <class T>
struct ArrayEntry {
  T* address;
  size_t count;
};

template <class T>
using ScalarMap = std::unordered_map<int32_t, T*>;
template <class T>
using ArrayMap = std::unordered_map<PairKey, ArrayEntry<T>, IdentityHash>;
template <class T>
using OwnedScalarMap = std::unordered_map<int32_t, std::unique_ptr<T>>;
template <class T>
using OwnedArrayMap = std::unordered_map<PairKey, std::vector<T>, IdentityHash>;
template <class T>
using FallbackScalarMap = std::unordered_map<int32_t, T>;
// Elements by index, per pair: the pair's presence and its largest index are
// both one lookup away.
template <class T>
using FallbackArrayMap = std::unordered_map<PairKey, std::map<int32_t, T>, IdentityHash>;

// Scalar storage of one value type: registered, owned and fallback layers.
template <class T>
struct ScalarLane {
  JitStorageKind kind;
  Locked<ScalarMap<T>> registered;
  Locked<OwnedScalarMap<T>> owned;
  Locked<FallbackScalarMap<T>> fallback;
};

// Array storage of one element type. The fallback layer is used by the
// i32, f32 and f64 lanes only.
template <class T>
struct ArrayLane {
  JitStorageKind kind;
  Locked<ArrayMap<T>> registered;
  Locked<OwnedArrayMap<T>> owned;
  Locked<FallbackArrayMap<T>> fallback;
};

ScalarLane<int32_t>& i32_scalars();
ScalarLane<float>& f32_scalars();
ScalarLane<double>& f64_scalars();
ArrayLane<int32_t>& i32_arrays();
ArrayLane<float>& f32_arrays();
ArrayLane<double>& f64_arrays();
ArrayLane<uint8_t>& u8_arrays();
ArrayLane<uint16_t>& u16_arrays();

template <class T>
ArrayLane<T>& array_lane();
template <>
inline ArrayLane<int32_t>& array_lane<int32_t>() { return i32_arrays(); }
template <>
inline ArrayLane<float>& array_lane<float>() { return f32_arrays(); }
template <>
inline ArrayLane<double>& array_lane<double>() { return f64_arrays(); }
template <>
inline ArrayLane<uint8_t>& array_lane<uint8_t>() { return u8_arrays(); }
template <>
inline ArrayLane<uint16_t>& array_lane<uint16_t>() { return u16_arrays(); }

// Looks a registered array up under its table's lock.
template <class T>
std::optional<ArrayEntry<T>> find_registered_array(ArrayLane<T>& lane, PairKey pair) {
  PoisonGuard hold(lane.registered.mutex);
  auto it = lane.registered.value.find(pair);
  if (it == lane.registered.value.end()) return std::nullopt;
  return it->second;
}

// True when the fallback array table holds any element of the pair.
template <class T>
bool fallback_has_pair(ArrayLane<T>& lane, PairKey pair) {
  PoisonGuard hold(lane.fallback.mutex);
  return lane.fallback.value.count(pair) != 0;
}

}  // namespace vexlor
