// The game-side writer of the graphics command frame: the frame header, the
// rectangle pool, texts, clips and sprite batches in the exported command
// buffers. Nothing here fails loudly: a refusal is counted in the header's
// drop counters or answered with 0.
#pragma once

#include <cstdint>

namespace quillfen {

inline constexpr int32_t gfx_magic = 0x47584631;
inline constexpr int32_t gfx_version = 8;

void frame_reset();
void frame_finalize();
void frame_begin();
// The status render returns: 0 for a complete frame, else the given status.
int32_t frame_end(int32_t status);

void set_clear_color(float red, float green, float blue, float alpha);
int32_t append_draw_entry(int32_t kind, int32_t index);
void push_upper_rect(float x, float y, float width, float height, float red, float green, float blue, float alpha);
void fill_rect(float x, float y, float width, float height, float red, float green, float blue, float alpha);
// text is a text handle: a literal id or a text buffer's key.
void push_text(int32_t font, int32_t text, float x, float y, float red, float green, float blue, float alpha);
void push_text_run(int32_t font, int32_t run, float x, float y, float red, float green, float blue, float alpha);
void push_clip(float x, float y, float width, float height);
void pop_clip();

struct SpriteGeometry {
  float x, y, width, height;
  float source_x, source_y, source_width, source_height;
  float origin_x, origin_y;
  float scale_x, scale_y;
  float rotation;  // degrees about the origin
};

// A token above 0, or 0 when refused.
int32_t sprite_batch_begin(int32_t capacity, int32_t clip, int32_t material, int32_t blend, int32_t filter,
                           int32_t pass, int32_t flags);
int32_t sprite_batch_add(int32_t token, int32_t image, int32_t color, int32_t reserved, const SpriteGeometry& sprite);
int32_t sprite_batch_end(int32_t token, int32_t count);
int32_t sprite_batch_abort(int32_t token);

void draw_sprite(int32_t image, int32_t color, const SpriteGeometry& sprite);
void draw_image(int32_t image, float rotation, int32_t alpha, float x, float y, float width, float height);
// record_key names a sprite record (sprite_ref, width, height) by its path's key.
void draw_asset(int32_t record_key, float x, float y, int32_t alpha, float rotation);

}  // namespace quillfen
