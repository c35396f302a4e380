// The game-side frame writer, checked against the runtime's own reader: every
// frame the writer finishes must pass the canonical validation and copy out,
// and every limit must be refused and counted where readers look for it.
#include <gtest/gtest.h>

#include <cmath>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "bridge.hpp"
#include "c/vexlor_render_trace.h"
#include "fnv.hpp"
#include "gfx.hpp"
#include "literals.hpp"
#include "registry.hpp"
#include "render_frame.hpp"
#include "state_tree.hpp"

namespace {

using namespace quillfen;

constexpr int32_t int32_max = std::numeric_limits<int32_t>::max();
constexpr int32_t int32_min = std::numeric_limits<int32_t>::min();

constexpr SpriteGeometry plain_sprite{10, 20, 30, 40, 0, 0, 0, 0, 15, 20, 1, 1, 0};

int32_t* const writer_scalars[] = {
    &gfx_frame_construction_active, &gfx_frame_construction_invalid,
    &gfx_sprite_writer_token,       &gfx_sprite_writer_next_token,
    &gfx_sprite_writer_start,       &gfx_sprite_writer_capacity,
    &gfx_sprite_writer_written,     &gfx_sprite_writer_clip,
    &gfx_sprite_writer_material,    &gfx_sprite_writer_blend,
    &gfx_sprite_writer_filter,      &gfx_sprite_writer_pass,
    &gfx_sprite_writer_flags,       &gfx_sprite_writer_frame_generation,
};

// A text buffer of the test's own, registered like a game text buffer.
constexpr int32_t test_text_key = vexlor::key_of("test.frame_writer.text");
uint8_t test_text_bytes[2048];
int32_t test_text_length;
int32_t test_text_max_length;

int32_t& word(int32_t index) { return gfx_cmd_i32[index]; }

uint32_t trace() { return vexlor_render_trace_native(gfx_cmd_i32, gfx_cmd_f32, gfx_cmd_u8); }

struct CopyDestination {
  std::vector<int32_t> i32 = std::vector<int32_t>(GXF_I32_COUNT);
  std::vector<float> f32 = std::vector<float>(GXF_F32_COUNT);
  std::vector<uint8_t> u8 = std::vector<uint8_t>(GXF_U8_COUNT);
};

vexlor::Result<std::optional<vexlor::RenderFrameCounts>> copy_frame() {
  static CopyDestination destination;
  return vexlor::copy_jit_render_active(destination.i32.data(), destination.i32.size(), destination.f32.data(),
                                        destination.f32.size(), destination.u8.data(), destination.u8.size());
}

// lower, upper, sprites, batches, texts, text bytes, draws, clips
std::array<uint32_t, 8> counts_of(const vexlor::RenderFrameCounts& c) {
  return {c.lower_rects, c.upper_rects, c.sprites, c.batches, c.texts, c.text_bytes, c.draws, c.clips};
}

// The counts of the copied frame; fails the test when the reader refuses it.
std::array<uint32_t, 8> copied_counts() {
  auto copied = copy_frame();
  EXPECT_TRUE(copied.ok()) << copied.error();
  if (!copied.ok()) return {};
  EXPECT_TRUE(copied->has_value()) << "the frame is not complete";
  return copied->has_value() ? counts_of(**copied) : std::array<uint32_t, 8>{};
}

bool frame_is_absent() {
  auto copied = copy_frame();
  EXPECT_TRUE(copied.ok()) << copied.error();
  return copied.ok() && !copied->has_value();
}

int32_t draw_entry(int32_t kind, int32_t index) { return kind * 16384 + index; }

std::vector<int32_t> draw_list() {
  return {gfx_cmd_i32 + GXF_I32_DRAWS, gfx_cmd_i32 + GXF_I32_DRAWS + word(GXF_WORD_DRAWS)};
}

std::vector<int32_t> words_at(int32_t first, int32_t count) {
  return {gfx_cmd_i32 + first, gfx_cmd_i32 + first + count};
}
std::vector<float> floats_at(int32_t first, int32_t count) {
  return {gfx_cmd_f32 + first, gfx_cmd_f32 + first + count};
}

class FrameWriterTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    bind_runtime_globals();
    vexlor::register_global_u8_array(test_text_key, 0, test_text_bytes, sizeof test_text_bytes);
    vexlor::register_global_i32_ptr(vexlor::key_continue(test_text_key, ".length"), &test_text_length);
    vexlor::register_global_i32_ptr(vexlor::key_continue(test_text_key, ".max_length"), &test_text_max_length);
    for (size_t i = 0; i < sizeof test_text_bytes; ++i) test_text_bytes[i] = static_cast<uint8_t>(i % 251 + 1);
  }

  void SetUp() override {
    std::fill(std::begin(gfx_cmd_i32), std::end(gfx_cmd_i32), 0);
    std::fill(std::begin(gfx_cmd_f32), std::end(gfx_cmd_f32), 0.0f);
    std::fill(std::begin(gfx_cmd_u8), std::end(gfx_cmd_u8), 0);
    for (int32_t* scalar : writer_scalars) *scalar = 0;
  }
};

TEST_F(FrameWriterTest, EmptyFrameIsCompleteAndValid) {
  frame_begin();
  EXPECT_EQ(frame_end(0), 0);
  EXPECT_EQ(words_at(0, 3), (std::vector<int32_t>{gfx_magic, 8, GXF_FLAG_COMPLETE}));
  EXPECT_EQ(trace(), 0xE693EC4Bu);
  EXPECT_EQ(copied_counts(), (std::array<uint32_t, 8>{}));
}

