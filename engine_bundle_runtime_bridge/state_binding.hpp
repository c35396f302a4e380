// The records of the generated state tables: how each global is registered
// with the registry and how it is laid out in the replay image.
#pragma once

#include <cstdint>

#include "registry.hpp"

namespace quillfen {

struct StateBinding {
  vexlor::JitStorageKind kind;
  int32_t first_key;
  int32_t second_key;  // 0 for scalars and standalone arrays
  void* address;
  int32_t count;  // elements; 1 for scalars
};

enum class ReplayEncoding : uint8_t {
  Bool,       // one byte, 0 or 1, from a 32-bit integer
  Word,       // four bytes, little-endian
  BoolArray,  // one byte per element
  WordArray,  // four bytes per element
  ByteArray,  // one byte per element, as stored
};

struct ReplayField {
  ReplayEncoding encoding;
  void* address;
  int32_t count;
};

}  // namespace quillfen
