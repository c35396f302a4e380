#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fnv.hpp"
#include "gxf_frame_builder.hpp"
#include "registry.hpp"
#include "render_frame.hpp"

namespace {

using vexlor::key_of;

const int32_t i32_key = key_of("gfx_cmd_i32");
const int32_t f32_key = key_of("gfx_cmd_f32");
const int32_t u8_key = key_of("gfx_cmd_u8");

constexpr int32_t sentinel_word = 0x5A5A5A5A;
constexpr float sentinel_float = -123.5f;

struct Destination {
  std::vector<int32_t> i32 = std::vector<int32_t>(GXF_I32_COUNT, sentinel_word);
  std::vector<float> f32 = std::vector<float>(GXF_F32_COUNT, sentinel_float);
  std::vector<uint8_t> u8 = std::vector<uint8_t>(GXF_U8_COUNT, 0xA5);

  vexlor::Result<std::optional<vexlor::RenderFrameCounts>> copy() {
    return vexlor::copy_jit_render_active(i32.data(), i32.size(), f32.data(), f32.size(), u8.data(), u8.size());
  }
};

// The game's frame, registered under the names the copy-out looks for.
class CopyOut : public testing::Test {
 protected:
  void SetUp() override { vexlor::clear_registered_global_memory(); }
  void TearDown() override { vexlor::clear_registered_global_memory(); }

  void register_frame(GxfFrameBuilder& f, size_t i32_count = GXF_I32_COUNT, bool with_floats = true) {
    vexlor::register_global_i32_array(i32_key, 0, f.i32.data(), i32_count);
    if (with_floats) vexlor::register_global_f32_array(f32_key, 0, f.f32.data(), f.f32.size());
    vexlor::register_global_u8_array(u8_key, 0, f.u8.data(), f.u8.size());
  }

  std::string copy_error() {
    auto copied = dst.copy();
    return copied ? "(no error)" : copied.error();
  }

