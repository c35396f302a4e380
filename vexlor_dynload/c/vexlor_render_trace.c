#include "vexlor_render_trace.h"

#include <math.h>
#include <string.h>

enum {
  SALT_LOWER_RECT = 2,
  SALT_SPRITE = 3,
  SALT_TEXT_RUN = 4,
  SALT_TEXT_INLINE = 5,
  SALT_COMPLETE = 6,
  SALT_UPPER_RECT = 7,
  SALT_CLIP_PUSH = 8,
  SALT_CLIP_POP = 9,
  SALT_BATCH = 10
};

static const uint32_t fnv_prime = 16777619u;
static const uint32_t salt_prime = 0x502C3F11u;
static const uint32_t start_plain = 0xCCF7ED9Du;
static const uint32_t start_clear_color = 0x36C02B5Cu;

/* ---- validation ---------------------------------------------------------- */

static bool counts_in_range(const int32_t* i32, VexlorRenderFrameCounts* c) {
  c->lower_rects = (uint32_t)i32[GXF_WORD_LOWER_RECTS];
  c->upper_rects = (uint32_t)i32[GXF_WORD_UPPER_RECTS];
  c->sprites = (uint32_t)i32[GXF_WORD_SPRITES];
  c->batches = (uint32_t)i32[GXF_WORD_BATCHES];
  c->texts = (uint32_t)i32[GXF_WORD_TEXTS];
  c->text_bytes = (uint32_t)i32[GXF_WORD_TEXT_BYTES];
  c->draws = (uint32_t)i32[GXF_WORD_DRAWS];
  c->clips = (uint32_t)i32[GXF_WORD_CLIPS];
  return c->sprites <= GXF_MAX_SPRITES && c->lower_rects <= GXF_MAX_RECTS && c->text_bytes <= GXF_U8_COUNT &&
         c->texts <= GXF_MAX_TEXTS && i32[GXF_WORD_UPPER_RECTS] >= 0 && c->draws <= GXF_MAX_DRAWS &&
         c->batches <= GXF_MAX_BATCHES && c->clips <= GXF_MAX_CLIPS &&
         c->upper_rects <= GXF_MAX_RECTS - c->lower_rects;
}

static bool batches_valid(const int32_t* i32, const VexlorRenderFrameCounts* c) {
  for (uint32_t b = 0; b < c->batches; ++b) {
    const int32_t* batch = i32 + GXF_I32_BATCHES + GXF_BATCH_WORDS * b;
    const int32_t start = batch[0];
    const int32_t count = batch[1];
    const int32_t clip = batch[2];
    if (start < 0 || count < 1 || (uint32_t)start > c->sprites || (uint32_t)count > c->sprites - (uint32_t)start)
      return false;
    if (clip != -1 && (clip < 0 || (uint32_t)clip >= c->clips)) return false;
    if ((batch[3] | batch[4] | batch[5] | batch[6] | batch[7]) != 0) return false;
  }
  return true;
}

/* The sprite checks are branch-free and split so that the compiler can
 * vectorise them: all sprite floats lie in one block and are checked for
 * finiteness in one loop; invalid frames are rare and bounded in size. */
static bool all_finite(const float* floats, uint32_t count) {
  uint32_t non_finite = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t bits;
    memcpy(&bits, &floats[i], sizeof bits);
    non_finite |= (bits & 0x7F800000u) == 0x7F800000u;
  }
  return non_finite == 0;
}

/* Floats: x, y, width, height, source x, y, width, height, origin x, y,
 * scale x, y, rotation; all finite. */
static bool sprite_valid(const int32_t* words, const float* f) {
  return (words[0] != 0) & (words[2] == 0) & (f[2] > 0.0f) & (f[3] > 0.0f) & (f[4] >= 0.0f) & (f[5] >= 0.0f) &
         (f[6] >= 0.0f) & (f[7] >= 0.0f) & ((f[6] == 0.0f) == (f[7] == 0.0f)) & (f[10] != 0.0f) & (f[11] != 0.0f);
}

static bool sprites_valid(const int32_t* i32, const float* f32, const VexlorRenderFrameCounts* c) {
  bool valid = all_finite(f32 + GXF_F32_SPRITES, GXF_SPRITE_FLOATS * c->sprites);
  for (uint32_t k = 0; k < c->sprites; ++k)
    valid &= sprite_valid(i32 + GXF_I32_SPRITES + GXF_SPRITE_WORDS * k, f32 + GXF_F32_SPRITES + GXF_SPRITE_FLOATS * k);
  return valid;
}

