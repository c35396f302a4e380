#include "gfx.hpp"

#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "arith.hpp"
#include "c/vexlor_render_trace.h"
#include "collections.hpp"
#include "fnv.hpp"
#include "registry.hpp"
#include "state_tree.hpp"

namespace quillfen {

namespace {

constexpr int32_t text_bytes_key = vexlor::key_of("gfx_cmd_u8");
constexpr int32_t max_inline_text_bytes = 1024;

int32_t& header(int32_t word) { return gfx_cmd_i32[word]; }

// Adds to a drop counter; the counter may hold anything after a restore.
void count_drop(int32_t word, int32_t amount = 1) { header(word) = wrapping_add(header(word), amount); }

void store_floats(int32_t first, std::initializer_list<float> values) {
  for (float value : values) gfx_cmd_f32[first++] = value;
}

void store_words(int32_t first, std::initializer_list<int32_t> values) {
  for (int32_t value : values) gfx_cmd_i32[first++] = value;
}

// 1 after the largest positive value, and for any value that is not positive.
int32_t next_positive(int32_t value) {
  const int32_t next = wrapping_add(value, 1);
  return next > 0 ? next : 1;
}

bool draw_list_has_room() {
  const int32_t d = header(GXF_WORD_DRAWS);
  return d >= 0 && d < GXF_MAX_DRAWS;
}

bool text_entry_has_room() {
  const int32_t n = header(GXF_WORD_TEXTS);
  return n >= 0 && n < GXF_MAX_TEXTS;
}

// The usable byte length of a text value: its length word (negative counts
// as 0), limited by its capacity word when that is positive, then limited to
// what one inline text entry may carry.
int32_t inline_text_length(int32_t text) {
  int32_t length = vexlor_jit_collection_i32_load(text, vexlor::collection_length_selector);
  const int32_t capacity = vexlor_jit_collection_i32_load(text, vexlor::collection_max_length_selector);
  if (length < 0) length = 0;
  if (capacity > 0 && length > capacity) length = capacity;
  return length < max_inline_text_bytes ? length : max_inline_text_bytes;
}

void store_text_entry(int32_t n, int32_t font, int32_t offset, int32_t length, float x, float y, float red, float green,
                      float blue, float alpha) {
  store_words(GXF_I32_TEXTS + GXF_TEXT_WORDS * n, {font, offset, length});
  store_floats(GXF_F32_TEXTS + GXF_TEXT_FLOATS * n, {x, y, red, green, blue, alpha});
  header(GXF_WORD_TEXTS) = n + 1;
}

// A batch may name only a clip rectangle already pushed in this frame;
// readers refuse the frame otherwise.
bool clip_is_known(int32_t clip) { return clip == -1 || (clip >= 0 && clip < header(GXF_WORD_CLIPS)); }

bool is_open_batch(int32_t token) { return token > 0 && token == gfx_sprite_writer_token; }

// The sprite index the open batch writes next, or -1 when the writer state
// (restored from anywhere) points outside the sprite section.
int32_t next_sprite_index() {
  const int32_t start = gfx_sprite_writer_start;
  const int32_t written = gfx_sprite_writer_written;
  if (written < 0 || written >= gfx_sprite_writer_capacity) return -1;
  if (start < 0 || start >= GXF_MAX_SPRITES || written >= GXF_MAX_SPRITES - start) return -1;
  return start + written;
}

// Readers refuse a whole frame for one sprite with a non-finite value, so the
// writer refuses that sprite alone.
bool all_finite(const SpriteGeometry& s) {
  for (float value : {s.x, s.y, s.width, s.height, s.source_x, s.source_y, s.source_width, s.source_height,
                      s.origin_x, s.origin_y, s.scale_x, s.scale_y, s.rotation})
    if (!std::isfinite(value)) return false;
  return true;
}

bool sprite_is_drawable(int32_t image, int32_t reserved, const SpriteGeometry& s) {
  if (image == 0 || reserved != 0 || !all_finite(s)) return false;
  if (s.width <= 0 || s.height <= 0) return false;
  if (s.source_x < 0 || s.source_y < 0 || s.source_width < 0 || s.source_height < 0) return false;
  if ((s.source_width == 0) != (s.source_height == 0)) return false;
  return s.scale_x != 0 && s.scale_y != 0;
}

}  // namespace

void frame_reset() {
  gfx_sprite_writer_frame_generation = next_positive(gfx_sprite_writer_frame_generation);
  gfx_sprite_writer_token = 0;
  header(GXF_WORD_MAGIC) = gfx_magic;
  header(GXF_WORD_VERSION) = gfx_version;
  for (int32_t word = GXF_WORD_FLAGS; word <= GXF_WORD_TEXT_BYTES; ++word) header(word) = 0;
  for (int32_t word = GXF_WORD_DRAWS; word <= GXF_WORD_DROPPED_UPPER_RECTS; ++word) header(word) = 0;
  for (int32_t word = GXF_WORD_CLIPS; word <= GXF_WORD_DROPPED_BATCHES; ++word) header(word) = 0;
}

void frame_finalize() {
  if (header(GXF_WORD_FLAGS) < GXF_FLAG_COMPLETE) header(GXF_WORD_FLAGS) += GXF_FLAG_COMPLETE;
}

void frame_begin() {
  if (gfx_frame_construction_active == 1) {
    gfx_frame_construction_invalid = 1;
    return;
  }
  frame_reset();
  gfx_frame_construction_invalid = 0;
  gfx_frame_construction_active = 1;
}

int32_t frame_end(int32_t status) {
  const bool bad = gfx_frame_construction_active == 0 || gfx_frame_construction_invalid == 1 || status != 0 ||
                   gfx_sprite_writer_token != 0;
  gfx_frame_construction_active = 0;
  if (bad) {
    frame_reset();
    return status;
  }
  frame_finalize();
  return 0;
}

void set_clear_color(float red, float green, float blue, float alpha) {
  int32_t& flags = header(GXF_WORD_FLAGS);
  if (flags == GXF_FLAG_COMPLETE)
    flags = GXF_FLAG_COMPLETE | GXF_FLAG_CLEAR_COLOR;
  else if (flags == 0)
    flags = GXF_FLAG_CLEAR_COLOR;
  store_floats(GXF_F32_CLEAR_COLOR, {red, green, blue, alpha});
}

int32_t append_draw_entry(int32_t kind, int32_t index) {
  if (!draw_list_has_room()) {
    count_drop(GXF_WORD_DROPPED_DRAWS);
    return 0;
  }
  const int32_t d = header(GXF_WORD_DRAWS);
  gfx_cmd_i32[GXF_I32_DRAWS + d] = wrapping_add(wrapping_mul(kind, 1 << GXF_DRAW_KIND_SHIFT), index);
  header(GXF_WORD_DRAWS) = d + 1;
  return 1;
}

void push_upper_rect(float x, float y, float width, float height, float red, float green, float blue, float alpha) {
  const int32_t c = header(GXF_WORD_UPPER_RECTS);
  const int32_t k = header(GXF_WORD_LOWER_RECTS);
  if (c < 0 || k < 0 || k > GXF_MAX_RECTS || c >= GXF_MAX_RECTS - k || !append_draw_entry(GXF_DRAW_UPPER_RECT, c)) {
    count_drop(GXF_WORD_DROPPED_UPPER_RECTS);
    return;
  }
  store_floats(GXF_F32_UPPER_RECT_0 - GXF_RECT_FLOATS * c, {x, y, width, height, red, green, blue, alpha});
  header(GXF_WORD_UPPER_RECTS) = c + 1;
}

void fill_rect(float x, float y, float width, float height, float red, float green, float blue, float alpha) {
  push_upper_rect(x, y, width, height, red, green, blue, alpha);
}

void push_text(int32_t font, int32_t text, float x, float y, float red, float green, float blue, float alpha) {
  if (!text_entry_has_room()) {
    count_drop(GXF_WORD_DROPPED_TEXTS);
    return;
  }
  const int32_t n = header(GXF_WORD_TEXTS);
  const int32_t length = inline_text_length(text);
  const int32_t offset = header(GXF_WORD_TEXT_BYTES) < 0 ? 0 : header(GXF_WORD_TEXT_BYTES);
  // offset + length + 1 > 65536, arranged so that no sum can overflow.
  if (offset > GXF_U8_COUNT - 1 - length || !append_draw_entry(GXF_DRAW_TEXT, n)) {
    count_drop(GXF_WORD_DROPPED_TEXTS);
    return;
  }
  vexlor_jit_sys_memcpy_u8(text_bytes_key, offset, text, 0, length);
  gfx_cmd_u8[offset + length] = 0;
  store_text_entry(n, font, offset, length, x, y, red, green, blue, alpha);
  header(GXF_WORD_TEXT_BYTES) = offset + length + 1;
}

void push_text_run(int32_t font, int32_t run, float x, float y, float red, float green, float blue, float alpha) {
  if (!text_entry_has_room() || run < 1 || !append_draw_entry(GXF_DRAW_TEXT, header(GXF_WORD_TEXTS))) {
    count_drop(GXF_WORD_DROPPED_TEXTS);
    return;
  }
  store_text_entry(header(GXF_WORD_TEXTS), font, -run, 0, x, y, red, green, blue, alpha);
}

void push_clip(float x, float y, float width, float height) {
  const int32_t e = header(GXF_WORD_CLIPS);
  if (e < 0 || e >= GXF_MAX_CLIPS || !append_draw_entry(GXF_DRAW_CLIP_PUSH, e)) {
    count_drop(GXF_WORD_DROPPED_CLIPS);
    return;
  }
  store_floats(GXF_F32_CLIPS + GXF_CLIP_FLOATS * e, {x, y, width, height});
  header(GXF_WORD_CLIPS) = e + 1;
}

void pop_clip() {
  if (!append_draw_entry(GXF_DRAW_CLIP_POP, 0)) count_drop(GXF_WORD_DROPPED_CLIPS);
}

int32_t sprite_batch_begin(int32_t capacity, int32_t clip, int32_t material, int32_t blend, int32_t filter,
                           int32_t pass, int32_t flags) {
  const int32_t s = header(GXF_WORD_SPRITES);
  const int32_t b = header(GXF_WORD_BATCHES);
  const bool refused = capacity <= 0 || gfx_sprite_writer_token != 0 || s < 0 || s > GXF_MAX_SPRITES ||
                       capacity > GXF_MAX_SPRITES - s || b < 0 || b >= GXF_MAX_BATCHES || !draw_list_has_room() ||
                       !clip_is_known(clip) || material != 0 || blend != 0 || filter != 0 || pass != 0 || flags != 0;
  if (refused) {
    if (capacity > 0) {
      count_drop(GXF_WORD_DROPPED_SPRITES, capacity);
      count_drop(GXF_WORD_DROPPED_BATCHES);
    }
    return 0;
  }
  gfx_sprite_writer_next_token = next_positive(gfx_sprite_writer_next_token);
  gfx_sprite_writer_token = gfx_sprite_writer_next_token;
  gfx_sprite_writer_start = s;
  gfx_sprite_writer_capacity = capacity;
  gfx_sprite_writer_written = 0;
  gfx_sprite_writer_clip = clip;
  gfx_sprite_writer_material = material;
  gfx_sprite_writer_blend = blend;
  gfx_sprite_writer_filter = filter;
  gfx_sprite_writer_pass = pass;
  gfx_sprite_writer_flags = flags;
  return gfx_sprite_writer_token;
}

int32_t sprite_batch_add(int32_t token, int32_t image, int32_t color, int32_t reserved, const SpriteGeometry& sprite) {
  const int32_t k = next_sprite_index();
  if (!is_open_batch(token) || k < 0 || !sprite_is_drawable(image, reserved, sprite)) return 0;
  store_words(GXF_I32_SPRITES + GXF_SPRITE_WORDS * k, {image, color, 0});
  store_floats(
      GXF_F32_SPRITES + GXF_SPRITE_FLOATS * k,
      {sprite.x, sprite.y, sprite.width, sprite.height, sprite.source_x, sprite.source_y, sprite.source_width,
       sprite.source_height, sprite.origin_x, sprite.origin_y, sprite.scale_x, sprite.scale_y, sprite.rotation});
  gfx_sprite_writer_written += 1;
  return 1;
}

int32_t sprite_batch_end(int32_t token, int32_t count) {
  if (!is_open_batch(token) || count < 0 || count > gfx_sprite_writer_written) return 0;
  if (count == 0) {
    gfx_sprite_writer_token = 0;
    return 1;
  }
  const int32_t b = header(GXF_WORD_BATCHES);
  const int32_t d = header(GXF_WORD_DRAWS);
  const int32_t start = gfx_sprite_writer_start;
  // The start is checked as well: a restored writer state may point anywhere.
  if (b < 0 || b >= GXF_MAX_BATCHES || !draw_list_has_room() || start < 0 || start > GXF_MAX_SPRITES ||
      count > GXF_MAX_SPRITES - start)
    return 0;
  store_words(GXF_I32_BATCHES + GXF_BATCH_WORDS * b,
              {start, count, gfx_sprite_writer_clip, gfx_sprite_writer_material, gfx_sprite_writer_blend,
               gfx_sprite_writer_filter, gfx_sprite_writer_pass, gfx_sprite_writer_flags});
  gfx_cmd_i32[GXF_I32_DRAWS + d] = (GXF_DRAW_BATCH << GXF_DRAW_KIND_SHIFT) + b;
  header(GXF_WORD_SPRITES) = start + count;
  header(GXF_WORD_BATCHES) = b + 1;
  header(GXF_WORD_DRAWS) = d + 1;
  gfx_sprite_writer_token = 0;
  return 1;
}

int32_t sprite_batch_abort(int32_t token) {
  if (!is_open_batch(token)) return 0;
  gfx_sprite_writer_token = 0;
  return 1;
}

void draw_sprite(int32_t image, int32_t color, const SpriteGeometry& sprite) {
  const int32_t token = sprite_batch_begin(1, -1, 0, 0, 0, 0, 0);
  if (token == 0) return;
  if (sprite_batch_add(token, image, color, 0, sprite) == 0)
    sprite_batch_abort(token);
  else
    sprite_batch_end(token, 1);
}

void draw_image(int32_t image, float rotation, int32_t alpha, float x, float y, float width, float height) {
  const int32_t clamped_alpha = alpha < 0 ? 0 : (alpha > 255 ? 255 : alpha);
  const auto color = static_cast<int32_t>(0xFFFFFF00u + static_cast<uint32_t>(clamped_alpha));
  const SpriteGeometry sprite{x, y, width, height, 0, 0, 0, 0, width / 2, height / 2, 1, 1, rotation};
  draw_sprite(image, color, sprite);
}

void draw_asset(int32_t record_key, float x, float y, int32_t alpha, float rotation) {
  const int32_t sprite_ref = vexlor_jit_global_i32_load(vexlor::key_continue(record_key, ".sprite_ref"));
  const int32_t width = vexlor_jit_global_i32_load(vexlor::key_continue(record_key, ".width"));
  const int32_t height = vexlor_jit_global_i32_load(vexlor::key_continue(record_key, ".height"));
  if (sprite_ref == 0 || width <= 0 || height <= 0) return;
  draw_image(sprite_ref, rotation, alpha, x, y, static_cast<float>(width), static_cast<float>(height));
}

}  // namespace quillfen
