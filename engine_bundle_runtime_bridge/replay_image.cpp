// The replay image: the game's own state (everything under app except
// app.host) as one fixed-size byte image, field by field in the order of the
// generated layout. No header, no padding; words are little-endian.
#include <bit>
#include <cstring>

#include "bridge.hpp"
#include "export.hpp"
#include "state_tables.hpp"

static_assert(std::endian::native == std::endian::little, "the image stores words as they lie in memory");

namespace quillfen {

namespace {

constexpr int32_t refused = -replay_image_size;

uint8_t* write_field(const ReplayField& field, uint8_t* out) {
  const auto count = static_cast<size_t>(field.count);
  switch (field.encoding) {
    case ReplayEncoding::Bool:
    case ReplayEncoding::BoolArray: {
      const auto* values = static_cast<const int32_t*>(field.address);
      for (size_t i = 0; i < count; ++i) out[i] = values[i] != 0 ? 1 : 0;
      return out + count;
    }
    case ReplayEncoding::Word:
    case ReplayEncoding::WordArray:
      std::memcpy(out, field.address, count * 4);
      return out + count * 4;
    case ReplayEncoding::ByteArray:
      std::memcpy(out, field.address, count);
      return out + count;
  }
  return out;
}

const uint8_t* restore_field(const ReplayField& field, const uint8_t* in) {
  const auto count = static_cast<size_t>(field.count);
  switch (field.encoding) {
    case ReplayEncoding::Bool:
    case ReplayEncoding::BoolArray: {
      auto* values = static_cast<int32_t*>(field.address);
      for (size_t i = 0; i < count; ++i) values[i] = in[i] != 0 ? 1 : 0;
      return in + count;
    }
    case ReplayEncoding::Word:
    case ReplayEncoding::WordArray:
      std::memcpy(field.address, in, count * 4);
      return in + count * 4;
    case ReplayEncoding::ByteArray:
      std::memcpy(field.address, in, count);
      return in + count;
  }
  return in;
}

}  // namespace

int32_t replay_image_write(uint8_t* destination, int32_t capacity) {
  if (destination == nullptr || capacity < replay_image_size) return refused;
  uint8_t* out = destination;
  for (const ReplayField& field : replay_fields) out = write_field(field, out);
  return replay_image_size;
}

int32_t replay_image_restore(const uint8_t* source, int32_t length) {
  if (source == nullptr || length != replay_image_size) return refused;
  const uint8_t* in = source;
  for (const ReplayField& field : replay_fields) in = restore_field(field, in);
  return replay_image_size;
}

}  // namespace quillfen

extern "C" {

VEXLOR_EXPORT int32_t vexlor_replay_state_snapshot_size() { return quillfen::replay_image_size; }

VEXLOR_EXPORT int32_t vexlor_replay_state_snapshot_write(uint8_t* destination, int32_t capacity) {
  return quillfen::replay_image_write(destination, capacity);
}

VEXLOR_EXPORT int32_t vexlor_replay_state_snapshot_restore(const uint8_t* source, int32_t length) {
  return quillfen::replay_image_restore(source, length);
}

}
