// FNV-1a, 32 bits: the hash behind every storage key and literal id.
#pragma once

#include <cstdint>
#include <string_view>

namespace vexlor {

inline constexpr uint32_t fnv_offset_basis = 0x811C9DC5u;
inline constexpr uint32_t fnv_prime = 0x01000193u;

// Continues a hash over more bytes; the key of "a.b" is the key of "a"
// continued over ".b".
constexpr uint32_t fnv1a_continue(uint32_t hash, std::string_view bytes) {
  for (char c : bytes) {
    hash ^= static_cast<uint8_t>(c);
    hash *= fnv_prime;
  }
  return hash;
}

constexpr uint32_t fnv1a(std::string_view bytes) { return fnv1a_continue(fnv_offset_basis, bytes); }

// Keys cross every interface as signed 32-bit integers.
constexpr int32_t key_of(std::string_view path) { return static_cast<int32_t>(fnv1a(path)); }

constexpr int32_t key_continue(int32_t key, std::string_view suffix) {
  return static_cast<int32_t>(fnv1a_continue(static_cast<uint32_t>(key), suffix));
}

}  // namespace vexlor
