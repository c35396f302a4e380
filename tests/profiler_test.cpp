#include "profiler.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace vexlor {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

constexpr uint64_t ns_of(milliseconds duration) {
  return static_cast<uint64_t>(nanoseconds(duration).count());
}

void call(uint32_t function_id) {
  vexlor_jit_profile_frame_enter(function_id);
  vexlor_jit_profile_frame_leave(function_id);
}

std::optional<JitProfileSample> sample_of(const std::vector<JitProfileSample>& samples,
                                          JitProfileRoot root, uint32_t function_id) {
  for (const JitProfileSample& sample : samples) {
    if (sample.root == root && sample.function_id == function_id) return sample;
  }
  return std::nullopt;
}

std::vector<std::pair<JitProfileRoot, uint32_t>> keys_of(const std::vector<JitProfileSample>& samples) {
  std::vector<std::pair<JitProfileRoot, uint32_t>> keys;
  for (const JitProfileSample& sample : samples) keys.emplace_back(sample.root, sample.function_id);
  return keys;
}

uint64_t calls_of(JitProfileRoot root, uint32_t function_id) {
  const std::optional<JitProfileSample> sample = sample_of(jit_profile_snapshot(), root, function_id);
  return sample ? sample->calls : 0;
}

constexpr JitProfileRoot kRoot = kJitProfileDefaultRoot;

class ProfilerTest : public ::testing::Test {
 protected:
  void SetUp() override { enable_jit_profiler(); }
  void TearDown() override {
    disable_jit_profiler();
    reset_jit_profile();
  }
};

TEST_F(ProfilerTest, DisabledProfilerRecordsNothing) {
  disable_jit_profiler();
  reset_jit_profile();
  vexlor_jit_profile_frame_enter(1);
  call(2);
  vexlor_jit_profile_frame_leave(1);
  EXPECT_TRUE(jit_profile_snapshot().empty());
}

TEST_F(ProfilerTest, DisablingKeepsCountersAndEnablingResetsThem) {
  call(1);
  call(1);
  disable_jit_profiler();
  call(1);
  EXPECT_EQ(calls_of(kRoot, 1), 2u);
  enable_jit_profiler();
  EXPECT_TRUE(jit_profile_snapshot().empty());
  call(1);
  EXPECT_EQ(calls_of(kRoot, 1), 1u);
}

TEST_F(ProfilerTest, NestedCallsSplitTotalAndSelfTime) {
  vexlor_jit_profile_frame_enter(10);
  std::this_thread::sleep_for(milliseconds(15));
  vexlor_jit_profile_frame_enter(20);
  std::this_thread::sleep_for(milliseconds(5));
  vexlor_jit_profile_frame_leave(20);
  vexlor_jit_profile_frame_leave(10);

  const std::vector<JitProfileSample> samples = jit_profile_snapshot();
  ASSERT_EQ(samples.size(), 2u);
  const JitProfileSample outer = *sample_of(samples, kRoot, 10);
  const JitProfileSample inner = *sample_of(samples, kRoot, 20);
  EXPECT_EQ(outer.calls, 1u);
  EXPECT_EQ(inner.calls, 1u);
  EXPECT_GE(inner.total_ns, ns_of(milliseconds(5)));
  EXPECT_EQ(inner.self_ns, inner.total_ns);
  EXPECT_GE(outer.total_ns, inner.total_ns + ns_of(milliseconds(15)));
  EXPECT_EQ(outer.self_ns, outer.total_ns - inner.total_ns);
  EXPECT_EQ(outer.max_ns, outer.total_ns);
}

TEST_F(ProfilerTest, RepeatedCallsAccumulateAndKeepTheLargest) {
  vexlor_jit_profile_frame_enter(1);
  for (int sleep_ms : {1, 4, 2}) {
    vexlor_jit_profile_frame_enter(2);
    std::this_thread::sleep_for(milliseconds(sleep_ms));
    vexlor_jit_profile_frame_leave(2);
  }
  vexlor_jit_profile_frame_leave(1);

  const std::vector<JitProfileSample> samples = jit_profile_snapshot();
  const JitProfileSample outer = *sample_of(samples, kRoot, 1);
  const JitProfileSample inner = *sample_of(samples, kRoot, 2);
  EXPECT_EQ(inner.calls, 3u);
  EXPECT_GE(inner.max_ns, ns_of(milliseconds(4)));
  EXPECT_LT(inner.max_ns, inner.total_ns);
  EXPECT_GE(inner.total_ns, ns_of(milliseconds(7)));
  EXPECT_EQ(outer.self_ns, outer.total_ns - inner.total_ns);
}

