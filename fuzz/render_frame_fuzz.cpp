// Fuzzes the frame validator, the frame trace and the copy-out over frames of
// any content. The input is a list of 7-byte writes into an empty complete
// frame: a section selector, a 16-bit offset into the section and a 32-bit
// value, so that every record of every section is within easy reach.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "c/vexlor_render_trace.h"
#include "fnv.hpp"
#include "registry.hpp"
#include "render_frame.hpp"

namespace {

struct Buffers {
  std::vector<int32_t> i32 = std::vector<int32_t>(GXF_I32_COUNT);
  std::vector<float> f32 = std::vector<float>(GXF_F32_COUNT);
  std::vector<uint8_t> u8 = std::vector<uint8_t>(GXF_U8_COUNT);

  void reset() {
    std::memset(i32.data(), 0, i32.size() * sizeof(int32_t));
    std::memset(f32.data(), 0, f32.size() * sizeof(float));
    std::memset(u8.data(), 0, u8.size());
    i32[GXF_WORD_MAGIC] = GXF_MAGIC;
    i32[GXF_WORD_VERSION] = 8;
    i32[GXF_WORD_FLAGS] = GXF_FLAG_COMPLETE;
  }
};

enum class Lane { I32, F32, U8 };

struct Section {
  Lane lane;
  size_t first;
};

constexpr std::array<Section, 12> sections{{
    {Lane::I32, 0},
    {Lane::I32, GXF_I32_SPRITES},
    {Lane::I32, GXF_I32_TEXTS},
    {Lane::I32, GXF_I32_BATCHES},
    {Lane::I32, GXF_I32_DRAWS},
    {Lane::F32, GXF_F32_CLEAR_COLOR},
    {Lane::F32, GXF_F32_LOWER_RECTS},
    {Lane::F32, GXF_F32_UPPER_RECT_0 - 8 * 64},  // the first upper rectangles
    {Lane::F32, GXF_F32_SPRITES},
    {Lane::F32, GXF_F32_TEXTS},
    {Lane::F32, GXF_F32_CLIPS},
    {Lane::U8, 0},
}};

void write(Buffers& b, const uint8_t* patch) {
  const Section& s = sections[patch[0] % sections.size()];
  const size_t offset = size_t{patch[1]} | size_t{patch[2]} << 8;
  uint32_t value;
  std::memcpy(&value, patch + 3, sizeof value);
  switch (s.lane) {
    case Lane::I32: b.i32[(s.first + offset) % b.i32.size()] = static_cast<int32_t>(value); break;
    case Lane::F32: std::memcpy(&b.f32[(s.first + offset) % b.f32.size()], &value, sizeof value); break;
    case Lane::U8: b.u8[offset % b.u8.size()] = static_cast<uint8_t>(value); break;
  }
}

void check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Buffers game;
  static Buffers copy;
  static const bool registered = [] {
    vexlor::register_global_i32_array(vexlor::key_of("gfx_cmd_i32"), 0, game.i32.data(), game.i32.size());
    vexlor::register_global_f32_array(vexlor::key_of("gfx_cmd_f32"), 0, game.f32.data(), game.f32.size());
    vexlor::register_global_u8_array(vexlor::key_of("gfx_cmd_u8"), 0, game.u8.data(), game.u8.size());
    return true;
  }();
  (void)registered;

  game.reset();
  for (size_t at = 0; at + 7 <= size; at += 7) write(game, data + at);

  const bool valid = vexlor_render_frame_validate(game.i32.data(), game.f32.data(), nullptr);
  const uint32_t trace = vexlor_render_trace_native(game.i32.data(), game.f32.data(), game.u8.data());
  const uint32_t trace_without_bytes = vexlor_render_trace_native(game.i32.data(), game.f32.data(), nullptr);
  if (!valid) check(trace == 0 && trace_without_bytes == 0);

  auto copied = vexlor::copy_jit_render_active(copy.i32.data(), copy.i32.size(), copy.f32.data(), copy.f32.size(),
                                               copy.u8.data(), copy.u8.size());
  const bool complete = game.i32[GXF_WORD_VERSION] == 7 || (game.i32[GXF_WORD_FLAGS] & GXF_FLAG_COMPLETE) != 0;
  if (copied && copied->has_value()) {
    check(valid);
    // The copy is the same frame.
    check(vexlor::current_render_trace(copy.i32, copy.f32, copy.u8) == trace);
  } else if (valid) {
    check(copied && !complete);
  }
  return 0;
}
