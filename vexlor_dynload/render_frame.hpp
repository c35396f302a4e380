// The runtime's reader of the game's graphics command frame: the copy-out
// that hands a finished frame to the host, and the frame trace wrappers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "c/vexlor_render_trace.h"
#include "export.hpp"
#include "result.hpp"

namespace vexlor {

using RenderFrameCounts = VexlorRenderFrameCounts;

// Copies the game's finished frame, found through the registry, into the
// destination buffers. Gives no frame while the frame is incomplete.
Result<std::optional<RenderFrameCounts>> copy_jit_render_active(int32_t* dst_i32, size_t i32_len, float* dst_f32,
                                                                size_t f32_len, uint8_t* dst_u8, size_t u8_len);

// The trace of a frame held by the host; 0 unless the slices have the full
// buffer sizes and carry a supported header.
uint32_t current_render_trace(std::span<const int32_t> i32, std::span<const float> f32,
                              std::span<const uint8_t> u8);

}  // namespace vexlor

extern "C" {
VEXLOR_EXPORT uint32_t vexlor_jit_render_trace(int32_t i32_key, int32_t i32_len, int32_t f32_key, int32_t f32_len,
                                               int32_t u8_key, int32_t u8_len) noexcept;
}