// Each case opens calls, then makes one leave that does not match the top of
// the stack; every call still open must then be dropped.
TEST_F(ProfilerTest, UnbalancedLeaveDiscardsEveryOpenCall) {
  struct Case {
    const char* name;
    std::vector<uint32_t> opened;
    uint32_t wrong_leave;
  };
  const Case cases[] = {
      {"leave of an unknown function", {1, 2}, 9},
      {"leave of the outer function first", {1, 2}, 1},
      {"single open call", {3}, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset_jit_profile();
    for (uint32_t id : c.opened) vexlor_jit_profile_frame_enter(id);
    vexlor_jit_profile_frame_leave(c.wrong_leave);
    for (auto id = c.opened.rbegin(); id != c.opened.rend(); ++id) vexlor_jit_profile_frame_leave(*id);
    EXPECT_TRUE(jit_profile_snapshot().empty());
    // The thread keeps working normally afterwards.
    call(c.opened.front());
    EXPECT_EQ(calls_of(kRoot, c.opened.front()), 1u);
  }
}

TEST_F(ProfilerTest, LeaveOnEmptyStackIsIgnored) {
  vexlor_jit_profile_frame_leave(5);
  EXPECT_TRUE(jit_profile_snapshot().empty());
  call(5);
  EXPECT_EQ(calls_of(kRoot, 5), 1u);
}

TEST_F(ProfilerTest, SnapshotIsSortedByRootThenFunction) {
  {
    auto root = JitProfileRootGuard::enter(7);
    call(1);
    {
      auto inner_root = JitProfileRootGuard::enter(0);
      call(300);
    }
    call(2);
  }
  call(0xFFFFFFFFu);
  call(40);
  call(3);
  const std::vector<std::pair<JitProfileRoot, uint32_t>> expected = {
      {0, 300}, {kRoot, 3}, {kRoot, 40}, {kRoot, 0xFFFFFFFFu}, {7, 1}, {7, 2}};
  EXPECT_EQ(keys_of(jit_profile_snapshot()), expected);
}

// Enough keys to make the thread's handle cache grow several times and
// collide; each function must still count into its own aggregate.
TEST_F(ProfilerTest, ManyFunctionsEachKeepTheirOwnAggregate) {
  constexpr uint32_t kFunctions = 3000;
  for (int round = 1; round <= 2; ++round) {
    for (uint32_t i = 0; i < kFunctions; ++i) {
      const uint32_t id = i * 0x10001u;  // ids that differ in high and low bits
      for (int n = 0; n < round; ++n) call(id);
    }
  }
  const std::vector<JitProfileSample> samples = jit_profile_snapshot();
  ASSERT_EQ(samples.size(), kFunctions);
  for (uint32_t i = 0; i < kFunctions; ++i) {
    EXPECT_EQ(samples[i].function_id, i * 0x10001u);
    EXPECT_EQ(samples[i].calls, 3u);
  }
}

TEST_F(ProfilerTest, RootIsTakenWhenTheCallBegins) {
  vexlor_jit_profile_frame_enter(1);
  {
    auto root = JitProfileRootGuard::enter(9);
    vexlor_jit_profile_frame_leave(1);
  }
  EXPECT_EQ(keys_of(jit_profile_snapshot()), (std::vector<std::pair<JitProfileRoot, uint32_t>>{{kRoot, 1}}));
}

TEST_F(ProfilerTest, FrameCallsReachAggregatesOnlyAtCommit) {
  auto frame = JitProfileFrameGuard::enter(42);
  call(8);
  call(8);
  {
    auto root = JitProfileRootGuard::enter(1);
    call(8);
  }
  call(3);
  EXPECT_TRUE(jit_profile_snapshot().empty());

  const std::vector<JitProfileSample> committed = frame.commit();
  EXPECT_EQ(keys_of(committed), (std::vector<std::pair<JitProfileRoot, uint32_t>>{{1, 8}, {kRoot, 3}, {kRoot, 8}}));
  EXPECT_EQ(sample_of(committed, kRoot, 8)->calls, 2u);

  const std::vector<JitProfileSample> snapshot = jit_profile_snapshot();
  ASSERT_EQ(snapshot.size(), committed.size());
  for (size_t i = 0; i < snapshot.size(); ++i) {
    EXPECT_EQ(snapshot[i].calls, committed[i].calls);
    EXPECT_EQ(snapshot[i].total_ns, committed[i].total_ns);
    EXPECT_EQ(snapshot[i].self_ns, committed[i].self_ns);
    EXPECT_EQ(snapshot[i].max_ns, committed[i].max_ns);
  }

  EXPECT_TRUE(frame.commit().empty());
  EXPECT_EQ(calls_of(kRoot, 8), 2u);
}

TEST_F(ProfilerTest, CommitAddsToExistingAggregates) {
  call(4);
  auto frame = JitProfileFrameGuard::enter(1);
  call(4);
  frame.commit();
  EXPECT_EQ(calls_of(kRoot, 4), 2u);
  call(4);
  EXPECT_EQ(calls_of(kRoot, 4), 3u);
}

TEST_F(ProfilerTest, DroppedFrameDiscardsItsCalls) {
  {
    auto frame = JitProfileFrameGuard::enter(5);
    call(1);
  }
  EXPECT_TRUE(jit_profile_snapshot().empty());
  // The frame is no longer current: calls now count at once.
  call(1);
  EXPECT_EQ(calls_of(kRoot, 1), 1u);
  // A later frame with the same id starts empty.
  auto again = JitProfileFrameGuard::enter(5);
  call(2);
  EXPECT_EQ(keys_of(again.commit()), (std::vector<std::pair<JitProfileRoot, uint32_t>>{{kRoot, 2}}));
}

TEST_F(ProfilerTest, CallIsAttributedToTheFrameCurrentWhenItBegan) {
  vexlor_jit_profile_frame_enter(1);  // begins outside any frame
  auto frame = JitProfileFrameGuard::enter(3);
  vexlor_jit_profile_frame_enter(2);  // begins inside the frame
  vexlor_jit_profile_frame_leave(2);
  vexlor_jit_profile_frame_leave(1);
  EXPECT_EQ(keys_of(jit_profile_snapshot()), (std::vector<std::pair<JitProfileRoot, uint32_t>>{{kRoot, 1}}));
  EXPECT_EQ(keys_of(frame.commit()), (std::vector<std::pair<JitProfileRoot, uint32_t>>{{kRoot, 2}}));
}

// The frame of such a call has been committed or discarded already, so the
// call can only be dropped; it must not leak into a later frame of that id.
TEST_F(ProfilerTest, CallOutlivingItsFrameIsDropped) {
  for (bool commit : {true, false}) {
    SCOPED_TRACE(commit ? "frame committed" : "frame discarded");
    reset_jit_profile();
    {
      auto frame = JitProfileFrameGuard::enter(12);
      vexlor_jit_profile_frame_enter(1);
      if (commit) {
        EXPECT_TRUE(frame.commit().empty());
      }
    }
    vexlor_jit_profile_frame_leave(1);
    EXPECT_TRUE(jit_profile_snapshot().empty());
    auto reused = JitProfileFrameGuard::enter(12);
    call(2);
    EXPECT_EQ(keys_of(reused.commit()), (std::vector<std::pair<JitProfileRoot, uint32_t>>{{kRoot, 2}}));
  }
}

TEST_F(ProfilerTest, NestedFramesRestoreThePreviousFrame) {
  auto outer = JitProfileFrameGuard::enter(1);
  {
    auto inner = JitProfileFrameGuard::enter(2);
    call(20);
    EXPECT_EQ(keys_of(inner.commit()), (std::vector<std::pair<JitProfileRoot, uint32_t>>{{kRoot, 20}}));
    call(10);  // the outer frame is current again
  }
  call(11);
  EXPECT_EQ(keys_of(outer.commit()),
            (std::vector<std::pair<JitProfileRoot, uint32_t>>{{kRoot, 10}, {kRoot, 11}}));
  call(30);  // no frame is current any more
  EXPECT_EQ(keys_of(jit_profile_snapshot()),
            (std::vector<std::pair<JitProfileRoot, uint32_t>>{{kRoot, 10}, {kRoot, 11}, {kRoot, 20}, {kRoot, 30}}));
}

TEST_F(ProfilerTest, CommitWithoutCallsIsEmpty) {
  auto frame = JitProfileFrameGuard::enter(9);
  EXPECT_TRUE(frame.commit().empty());
}

TEST_F(ProfilerTest, DisableDiscardsPendingCallsButKeepsAggregates) {
  call(1);
  auto frame = JitProfileFrameGuard::enter(6);
  call(2);
  disable_jit_profiler();
  EXPECT_TRUE(frame.commit().empty());
  EXPECT_EQ(keys_of(jit_profile_snapshot()), (std::vector<std::pair<JitProfileRoot, uint32_t>>{{kRoot, 1}}));
}

TEST_F(ProfilerTest, ResetDropsCountersAndOpenCallsOfTheCallingThread) {
  call(1);
  vexlor_jit_profile_frame_enter(2);
  reset_jit_profile();
  EXPECT_TRUE(jit_profile_snapshot().empty());
  vexlor_jit_profile_frame_leave(2);
  EXPECT_TRUE(jit_profile_snapshot().empty());
  call(1);
  EXPECT_EQ(calls_of(kRoot, 1), 1u);
}

// Runs `body` on a worker thread; when the body calls the function it is
// given, this thread resets the profiler before the body continues.
void run_with_reset_in_between(const std::function<void(const std::function<void()>&)>& body) {
  std::promise<void> reached;
  std::promise<void> reset_done;
  std::shared_future<void> reset_seen = reset_done.get_future().share();
  std::thread worker([&] {
    body([&] {
      reached.set_value();
      reset_seen.wait();
    });
  });
  reached.get_future().wait();
  reset_jit_profile();
  reset_done.set_value();
  worker.join();
}

TEST_F(ProfilerTest, ResetOnOneThreadDropsCallsOpenOnAnother) {
  run_with_reset_in_between([](const std::function<void()>& wait_for_reset) {
    vexlor_jit_profile_frame_enter(1);
    vexlor_jit_profile_frame_enter(2);
    wait_for_reset();
    vexlor_jit_profile_frame_leave(2);
    vexlor_jit_profile_frame_leave(1);
    call(3);
  });
  EXPECT_EQ(keys_of(jit_profile_snapshot()), (std::vector<std::pair<JitProfileRoot, uint32_t>>{{kRoot, 3}}));
}

TEST_F(ProfilerTest, ResetOnOneThreadDiscardsPendingCallsOfAnother) {
  std::vector<JitProfileSample> committed;
  run_with_reset_in_between([&](const std::function<void()>& wait_for_reset) {
    auto frame = JitProfileFrameGuard::enter(77);
    call(5);
    wait_for_reset();
    call(6);
    committed = frame.commit();
  });
  EXPECT_EQ(keys_of(committed), (std::vector<std::pair<JitProfileRoot, uint32_t>>{{kRoot, 6}}));
  EXPECT_EQ(keys_of(jit_profile_snapshot()), (std::vector<std::pair<JitProfileRoot, uint32_t>>{{kRoot, 6}}));
}

TEST_F(ProfilerTest, ThreadsAddToSharedAggregatesConcurrently) {
  constexpr int kThreads = 4;
  constexpr int kCallsPerThread = 5000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kCallsPerThread; ++i) {
        vexlor_jit_profile_frame_enter(1);
        call(static_cast<uint32_t>(100 + t));
        vexlor_jit_profile_frame_leave(1);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::vector<JitProfileSample> samples = jit_profile_snapshot();
  ASSERT_EQ(samples.size(), static_cast<size_t>(kThreads + 1));
  EXPECT_EQ(calls_of(kRoot, 1), uint64_t{kThreads} * kCallsPerThread);
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(calls_of(kRoot, static_cast<uint32_t>(100 + t)), uint64_t{kCallsPerThread});
}

}  // namespace
}  // namespace vexlor
