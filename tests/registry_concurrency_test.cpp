// Loads and stores from several threads while another thread registers,
// provisions and clears. Meant to run clean under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include "collections.hpp"
#include "fnv.hpp"
#include "registry.hpp"
#include "text.hpp"

using namespace vexlor;

namespace {

TEST(RegistryConcurrency, AccessWhileStorageIsRebound) {
  const int32_t scalar = key_of("test.concurrent.scalar");
  const int32_t array = key_of("test.concurrent.array");
  const int32_t grown = key_of("test.concurrent.grown");
  std::atomic<bool> stop{false};

  std::vector<std::thread> workers;
  for (int w = 0; w < 3; ++w) {
    workers.emplace_back([&, w] {
      // Every value ever stored is a worker's index or a non-negative
      // counter, whatever memory backs the key at the time.
      bool values_sane = true;
      for (int i = 0; !stop.load(std::memory_order_relaxed); ++i) {
        vexlor_jit_global_i32_store(scalar, i);
        values_sane &= vexlor_jit_global_i32_load(scalar) >= 0;
        vexlor_jit_global_i32_array_store(array, 0, i % 64, w);
        const int32_t element = vexlor_jit_global_i32_array_load(array, 0, (i + 1) % 64);
        values_sane &= element >= 0 && element <= 2;
        vexlor_jit_global_f32_array_store(grown, 0, i % 32, 1.0f);
        values_sane &= vexlor_jit_collection_i32_load(array, 1) >= 0;
        vexlor_jit_sys_memcpy_i32(grown, 0, array, 0, 4);
        jit_text_arg_bytes(array);
      }
      EXPECT_TRUE(values_sane);
    });
  }

  std::array<int32_t, 64> memory{};
  int32_t cell = 0;
  for (int round = 0; round < 300; ++round) {
    vexlor_jit_register_global_i32_array(array, 0, memory.data(), 64);
    vexlor_jit_register_global_i32_ptr(scalar, &cell);
    ASSERT_TRUE(provision_direct_array_storage(static_cast<uint8_t>(JitStorageKind::F32), grown, 0, 16 + round % 16).ok());
    ASSERT_TRUE(ensure_jit_i32_array_capacity(array + 1, 0, static_cast<size_t>(round)).ok());
    upsert_jit_string_literal(array, "text");
    clear_jit_i32_global_table();
    clear_jit_f32_array_global_table();
    clear_registered_global_memory();
  }
  stop = true;
  for (auto& worker : workers) worker.join();
}

}  // namespace