TEST_F(FrameWriterTest, ClearColourSetsItsFlagWhateverTheColour) {
  struct Case {
    std::array<float, 4> colour;
    int times;
  };
  for (const Case& c : {Case{{0, 0, 0, 1}, 1}, Case{{0, 0, 0, 0}, 1}, Case{{0, 0, 0, 1}, 2}}) {
    SetUp();
    frame_begin();
    for (int i = 0; i < c.times; ++i) set_clear_color(c.colour[0], c.colour[1], c.colour[2], c.colour[3]);
    EXPECT_EQ(frame_end(0), 0);
    EXPECT_EQ(word(GXF_WORD_FLAGS), GXF_FLAG_COMPLETE | GXF_FLAG_CLEAR_COLOR);
    EXPECT_EQ(floats_at(0, 4), std::vector<float>(c.colour.begin(), c.colour.end()));
    EXPECT_TRUE(copy_frame().ok());
  }
  SetUp();
  frame_begin();
  set_clear_color(0, 0, 0, 1);
  frame_end(0);
  EXPECT_EQ(trace(), 0x96AF03C7u);
}

TEST_F(FrameWriterTest, ResetClearsTheCountersAndLeavesReservedWordsAndRecords) {
  for (int32_t w = 2; w < 32; ++w) word(w) = 777;
  word(GXF_I32_DRAWS) = 4242;
  gfx_sprite_writer_token = 9;
  frame_reset();
  for (int32_t w = 2; w < 32; ++w) {
    const bool reserved = (w >= 10 && w <= 21) || w == 26 || w == 31;
    EXPECT_EQ(word(w), reserved ? 777 : 0) << "word " << w;
  }
  EXPECT_EQ(word(GXF_I32_DRAWS), 4242);
  EXPECT_EQ(gfx_sprite_writer_token, 0);
}

TEST_F(FrameWriterTest, MixedFrameLandsWhereTheReaderLooks) {
  app::render::cheese_goal::sprite_ref = 55;
  app::render::cheese_goal::width = 16;
  app::render::cheese_goal::height = 8;

  frame_begin();
  set_clear_color(0.1f, 0.2f, 0.3f, 1);
  fill_rect(1, 2, 3, 4, 0.5f, 0.5f, 0.5f, 1);
  push_text(7, lit::completion_action, 5, 6, 1, 0.5f, 0.25f, 1);
  push_text_run(7, 42, 8, 9, 1, 1, 1, 0.5f);
  push_clip(0, 0, 100, 100);
  const int32_t token = sprite_batch_begin(3, 0, 0, 0, 0, 0, 0);
  ASSERT_GT(token, 0);
  EXPECT_EQ(sprite_batch_add(token, 11, 0x11223344, 0, plain_sprite), 1);
  EXPECT_EQ(sprite_batch_add(token, 12, 0x55667788, 0, plain_sprite), 1);
  EXPECT_EQ(sprite_batch_end(token, 2), 1);
  draw_image(99, 45, 128, 10, 20, 30, 40);
  pop_clip();
  draw_asset(vexlor::key_of("app.render.cheese_goal"), 1, 2, 300, 0);
  ASSERT_EQ(frame_end(0), 0);

  EXPECT_EQ(copied_counts(), (std::array<uint32_t, 8>{0, 1, 4, 3, 2, 9, 8, 1}));
  EXPECT_NE(trace(), 0u);
  EXPECT_EQ(draw_list(),
            (std::vector<int32_t>{draw_entry(4, 0), draw_entry(3, 0), draw_entry(3, 1), draw_entry(5, 0),
                                  draw_entry(2, 0), draw_entry(2, 1), draw_entry(6, 0), draw_entry(2, 2)}));
  EXPECT_EQ(floats_at(GXF_F32_UPPER_RECT_0, 8), (std::vector<float>{1, 2, 3, 4, 0.5f, 0.5f, 0.5f, 1}));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(gfx_cmd_u8), 9), std::string("CONTINUE\0", 9));
  EXPECT_EQ(words_at(GXF_I32_TEXTS, 6), (std::vector<int32_t>{7, 0, 8, 7, -42, 0}));
  EXPECT_EQ(floats_at(GXF_F32_TEXTS, 12), (std::vector<float>{5, 6, 1, 0.5f, 0.25f, 1, 8, 9, 1, 1, 1, 0.5f}));
  EXPECT_EQ(floats_at(GXF_F32_CLIPS, 4), (std::vector<float>{0, 0, 100, 100}));
  EXPECT_EQ(words_at(GXF_I32_BATCHES, 24),
            (std::vector<int32_t>{0, 2, 0, 0, 0, 0, 0, 0, 2, 1, -1, 0, 0, 0, 0, 0, 3, 1, -1, 0, 0, 0, 0, 0}));
  EXPECT_EQ(words_at(GXF_I32_SPRITES, 12), (std::vector<int32_t>{11, 0x11223344, 0, 12, 0x55667788, 0, 99,
                                                                 static_cast<int32_t>(0xFFFFFF80u), 0, 55, -1, 0}));
  EXPECT_EQ(floats_at(GXF_F32_SPRITES + 2 * GXF_SPRITE_FLOATS, 26),
            (std::vector<float>{10, 20, 30, 40, 0, 0, 0, 0, 15, 20, 1, 1, 45, 1, 2, 16, 8, 0, 0, 0, 0, 8, 4, 1, 1, 0}));
}

