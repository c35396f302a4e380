#include "collections.hpp"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "fnv.hpp"
#include "registry.hpp"
#include "text.hpp"

using namespace vexlor;

namespace {

constexpr int32_t continue_id = 0x71395504;

std::vector<int32_t> i32_elements(int32_t key, int32_t count) {
  std::vector<int32_t> out;
  for (int32_t i = 0; i < count; ++i) out.push_back(vexlor_jit_global_i32_array_load(key, 0, i));
  return out;
}

TEST(ArrayCapacity, GrowsExactlyAndKeepsElements) {
  const int32_t key = key_of("test.capacity.grow");
  ASSERT_TRUE(ensure_jit_i32_array_capacity(key, 0, 10).ok());
  EXPECT_EQ(jit_i32_array_capacity(key, 0), 10u);
  EXPECT_EQ(i32_elements(key, 10), std::vector<int32_t>(10, 0));
  vexlor_jit_global_i32_array_store(key, 0, 9, 5);
  ASSERT_TRUE(ensure_jit_i32_array_capacity(key, 0, 5).ok());
  EXPECT_EQ(jit_i32_array_capacity(key, 0), 10u) << "never shrinks";
  ASSERT_TRUE(ensure_jit_i32_array_capacity(key, 0, 12).ok());
  EXPECT_EQ(jit_i32_array_capacity(key, 0), 12u);
  EXPECT_EQ(i32_elements(key, 12), (std::vector<int32_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0}));

  ASSERT_TRUE(ensure_jit_f64_array_capacity(key_of("test.capacity.empty"), 0, 0).ok());
  EXPECT_EQ(registered_storage(JitStorageKind::F64, key_of("test.capacity.empty"), 0)->count, 0u);
}

TEST(ArrayCapacity, MovesFallbackElementsBelowTheNewSize) {
  const int32_t key = key_of("test.capacity.fallback");
  vexlor_jit_global_i32_array_store(key, 0, 3, 7);
  vexlor_jit_global_i32_array_store(key, 0, 20, 9);
  EXPECT_EQ(jit_i32_array_capacity(key, 0), 21u) << "before: one past the largest fallback index";
  ASSERT_TRUE(ensure_jit_i32_array_capacity(key, 0, 10).ok());
  EXPECT_EQ(jit_i32_array_capacity(key, 0), 10u);
  EXPECT_EQ(vexlor_jit_global_i32_array_load(key, 0, 3), 7);
  EXPECT_EQ(vexlor_jit_global_i32_array_load(key, 0, 20), 0) << "registered storage answers now";
  ASSERT_TRUE(ensure_jit_i32_array_capacity(key, 0, 21).ok());
  EXPECT_EQ(vexlor_jit_global_i32_array_load(key, 0, 20), 9) << "index 20 stayed in the fallback table until now";
  EXPECT_EQ(jit_i32_array_capacity(key_of("test.capacity.unknown"), 0), std::nullopt);
}

TEST(ArrayCapacity, HostOwnedStorageIsNeverGrown) {
  const int32_t key = key_of("test.capacity.host");
  std::array<int32_t, 64> host{};
  host[1] = 3;
  vexlor_jit_register_global_i32_array(key, 0, host.data(), 64);
  const char* expected = "cannot grow host-owned collection storage from 64 to 100";
  EXPECT_EQ(preflight_jit_i32_array_capacity(key, 0, 100).error(), expected);
  EXPECT_EQ(ensure_jit_i32_array_capacity(key, 0, 100).error(), expected);
  EXPECT_EQ(registered_storage(JitStorageKind::I32, key, 0)->address, host.data());
  EXPECT_TRUE(ensure_jit_i32_array_capacity(key, 0, 64).ok());
  EXPECT_TRUE(preflight_jit_i32_array_capacity(key, 0, 64).ok());
  EXPECT_TRUE(preflight_jit_i32_array_capacity(key_of("test.capacity.none"), 0, 1000).ok());
  EXPECT_FALSE(registered_storage(JitStorageKind::I32, key_of("test.capacity.none"), 0).ok())
      << "preflight allocates nothing";

  // Host memory registered over an owned buffer is not grown either.
  const int32_t over = key_of("test.capacity.over");
  ASSERT_TRUE(ensure_jit_f32_array_capacity(over, 0, 4).ok());
  std::array<float, 2> floats{};
  vexlor_jit_register_global_f32_array(over, 0, floats.data(), 2);
  EXPECT_EQ(ensure_jit_f32_array_capacity(over, 0, 3).error(), "cannot grow host-owned collection storage from 2 to 3");
}