static bool texts_valid(const int32_t* i32, const VexlorRenderFrameCounts* c) {
  for (uint32_t n = 0; n < c->texts; ++n) {
    const int32_t* text = i32 + GXF_I32_TEXTS + GXF_TEXT_WORDS * n;
    const int32_t offset = text[1];
    const int32_t length = text[2];
    if (offset < 0) {
      if (offset == INT32_MIN || length != 0) return false;
    } else if ((uint32_t)offset >= c->text_bytes || length < 0 ||
               (uint32_t)length >= c->text_bytes - (uint32_t)offset) {
      return false;
    }
  }
  return true;
}

/* Table-driven and branch-free: the entry's kind selects the bound of its
 * index (kinds 0 and 7, and negative entries, have bound 0), and the clip
 * depth is tracked as a signed count that must stay within 0..256. */
static bool draw_list_valid(const int32_t* i32, const VexlorRenderFrameCounts* c) {
  const uint32_t index_bound[8] = {0, c->lower_rects, c->batches, c->texts, c->upper_rects, c->clips, 1, 0};
  bool valid = true;
  int32_t depth = 0;
  for (uint32_t d = 0; d < c->draws; ++d) {
    const uint32_t entry = (uint32_t)i32[GXF_I32_DRAWS + d];
    const uint32_t shifted_kind = entry >> GXF_DRAW_KIND_SHIFT;
    const uint32_t kind = shifted_kind < 8 ? shifted_kind : 0;
    valid &= (entry & GXF_DRAW_INDEX_MASK) < index_bound[kind];
    depth += (int32_t)(kind == GXF_DRAW_CLIP_PUSH) - (int32_t)(kind == GXF_DRAW_CLIP_POP);
    valid &= (uint32_t)depth <= GXF_MAX_CLIP_DEPTH;
  }
  return valid & (depth == 0);
}

bool vexlor_render_frame_validate(const int32_t* i32, const float* f32, VexlorRenderFrameCounts* counts) {
  if (i32 == NULL || f32 == NULL) return false;
  if (i32[GXF_WORD_MAGIC] != GXF_MAGIC) return false;
  if (i32[GXF_WORD_VERSION] != 7 && i32[GXF_WORD_VERSION] != 8) return false;
  VexlorRenderFrameCounts c;
  if (!counts_in_range(i32, &c) || !batches_valid(i32, &c) || !sprites_valid(i32, f32, &c) ||
      !texts_valid(i32, &c) || !draw_list_valid(i32, &c))
    return false;
  if (counts != NULL) *counts = c;
  return true;
}

/* ---- hashing ------------------------------------------------------------- */

static inline uint32_t hash_byte(uint32_t h, uint8_t byte) { return (h ^ byte) * fnv_prime; }

static inline uint32_t hash_salt(uint32_t h, uint32_t salt) { return (h ^ salt) * salt_prime; }

/* A word is hashed as its four bytes, least significant first. */
static inline uint32_t hash_u32(uint32_t h, uint32_t word) {
  h = hash_byte(h, (uint8_t)word);
  h = hash_byte(h, (uint8_t)(word >> 8));
  h = hash_byte(h, (uint8_t)(word >> 16));
  return hash_byte(h, (uint8_t)(word >> 24));
}

static uint32_t hash_words(uint32_t h, const int32_t* words, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) h = hash_u32(h, (uint32_t)words[i]);
  return h;
}

static uint32_t hash_floats(uint32_t h, const float* floats, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t bits;
    memcpy(&bits, &floats[i], sizeof bits);
    h = hash_u32(h, bits);
  }
  return h;
}

static uint32_t hash_lower_rect(uint32_t h, const float* f32, uint32_t k) {
  return hash_floats(hash_salt(h, SALT_LOWER_RECT), f32 + GXF_F32_LOWER_RECTS + GXF_RECT_FLOATS * k, GXF_RECT_FLOATS);
}

static uint32_t hash_upper_rect(uint32_t h, const float* f32, uint32_t c) {
  return hash_floats(hash_salt(h, SALT_UPPER_RECT), f32 + GXF_F32_UPPER_RECT_0 - GXF_RECT_FLOATS * c, GXF_RECT_FLOATS);
}

