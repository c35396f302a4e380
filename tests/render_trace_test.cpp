#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "gxf_frame_builder.hpp"
#include "render_frame.hpp"

namespace {

TEST(RenderTrace, KnownValuesOfEmptyFrames) {
  GxfFrameBuilder complete;
  EXPECT_EQ(complete.trace(), 0xE693EC4Bu);

  GxfFrameBuilder cleared;
  cleared.clear_color(0, 0, 0, 1);
  EXPECT_EQ(cleared.word(GXF_WORD_FLAGS), 3);
  EXPECT_EQ(cleared.trace(), 0x96AF03C7u);

  GxfFrameBuilder incomplete(0);
  EXPECT_EQ(incomplete.trace(), 0xCCF7ED9Du);

  GxfFrameBuilder version7(GXF_FLAG_COMPLETE, 7);
  EXPECT_EQ(version7.trace(), 0xE693EC4Bu);
}

// Reference values computed independently from the hashing rules.
TEST(RenderTrace, KnownValuesOfFramesWithEveryRecordKind) {
  EXPECT_EQ(every_record_frame(true).trace(), 0x9D06517Bu);
  EXPECT_EQ(every_record_frame(false, GXF_FLAG_CLEAR_COLOR).trace(), 0x69A5A634u);
}

TEST(RenderTrace, DrawOrderCountsAndUnreferencedRecordsDoNot) {
  GxfFrameBuilder base = every_record_frame();
  const uint32_t trace = base.trace();

  GxfFrameBuilder swapped = base;
  std::swap(swapped.word(GXF_I32_DRAWS + 1), swapped.word(GXF_I32_DRAWS + 2));
  EXPECT_NE(swapped.trace(), trace);

  GxfFrameBuilder unreferenced = base;
  unreferenced.upper_rect({1, 1, 1, 1, 1, 1, 1, 1});  // counted, never drawn
  unreferenced.upper_rect_floats(1)[0] = 99;
  const uint32_t with_extra = unreferenced.trace();
  EXPECT_NE(with_extra, 0u);
  unreferenced.upper_rect_floats(1)[0] = 98;
  EXPECT_EQ(unreferenced.trace(), with_extra);
  EXPECT_EQ(with_extra, trace);

  GxfFrameBuilder referenced = base;
  referenced.upper_rect_floats(0)[0] = 11;
  EXPECT_NE(referenced.trace(), trace);
}

TEST(RenderTrace, TextBytesAreHashedOnlyForInlineTextWithABuffer) {
  GxfFrameBuilder f;
  f.inline_text(1, "abc", {0, 0, 1, 1, 1, 1});
  f.draw(GXF_DRAW_TEXT, 0);
  const uint32_t with_bytes = f.trace();
  const uint32_t without_buffer = vexlor_render_trace_native(f.i32.data(), f.f32.data(), nullptr);
  EXPECT_NE(without_buffer, 0u);
  EXPECT_NE(with_bytes, without_buffer);
  f.u8[1] = 'X';
  EXPECT_NE(f.trace(), with_bytes);
  f.u8[3] = 'Y';  // the terminating zero is not part of the text
  f.u8[1] = 'b';
  EXPECT_EQ(f.trace(), with_bytes);

  GxfFrameBuilder empty_text;
  empty_text.inline_text(1, "", {0, 0, 1, 1, 1, 1});
  empty_text.draw(GXF_DRAW_TEXT, 0);
  const uint32_t empty_trace = empty_text.trace();
  EXPECT_EQ(vexlor_render_trace_native(empty_text.i32.data(), empty_text.f32.data(), nullptr), empty_trace);
  empty_text.u8[0] = 'Z';
  EXPECT_EQ(empty_text.trace(), empty_trace);
  empty_text.text_words(0)[0] = 2;  // the font word is hashed
  EXPECT_NE(empty_text.trace(), empty_trace);
}

struct Malformation {
  const char* name;
  std::function<void(GxfFrameBuilder&)> apply;
};

void PrintTo(const Malformation& m, std::ostream* os) { *os << m.name; }

const float nan_value = std::numeric_limits<float>::quiet_NaN();
const float inf_value = std::numeric_limits<float>::infinity();

// Every case breaks one rule on a frame that is valid without it.
const Malformation malformations[] = {
    {"bad magic", [](auto& f) { f.word(GXF_WORD_MAGIC) = 0x31465847; }},
    {"version 6", [](auto& f) { f.word(GXF_WORD_VERSION) = 6; }},
    {"version 9", [](auto& f) { f.word(GXF_WORD_VERSION) = 9; }},
    {"sprite count 4097", [](auto& f) { f.word(GXF_WORD_SPRITES) = 4097; }},
    {"negative sprite count", [](auto& f) { f.word(GXF_WORD_SPRITES) = -1; }},
    {"lower count 10001", [](auto& f) { f.word(GXF_WORD_LOWER_RECTS) = 10001; }},
    {"text bytes 65537", [](auto& f) { f.word(GXF_WORD_TEXT_BYTES) = 65537; }},
    {"text count 2049", [](auto& f) { f.word(GXF_WORD_TEXTS) = 2049; }},
    {"negative upper count", [](auto& f) { f.word(GXF_WORD_UPPER_RECTS) = -1; }},
    {"draw count 16657", [](auto& f) { f.word(GXF_WORD_DRAWS) = 16657; }},
    {"batch count 4097", [](auto& f) { f.word(GXF_WORD_BATCHES) = 4097; }},
    {"clip count 257", [](auto& f) { f.word(GXF_WORD_CLIPS) = 257; }},
    {"rectangle pool overfull",
     [](auto& f) { f.word(GXF_WORD_LOWER_RECTS) = 5000, f.word(GXF_WORD_UPPER_RECTS) = 5001; }},
    {"batch start -1", [](auto& f) { f.batch_words(0)[0] = -1; }},
    {"batch count 0", [](auto& f) { f.batch_words(0)[1] = 0; }},
    {"batch start past sprites", [](auto& f) { f.batch_words(0)[0] = 2; }},
    {"batch past last sprite", [](auto& f) { f.batch_words(0)[1] = 2; }},
    {"batch clip -2", [](auto& f) { f.batch_words(0)[2] = -2; }},
    {"batch clip not written", [](auto& f) { f.batch_words(0)[2] = 1; }},
    {"batch material", [](auto& f) { f.batch_words(0)[3] = 1; }},
    {"batch flags", [](auto& f) { f.batch_words(0)[7] = 1; }},
    {"sprite image 0", [](auto& f) { f.sprite_words(0)[0] = 0; }},
    {"sprite reserved word", [](auto& f) { f.sprite_words(0)[2] = 1; }},
    {"sprite x NaN", [](auto& f) { f.sprite_floats(0)[0] = nan_value; }},
    {"sprite rotation infinite", [](auto& f) { f.sprite_floats(0)[12] = inf_value; }},
    {"sprite width 0", [](auto& f) { f.sprite_floats(0)[2] = 0; }},
    {"sprite height negative", [](auto& f) { f.sprite_floats(0)[3] = -1; }},
    {"sprite source x negative", [](auto& f) { f.sprite_floats(0)[4] = -1; }},
    {"sprite source width 0 with height 5", [](auto& f) { f.sprite_floats(0)[6] = 0, f.sprite_floats(0)[7] = 5; }},
    {"sprite source height 0 with width 5", [](auto& f) { f.sprite_floats(0)[6] = 5, f.sprite_floats(0)[7] = 0; }},
    {"sprite scale x 0", [](auto& f) { f.sprite_floats(0)[10] = 0; }},
    {"sprite scale y 0", [](auto& f) { f.sprite_floats(0)[11] = -0.0f; }},
    {"text run offset most negative", [](auto& f) { f.text_words(1)[1] = INT_MIN; }},
    {"text run with a length", [](auto& f) { f.text_words(1)[2] = 1; }},
    {"inline text offset at text bytes", [](auto& f) { f.text_words(0)[1] = f.word(GXF_WORD_TEXT_BYTES); }},
    {"inline text length negative", [](auto& f) { f.text_words(0)[2] = -1; }},
    {"inline text without its zero byte", [](auto& f) { f.text_words(0)[2] = 3; }},
    {"negative draw entry", [](auto& f) { f.word(GXF_I32_DRAWS + 1) = -1; }},
    {"draw kind 0", [](auto& f) { f.word(GXF_I32_DRAWS + 1) = 0; }},
    {"draw kind 7", [](auto& f) { f.word(GXF_I32_DRAWS + 1) = 7 << 14; }},
    {"draw lower index out of range", [](auto& f) { f.word(GXF_I32_DRAWS + 5) = 1 << 14 | 1; }},
    {"draw batch index out of range", [](auto& f) { f.word(GXF_I32_DRAWS + 2) = 2 << 14 | 1; }},
    {"draw text index out of range", [](auto& f) { f.word(GXF_I32_DRAWS + 3) = 3 << 14 | 2; }},
    {"draw upper index out of range", [](auto& f) { f.word(GXF_I32_DRAWS + 1) = 4 << 14 | 1; }},
    {"draw clip push index out of range", [](auto& f) { f.word(GXF_I32_DRAWS + 0) = 5 << 14 | 1; }},
    {"draw clip pop index 1", [](auto& f) { f.word(GXF_I32_DRAWS + 4) = 6 << 14 | 1; }},
    {"pop without push", [](auto& f) { f.word(GXF_I32_DRAWS + 0) = 4 << 14 | 0; }},
    {"push left open", [](auto& f) { f.word(GXF_I32_DRAWS + 4) = 4 << 14 | 0; }},
    {"clip nesting 257 deep",
     [](auto& f) {
       f.word(GXF_WORD_DRAWS) = 0;
       for (int i = 0; i < 257; ++i) f.draw(GXF_DRAW_CLIP_PUSH, 0);
       for (int i = 0; i < 257; ++i) f.draw(GXF_DRAW_CLIP_POP, 0);
     }},
};

class MalformedFrame : public testing::TestWithParam<Malformation> {};

TEST_P(MalformedFrame, FailsValidationAndTracesToZero) {
  GxfFrameBuilder f = every_record_frame();
  ASSERT_TRUE(f.valid());
  GetParam().apply(f);
  EXPECT_FALSE(f.valid());
  EXPECT_EQ(f.trace(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Rules, MalformedFrame, testing::ValuesIn(malformations));

// Words and records that readers do not check.
const Malformation harmless_changes[] = {
    {"sprite colour", [](auto& f) { f.sprite_words(0)[1] = -1; }},
    {"text font", [](auto& f) { f.text_words(0)[0] = INT_MIN; }},
    {"reserved header words",
     [](auto& f) {
       for (int w : {5, 10, 21, 26, 31}) f.word(w) = -77;
     }},
    {"drop counters",
     [](auto& f) {
       for (int w : {6, 8, 23, 25, 28, 30}) f.word(w) = -5;
     }},
    {"sprite beyond the sprite count", [](auto& f) { f.sprite_words(1)[0] = 0, f.sprite_floats(1)[0] = nan_value; }},
    {"clip nesting 256 deep",
     [](auto& f) {
       f.word(GXF_WORD_DRAWS) = 0;
       for (int i = 0; i < 256; ++i) f.draw(GXF_DRAW_CLIP_PUSH, 0);
       for (int i = 0; i < 256; ++i) f.draw(GXF_DRAW_CLIP_POP, 0);
     }},
    {"full rectangle pool", [](auto& f) { f.word(GXF_WORD_LOWER_RECTS) = 9999; }},
};

class AcceptedFrame : public testing::TestWithParam<Malformation> {};

TEST_P(AcceptedFrame, StaysValid) {
  GxfFrameBuilder f = every_record_frame();
  GetParam().apply(f);
  EXPECT_TRUE(f.valid());
  EXPECT_NE(f.trace(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Unchecked, AcceptedFrame, testing::ValuesIn(harmless_changes));

TEST(RenderTrace, NullIntegerOrFloatBufferTracesToZero) {
  GxfFrameBuilder f;
  EXPECT_EQ(vexlor_render_trace_native(nullptr, f.f32.data(), f.u8.data()), 0u);
  EXPECT_EQ(vexlor_render_trace_native(f.i32.data(), nullptr, f.u8.data()), 0u);
}

TEST(CurrentRenderTrace, RequiresFullSlicesAndASupportedHeader) {
  GxfFrameBuilder f = every_record_frame();
  const uint32_t native = f.trace();
  EXPECT_EQ(vexlor::current_render_trace(f.i32, f.f32, f.u8), native);
  // A short slice is refused before any word is read.
  EXPECT_EQ(vexlor::current_render_trace(std::span<const int32_t>(f.i32.data(), GXF_I32_COUNT - 1), f.f32, f.u8), 0u);
  EXPECT_EQ(vexlor::current_render_trace(f.i32, std::span<const float>(f.f32.data(), GXF_F32_COUNT - 1), f.u8), 0u);
  EXPECT_EQ(vexlor::current_render_trace(f.i32, f.f32, {}), 0u);
  f.word(GXF_WORD_VERSION) = 9;
  EXPECT_EQ(vexlor::current_render_trace(f.i32, f.f32, f.u8), 0u);
}

}  // namespace
