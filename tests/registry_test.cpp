#include "registry.hpp"

#include <gtest/gtest.h>

#include <array>
#include <thread>

#include "collections.hpp"
#include "dispatch.hpp"
#include "fnv.hpp"
#include "text.hpp"

using namespace vexlor;

namespace {

constexpr uint8_t kind_byte(JitStorageKind kind) { return static_cast<uint8_t>(kind); }

// Runs `body` as if it were guest code: under the dispatch lock, counted.
template <class Body>
void as_guest_call(Body body) {
  PoisonGuard hold(jit_dispatch_lock());
  GuestExecutionScope scope;
  body();
}

TEST(RegistryKeys, HashesOfPathsAndContinuation) {
  EXPECT_EQ(static_cast<uint32_t>(key_of("host_req_seq")), 0xF5ED329Cu);
  EXPECT_EQ(static_cast<uint32_t>(key_of("app.maze.walls")), 0x5AC5727Au);
  EXPECT_EQ(static_cast<uint32_t>(key_of("gfx_cmd_u8")), 0xB661BAD9u);
  EXPECT_EQ(static_cast<uint32_t>(key_of("app.fonts.text_runs")), 0xE18A46BCu);
  EXPECT_EQ(static_cast<uint32_t>(key_of("font")), 0x274E1290u);
  EXPECT_EQ(static_cast<uint32_t>(key_of("")), 0x811C9DC5u);
  EXPECT_EQ(static_cast<uint32_t>(key_continue(key_of("app.fonts.text_runs"), ".length")), 0x8965DEC2u);
  EXPECT_EQ(key_continue(key_of("app.fonts.text_runs"), ".length"), key_of("app.fonts.text_runs.length"));
}

TEST(RegistryScalars, FallbackThenRegisteredMemoryWithoutCopying) {
  const int32_t key = key_of("test.scalar.fallback");
  EXPECT_EQ(vexlor_jit_global_i32_load(key), 0);
  vexlor_jit_global_i32_store(key, 41);
  EXPECT_EQ(vexlor_jit_global_i32_load(key), 41);

  int32_t memory = 7;
  vexlor_jit_register_global_i32_ptr(key, &memory);
  EXPECT_EQ(vexlor_jit_global_i32_load(key), 7) << "registered memory is read, the fallback value is not copied";
  vexlor_jit_global_i32_store(key, 9);
  EXPECT_EQ(memory, 9);

  float f = 1.5f;
  double d = 2.25;
  vexlor_jit_register_global_f32_ptr(key, &f);
  vexlor_jit_register_global_f64_ptr(key, &d);
  EXPECT_EQ(vexlor_jit_global_f32_load(key), 1.5f);
  EXPECT_EQ(vexlor_jit_global_f64_load(key), 2.25);
  EXPECT_EQ(vexlor_jit_global_i32_load(key), 9) << "each value type has its own tables";
  EXPECT_EQ(vexlor_jit_global_f32_load(key_of("test.scalar.never")), 0.0f);
}

TEST(RegistryScalars, NullAddressRegistersNothing) {
  const int32_t key = key_of("test.scalar.null");
  vexlor_jit_register_global_i32_ptr(key, nullptr);
  vexlor_jit_global_i32_store(key, 3);
  EXPECT_EQ(vexlor_jit_global_i32_load(key), 3);
  EXPECT_FALSE(registered_storage(JitStorageKind::I32, key, 0).ok());
}

TEST(RegistryScalars, RegisteringOverAnOwnedCellFreesItAndKeepsTheNewMemory) {
  const int32_t key = key_of("test.scalar.owned");
  vexlor_jit_global_i32_store(key, 5);
  ASSERT_TRUE(provision_direct_scalar_storage(kind_byte(JitStorageKind::I32), key).ok());
  auto owned = registered_storage(JitStorageKind::I32, key, 0);
  ASSERT_TRUE(owned.ok());
  EXPECT_EQ(*static_cast<int32_t*>(owned->address), 5) << "provisioning moves the fallback value into the cell";

  int32_t memory = 77;
  vexlor_jit_register_global_i32_ptr(key, &memory);
  EXPECT_EQ(vexlor_jit_global_i32_load(key), 77);
  EXPECT_EQ(registered_storage(JitStorageKind::I32, key, 0)->address, &memory);
}

TEST(RegistryArrays, IndexRulesOfRegisteredArrays) {
  const int32_t key = key_of("test.array.bounds");
  std::array<int32_t, 4> memory{1, 2, 3, 4};
  vexlor_jit_register_global_i32_array(key, 0, memory.data(), 4);
  EXPECT_EQ(vexlor_jit_global_i32_array_load(key, 0, 3), 4);
  EXPECT_EQ(vexlor_jit_global_i32_array_load(key, 0, -1), 0);
  EXPECT_EQ(vexlor_jit_global_i32_array_load(key, 0, 4), 0);
  vexlor_jit_global_i32_array_store(key, 0, 4, 99);
  vexlor_jit_global_i32_array_store(key, 0, -1, 99);
  EXPECT_EQ(memory, (std::array<int32_t, 4>{1, 2, 3, 4}));
  vexlor_jit_global_i32_array_store(key, 0, 0, -8);
  EXPECT_EQ(memory[0], -8);
}

TEST(RegistryArrays, NonPositiveCountsRegisterNothing) {
  const int32_t key = key_of("test.array.count");
  int32_t memory[2] = {5, 6};
  for (int32_t count : {0, -1, INT32_MIN}) vexlor_jit_register_global_i32_array(key, 0, memory, count);
  vexlor_jit_register_global_i32_array(key, 0, nullptr, 2);
  EXPECT_FALSE(registered_storage(JitStorageKind::I32, key, 0).ok());
  EXPECT_EQ(vexlor_jit_global_i32_array_load(key, 0, 0), 0);
}

TEST(RegistryArrays, IntegerLanesShareOneKeySpace) {
  const int32_t key = key_of("test.array.lanes");
  std::array<uint8_t, 3> bytes{10, 200, 0};
  vexlor_jit_register_global_u8_array(key, 0, bytes.data(), 3);
  EXPECT_EQ(vexlor_jit_global_i32_array_load(key, 0, 1), 200) << "a byte reads zero-extended";
  vexlor_jit_global_i32_array_store(key, 0, 2, 0x1FF);
  EXPECT_EQ(bytes[2], 0xFF);

  std::array<uint16_t, 2> halves{0xFFFF, 0};
  vexlor_jit_register_global_u16_array(key, 0, halves.data(), 2);
  EXPECT_EQ(vexlor_jit_global_i32_array_load(key, 0, 0), 0xFFFF) << "registering u16 discarded the u8 lane";
  vexlor_jit_global_i32_array_store(key, 0, 1, 0x12345);
  EXPECT_EQ(halves[1], 0x2345);
  EXPECT_FALSE(registered_storage(JitStorageKind::U8, key, 0).ok());

  std::array<int32_t, 1> words{-5};
  vexlor_jit_register_global_i32_array(key, 0, words.data(), 1);
  EXPECT_EQ(vexlor_jit_global_i32_array_load(key, 0, 0), -5);
  EXPECT_FALSE(registered_storage(JitStorageKind::U16, key, 0).ok());
}

TEST(RegistryArrays, FallbackElementsAndTheLiteralView) {
  upsert_jit_string_literal(key_of("CONTINUE"), "CONTINUE");
  const int32_t literal = 0x71395504;
  ASSERT_EQ(key_of("CONTINUE"), literal);
  EXPECT_EQ(vexlor_jit_global_i32_array_load(literal, 0, 0), 67);
  EXPECT_EQ(vexlor_jit_global_i32_array_load(literal, 0, 7), 'E');
  EXPECT_EQ(vexlor_jit_global_i32_array_load(literal, 0, 8), 0);
  EXPECT_EQ(vexlor_jit_global_i32_array_load(literal, 5, 0), 0) << "only standalone pairs read as literals";

  // Once the pair has any fallback element, it no longer reads as the literal.
  vexlor_jit_global_i32_array_store(literal, 0, 100, 1);
  EXPECT_EQ(vexlor_jit_global_i32_array_load(literal, 0, 0), 0);
  EXPECT_EQ(vexlor_jit_global_i32_array_load(literal, 0, 100), 1);

  const int32_t sparse = key_of("test.array.sparse");
  vexlor_jit_global_f32_array_store(sparse, 3, 1000000, 2.5f);
  EXPECT_EQ(vexlor_jit_global_f32_array_load(sparse, 3, 1000000), 2.5f);
  EXPECT_EQ(vexlor_jit_global_f64_array_load(sparse, 3, 1000000), 0.0) << "f64 has its own fallback table";
}

TEST(RegistryArrays, PointerRequestsGrowOwnedStorage) {
  const int32_t key = key_of("test.array.ptr");
  EXPECT_EQ(vexlor_jit_global_i32_array_ptr(key, 0, 0), nullptr);
  int32_t* grown = vexlor_jit_global_i32_array_ptr(key, 0, 16);
  ASSERT_NE(grown, nullptr);
  grown[15] = 4;
  EXPECT_EQ(vexlor_jit_global_i32_array_load(key, 0, 15), 4);
  EXPECT_EQ(vexlor_jit_global_i32_array_ptr(key, 0, 8), grown) << "large enough already: no growth";

  int32_t host[4] = {};
  const int32_t host_key = key_of("test.array.ptr.host");
  vexlor_jit_register_global_i32_array(host_key, 0, host, 4);
  EXPECT_EQ(vexlor_jit_global_i32_array_ptr(host_key, 0, 4), host);
  EXPECT_EQ(vexlor_jit_global_i32_array_ptr(host_key, 0, 5), nullptr) << "host-owned memory never grows";

  uint8_t* frame_bytes = global_u8_array_ptr(key_of("test.gfx_cmd_u8"));
  ASSERT_NE(frame_bytes, nullptr);
  EXPECT_EQ(registered_storage(JitStorageKind::U8, key_of("test.gfx_cmd_u8"), 0)->count, 65536u);
}

TEST(RegistrySlots, SlotFollowsRegistrationsAndProvisioning) {
  const int32_t key = key_of("test.slot.array");
  JitStorageSlot* slot = direct_array_storage_slot_address(kind_byte(JitStorageKind::I32), key, 0);
  EXPECT_EQ(slot->ptr, nullptr);
  EXPECT_EQ(slot->len, 0u);
  EXPECT_EQ(direct_array_storage_slot_address(kind_byte(JitStorageKind::I32), key, 0), slot) << "one slot per key";

  ASSERT_TRUE(provision_direct_array_storage(kind_byte(JitStorageKind::I32), key, 0, 100).ok());
  EXPECT_NE(slot->ptr, nullptr);
  EXPECT_EQ(slot->len, 100u);
  void* provisioned = slot->ptr;

  std::array<int32_t, 64> small{};
  vexlor_jit_register_global_i32_array(key, 0, small.data(), 64);
  EXPECT_EQ(slot->ptr, provisioned) << "a registration below the promised length is refused";
  EXPECT_EQ(direct_array_storage_slot_len_for_test(kind_byte(JitStorageKind::I32), key, 0), 100u);

  std::array<int32_t, 128> large{};
  vexlor_jit_register_global_i32_array(key, 0, large.data(), 128);
  EXPECT_EQ(slot->ptr, large.data());
  EXPECT_EQ(slot->len, 128u);

  const int32_t scalar = key_of("test.slot.scalar");
  JitStorageSlot* scalar_slot = direct_scalar_storage_slot_address(kind_byte(JitStorageKind::F32), scalar);
  float value = 0;
  vexlor_jit_register_global_f32_ptr(scalar, &value);
  EXPECT_EQ(scalar_slot->ptr, &value);
  EXPECT_EQ(scalar_slot->len, 1u);
  EXPECT_EQ(direct_array_storage_slot_len_for_test(kind_byte(JitStorageKind::F64), scalar, 0), std::nullopt);
}

TEST(RegistrySlots, KindBytesAboveFourSelectI32) {
  const int32_t key = key_of("test.slot.kind");
  int32_t memory = 3;
  vexlor_jit_register_global_i32_ptr(key, &memory);
  JitStorageSlot* slot = direct_scalar_storage_slot_address(200, key);
  EXPECT_EQ(slot, direct_scalar_storage_slot_address(kind_byte(JitStorageKind::I32), key));
  EXPECT_EQ(slot->ptr, &memory);
}

TEST(RegistryProvisioning, U8ScalarsBecomeOneElementArrays) {
  const int32_t key = key_of("test.provision.u8");
  ASSERT_TRUE(provision_direct_scalar_storage(kind_byte(JitStorageKind::U8), key).ok());
  auto backing = registered_storage(JitStorageKind::U8, key, 0);
  ASSERT_TRUE(backing.ok());
  EXPECT_EQ(backing->count, 1u);
}

TEST(RegistryRebindGuard, RefusedDuringAGuestCall) {
  const int32_t key = key_of("test.guard");
  int32_t memory = 1;
  std::array<int32_t, 2> array{};
  Status scalar_provision, array_provision;
  bool clear_attempted = false;
  as_guest_call([&] {
    auto guard = acquire_rebind_guard();
    ASSERT_FALSE(guard.ok());
    EXPECT_EQ(guard.error(), "storage rebinding is only allowed between guest execution windows");
    vexlor_jit_register_global_i32_ptr(key, &memory);
    vexlor_jit_register_global_i32_array(key, 0, array.data(), 2);
    scalar_provision = provision_direct_scalar_storage(kind_byte(JitStorageKind::I32), key);
    array_provision = provision_direct_array_storage(kind_byte(JitStorageKind::F32), key, 0, 4);
    clear_registered_global_memory();
    clear_attempted = true;
    // Keyed access still works during a guest call.
    vexlor_jit_global_i32_store(key, 12);
  });
  ASSERT_TRUE(clear_attempted);
  EXPECT_EQ(scalar_provision.error(), rebind_refused_message);
  EXPECT_EQ(array_provision.error(), rebind_refused_message);
  EXPECT_FALSE(registered_storage(JitStorageKind::I32, key, 0).ok()) << "registrations had no effect";
  EXPECT_EQ(vexlor_jit_global_i32_load(key), 12);

  auto guard = acquire_rebind_guard();
  EXPECT_TRUE(guard.ok()) << "allowed again between guest calls";
}

TEST(RegistryRebindGuard, RefusedWhileAnotherThreadRunsGuestCode) {
  const int32_t key = key_of("test.guard.wait");
  int32_t memory = 5;
  std::atomic<bool> in_guest{false}, release{false};
  std::thread guest([&] {
    as_guest_call([&] {
      in_guest = true;
      while (!release) std::this_thread::yield();
    });
  });
  while (!in_guest) std::this_thread::yield();
  // While the counter is non-zero the registration is refused at once rather
  // than waiting on the dispatch lock.
  vexlor_jit_register_global_i32_ptr(key, &memory);
  EXPECT_FALSE(registered_storage(JitStorageKind::I32, key, 0).ok());
  release = true;
  guest.join();
  vexlor_jit_register_global_i32_ptr(key, &memory);
  EXPECT_TRUE(registered_storage(JitStorageKind::I32, key, 0).ok());
}

TEST(RegistryClearing, FallbackClearsKeepOwnedCellsRegistered) {
  const int32_t owned = key_of("test.clear.owned");
  const int32_t loose = key_of("test.clear.loose");
  vexlor_jit_global_i32_store(owned, 8);
  ASSERT_TRUE(provision_direct_scalar_storage(kind_byte(JitStorageKind::I32), owned).ok());
  vexlor_jit_global_i32_store(loose, 9);
  clear_jit_i32_global_table();
  EXPECT_EQ(vexlor_jit_global_i32_load(loose), 0);
  EXPECT_EQ(vexlor_jit_global_i32_load(owned), 0);
  EXPECT_TRUE(registered_storage(JitStorageKind::I32, owned, 0).ok());

  const int32_t array = key_of("test.clear.array");
  int32_t* buffer = vexlor_jit_global_i32_array_ptr(array, 0, 3);
  buffer[2] = 6;
  vexlor_jit_global_i32_array_store(key_of("test.clear.sparse"), 0, 4, 1);
  clear_jit_i32_array_global_table();
  EXPECT_EQ(vexlor_jit_global_i32_array_load(array, 0, 2), 0);
  EXPECT_EQ(registered_storage(JitStorageKind::I32, array, 0)->count, 3u);
  EXPECT_EQ(vexlor_jit_global_i32_array_load(key_of("test.clear.sparse"), 0, 4), 0);
}

TEST(RegistryClearing, ClearingRegisteredMemoryKeepsFallbacksAndLiterals) {
  const int32_t key = key_of("test.clear.all");
  int32_t memory = 4;
  vexlor_jit_register_global_i32_ptr(key, &memory);
  vexlor_jit_global_f32_store(key_of("test.clear.all.fallback"), 1.25f);
  upsert_jit_string_literal(key_of("x"), "x");
  JitStorageSlot* before = direct_scalar_storage_slot_address(kind_byte(JitStorageKind::I32), key);
  ASSERT_EQ(before->ptr, &memory);

  clear_registered_global_memory();
  EXPECT_EQ(vexlor_jit_global_i32_load(key), 0);
  EXPECT_EQ(vexlor_jit_global_f32_load(key_of("test.clear.all.fallback")), 1.25f);
  EXPECT_EQ(jit_string_literal_value(key_of("x")), "x");
  EXPECT_EQ(direct_array_storage_slot_len_for_test(kind_byte(JitStorageKind::I32), key, 0), std::nullopt);
  JitStorageSlot* after = direct_scalar_storage_slot_address(kind_byte(JitStorageKind::I32), key);
  EXPECT_EQ(after->ptr, nullptr);
}

TEST(RegistryPoisoning, PoisonedTableStopsTheProcessWithItsMessage) {
  PoisonMutex mutex("registered i32 ptr table mutex poisoned");
  try {
    PoisonGuard hold(mutex);
    throw std::runtime_error("aborted while holding");
  } catch (const std::runtime_error&) {
  }
  EXPECT_TRUE(mutex.poisoned());
  EXPECT_FALSE(mutex.lock_unless_poisoned());
  EXPECT_DEATH({ PoisonGuard again(mutex); }, "registered i32 ptr table mutex poisoned");
  EXPECT_DEATH({ PoisonGuard again(mutex, "registered scalar table mutex poisoned"); },
               "registered scalar table mutex poisoned");
}

}  // namespace
