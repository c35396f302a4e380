#include "text.hpp"

#include <gtest/gtest.h>

#include <array>

#include "collections.hpp"
#include "fnv.hpp"
#include "registry.hpp"

using namespace vexlor;

namespace {

constexpr int32_t continue_id = 0x71395504;

TEST(LiteralIds, AreTheHashesOfTheirTexts) {
  EXPECT_EQ(key_of(""), -2128831035);
  EXPECT_EQ(key_of("CONTINUE"), 1899582724);
  EXPECT_EQ(key_of("x"), -49524601);
  EXPECT_EQ(key_of("EASY"), -1368434789);
  EXPECT_EQ(key_of("assets/ui.ttf"), 0x1BBD67DB);
}

TEST(LiteralTable, UpsertFromCIgnoresNullAndInvalidUtf8) {
  const int32_t id = key_of("test.literal.c");
  vexlor_jit_upsert_string_literal(id, "first");
  vexlor_jit_upsert_string_literal(id, nullptr);
  vexlor_jit_upsert_string_literal(id, "bad \xC0\xAF");
  EXPECT_EQ(jit_string_literal_value(id), "first");
  vexlor_jit_upsert_string_literal(id, "second");
  EXPECT_EQ(jit_string_literal_value(id), "second") << "without staging, a new text replaces the old";
  vexlor_jit_clear_string_literal_table();
  EXPECT_EQ(jit_string_literal_value(id), std::nullopt);
}

TEST(LiteralStaging, CollectsChecksAndReplacesInOneStep) {
  upsert_jit_string_literal(continue_id, "CONTINUE");
  ASSERT_TRUE(begin_jit_string_literal_staging().ok());
  EXPECT_EQ(begin_jit_string_literal_staging().error(), "JIT string literal staging is already active on this thread");
  upsert_jit_string_literal(key_of("EASY"), "EASY");
  upsert_jit_string_literal(key_of("EASY"), "EASY");
  EXPECT_EQ(jit_string_literal_value(key_of("EASY")), std::nullopt) << "the live table is untouched while staging";
  auto staged = finish_jit_string_literal_staging();
  ASSERT_TRUE(staged.ok());
  EXPECT_EQ(*staged, (JitStringLiteralMap{{key_of("EASY"), "EASY"}}));
  EXPECT_EQ(finish_jit_string_literal_staging().error(), "JIT string literal staging is not active");

  replace_jit_string_literal_table(*staged);
  EXPECT_EQ(jit_string_literal_value(key_of("EASY")), "EASY");
  EXPECT_EQ(jit_string_literal_value(continue_id), std::nullopt);
}

TEST(LiteralStaging, FirstCollisionFailsTheFinish) {
  upsert_jit_string_literal(continue_id, "CONTINUE");
  ASSERT_TRUE(begin_jit_string_literal_staging().ok());
  upsert_jit_string_literal(continue_id, "CONTINUE");
  upsert_jit_string_literal(continue_id, "BACK");
  upsert_jit_string_literal(continue_id, "LATER");
  auto staged = finish_jit_string_literal_staging();
  ASSERT_FALSE(staged.ok());
  EXPECT_EQ(staged.error(), "JIT string literal hash collision for id 1899582724: 'CONTINUE' vs 'BACK'");
  EXPECT_EQ(jit_string_literal_value(continue_id), "CONTINUE");
}

TEST(LiteralStaging, IsPerThread) {
  ASSERT_TRUE(begin_jit_string_literal_staging().ok());
  const int32_t id = key_of("test.literal.thread");
  std::thread other([&] { upsert_jit_string_literal(id, "live"); });
  other.join();
  EXPECT_EQ(jit_string_literal_value(id), "live");
  EXPECT_TRUE(finish_jit_string_literal_staging().ok());
}

// A text buffer as the game declares one: bytes plus length and capacity.
struct TextBuffer {
  explicit TextBuffer(const char* path) : handle(key_of(path)) {
    vexlor_jit_register_global_u8_array(handle, 0, bytes.data(), static_cast<int32_t>(bytes.size()));
    vexlor_jit_register_global_i32_ptr(key_continue(handle, ".length"), &length);
    vexlor_jit_register_global_i32_ptr(key_continue(handle, ".max_length"), &max_length);
  }
  int32_t handle;
  std::array<uint8_t, 12> bytes{};
  int32_t length = 0;
  int32_t max_length = 12;
};

TEST(TextHandles, BuffersResolveToTheirBytes) {
  TextBuffer buffer("test.text.buffer");
  buffer.bytes = {'H', 'i', '!', 'x'};
  buffer.length = 3;
  EXPECT_TRUE(jit_text_buffer_is_registered(buffer.handle));
  EXPECT_EQ(jit_text_arg_bytes(buffer.handle), "Hi!");
  EXPECT_EQ(jit_string_value(buffer.handle).value(), "Hi!");
  EXPECT_EQ(jit_text_arg_to_cstring(buffer.handle).value(), "Hi!");

  set_jit_output_capture(true);
  vexlor_jit_print_string(buffer.handle);
  EXPECT_EQ(drain_jit_output(), "Hi!");
  set_jit_output_capture(false);
}

TEST(TextHandles, BufferDetectionRules) {
  const int32_t by_capacity = key_of("test.text.by_capacity");
  vexlor_jit_global_i32_store(key_continue(by_capacity, ".max_length"), 4);
  EXPECT_TRUE(jit_text_buffer_is_registered(by_capacity));

  const int32_t by_i32 = key_of("test.text.by_i32");
  std::array<int32_t, 2> words{'o', 'k'};
  vexlor_jit_register_global_i32_array(by_i32, 0, words.data(), 2);
  EXPECT_TRUE(jit_text_buffer_is_registered(by_i32));

  const int32_t by_fallback = key_of("test.text.by_fallback");
  vexlor_jit_global_i32_array_store(by_fallback, 0, 0, 'a');
  vexlor_jit_global_i32_store(key_continue(by_fallback, ".length"), 1);
  EXPECT_TRUE(jit_text_buffer_is_registered(by_fallback));
  EXPECT_EQ(jit_text_arg_bytes(by_fallback), "a");

  EXPECT_FALSE(jit_text_buffer_is_registered(key_of("test.text.nothing")));
}

TEST(TextHandles, BadElementsFallBackToTheLiteralUnlessBounded) {
  TextBuffer buffer("test.text.bad");
  upsert_jit_string_literal(buffer.handle, "literal");
  buffer.length = 2;
  std::array<int32_t, 2> words{'a', 300};
  const int32_t handle = key_of("test.text.wide");
  upsert_jit_string_literal(handle, "wide literal");
  vexlor_jit_register_global_i32_array(handle, 0, words.data(), 2);
  vexlor_jit_global_i32_store(key_continue(handle, ".length"), 2);
  EXPECT_EQ(jit_text_arg_bytes(handle), "wide literal");
  EXPECT_EQ(bounded_jit_text_arg_bytes(handle, 100), std::nullopt);

  vexlor_jit_global_i32_store(key_continue(handle, ".length"), -1);
  EXPECT_EQ(jit_text_arg_bytes(handle), "wide literal");
  EXPECT_EQ(bounded_jit_text_arg_bytes(handle, 100), std::nullopt);

  buffer.bytes = {'a', 'b', 'c'};
  buffer.length = 3;
  EXPECT_EQ(bounded_jit_text_arg_bytes(buffer.handle, 2), std::nullopt) << "longer than the maximum";
  EXPECT_EQ(bounded_jit_text_arg_bytes(continue_id - 1, 100), std::nullopt);
  upsert_jit_string_literal(continue_id, "CONTINUE");
  EXPECT_EQ(bounded_jit_text_arg_bytes(continue_id, 7), std::nullopt);
  EXPECT_EQ(bounded_jit_text_arg_bytes(continue_id, 8), "CONTINUE");
}

TEST(TextHandles, ErrorTexts) {
  const int32_t unknown = key_of("test.text.unknown");
  EXPECT_EQ(jit_string_value(unknown).error(), "invalid or oversized JIT string handle " + std::to_string(unknown));
  EXPECT_EQ(jit_text_arg_to_cstring(unknown).error(),
            "missing jit text handle for id=" + std::to_string(unknown) + " (neither literal nor utf8 buffer)");

  TextBuffer buffer("test.text.errors");
  buffer.bytes = {'a', 0xFF, 'b'};
  buffer.length = 3;
  EXPECT_EQ(jit_string_value(buffer.handle).error(),
            "JIT string handle " + std::to_string(buffer.handle) + " contains invalid UTF-8");
  buffer.bytes = {'a', 0, 'b'};
  EXPECT_EQ(jit_text_arg_to_cstring(buffer.handle).error(), "string contains interior NUL byte; cannot pass to C runtime");

  set_jit_output_capture(true);
  vexlor_jit_print_string(unknown);
  EXPECT_EQ(drain_jit_output(), "") << "an unknown handle prints nothing";
  set_jit_output_capture(false);
}

TEST(Utf8, ValidationAndLossyReplacement) {
  struct Case {
    const char* bytes;
    bool valid;
    const char* lossy;
  };
  const Case cases[] = {
      {"plain", true, "plain"},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x90\xAD", true, "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x90\xAD"},
      {"\xC0\xAF", false, "\xEF\xBF\xBD\xEF\xBF\xBD"},          // overlong
      {"\xED\xA0\x80", false, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
      {"\xF4\x90\x80\x80", false, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // above U+10FFFF
      {"a\xE2\x82", false, "a\xEF\xBF\xBD"},                    // truncated: one replacement
      {"\xE2\x82z", false, "\xEF\xBF\xBDz"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(is_valid_utf8(c.bytes), c.valid) << c.bytes;
    EXPECT_EQ(utf8_lossy(c.bytes), c.lossy) << c.bytes;
  }
}

TEST(ConsoleOutput, CaptureAndDrain) {
  set_jit_output_capture(true);
  vexlor_jit_print_i32(-7);
  vexlor_jit_print_i32(INT32_MIN);
  EXPECT_EQ(drain_jit_output(), "-7-2147483648");
  EXPECT_EQ(drain_jit_output(), "");
  vexlor_jit_print_i32(1);
  set_jit_output_capture(true);
  EXPECT_EQ(drain_jit_output(), "") << "re-enabling discards what was captured";
  set_jit_output_capture(false);
  EXPECT_EQ(drain_jit_output(), "");
}

TEST(ConsoleOutput, UncapturedGoesToStandardOutput) {
  upsert_jit_string_literal(continue_id, "CONTINUE");
  testing::internal::CaptureStdout();
  vexlor_jit_print_string(continue_id);
  vexlor_jit_print_i32(42);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "CONTINUE42");
}

}  // namespace