TEST_F(FrameWriterTest, DrawImageClampsAlphaIntoThePackedColour) {
  struct Case {
    int32_t alpha;
    uint32_t colour;
  };
  for (const Case& c : {Case{-4, 0xFFFFFF00u}, Case{0, 0xFFFFFF00u}, Case{128, 0xFFFFFF80u}, Case{255, 0xFFFFFFFFu},
                        Case{int32_max, 0xFFFFFFFFu}}) {
    SetUp();
    frame_begin();
    draw_image(3, 0, c.alpha, 0, 0, 8, 8);
    EXPECT_EQ(static_cast<uint32_t>(word(GXF_I32_SPRITES + 1)), c.colour) << "alpha " << c.alpha;
  }
}

TEST_F(FrameWriterTest, DrawAssetSkipsRecordsWithoutSpriteOrSize) {
  struct Case {
    int32_t sprite_ref, width, height;
    bool drawn;
  };
  for (const Case& c : {Case{0, 10, 10, false}, Case{5, 0, 10, false}, Case{5, 10, -1, false},
                        Case{5, int32_min, 10, false}, Case{-5, 10, 20, true}}) {
    SetUp();
    app::render::cheese_goal::sprite_ref = c.sprite_ref;
    app::render::cheese_goal::width = c.width;
    app::render::cheese_goal::height = c.height;
    frame_begin();
    draw_asset(vexlor::key_of("app.render.cheese_goal"), 0, 0, 255, 0);
    EXPECT_EQ(word(GXF_WORD_DRAWS), c.drawn ? 1 : 0) << c.sprite_ref << " " << c.width << "x" << c.height;
    EXPECT_EQ(word(GXF_WORD_DROPPED_BATCHES), 0);
  }
}