  Destination dst;
};

TEST_F(CopyOut, RefusesADestinationThatCannotHoldAFrame) {
  GxfFrameBuilder f;
  register_frame(f);
  const std::string message = "production render destination has the wrong capacity";
  struct Case {
    bool null_i32, null_f32, null_u8;
    size_t i32_len, f32_len, u8_len;
  };
  const Case cases[] = {
      {false, false, false, GXF_I32_COUNT - 1, GXF_F32_COUNT, GXF_U8_COUNT},
      {false, false, false, GXF_I32_COUNT, GXF_F32_COUNT - 1, GXF_U8_COUNT},
      {false, false, false, GXF_I32_COUNT, GXF_F32_COUNT, GXF_U8_COUNT - 1},
      {false, false, false, 0, 0, 0},
      {true, false, false, GXF_I32_COUNT, GXF_F32_COUNT, GXF_U8_COUNT},
      {false, true, false, GXF_I32_COUNT, GXF_F32_COUNT, GXF_U8_COUNT},
      {false, false, true, GXF_I32_COUNT, GXF_F32_COUNT, GXF_U8_COUNT},
  };
  for (const Case& c : cases) {
    auto copied = vexlor::copy_jit_render_active(c.null_i32 ? nullptr : dst.i32.data(), c.i32_len,
                                                 c.null_f32 ? nullptr : dst.f32.data(), c.f32_len,
                                                 c.null_u8 ? nullptr : dst.u8.data(), c.u8_len);
    ASSERT_FALSE(copied);
    EXPECT_EQ(copied.error(), message);
  }
  EXPECT_EQ(dst.i32[0], sentinel_word);
}

TEST_F(CopyOut, RefusesBuffersTheGameDidNotRegister) {
  const std::string message = "production render buffers were not registered by the JIT";
  EXPECT_EQ(copy_error(), message);

  GxfFrameBuilder short_header;
  register_frame(short_header, 2);  // enough for the version check, not for the frame
  EXPECT_EQ(copy_error(), message);

  vexlor::clear_registered_global_memory();
  GxfFrameBuilder no_floats;
  register_frame(no_floats, GXF_I32_COUNT, false);
  EXPECT_EQ(copy_error(), message);
}

TEST_F(CopyOut, ReportsUnsupportedHeadersInOrder) {
  GxfFrameBuilder f;
  register_frame(f, 2);
  f.word(GXF_WORD_VERSION) = 5;
  // The version is checked before the buffers are looked up at full size.
  EXPECT_EQ(copy_error(), "JIT frame has unsupported gfx_cmd version 5; expected 8");
  f.word(GXF_WORD_VERSION) = -1;
  EXPECT_EQ(copy_error(), "JIT frame has unsupported gfx_cmd version -1; expected 8");

  register_frame(f);
  f.word(GXF_WORD_VERSION) = 8;
  f.word(GXF_WORD_MAGIC) = 0;
  EXPECT_EQ(copy_error(), "JIT frame is not a supported production gfx_cmd frame");
}

TEST_F(CopyOut, AnIncompleteVersion8FrameIsNoFrame) {
  GxfFrameBuilder f = every_record_frame(true, GXF_FLAG_CLEAR_COLOR);
  register_frame(f);
  auto copied = dst.copy();
  ASSERT_TRUE(copied) << copied.error();
  EXPECT_FALSE(copied->has_value());
  EXPECT_EQ(dst.i32[0], sentinel_word);

  // Version 7 carries no completion flag: the same frame is copied.
  f.word(GXF_WORD_VERSION) = 7;
  copied = dst.copy();
  ASSERT_TRUE(copied) << copied.error();
  ASSERT_TRUE(copied->has_value());
  EXPECT_EQ(dst.i32[GXF_WORD_VERSION], 7);
}

TEST_F(CopyOut, RefusesAFrameThatFailsValidation) {
  GxfFrameBuilder f = every_record_frame();
  f.sprite_floats(0)[6] = 0;  // source width 0 with source height 8
  register_frame(f);
  EXPECT_EQ(copy_error(), "JIT frame failed canonical render validation");
  EXPECT_EQ(dst.i32[0], sentinel_word);
}

TEST_F(CopyOut, CopiesTheUsedRangesOfAValidFrame) {
  GxfFrameBuilder f = every_record_frame();
  f.upper_rect({5, 6, 7, 8, 0, 0, 1, 1});  // a second upper rectangle, drawn
  f.draw(GXF_DRAW_UPPER_RECT, 1);
  f.word(GXF_WORD_DROPPED_DRAWS) = 4;
  f.word(GXF_WORD_DROPPED_UPPER_RECTS) = 3;
  f.word(GXF_WORD_DROPPED_CLIPS) = 2;
  f.word(15) = 77;  // reserved, never copied
  register_frame(f);

  auto copied = dst.copy();
  ASSERT_TRUE(copied) << copied.error();
  ASSERT_TRUE(copied->has_value());
  const vexlor::RenderFrameCounts c = **copied;
  EXPECT_EQ(c.lower_rects, 1u);
  EXPECT_EQ(c.upper_rects, 2u);
  EXPECT_EQ(c.sprites, 1u);
  EXPECT_EQ(c.batches, 1u);
  EXPECT_EQ(c.texts, 2u);
  EXPECT_EQ(c.text_bytes, 3u);
  EXPECT_EQ(c.draws, 8u);
  EXPECT_EQ(c.clips, 1u);

  // The copy draws the same frame.
  EXPECT_EQ(vexlor::current_render_trace(dst.i32, dst.f32, dst.u8), f.trace());
  for (int w = 0; w < 10; ++w) EXPECT_EQ(dst.i32[w], f.word(w)) << "header word " << w;
  EXPECT_EQ(dst.i32[GXF_WORD_DROPPED_DRAWS], 0);
  EXPECT_EQ(dst.i32[GXF_WORD_DROPPED_UPPER_RECTS], 3);
  EXPECT_EQ(dst.i32[GXF_WORD_DROPPED_CLIPS], 2);
  EXPECT_EQ(dst.i32[15], sentinel_word);
  EXPECT_EQ(dst.i32[26], sentinel_word);
  EXPECT_EQ(dst.i32[31], sentinel_word);
  // Only the used ranges are written.
  EXPECT_EQ(dst.i32[GXF_I32_SPRITES + GXF_SPRITE_WORDS], sentinel_word);
  EXPECT_EQ(dst.i32[GXF_I32_DRAWS + 8], sentinel_word);
  EXPECT_EQ(dst.f32[GXF_F32_LOWER_RECTS + GXF_RECT_FLOATS], sentinel_float);
  const int upper_rect_1 = GXF_F32_UPPER_RECT_0 - GXF_RECT_FLOATS;
  EXPECT_EQ(dst.f32[upper_rect_1 + 7], 1.0f);
  EXPECT_EQ(dst.f32[upper_rect_1 - 1], sentinel_float);
  EXPECT_EQ(dst.f32[GXF_F32_CLIPS + GXF_CLIP_FLOATS], sentinel_float);
  EXPECT_EQ(std::memcmp(dst.u8.data(), "hi", 3), 0);
  EXPECT_EQ(dst.u8[3], 0xA5);
}

TEST_F(CopyOut, TheEmptyCompleteFrameCopiesWithZeroCounts) {
  GxfFrameBuilder f;
  register_frame(f);
  auto copied = dst.copy();
  ASSERT_TRUE(copied && copied->has_value());
  const vexlor::RenderFrameCounts c = **copied;
  EXPECT_EQ(c.lower_rects + c.upper_rects + c.sprites + c.batches + c.texts + c.text_bytes + c.draws + c.clips, 0u);
  EXPECT_EQ(vexlor::current_render_trace(dst.i32, dst.f32, dst.u8), 0xE693EC4Bu);
}

class JitRenderTrace : public CopyOut {};

TEST_F(JitRenderTrace, TracesRegisteredBuffersByKey) {
  GxfFrameBuilder f = every_record_frame();
  register_frame(f);
  EXPECT_EQ(vexlor_jit_render_trace(i32_key, GXF_I32_COUNT, f32_key, GXF_F32_COUNT, u8_key, GXF_U8_COUNT),
            0x9D06517Bu);
  EXPECT_EQ(vexlor_jit_render_trace(i32_key, GXF_I32_COUNT - 1, f32_key, GXF_F32_COUNT, u8_key, GXF_U8_COUNT), 0u);
  EXPECT_EQ(vexlor_jit_render_trace(i32_key, GXF_I32_COUNT, f32_key, GXF_F32_COUNT, u8_key, GXF_U8_COUNT + 1), 0u);
  EXPECT_EQ(vexlor_jit_render_trace(key_of("nowhere"), GXF_I32_COUNT, f32_key, GXF_F32_COUNT, u8_key, GXF_U8_COUNT),
            0u);
  EXPECT_EQ(vexlor_jit_render_trace(i32_key, GXF_I32_COUNT, key_of("nowhere"), GXF_F32_COUNT, u8_key, GXF_U8_COUNT),
            0u);
  f.word(GXF_WORD_MAGIC) = 1;
  EXPECT_EQ(vexlor_jit_render_trace(i32_key, GXF_I32_COUNT, f32_key, GXF_F32_COUNT, u8_key, GXF_U8_COUNT), 0u);
}

}  // namespace
