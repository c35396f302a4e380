#include "flat_key_map.hpp"

#include <gtest/gtest.h>

#include <random>
#include <unordered_map>

using vexlor::FlatKeyMap;

namespace {

// Random inserts, overwrites and erases, mirrored in std::unordered_map: every
// key must be found with its value, and no erased key may linger. Keys come
// from a small range so probe chains collide, wrap and get erased mid-chain.
TEST(FlatKeyMap, AgreesWithAReferenceMapUnderRandomOperations) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    std::mt19937 random(seed);
    FlatKeyMap<uint64_t, int> map;
    std::unordered_map<uint64_t, int> reference;
    for (int step = 0; step < 20000; ++step) {
      const uint64_t key = random() % 300;
      switch (random() % 3) {
        case 0:
        case 1:
          map[key] = step;
          reference[key] = step;
          break;
        default:
          map.erase(key);
          reference.erase(key);
          break;
      }
      if (step % 50 == 0) {
        ASSERT_EQ(map.size(), reference.size());
        for (uint64_t k = 0; k < 300; ++k) {
          auto* found = map.find(k);
          auto expected = reference.find(k);
          ASSERT_EQ(found != map.end(), expected != reference.end()) << "seed " << seed << " key " << k;
          if (found != map.end()) ASSERT_EQ(found->second, expected->second);
        }
      }
    }
    map.clear();
    EXPECT_EQ(map.size(), 0u);
    EXPECT_EQ(map.find(5), map.end());
  }
}

TEST(FlatKeyMap, ZeroAndExtremeKeysAreOrdinaryKeys) {
  FlatKeyMap<uint32_t, int> map;
  map[0] = 1;
  map[UINT32_MAX] = 2;
  map[0x80000000u] = 3;
  EXPECT_EQ(map.find(0)->second, 1);
  EXPECT_EQ(map.find(UINT32_MAX)->second, 2);
  EXPECT_EQ(map.count(0x80000000u), 1u);
  map.erase(0);
  EXPECT_EQ(map.count(0), 0u);
  EXPECT_EQ(map.find(UINT32_MAX)->second, 2);
}

}  // namespace