TEST_F(FrameWriterTest, FrameProtocolDiscardsBadFrames) {
  struct Case {
    const char* name;
    std::function<int32_t()> render;
    int32_t status;
    bool complete;
  };
  const Case cases[] = {
      {"good frame",
       [] {
         frame_begin();
         fill_rect(0, 0, 1, 1, 1, 1, 1, 1);
         return frame_end(0);
       },
       0, true},
      {"second begin",
       [] {
         frame_begin();
         fill_rect(0, 0, 1, 1, 1, 1, 1, 1);
         frame_begin();
         return frame_end(0);
       },
       0, false},
      {"non-zero status",
       [] {
         frame_begin();
         fill_rect(0, 0, 1, 1, 1, 1, 1, 1);
         return frame_end(7);
       },
       7, false},
      {"end without begin", [] { return frame_end(0); }, 0, false},
      {"batch left open",
       [] {
         frame_begin();
         sprite_batch_add(sprite_batch_begin(2, -1, 0, 0, 0, 0, 0), 1, 0, 0, plain_sprite);
         return frame_end(0);
       },
       0, false},
      {"batch end refused",
       [] {
         frame_begin();
         const int32_t token = sprite_batch_begin(2, -1, 0, 0, 0, 0, 0);
         sprite_batch_add(token, 1, 0, 0, plain_sprite);
         sprite_batch_end(token, 2);
         return frame_end(0);
       },
       0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    frame_begin();
    set_clear_color(1, 1, 1, 1);
    ASSERT_EQ(frame_end(0), 0);

    EXPECT_EQ(c.render(), c.status);
    EXPECT_EQ(gfx_frame_construction_active, 0);
    if (c.complete) {
      EXPECT_EQ(copied_counts()[1], 1u);
    } else {
      EXPECT_TRUE(frame_is_absent());
      EXPECT_EQ(words_at(2, 8), std::vector<int32_t>(8, 0));
      EXPECT_EQ(gfx_sprite_writer_token, 0);
    }
    frame_begin();
    EXPECT_EQ(frame_end(0), 0);
    EXPECT_EQ(trace(), 0xE693EC4Bu) << "the next frame starts clean";
  }
}

TEST_F(FrameWriterTest, FullDrawListRefusesEveryKindInBothCounters) {
  struct Case {
    const char* name;
    std::function<void()> draw;
    int32_t own_counter;
    bool counted_as_draw_drop;
  };
  const Case cases[] = {
      {"upper rect", [] { fill_rect(0, 0, 1, 1, 1, 1, 1, 1); }, GXF_WORD_DROPPED_UPPER_RECTS, true},
      {"inline text", [] { push_text(1, lit::tier_easy, 0, 0, 1, 1, 1, 1); }, GXF_WORD_DROPPED_TEXTS, true},
      {"text run", [] { push_text_run(1, 5, 0, 0, 1, 1, 1, 1); }, GXF_WORD_DROPPED_TEXTS, true},
      {"clip push", [] { push_clip(0, 0, 1, 1); }, GXF_WORD_DROPPED_CLIPS, true},
      {"clip pop", [] { pop_clip(); }, GXF_WORD_DROPPED_CLIPS, true},
      // A batch is refused when it is opened, before it needs its entry.
      {"sprite", [] { draw_sprite(1, 0, plain_sprite); }, GXF_WORD_DROPPED_BATCHES, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    frame_begin();
    word(GXF_WORD_DRAWS) = GXF_MAX_DRAWS;
    c.draw();
    EXPECT_EQ(word(c.own_counter), 1);
    EXPECT_EQ(word(GXF_WORD_DROPPED_DRAWS), c.counted_as_draw_drop ? 1 : 0);
    EXPECT_EQ(word(GXF_WORD_DRAWS), GXF_MAX_DRAWS);
    for (int32_t count_word : {GXF_WORD_UPPER_RECTS, GXF_WORD_TEXTS, GXF_WORD_TEXT_BYTES, GXF_WORD_CLIPS,
                               GXF_WORD_SPRITES, GXF_WORD_BATCHES})
      EXPECT_EQ(word(count_word), 0) << "word " << count_word;
    EXPECT_EQ(gfx_sprite_writer_token, 0);
  }
}

TEST_F(FrameWriterTest, DrawListHoldsExactlyItsCapacityInAValidFrame) {
  frame_begin();
  for (int i = 0; i < GXF_MAX_RECTS; ++i) fill_rect(0, 0, 1, 1, 1, 1, 1, 1);
  for (int i = 0; i < GXF_MAX_TEXTS; ++i) push_text_run(1, i + 1, 0, 0, 1, 1, 1, 1);
  for (int i = 0; i < GXF_MAX_SPRITES; ++i) draw_sprite(i + 1, 0, plain_sprite);
  for (int i = 0; i < GXF_MAX_CLIPS; ++i) push_clip(0, 0, 1, 1);
  for (int i = 0; i < GXF_MAX_CLIPS; ++i) pop_clip();
  ASSERT_EQ(word(GXF_WORD_DRAWS), GXF_MAX_DRAWS);

  pop_clip();
  EXPECT_EQ(word(GXF_WORD_DROPPED_DRAWS), 1);
  EXPECT_EQ(word(GXF_WORD_DROPPED_CLIPS), 1);
  ASSERT_EQ(frame_end(0), 0);
  EXPECT_EQ(copied_counts(), (std::array<uint32_t, 8>{0, 10000, 4096, 4096, 2048, 0, 16656, 256}));
}

TEST_F(FrameWriterTest, UpperRectsShareThePoolWithLowerRects) {
  struct Case {
    int32_t lower;
    int32_t fitting;
  };
  for (const Case& c :
       {Case{0, 10000}, Case{9990, 10}, Case{10000, 0}, Case{10001, 0}, Case{-1, 0}, Case{int32_max, 0}}) {
    SCOPED_TRACE(c.lower);
    SetUp();
    frame_begin();
    word(GXF_WORD_LOWER_RECTS) = c.lower;
    for (int i = 0; i < 10001; ++i) fill_rect(static_cast<float>(i), 0, 1, 1, 1, 1, 1, 1);
    EXPECT_EQ(word(GXF_WORD_UPPER_RECTS), c.fitting);
    EXPECT_EQ(word(GXF_WORD_DROPPED_UPPER_RECTS), 10001 - c.fitting);
    EXPECT_EQ(word(GXF_WORD_DROPPED_DRAWS), 0);
  }
  // With no lower rectangles the last upper one sits at the very bottom of the pool.
  SetUp();
  frame_begin();
  for (int i = 0; i < 10000; ++i) fill_rect(static_cast<float>(i), 0, 1, 1, 1, 1, 1, 1);
  EXPECT_EQ(gfx_cmd_f32[GXF_F32_LOWER_RECTS], 9999.0f);
  ASSERT_EQ(frame_end(0), 0);
  EXPECT_EQ(copied_counts()[1], 10000u);
}

TEST_F(FrameWriterTest, InlineTextLengthFollowsLengthAndCapacityWords) {
  struct Case {
    int32_t length, max_length, expected;
  };
  for (const Case& c : {Case{10, 0, 10}, Case{10, 4, 4}, Case{10, -1, 10}, Case{-3, 8, 0}, Case{int32_min, 0, 0},
                        Case{2000, 0, 1024}, Case{2000, 3000, 1024}, Case{2000, 1500, 1024}, Case{0, 0, 0}}) {
    SCOPED_TRACE(std::to_string(c.length) + " / " + std::to_string(c.max_length));
    SetUp();
    test_text_length = c.length;
    test_text_max_length = c.max_length;
    frame_begin();
    fill_rect(0, 0, 1, 1, 1, 1, 1, 1);  // the text must not start at offset 0 by luck
    push_text(3, lit::tier_easy, 0, 0, 1, 1, 1, 1);
    push_text(3, test_text_key, 0, 0, 1, 1, 1, 1);
    EXPECT_EQ(words_at(GXF_I32_TEXTS + 3, 3), (std::vector<int32_t>{3, 5, c.expected}));
    EXPECT_EQ(word(GXF_WORD_TEXT_BYTES), 5 + c.expected + 1);
    EXPECT_TRUE(std::equal(gfx_cmd_u8 + 5, gfx_cmd_u8 + 5 + c.expected, test_text_bytes));
    EXPECT_EQ(gfx_cmd_u8[5 + c.expected], 0);
    ASSERT_EQ(frame_end(0), 0);
    EXPECT_EQ(copied_counts()[5], static_cast<uint32_t>(5 + c.expected + 1));
  }
}

TEST_F(FrameWriterTest, InlineTextNeedsRoomForItsBytesAndItsEntry) {
  struct Case {
    int32_t texts_before, bytes_before;
    bool accepted;
    int32_t offset;
  };
  // "EASY" needs 5 bytes with its zero byte.
  for (const Case& c : {Case{0, 65531, true, 65531}, Case{0, 65532, false, 0}, Case{0, -20, true, 0},
                        Case{0, int32_min, true, 0}, Case{0, int32_max, false, 0}, Case{2047, 0, true, 0},
                        Case{2048, 0, false, 0}, Case{-1, 0, false, 0}, Case{int32_min, 0, false, 0}}) {
    SCOPED_TRACE(std::to_string(c.texts_before) + " texts, " + std::to_string(c.bytes_before) + " bytes");
    SetUp();
    frame_begin();
    word(GXF_WORD_TEXTS) = c.texts_before;
    word(GXF_WORD_TEXT_BYTES) = c.bytes_before;
    push_text(3, lit::tier_easy, 0, 0, 1, 1, 1, 1);
    EXPECT_EQ(word(GXF_WORD_DROPPED_TEXTS), c.accepted ? 0 : 1);
    EXPECT_EQ(word(GXF_WORD_DRAWS), c.accepted ? 1 : 0);
    if (c.accepted) {
      EXPECT_EQ(word(GXF_WORD_TEXT_BYTES), c.offset + 5);
      EXPECT_EQ(word(GXF_I32_TEXTS + 3 * c.texts_before + 1), c.offset);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(gfx_cmd_u8 + c.offset), 5), std::string("EASY\0", 5));
    }
  }
}