TEST(ArrayCapacity, EnsuringOneIntegerLaneDiscardsTheOthers) {
  const int32_t key = key_of("test.capacity.lanes");
  std::array<int32_t, 4> words{1, 2, 3, 4};
  vexlor_jit_register_global_i32_array(key, 0, words.data(), 4);
  ASSERT_TRUE(ensure_jit_u8_array_capacity(key, 0, 8).ok());
  EXPECT_FALSE(registered_storage(JitStorageKind::I32, key, 0).ok());
  EXPECT_EQ(registered_storage(JitStorageKind::U8, key, 0)->count, 8u);
  EXPECT_EQ(vexlor_jit_global_i32_array_load(key, 0, 0), 0) << "reads the new zeroed byte lane";
}

TEST(ArrayCapacity, GrowthFollowsTheSlot) {
  const int32_t key = key_of("test.capacity.slot");
  JitStorageSlot* slot = direct_array_storage_slot_address(static_cast<uint8_t>(JitStorageKind::U16), key, 0);
  ASSERT_TRUE(ensure_jit_u16_array_capacity(key, 0, 300).ok());
  EXPECT_NE(slot->ptr, nullptr);
  EXPECT_EQ(slot->len, 300u);
}

TEST(ArrayFill, WritesARangeOrFailsWithoutWriting) {
  const int32_t key = key_of("test.fill");
  std::array<int32_t, 4> memory{1, 1, 1, 1};
  vexlor_jit_register_global_i32_array(key, 0, memory.data(), 4);
  EXPECT_EQ(fill_registered_global_i32_array(key, 0, 2, 3, 9).error(), "registered i32 array range 2..5 exceeds length 4");
  EXPECT_EQ(memory, (std::array<int32_t, 4>{1, 1, 1, 1}));
  EXPECT_TRUE(fill_registered_global_i32_array(key, 0, 1, 3, 9).ok());
  EXPECT_EQ(memory, (std::array<int32_t, 4>{1, 9, 9, 9}));
  EXPECT_EQ(fill_registered_global_i32_array(key, 0, SIZE_MAX, 2, 0).error(), "registered i32 array range overflowed");
  EXPECT_EQ(fill_registered_global_i32_array(key_of("test.fill.none"), 0, 0, 1, 0).error(),
            "registered i32 array was not found");
}

TEST(CollectionSelectors, StoredLengthsThenLiteralLengths) {
  upsert_jit_string_literal(continue_id, "CONTINUE");
  EXPECT_EQ(vexlor_jit_collection_i32_load(continue_id, 1), 8);
  EXPECT_EQ(vexlor_jit_collection_i32_load(continue_id, 2), 8);
  EXPECT_EQ(vexlor_jit_collection_i32_load(continue_id, 3), 8);
  EXPECT_EQ(vexlor_jit_collection_i32_load(continue_id, 4), 0);
  EXPECT_EQ(vexlor_jit_collection_i32_load(continue_id, 0), 0);

  const int32_t accented = key_of("test.literal.accented");
  upsert_jit_string_literal(accented, "caf\xC3\xA9");
  EXPECT_EQ(vexlor_jit_collection_i32_load(accented, 1), 5) << "bytes";
  EXPECT_EQ(vexlor_jit_collection_i32_load(accented, 3), 4) << "Unicode scalar values";

  const int32_t collection = key_of("test.collection");
  vexlor_jit_collection_i32_store(collection, 1, 6);
  vexlor_jit_collection_i32_store(collection, 9, 100);
  EXPECT_EQ(vexlor_jit_global_i32_load(key_of("test.collection.length")), 6);
  EXPECT_EQ(vexlor_jit_collection_i32_load(collection, 1), 6);
  int32_t capacity = 17;
  vexlor_jit_register_global_i32_ptr(key_of("test.collection.max_length"), &capacity);
  EXPECT_EQ(vexlor_jit_collection_i32_load(collection, 2), 17);
}

