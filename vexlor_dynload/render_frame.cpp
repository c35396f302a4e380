#include "render_frame.hpp"

#include <algorithm>
#include <cstring>

#include "fnv.hpp"
#include "registry.hpp"

namespace vexlor {
namespace {

constexpr const char* wrong_capacity_message = "production render destination has the wrong capacity";
constexpr const char* not_registered_message = "production render buffers were not registered by the JIT";
constexpr const char* unsupported_frame_message = "JIT frame is not a supported production gfx_cmd frame";
constexpr const char* invalid_frame_message = "JIT frame failed canonical render validation";

bool supported_version(int32_t version) { return version == 7 || version == 8; }

bool supported_header(const int32_t* i32) {
  return i32[GXF_WORD_MAGIC] == GXF_MAGIC && supported_version(i32[GXF_WORD_VERSION]);
}

// A registered array of at least `minimum` elements, or null; looking it up
// never provisions storage.
template <class T>
T* registered_array(JitStorageKind kind, int32_t key, size_t minimum) {
  Result<Backing> backing = registered_storage(kind, key, 0);
  if (!backing || backing->count < minimum) return nullptr;
  return static_cast<T*>(backing->address);
}

struct GameFrame {
  const int32_t* i32;
  const float* f32;
  const uint8_t* u8;
};

// The frame's buffers at their full sizes, after the header words have
// been read from an array of at least two words.
std::optional<GameFrame> full_buffers(int32_t i32_key, int32_t f32_key, int32_t u8_key) {
  const int32_t* i32 = registered_array<int32_t>(JitStorageKind::I32, i32_key, GXF_I32_COUNT);
  const float* f32 = registered_array<float>(JitStorageKind::F32, f32_key, GXF_F32_COUNT);
  const uint8_t* u8 = global_u8_array_ptr(u8_key);
  if (!i32 || !f32 || !u8) return std::nullopt;
  return GameFrame{i32, f32, u8};
}

template <class T>
void copy_range(T* dst, const T* src, size_t first, size_t count) {
  if (count != 0) std::memcpy(dst + first, src + first, count * sizeof(T));
}

void copy_header(int32_t* dst, const int32_t* src, const RenderFrameCounts& c) {
  copy_range(dst, src, 0, 10);
  dst[GXF_WORD_DRAWS] = static_cast<int32_t>(c.draws);
  dst[GXF_WORD_DROPPED_DRAWS] = 0;
  dst[GXF_WORD_UPPER_RECTS] = static_cast<int32_t>(c.upper_rects);
  dst[GXF_WORD_DROPPED_UPPER_RECTS] = src[GXF_WORD_DROPPED_UPPER_RECTS];
  copy_range(dst, src, GXF_WORD_CLIPS, 4);
  dst[GXF_WORD_CLIPS] = static_cast<int32_t>(c.clips);
  dst[GXF_WORD_BATCHES] = static_cast<int32_t>(c.batches);
}

void copy_frame(const GameFrame& src, int32_t* i32, float* f32, uint8_t* u8, const RenderFrameCounts& c) {
  copy_header(i32, src.i32, c);
  copy_range(i32, src.i32, GXF_I32_SPRITES, size_t{GXF_SPRITE_WORDS} * c.sprites);
  copy_range(i32, src.i32, GXF_I32_TEXTS, size_t{GXF_TEXT_WORDS} * c.texts);
  copy_range(i32, src.i32, GXF_I32_BATCHES, size_t{GXF_BATCH_WORDS} * c.batches);
  copy_range(i32, src.i32, GXF_I32_DRAWS, c.draws);
  copy_range(f32, src.f32, GXF_F32_CLEAR_COLOR, 4);
  copy_range(f32, src.f32, GXF_F32_LOWER_RECTS, size_t{GXF_RECT_FLOATS} * c.lower_rects);
  const size_t upper_floats = size_t{GXF_RECT_FLOATS} * c.upper_rects;
  copy_range(f32, src.f32, GXF_F32_UPPER_RECT_0 + GXF_RECT_FLOATS - upper_floats, upper_floats);
  copy_range(f32, src.f32, GXF_F32_SPRITES, size_t{GXF_SPRITE_FLOATS} * c.sprites);
  copy_range(f32, src.f32, GXF_F32_TEXTS, size_t{GXF_TEXT_FLOATS} * c.texts);
  copy_range(f32, src.f32, GXF_F32_CLIPS, size_t{GXF_CLIP_FLOATS} * c.clips);
  copy_range(u8, src.u8, 0, c.text_bytes);
}

const int32_t gfx_cmd_i32_key = key_of("gfx_cmd_i32");
const int32_t gfx_cmd_f32_key = key_of("gfx_cmd_f32");
const int32_t gfx_cmd_u8_key = key_of("gfx_cmd_u8");

}  // namespace

Result<std::optional<RenderFrameCounts>> copy_jit_render_active(int32_t* dst_i32, size_t i32_len, float* dst_f32,
                                                                size_t f32_len, uint8_t* dst_u8, size_t u8_len) {
  if (!dst_i32 || !dst_f32 || !dst_u8 || i32_len < GXF_I32_COUNT || f32_len < GXF_F32_COUNT ||
      u8_len < GXF_U8_COUNT) {
    return error(wrong_capacity_message);
  }
  const int32_t* header = registered_array<int32_t>(JitStorageKind::I32, gfx_cmd_i32_key, 2);
  if (!header) return error(not_registered_message);
  const int32_t version = header[GXF_WORD_VERSION];
  if (!supported_version(version)) {
    return error("JIT frame has unsupported gfx_cmd version " + std::to_string(version) + "; expected 8");
  }
  std::optional<GameFrame> frame = full_buffers(gfx_cmd_i32_key, gfx_cmd_f32_key, gfx_cmd_u8_key);
  if (!frame) return error(not_registered_message);
  if (!supported_header(frame->i32)) return error(unsupported_frame_message);
  if (frame->i32[GXF_WORD_VERSION] == 8 && (frame->i32[GXF_WORD_FLAGS] & GXF_FLAG_COMPLETE) == 0) {
    return std::optional<RenderFrameCounts>{};
  }
  RenderFrameCounts counts;
  if (!vexlor_render_frame_validate(frame->i32, frame->f32, &counts)) return error(invalid_frame_message);
  copy_frame(*frame, dst_i32, dst_f32, dst_u8, counts);
  return std::optional<RenderFrameCounts>{counts};
}

uint32_t current_render_trace(std::span<const int32_t> i32, std::span<const float> f32,
                              std::span<const uint8_t> u8) {
  if (i32.size() != GXF_I32_COUNT || f32.size() != GXF_F32_COUNT || u8.size() != GXF_U8_COUNT) return 0;
  if (!supported_header(i32.data())) return 0;
  return vexlor_render_trace_native(i32.data(), f32.data(), u8.data());
}

}  // namespace vexlor

using namespace vexlor;

uint32_t vexlor_jit_render_trace(int32_t i32_key, int32_t i32_len, int32_t f32_key, int32_t f32_len, int32_t u8_key,
                                 int32_t u8_len) noexcept {
  if (i32_len != GXF_I32_COUNT || f32_len != GXF_F32_COUNT || u8_len != GXF_U8_COUNT) return 0;
  const int32_t* header = registered_array<int32_t>(JitStorageKind::I32, i32_key, 2);
  if (!header || !supported_header(header)) return 0;
  std::optional<GameFrame> frame = full_buffers(i32_key, f32_key, u8_key);
  if (!frame) return 0;
  return vexlor_render_trace_native(frame->i32, frame->f32, frame->u8);
}