TEST_F(FrameWriterTest, TextRunNeedsAPositiveRunAndAFreeEntry) {
  struct Case {
    int32_t texts_before, run;
    bool accepted;
  };
  for (const Case& c : {Case{0, 1, true}, Case{0, int32_max, true}, Case{0, 0, false}, Case{0, -4, false},
                        Case{0, int32_min, false}, Case{2048, 3, false}, Case{-1, 3, false}}) {
    SCOPED_TRACE(std::to_string(c.texts_before) + " texts, run " + std::to_string(c.run));
    SetUp();
    frame_begin();
    word(GXF_WORD_TEXTS) = c.texts_before;
    push_text_run(2, c.run, 0, 0, 1, 1, 1, 1);
    EXPECT_EQ(word(GXF_WORD_DROPPED_TEXTS), c.accepted ? 0 : 1);
    if (c.accepted) {
      EXPECT_EQ(words_at(GXF_I32_TEXTS, 3), (std::vector<int32_t>{2, -c.run, 0}));
      ASSERT_EQ(frame_end(0), 0);
      EXPECT_EQ(copied_counts()[4], 1u);
    }
  }
}

TEST_F(FrameWriterTest, ClipsAreRefusedBeyondTheirSection) {
  struct Case {
    int32_t clips_before;
    bool accepted;
  };
  for (const Case& c : {Case{255, true}, Case{256, false}, Case{-1, false}, Case{int32_max, false}}) {
    SCOPED_TRACE(c.clips_before);
    SetUp();
    frame_begin();
    word(GXF_WORD_CLIPS) = c.clips_before;
    push_clip(1, 2, 3, 4);
    EXPECT_EQ(word(GXF_WORD_DROPPED_CLIPS), c.accepted ? 0 : 1);
    EXPECT_EQ(word(GXF_WORD_DRAWS), c.accepted ? 1 : 0);
    if (c.accepted) {
      EXPECT_EQ(floats_at(GXF_F32_CLIPS + 4 * c.clips_before, 4), (std::vector<float>{1, 2, 3, 4}));
    }
  }
}

TEST_F(FrameWriterTest, BatchEndedShortCommitsOnlyItsCountAndTheRestIsReused) {
  frame_begin();
  const int32_t token = sprite_batch_begin(4, -1, 0, 0, 0, 0, 0);
  for (int32_t image = 1; image <= 4; ++image) EXPECT_EQ(sprite_batch_add(token, image, 0, 0, plain_sprite), 1);
  EXPECT_EQ(sprite_batch_add(token, 5, 0, 0, plain_sprite), 0) << "the batch is full";
  EXPECT_EQ(sprite_batch_end(token, 2), 1);
  EXPECT_EQ(word(GXF_WORD_SPRITES), 2);
  draw_sprite(9, 0, plain_sprite);
  ASSERT_EQ(frame_end(0), 0);

  EXPECT_EQ(copied_counts(), (std::array<uint32_t, 8>{0, 0, 3, 2, 0, 0, 2, 0}));
  EXPECT_EQ(word(GXF_I32_SPRITES + 3 * 2), 9) << "the next batch overwrites the abandoned sprites";
  EXPECT_EQ(words_at(GXF_I32_BATCHES, 2), (std::vector<int32_t>{0, 2}));
  EXPECT_EQ(words_at(GXF_I32_BATCHES + 8, 2), (std::vector<int32_t>{2, 1}));
}