static uint32_t hash_batch(uint32_t h, const int32_t* i32, const float* f32, uint32_t b) {
  const int32_t* batch = i32 + GXF_I32_BATCHES + GXF_BATCH_WORDS * b;
  h = hash_words(hash_salt(h, SALT_BATCH), batch, GXF_BATCH_WORDS);
  const uint32_t end = (uint32_t)batch[0] + (uint32_t)batch[1];
  for (uint32_t k = (uint32_t)batch[0]; k < end; ++k) {
    h = hash_salt(h, SALT_SPRITE);
    h = hash_words(h, i32 + GXF_I32_SPRITES + GXF_SPRITE_WORDS * k, GXF_SPRITE_WORDS);
    h = hash_floats(h, f32 + GXF_F32_SPRITES + GXF_SPRITE_FLOATS * k, GXF_SPRITE_FLOATS);
  }
  return h;
}

static uint32_t hash_text(uint32_t h, const int32_t* i32, const float* f32, const uint8_t* u8, uint32_t n) {
  const int32_t* text = i32 + GXF_I32_TEXTS + GXF_TEXT_WORDS * n;
  const int32_t offset = text[1];
  h = hash_salt(h, offset >= 0 ? SALT_TEXT_INLINE : SALT_TEXT_RUN);
  h = hash_words(h, text, GXF_TEXT_WORDS);
  h = hash_floats(h, f32 + GXF_F32_TEXTS + GXF_TEXT_FLOATS * n, GXF_TEXT_FLOATS);
  /* Validation has bounded an inline text by the used text bytes. */
  if (u8 != NULL && offset >= 0) {
    const uint8_t* bytes = u8 + offset;
    for (int32_t i = 0; i < text[2]; ++i) h = hash_byte(h, bytes[i]);
  }
  return h;
}

static uint32_t hash_clip_push(uint32_t h, const float* f32, uint32_t e) {
  return hash_floats(hash_salt(h, SALT_CLIP_PUSH), f32 + GXF_F32_CLIPS + GXF_CLIP_FLOATS * e, GXF_CLIP_FLOATS);
}

/* Without a draw list every record is hashed, kind by kind. */
static uint32_t hash_canonical_order(uint32_t h, const int32_t* i32, const float* f32, const uint8_t* u8,
                                     const VexlorRenderFrameCounts* c) {
  for (uint32_t k = 0; k < c->lower_rects; ++k) h = hash_lower_rect(h, f32, k);
  for (uint32_t k = 0; k < c->upper_rects; ++k) h = hash_upper_rect(h, f32, k);
  for (uint32_t b = 0; b < c->batches; ++b) h = hash_batch(h, i32, f32, b);
  for (uint32_t n = 0; n < c->texts; ++n) h = hash_text(h, i32, f32, u8, n);
  return h;
}

static uint32_t hash_draw_list(uint32_t h, const int32_t* i32, const float* f32, const uint8_t* u8,
                               const VexlorRenderFrameCounts* c) {
  for (uint32_t d = 0; d < c->draws; ++d) {
    const int32_t entry = i32[GXF_I32_DRAWS + d];
    const uint32_t index = (uint32_t)entry & GXF_DRAW_INDEX_MASK;
    switch (entry >> GXF_DRAW_KIND_SHIFT) {
      case GXF_DRAW_LOWER_RECT: h = hash_lower_rect(h, f32, index); break;
      case GXF_DRAW_BATCH: h = hash_batch(h, i32, f32, index); break;
      case GXF_DRAW_TEXT: h = hash_text(h, i32, f32, u8, index); break;
      case GXF_DRAW_UPPER_RECT: h = hash_upper_rect(h, f32, index); break;
      case GXF_DRAW_CLIP_PUSH: h = hash_clip_push(h, f32, index); break;
      case GXF_DRAW_CLIP_POP: h = hash_salt(h, SALT_CLIP_POP); break;
      default: break;
    }
  }
  return h;
}

uint32_t vexlor_render_trace_native(const int32_t* i32, const float* f32, const uint8_t* u8) {
  VexlorRenderFrameCounts c;
  if (!vexlor_render_frame_validate(i32, f32, &c)) return 0;
  const int32_t flags = i32[GXF_WORD_FLAGS];
  uint32_t h = start_plain;
  if (flags & GXF_FLAG_CLEAR_COLOR) h = hash_floats(start_clear_color, f32 + GXF_F32_CLEAR_COLOR, 4);
  h = c.draws == 0 ? hash_canonical_order(h, i32, f32, u8, &c) : hash_draw_list(h, i32, f32, u8, &c);
  if (flags & GXF_FLAG_COMPLETE) h = hash_salt(h, SALT_COMPLETE);
  return h;
}
