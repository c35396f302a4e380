// Builds "GXF1" frames record by record for tests and benchmarks, writing the
// records where readers look for them.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "c/vexlor_render_trace.h"

struct GxfFrameBuilder {
  std::vector<int32_t> i32 = std::vector<int32_t>(GXF_I32_COUNT);
  std::vector<float> f32 = std::vector<float>(GXF_F32_COUNT);
  std::vector<uint8_t> u8 = std::vector<uint8_t>(GXF_U8_COUNT);

  explicit GxfFrameBuilder(int32_t flags = GXF_FLAG_COMPLETE, int32_t version = 8) {
    i32[GXF_WORD_MAGIC] = GXF_MAGIC;
    i32[GXF_WORD_VERSION] = version;
    i32[GXF_WORD_FLAGS] = flags;
  }

  int32_t& word(int index) { return i32[index]; }

  void clear_color(float r, float g, float b, float a) {
    i32[GXF_WORD_FLAGS] |= GXF_FLAG_CLEAR_COLOR;
    f32[0] = r, f32[1] = g, f32[2] = b, f32[3] = a;
  }

  void draw(int32_t kind, int32_t index) {
    i32[GXF_I32_DRAWS + i32[GXF_WORD_DRAWS]++] = kind << GXF_DRAW_KIND_SHIFT | index;
  }

  int32_t lower_rect(std::array<float, 8> rect) {
    const int32_t k = i32[GXF_WORD_LOWER_RECTS]++;
    store_floats(GXF_F32_LOWER_RECTS + GXF_RECT_FLOATS * k, rect);
    return k;
  }

  int32_t upper_rect(std::array<float, 8> rect) {
    const int32_t c = i32[GXF_WORD_UPPER_RECTS]++;
    store_floats(GXF_F32_UPPER_RECT_0 - GXF_RECT_FLOATS * c, rect);
    return c;
  }

  int32_t clip(std::array<float, 4> rect) {
    const int32_t e = i32[GXF_WORD_CLIPS]++;
    store_floats(GXF_F32_CLIPS + GXF_CLIP_FLOATS * e, rect);
    return e;
  }

  // Floats: x, y, width, height, source x, y, width, height, origin x, y,
  // scale x, y, rotation.
  int32_t sprite(int32_t image, uint32_t color, std::array<float, 13> floats) {
    const int32_t k = i32[GXF_WORD_SPRITES]++;
    int32_t* words = &i32[GXF_I32_SPRITES + GXF_SPRITE_WORDS * k];
    words[0] = image, words[1] = static_cast<int32_t>(color), words[2] = 0;
    store_floats(GXF_F32_SPRITES + GXF_SPRITE_FLOATS * k, floats);
    return k;
  }

  int32_t batch(int32_t start, int32_t count, int32_t clip_index) {
    const int32_t b = i32[GXF_WORD_BATCHES]++;
    int32_t* words = &i32[GXF_I32_BATCHES + GXF_BATCH_WORDS * b];
    words[0] = start, words[1] = count, words[2] = clip_index;
    for (int i = 3; i < GXF_BATCH_WORDS; ++i) words[i] = 0;
    return b;
  }

  int32_t inline_text(int32_t font, std::string_view text, std::array<float, 6> floats) {
    const int32_t offset = i32[GXF_WORD_TEXT_BYTES];
    for (size_t i = 0; i < text.size(); ++i) u8[offset + i] = static_cast<uint8_t>(text[i]);
    u8[offset + text.size()] = 0;
    i32[GXF_WORD_TEXT_BYTES] = offset + static_cast<int32_t>(text.size()) + 1;
    return text_entry(font, offset, static_cast<int32_t>(text.size()), floats);
  }

  int32_t text_run(int32_t font, int32_t run, std::array<float, 6> floats) {
    return text_entry(font, -run, 0, floats);
  }

  int32_t* text_words(int32_t n) { return &i32[GXF_I32_TEXTS + GXF_TEXT_WORDS * n]; }
  int32_t* batch_words(int32_t b) { return &i32[GXF_I32_BATCHES + GXF_BATCH_WORDS * b]; }
  int32_t* sprite_words(int32_t k) { return &i32[GXF_I32_SPRITES + GXF_SPRITE_WORDS * k]; }
  float* sprite_floats(int32_t k) { return &f32[GXF_F32_SPRITES + GXF_SPRITE_FLOATS * k]; }
  float* upper_rect_floats(int32_t c) { return &f32[GXF_F32_UPPER_RECT_0 - GXF_RECT_FLOATS * c]; }

  uint32_t trace() const { return vexlor_render_trace_native(i32.data(), f32.data(), u8.data()); }
  bool valid() const { return vexlor_render_frame_validate(i32.data(), f32.data(), nullptr); }

 private:
  template <size_t N>
  void store_floats(int first, const std::array<float, N>& floats) {
    for (size_t i = 0; i < N; ++i) f32[first + i] = floats[i];
  }

  int32_t text_entry(int32_t font, int32_t offset, int32_t length, std::array<float, 6> floats) {
    const int32_t n = i32[GXF_WORD_TEXTS]++;
    int32_t* words = text_words(n);
    words[0] = font, words[1] = offset, words[2] = length;
    store_floats(GXF_F32_TEXTS + GXF_TEXT_FLOATS * n, floats);
    return n;
  }
};

// A frame with one record of every kind, drawn in the order: clip push,
// upper rectangle, sprite batch, inline text, clip pop, lower rectangle,
// text run. With `with_draw_list` false the records are there but the draw
// list is empty.
inline GxfFrameBuilder every_record_frame(bool with_draw_list = true, int32_t flags = GXF_FLAG_COMPLETE) {
  GxfFrameBuilder f(flags);
  f.clear_color(0.1f, 0.2f, 0.3f, 1.0f);
  const int32_t clip = f.clip({0, 0, 100, 100});
  const int32_t upper = f.upper_rect({10, 20, 30, 40, 1, 0.5f, 0.25f, 1});
  f.sprite(7, 0x11223344u, {5, 6, 16, 16, 0, 0, 8, 8, 8, 8, 1, 1, 45});
  const int32_t batch = f.batch(0, 1, -1);
  const int32_t text = f.inline_text(3, "hi", {1, 2, 1, 1, 1, 1});
  const int32_t lower = f.lower_rect({1, 2, 3, 4, 0, 0, 0, 1});
  const int32_t run = f.text_run(3, 9, {4, 5, 0, 0, 0, 1});
  if (with_draw_list) {
    f.draw(GXF_DRAW_CLIP_PUSH, clip);
    f.draw(GXF_DRAW_UPPER_RECT, upper);
    f.draw(GXF_DRAW_BATCH, batch);
    f.draw(GXF_DRAW_TEXT, text);
    f.draw(GXF_DRAW_CLIP_POP, 0);
    f.draw(GXF_DRAW_LOWER_RECT, lower);
    f.draw(GXF_DRAW_TEXT, run);
  }
  return f;
}