TEST_F(FrameWriterTest, SpriteAddRefusesSpritesReadersWouldReject) {
  struct Case {
    const char* name;
    int32_t image, reserved;
    SpriteGeometry sprite;
    bool accepted;
  };
  auto with = [](auto change) {
    SpriteGeometry s = plain_sprite;
    change(s);
    return s;
  };
  const Case cases[] = {
      {"plain", 1, 0, plain_sprite, true},
      {"source rectangle", 1, 0, with([](SpriteGeometry& s) { s.source_width = 4, s.source_height = 5; }), true},
      {"negative image", -1, 0, plain_sprite, true},
      {"image 0", 0, 0, plain_sprite, false},
      {"reserved", 1, 1, plain_sprite, false},
      {"width 0", 1, 0, with([](SpriteGeometry& s) { s.width = 0; }), false},
      {"height negative", 1, 0, with([](SpriteGeometry& s) { s.height = -1; }), false},
      {"source x negative", 1, 0, with([](SpriteGeometry& s) { s.source_x = -1; }), false},
      {"source y negative", 1, 0, with([](SpriteGeometry& s) { s.source_y = -0.5f; }), false},
      {"source width negative", 1, 0, with([](SpriteGeometry& s) { s.source_width = -1, s.source_height = 1; }), false},
      {"source width 0, height 5", 1, 0, with([](SpriteGeometry& s) { s.source_height = 5; }), false},
      {"source width 5, height 0", 1, 0, with([](SpriteGeometry& s) { s.source_width = 5; }), false},
      {"scale x 0", 1, 0, with([](SpriteGeometry& s) { s.scale_x = 0; }), false},
      {"scale y 0", 1, 0, with([](SpriteGeometry& s) { s.scale_y = 0; }), false},
      {"x not a number", 1, 0, with([](SpriteGeometry& s) { s.x = std::nanf(""); }), false},
      {"rotation infinite", 1, 0, with([](SpriteGeometry& s) { s.rotation = INFINITY; }), false},
      {"origin infinite", 1, 0, with([](SpriteGeometry& s) { s.origin_y = -INFINITY; }), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    frame_begin();
    const int32_t token = sprite_batch_begin(1, -1, 0, 0, 0, 0, 0);
    EXPECT_EQ(sprite_batch_add(token, c.image, 0, c.reserved, c.sprite), c.accepted ? 1 : 0);
    EXPECT_EQ(gfx_sprite_writer_written, c.accepted ? 1 : 0);
    EXPECT_EQ(word(GXF_I32_SPRITES), c.accepted ? c.image : 0);

    if (c.reserved != 0) continue;  // draw_sprite has no reserved word
    SetUp();
    frame_begin();
    draw_sprite(c.image, 0, c.sprite);
    EXPECT_EQ(word(GXF_WORD_DRAWS), c.accepted ? 1 : 0) << "draw_sprite emits nothing for a refused sprite";
    EXPECT_EQ(gfx_sprite_writer_token, 0) << "draw_sprite never leaves its batch open";
    ASSERT_EQ(frame_end(0), 0);
    EXPECT_EQ(copied_counts()[2], c.accepted ? 1u : 0u);
  }
}

TEST_F(FrameWriterTest, SpriteAddNeedsTheOpenToken) {
  frame_begin();
  const int32_t token = sprite_batch_begin(2, -1, 0, 0, 0, 0, 0);
  for (int32_t wrong : {0, -token, token + 1}) EXPECT_EQ(sprite_batch_add(wrong, 1, 0, 0, plain_sprite), 0);
  EXPECT_EQ(sprite_batch_abort(token), 1);
  EXPECT_EQ(sprite_batch_add(token, 1, 0, 0, plain_sprite), 0) << "an aborted batch takes no sprites";
  EXPECT_EQ(sprite_batch_add(0, 1, 0, 0, plain_sprite), 0) << "token 0 never names the closed batch";
}

TEST_F(FrameWriterTest, BatchBeginRefusalsCountTheirCapacity) {
  struct Case {
    const char* name;
    std::function<void()> prepare;
    std::array<int32_t, 7> args;  // capacity, clip, material, blend, filter, pass, flags
    int32_t dropped_sprites, dropped_batches;
  };
  const auto nothing = [] {};
  const Case cases[] = {
      {"capacity 0", nothing, {0, -1, 0, 0, 0, 0, 0}, 0, 0},
      {"negative capacity", nothing, {-3, -1, 0, 0, 0, 0, 0}, 0, 0},
      {"capacity beyond the section", nothing, {4097, -1, 0, 0, 0, 0, 0}, 4097, 1},
      {"capacity beyond what is left", [] { word(GXF_WORD_SPRITES) = 4000; }, {97, -1, 0, 0, 0, 0, 0}, 97, 1},
      {"sprites negative", [] { word(GXF_WORD_SPRITES) = -1; }, {1, -1, 0, 0, 0, 0, 0}, 1, 1},
      {"sprites beyond the section", [] { word(GXF_WORD_SPRITES) = int32_max; }, {1, -1, 0, 0, 0, 0, 0}, 1, 1},
      {"batches full", [] { word(GXF_WORD_BATCHES) = 4096; }, {2, -1, 0, 0, 0, 0, 0}, 2, 1},
      {"batches negative", [] { word(GXF_WORD_BATCHES) = -1; }, {2, -1, 0, 0, 0, 0, 0}, 2, 1},
      {"draw list negative", [] { word(GXF_WORD_DRAWS) = -1; }, {2, -1, 0, 0, 0, 0, 0}, 2, 1},
      {"batch open", [] { sprite_batch_begin(1, -1, 0, 0, 0, 0, 0); }, {3, -1, 0, 0, 0, 0, 0}, 3, 1},
      {"clip below -1", nothing, {1, -2, 0, 0, 0, 0, 0}, 1, 1},
      {"clip not pushed yet", nothing, {1, 0, 0, 0, 0, 0, 0}, 1, 1},
      {"clip beyond the pushed ones", [] { push_clip(0, 0, 1, 1); }, {1, 1, 0, 0, 0, 0, 0}, 1, 1},
      {"material", nothing, {1, -1, 1, 0, 0, 0, 0}, 1, 1},
      {"blend", nothing, {1, -1, 0, 1, 0, 0, 0}, 1, 1},
      {"filter", nothing, {1, -1, 0, 0, -1, 0, 0}, 1, 1},
      {"pass", nothing, {1, -1, 0, 0, 0, 1, 0}, 1, 1},
      {"flags", nothing, {1, -1, 0, 0, 0, 0, 1}, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    frame_begin();
    c.prepare();
    const auto& a = c.args;
    EXPECT_EQ(sprite_batch_begin(a[0], a[1], a[2], a[3], a[4], a[5], a[6]), 0);
    EXPECT_EQ(word(GXF_WORD_DROPPED_SPRITES), c.dropped_sprites);
    EXPECT_EQ(word(GXF_WORD_DROPPED_BATCHES), c.dropped_batches);
  }
  SetUp();
  frame_begin();
  word(GXF_WORD_SPRITES) = 4000;
  EXPECT_GT(sprite_batch_begin(96, -1, 0, 0, 0, 0, 0), 0) << "a batch may take exactly what is left";
  SetUp();
  frame_begin();
  push_clip(0, 0, 1, 1);
  EXPECT_GT(sprite_batch_begin(1, 0, 0, 0, 0, 0, 0), 0) << "a batch may use a pushed clip";
}

TEST_F(FrameWriterTest, BatchEndAndAbortNeedTheOpenTokenAndAFittingCount) {
  frame_begin();
  const int32_t token = sprite_batch_begin(3, -1, 0, 0, 0, 0, 0);
  sprite_batch_add(token, 1, 0, 0, plain_sprite);
  for (auto [wrong_token, count] :
       {std::pair{token + 1, 1}, std::pair{0, 1}, std::pair{token, 2}, std::pair{token, -1}}) {
    EXPECT_EQ(sprite_batch_end(wrong_token, count), 0);
    EXPECT_EQ(gfx_sprite_writer_token, token) << "a refused end leaves the batch open";
  }
  EXPECT_EQ(sprite_batch_abort(token + 1), 0);
  EXPECT_EQ(sprite_batch_abort(0), 0);
  EXPECT_EQ(sprite_batch_abort(token), 1);
  EXPECT_EQ(gfx_sprite_writer_token, 0);
  EXPECT_EQ(word(GXF_WORD_SPRITES), 0);
  EXPECT_EQ(sprite_batch_abort(token), 0);

  const int32_t empty = sprite_batch_begin(2, -1, 0, 0, 0, 0, 0);
  EXPECT_EQ(sprite_batch_end(empty, 0), 1);
  EXPECT_EQ(gfx_sprite_writer_token, 0);
  ASSERT_EQ(frame_end(0), 0);
  EXPECT_EQ(copied_counts(), (std::array<uint32_t, 8>{})) << "aborted and empty batches emit nothing";
}

TEST_F(FrameWriterTest, TokensAndGenerationsWrapBackToOne) {
  struct Case {
    int32_t before, after;
  };
  for (const Case& c : {Case{0, 1}, Case{41, 42}, Case{int32_max, 1}, Case{-7, 1}, Case{int32_min, 1}}) {
    SCOPED_TRACE(c.before);
    SetUp();
    gfx_sprite_writer_frame_generation = c.before;
    frame_begin();
    EXPECT_EQ(gfx_sprite_writer_frame_generation, c.after);
    gfx_sprite_writer_next_token = c.before;
    EXPECT_EQ(sprite_batch_begin(1, -1, 0, 0, 0, 0, 0), c.after);
    EXPECT_EQ(gfx_sprite_writer_next_token, c.after);
  }
}

// Restored writer state that points outside the sprite section: the open
// batch must not write there, nor commit a batch that readers would reject.
TEST_F(FrameWriterTest, RestoredBatchStateOutsideTheSectionIsRefused) {
  struct Case {
    int32_t start, capacity, written;
  };
  for (const Case& c : {Case{4096, 10, 0}, Case{4095, 10, 2}, Case{-1, 10, 3}, Case{int32_max, int32_max, 5},
                        Case{int32_min, 4, 0}, Case{0, 4, -1}}) {
    SCOPED_TRACE(std::to_string(c.start) + " + " + std::to_string(c.written));
    SetUp();
    frame_begin();
    const int32_t token = sprite_batch_begin(1, -1, 0, 0, 0, 0, 0);
    gfx_sprite_writer_start = c.start;
    gfx_sprite_writer_capacity = c.capacity;
    gfx_sprite_writer_written = c.written;
    EXPECT_EQ(sprite_batch_add(token, 1, 0, 0, plain_sprite), 0);
    if (c.written > 0) {
      EXPECT_EQ(sprite_batch_end(token, c.written), 0);
    }
    EXPECT_EQ(word(GXF_WORD_SPRITES), 0);
    EXPECT_EQ(word(GXF_WORD_BATCHES), 0);
  }
}

// The replay image may restore anything between frames; the next frame must
// still come out whole and valid.
TEST_F(FrameWriterTest, GarbageRestoredBetweenFramesDoesNotReachTheNextFrame) {
  std::mt19937 random(20261002);
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    SetUp();
    for (int32_t* scalar : writer_scalars) *scalar = static_cast<int32_t>(random());
    gfx_frame_construction_active = 0;  // an open frame at restore is discarded, by design
    for (int32_t w = 0; w < 32; ++w) word(w) = static_cast<int32_t>(random());

    frame_begin();
    fill_rect(0, 0, 1, 1, 1, 1, 1, 1);
    push_text(1, lit::tier_easy, 0, 0, 1, 1, 1, 1);
    draw_sprite(4, 0, plain_sprite);
    ASSERT_EQ(frame_end(0), 0);
    EXPECT_EQ(copied_counts(), (std::array<uint32_t, 8>{0, 1, 1, 1, 1, 5, 3, 0}));
  }
}

// Arbitrary values in the writer scalars and header words, also in the middle
// of a frame, never make the writer index outside the buffers (AddressSanitizer
// watches the buffers), and a count the writer advances never leaves its range.
TEST_F(FrameWriterTest, GarbageStateNeverEscapesTheBuffers) {
  const int32_t interesting[] = {int32_min,     int32_min + 1, -16384, -2,    -1,    0,     1,     2,
                                 255,           256,           1024,   2047,  2048,  4095,  4096,  4097,
                                 9999,          10000,         10001,  16655, 16656, 16657, 65535, 65536,
                                 int32_max - 1, int32_max};
  std::mt19937 random(7);
  auto pick = [&] {
    return random() % 4 == 0 ? static_cast<int32_t>(random()) : interesting[random() % std::size(interesting)];
  };
  auto pick_float = [&] { return static_cast<float>(pick() % 3); };
  const std::function<void()> operations[] = {
      [&] { frame_begin(); },
      [&] { frame_end(pick() % 2); },
      [&] { frame_reset(); },
      [&] { frame_finalize(); },
      [&] { set_clear_color(1, 1, 1, 1); },
      [&] { append_draw_entry(pick(), pick()); },
      [&] { fill_rect(0, 0, 1, 1, 1, 1, 1, 1); },
      [&] { push_text(1, random() % 2 ? test_text_key : lit::completion_hint, 0, 0, 1, 1, 1, 1); },
      [&] { push_text_run(1, pick(), 0, 0, 1, 1, 1, 1); },
      [&] { push_clip(0, 0, 1, 1); },
      [&] { pop_clip(); },
      [&] { sprite_batch_begin(pick(), pick() % 3 - 1, 0, 0, 0, 0, 0); },
      [&] {
        SpriteGeometry s = plain_sprite;
        s.source_width = s.source_height = pick_float();
        sprite_batch_add(random() % 2 ? gfx_sprite_writer_token : pick(), pick(), pick(), 0, s);
      },
      [&] { sprite_batch_end(random() % 2 ? gfx_sprite_writer_token : pick(), pick()); },
      [&] { sprite_batch_abort(random() % 2 ? gfx_sprite_writer_token : pick()); },
      [&] { draw_sprite(pick(), pick(), plain_sprite); },
      [&] { draw_image(pick(), 0, pick(), 0, 0, 4, 4); },
      [&] { draw_asset(vexlor::key_of("app.render.cheese_goal"), 0, 0, pick(), 0); },
  };
  struct Count {
    int32_t word, limit;
  };
  const Count counts[] = {{GXF_WORD_LOWER_RECTS, GXF_MAX_RECTS}, {GXF_WORD_SPRITES, GXF_MAX_SPRITES},
                          {GXF_WORD_TEXTS, GXF_MAX_TEXTS},       {GXF_WORD_TEXT_BYTES, GXF_U8_COUNT},
                          {GXF_WORD_DRAWS, GXF_MAX_DRAWS},       {GXF_WORD_UPPER_RECTS, GXF_MAX_RECTS},
                          {GXF_WORD_CLIPS, GXF_MAX_CLIPS},       {GXF_WORD_BATCHES, GXF_MAX_BATCHES}};
  for (int step = 0; step < 50000; ++step) {
    if (random() % 8 == 0) *writer_scalars[random() % std::size(writer_scalars)] = pick();
    if (random() % 8 == 0) word(static_cast<int32_t>(random() % 32)) = pick();
    if (random() % 16 == 0) {
      test_text_length = pick();
      test_text_max_length = pick();
    }
    app::render::cheese_goal::sprite_ref = pick();
    app::render::cheese_goal::width = pick() % 64;
    app::render::cheese_goal::height = pick() % 64;

    std::array<bool, std::size(counts)> in_range{};
    for (size_t i = 0; i < std::size(counts); ++i)
      in_range[i] = word(counts[i].word) >= 0 && word(counts[i].word) <= counts[i].limit;
    const size_t op = random() % std::size(operations);
    operations[op]();
    for (size_t i = 0; i < std::size(counts); ++i) {
      const int32_t value = word(counts[i].word);
      if (in_range[i]) {
        ASSERT_TRUE(value >= 0 && value <= counts[i].limit) << "step " << step << " op " << op;
      }
    }
  }
}

}  // namespace