struct CopyCase {
  const char* name;
  int32_t dst_start, src_start, count;
  std::array<int32_t, 4> expected;
};

class OverlappingCopy : public testing::TestWithParam<CopyCase> {};

TEST_P(OverlappingCopy, ReadsEverythingBeforeWriting) {
  const CopyCase& c = GetParam();
  const int32_t key = key_of(std::string("test.copy.") + c.name);
  std::array<int32_t, 4> memory{1, 2, 3, 4};
  vexlor_jit_register_global_i32_array(key, 0, memory.data(), 4);
  vexlor_jit_sys_memmove_i32(key, c.dst_start, key, c.src_start, c.count);
  EXPECT_EQ(memory, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OverlappingCopy,
    testing::Values(CopyCase{"forward", 1, 0, 3, {1, 1, 2, 3}}, CopyCase{"backward", 0, 1, 3, {2, 3, 4, 4}},
                    CopyCase{"past_the_end", 2, 0, 4, {1, 2, 1, 2}}, CopyCase{"from_before_start", 0, -2, 3, {0, 0, 1, 4}},
                    CopyCase{"zero_count", 0, 1, 0, {1, 2, 3, 4}}, CopyCase{"negative_count", 0, 1, -3, {1, 2, 3, 4}},
                    CopyCase{"saturating_start", 0, INT32_MAX, 2, {0, 0, 3, 4}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BulkCopy, LiteralBytesIntoAByteBuffer) {
  upsert_jit_string_literal(continue_id, "CONTINUE");
  const int32_t dst = key_of("test.copy.u8");
  std::array<uint8_t, 6> bytes{};
  bytes.fill(0xAA);
  vexlor_jit_register_global_u8_array(dst, 0, bytes.data(), 6);
  vexlor_jit_sys_memcpy_u8(dst, 1, continue_id, 6, 4);
  EXPECT_EQ(bytes, (std::array<uint8_t, 6>{0xAA, 'U', 'E', 0, 0, 0xAA}));
}

TEST(BulkCopy, FloatsAndTextBuffersUseTheKeyedAccessors) {
  const int32_t src = key_of("test.copy.f32.src");
  const int32_t dst = key_of("test.copy.f32.dst");
  std::array<float, 3> from{0.5f, 1.5f, 2.5f};
  vexlor_jit_register_global_f32_array(src, 0, from.data(), 3);
  vexlor_jit_sys_memcpy_f32(dst, 10, src, 1, 3);
  EXPECT_EQ(vexlor_jit_global_f32_array_load(dst, 0, 10), 1.5f);
  EXPECT_EQ(vexlor_jit_global_f32_array_load(dst, 0, 11), 2.5f);
  EXPECT_EQ(vexlor_jit_global_f32_array_load(dst, 0, 12), 0.0f);

  // A text buffer whose handle is also a literal id copies from the buffer.
  const int32_t handle = key_of("test.copy.buffer");
  upsert_jit_string_literal(handle, "literal");
  std::array<uint8_t, 2> text{'o', 'k'};
  vexlor_jit_register_global_u8_array(handle, 0, text.data(), 2);
  const int32_t out = key_of("test.copy.buffer.out");
  std::array<uint8_t, 2> copied{};
  vexlor_jit_register_global_u8_array(out, 0, copied.data(), 2);
  vexlor_jit_sys_memmove_u8(out, 0, handle, 0, 2);
  EXPECT_EQ(copied, text);
}

}  // namespace
