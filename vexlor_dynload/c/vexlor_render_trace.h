/* The "GXF1" graphics command frame as readers see it: its layout, the
 * canonical validation every reader applies, and the frame trace hash. */
#ifndef VEXLOR_RENDER_TRACE_H
#define VEXLOR_RENDER_TRACE_H

#include <stdbool.h>
#include <stdint.h>

#include "../export.hpp"

#ifdef __cplusplus
extern "C" {
#endif

enum {
  GXF_MAGIC = 0x47584631,
  GXF_I32_COUNT = 67888,
  GXF_F32_COUNT = 146564,
  GXF_U8_COUNT = 65536,

  /* Header words of the integer buffer. */
  GXF_WORD_MAGIC = 0,
  GXF_WORD_VERSION = 1,
  GXF_WORD_FLAGS = 2,
  GXF_WORD_LOWER_RECTS = 3,
  GXF_WORD_SPRITES = 4,
  GXF_WORD_DROPPED_SPRITES = 6,
  GXF_WORD_TEXTS = 7,
  GXF_WORD_DROPPED_TEXTS = 8,
  GXF_WORD_TEXT_BYTES = 9,
  GXF_WORD_DRAWS = 22,
  GXF_WORD_DROPPED_DRAWS = 23,
  GXF_WORD_UPPER_RECTS = 24,
  GXF_WORD_DROPPED_UPPER_RECTS = 25,
  GXF_WORD_CLIPS = 27,
  GXF_WORD_DROPPED_CLIPS = 28,
  GXF_WORD_BATCHES = 29,
  GXF_WORD_DROPPED_BATCHES = 30,

  GXF_FLAG_CLEAR_COLOR = 1,
  GXF_FLAG_COMPLETE = 2,

  /* Capacities. */
  GXF_MAX_RECTS = 10000,
  GXF_MAX_SPRITES = 4096,
  GXF_MAX_BATCHES = 4096,
  GXF_MAX_TEXTS = 2048,
  GXF_MAX_DRAWS = 16656,
  GXF_MAX_CLIPS = 256,
  GXF_MAX_CLIP_DEPTH = 256,

  /* Integer sections: first word and record size. */
  GXF_I32_SPRITES = 32,
  GXF_SPRITE_WORDS = 3,
  GXF_I32_TEXTS = 12320,
  GXF_TEXT_WORDS = 3,
  GXF_I32_BATCHES = 18464,
  GXF_BATCH_WORDS = 8,
  GXF_I32_DRAWS = 51232,

  /* Float sections: first float and record size. */
  GXF_F32_CLEAR_COLOR = 0,
  GXF_F32_LOWER_RECTS = 4,
  GXF_F32_UPPER_RECT_0 = 79996, /* upper rectangle c sits at 79996 - 8c */
  GXF_RECT_FLOATS = 8,
  GXF_F32_SPRITES = 80004,
  GXF_SPRITE_FLOATS = 13,
  GXF_F32_TEXTS = 133252,
  GXF_TEXT_FLOATS = 6,
  GXF_F32_CLIPS = 145540,
  GXF_CLIP_FLOATS = 4,

  /* Draw list entry: kind << 14 | index. */
  GXF_DRAW_KIND_SHIFT = 14,
  GXF_DRAW_INDEX_MASK = 16383,
  GXF_DRAW_LOWER_RECT = 1,
  GXF_DRAW_BATCH = 2,
  GXF_DRAW_TEXT = 3,
  GXF_DRAW_UPPER_RECT = 4,
  GXF_DRAW_CLIP_PUSH = 5,
  GXF_DRAW_CLIP_POP = 6
};

/* The record counts of a frame, in the order the copy-out reports them. */
typedef struct VexlorRenderFrameCounts {
  uint32_t lower_rects;
  uint32_t upper_rects;
  uint32_t sprites;
  uint32_t batches;
  uint32_t texts;
  uint32_t text_bytes;
  uint32_t draws;
  uint32_t clips;
} VexlorRenderFrameCounts;

/* Applies the canonical validation to a frame of full-size buffers; the byte
 * buffer is not needed. On success fills *counts (may be null) and returns
 * true. */
bool vexlor_render_frame_validate(const int32_t* i32, const float* f32, VexlorRenderFrameCounts* counts);

/* The frame trace: 0 for an invalid frame. The byte buffer may be null. */
VEXLOR_EXPORT uint32_t vexlor_render_trace_native(const int32_t* i32, const float* f32, const uint8_t* u8);

#ifdef __cplusplus
}
#endif

#endif
