#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "dispatch.hpp"
#include "host_entry.hpp"

namespace {

using vexlor::JitHostEntryTargets;
using vexlor::OptionalAddress;

std::vector<std::string> calls;

uint64_t address_of(auto* function) { return reinterpret_cast<uint64_t>(function); }

int32_t guest_main() { return calls.push_back("main"), 11; }
int32_t guest_tick() { return calls.push_back("tick"), 12; }
int32_t guest_render(int32_t arg) { return calls.push_back("render(" + std::to_string(arg) + ")"), 40 + arg; }
void guest_render_begin() { calls.push_back("begin"); }
int32_t guest_render_end(int32_t status) { return calls.push_back("end(" + std::to_string(status) + ")"), 100 + status; }

JitHostEntryTargets targets(uint64_t revision) {
  JitHostEntryTargets t{};
  t.revision = revision;
  t.main = address_of(guest_main);
  t.tick = address_of(guest_tick);
  t.render = address_of(guest_render);
  return t;
}

TEST(HostEntryPublication, EveryOperationRequiresAllThreeEntryTargets) {
  const char* message = "JIT host-entry publication requires non-zero main, tick, and render targets";
  ASSERT_TRUE(vexlor::begin_jit_host_entry_session(targets(3)));
  for (uint64_t JitHostEntryTargets::*field : {&JitHostEntryTargets::main, &JitHostEntryTargets::tick,
                                               &JitHostEntryTargets::render}) {
    JitHostEntryTargets t = targets(50);
    t.*field = 0;
    EXPECT_EQ(vexlor::validate_jit_host_entry_targets(t).error(), message);
    EXPECT_EQ(vexlor::begin_jit_host_entry_session(t).error(), message);
    EXPECT_EQ(vexlor::publish_jit_host_entry_targets(t).error(), message);
    EXPECT_EQ(vexlor::jit_host_entry_targets()->revision, 3u);  // nothing installed
  }
  EXPECT_TRUE(vexlor::validate_jit_host_entry_targets(targets(0)));
}

TEST(HostEntryPublication, RevisionsOnlyGrowWithinASession) {
  ASSERT_TRUE(vexlor::begin_jit_host_entry_session(targets(5)));
  EXPECT_EQ(vexlor::publish_jit_host_entry_targets(targets(5)).error(),
            "stale JIT host-entry revision 5 cannot replace active revision 5");
  EXPECT_EQ(vexlor::publish_jit_host_entry_targets(targets(4)).error(),
            "stale JIT host-entry revision 4 cannot replace active revision 5");
  EXPECT_EQ(vexlor::jit_host_entry_targets()->revision, 5u);
  EXPECT_TRUE(vexlor::publish_jit_host_entry_targets(targets(6)));
  EXPECT_EQ(vexlor::jit_host_entry_targets()->revision, 6u);
  EXPECT_TRUE(vexlor::begin_jit_host_entry_session(targets(1)));
  EXPECT_EQ(vexlor::jit_host_entry_targets()->revision, 1u);
  EXPECT_TRUE(vexlor::publish_jit_host_entry_targets(targets(2)));
  EXPECT_TRUE(vexlor::publish_jit_host_entry_targets(targets(UINT64_MAX)));
  EXPECT_EQ(vexlor::publish_jit_host_entry_targets(targets(UINT64_MAX)).error(),
            "stale JIT host-entry revision 18446744073709551615 cannot replace active revision "
            "18446744073709551615");
}

TEST(HostEntryPublication, TheInstalledRecordIsACopy) {
  JitHostEntryTargets t = targets(7);
  t.code_swap = {true, 1234};
  ASSERT_TRUE(vexlor::begin_jit_host_entry_session(t));
  t.main = 99;
  std::optional<JitHostEntryTargets> installed = vexlor::jit_host_entry_targets();
  ASSERT_TRUE(installed);
  EXPECT_EQ(installed->main, address_of(guest_main));
  EXPECT_TRUE(installed->code_swap.present);
  EXPECT_EQ(installed->code_swap.address, 1234u);
}

// Runs in a fresh process, where no session has begun.
TEST(HostEntryTrampolines, ReturnMinusOneBeforeAnySession) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const bool none = !vexlor::jit_host_entry_targets() && vexlor_jit_host_main_trampoline() == -1 &&
                          vexlor_jit_host_tick_trampoline() == -1 && vexlor_jit_host_render_trampoline(0) == -1;
        vexlor_jit_host_on_code_swap_trampoline();
        std::exit(none ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(HostEntryTrampolines, MainAndTickCallTheInstalledTargets) {
  ASSERT_TRUE(vexlor::begin_jit_host_entry_session(targets(1)));
  calls.clear();
  EXPECT_EQ(vexlor_jit_host_main_trampoline(), 11);
  EXPECT_EQ(vexlor_jit_host_tick_trampoline(), 12);
  EXPECT_EQ(calls, (std::vector<std::string>{"main", "tick"}));
}

struct RenderCase {
  const char* name;
  OptionalAddress begin;
  OptionalAddress end;
  int32_t expected;
  std::vector<std::string> expected_calls;
};

void PrintTo(const RenderCase& c, std::ostream* os) { *os << c.name; }

class RenderTrampoline : public testing::TestWithParam<RenderCase> {};

TEST_P(RenderTrampoline, FramesTheRenderTarget) {
  const RenderCase& c = GetParam();
  JitHostEntryTargets t = targets(1);
  t.render_begin = c.begin;
  t.render_end = c.end;
  ASSERT_TRUE(vexlor::begin_jit_host_entry_session(t));
  calls.clear();
  EXPECT_EQ(vexlor_jit_host_render_trampoline(2), c.expected);
  EXPECT_EQ(calls, c.expected_calls);
}

const OptionalAddress absent{false, 0};
const OptionalAddress begin_fn{true, address_of(guest_render_begin)};
const OptionalAddress end_fn{true, address_of(guest_render_end)};
const OptionalAddress present_zero{true, 0};

INSTANTIATE_TEST_SUITE_P(
    Cases, RenderTrampoline,
    testing::Values(RenderCase{"render alone", absent, absent, 42, {"render(2)"}},
                    RenderCase{"end without begin", absent, end_fn, -1, {}},
                    RenderCase{"begin without end", begin_fn, absent, -1, {}},
                    RenderCase{"begin and end", begin_fn, end_fn, 142, {"begin", "render(2)", "end(42)"}},
                    RenderCase{"begin present at address 0", present_zero, end_fn, 142, {"render(2)", "end(42)"}},
                    RenderCase{"end present at address 0", begin_fn, present_zero, -1, {"begin", "render(2)"}}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& ch : name)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

bool suppressed_in_hook = false;
void observing_hook() {
  calls.push_back("hook");
  suppressed_in_hook = vexlor::jit_external_link_suppressed();
}

TEST(HostEntryTrampolines, CodeSwapRunsTheHookWithLinksSuppressed) {
  JitHostEntryTargets t = targets(1);
  t.code_swap = {true, address_of(observing_hook)};
  ASSERT_TRUE(vexlor::begin_jit_host_entry_session(t));
  calls.clear();
  suppressed_in_hook = false;
  vexlor_jit_host_on_code_swap_trampoline();
  EXPECT_EQ(calls, std::vector<std::string>{"hook"});
  EXPECT_TRUE(suppressed_in_hook);
  EXPECT_FALSE(vexlor::jit_external_link_suppressed());

  for (OptionalAddress none : {absent, present_zero}) {
    t.code_swap = none;
    ASSERT_TRUE(vexlor::begin_jit_host_entry_session(t));
    calls.clear();
    vexlor_jit_host_on_code_swap_trampoline();
    EXPECT_TRUE(calls.empty());
  }
}

// ---- guarded invocation -----------------------------------------------------

uint64_t count_seen = 0;
std::vector<double> args_seen;

int32_t count_and_answer() {
  count_seen = vexlor::guest_execution_count().load();
  return -7;
}
uint64_t wide_answer() { return 0x1234567890ABCDEFull; }
void record_four(int32_t a, int32_t b, int32_t c, float d) {
  count_seen = vexlor::guest_execution_count().load();
  args_seen = {double(a), double(b), double(c), double(d)};
}
int32_t subtract_three(int32_t a, int32_t b, int32_t c) { return a - b - c; }

TEST(GuardedInvocation, CountsTheGuestCallAndPassesArgumentsInOrder) {
  count_seen = 0;
  vexlor::Result<int32_t> answer = vexlor::invoke_noarg_i32(address_of(count_and_answer));
  ASSERT_TRUE(answer);
  EXPECT_EQ(*answer, -7);
  EXPECT_EQ(count_seen, 1u);
  EXPECT_EQ(vexlor::guest_execution_count().load(), 0u);

  count_seen = 0;
  EXPECT_TRUE(vexlor::invoke_i32_i32_i32_f32_to_void(address_of(record_four), 1, -2, 3, 0.5f));
  EXPECT_EQ(count_seen, 1u);
  EXPECT_EQ(args_seen, (std::vector<double>{1, -2, 3, 0.5}));

  EXPECT_EQ(*vexlor::invoke_i32_i32_i32_to_i32(address_of(subtract_three), 10, 3, 2), 5);
  EXPECT_EQ(*vexlor::invoke_noarg_u64(address_of(wide_answer)), 0x1234567890ABCDEFull);
}

TEST(GuardedInvocation, NullAddressIsAnErrorForEveryWrapper) {
  const std::string message = "cannot invoke null function pointer";
  EXPECT_EQ(vexlor::invoke_noarg_i32(0).error(), message);
  EXPECT_EQ(vexlor::invoke_noarg_u64(0).error(), message);
  EXPECT_EQ(vexlor::invoke_noarg_void(0).error(), message);
  EXPECT_EQ(vexlor::invoke_i32_to_i32(0, 1).error(), message);
  EXPECT_EQ(vexlor::invoke_i32_to_void(0, 1).error(), message);
  EXPECT_EQ(vexlor::invoke_i32_i32_to_i32(0, 1, 2).error(), message);
  EXPECT_EQ(vexlor::invoke_i32_i32_to_void(0, 1, 2).error(), message);
  EXPECT_EQ(vexlor::invoke_i32_i32_i32_to_i32(0, 1, 2, 3).error(), message);
  EXPECT_EQ(vexlor::invoke_i32_i32_i32_to_void(0, 1, 2, 3).error(), message);
  EXPECT_EQ(vexlor::invoke_i32_i32_i32_i32_to_void(0, 1, 2, 3, 4).error(), message);
  EXPECT_EQ(vexlor::invoke_i32_i32_i32_f32_to_void(0, 1, 2, 3, 4.0f).error(), message);
  EXPECT_EQ(vexlor::guest_execution_count().load(), 0u);
}

void throwing_guest() { throw std::runtime_error("guest failed"); }

TEST(GuardedInvocationDeathTest, AGuestThatThrowsPoisonsTheDispatchLock) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        try {
          (void)vexlor::invoke_noarg_void(address_of(throwing_guest));
        } catch (const std::runtime_error&) {
        }
        if (vexlor::guest_execution_count().load() != 0) std::exit(3);
        (void)vexlor::invoke_noarg_i32(address_of(count_and_answer));
        std::exit(4);  // not reached: the poisoned lock stops the process
      },
      "jit dispatch lock mutex poisoned");
}

// ---- code-swap hook -----------------------------------------------------------

void rejecting_twice_hook() {
  vexlor_jit_reject_code_swap();
  vexlor_jit_reject_code_swap();
}
void accepting_hook() { calls.push_back("accepting"); }
void counting_hook() { count_seen = vexlor::guest_execution_count().load(); }

TEST(CodeSwapHook, ARejectionFailsOnlyItsOwnHook) {
  vexlor::Status rejected = vexlor::invoke_code_swap_hook(address_of(rejecting_twice_hook));
  ASSERT_FALSE(rejected);
  EXPECT_EQ(rejected.error(), "hook requested rejection");
  calls.clear();
  EXPECT_TRUE(vexlor::invoke_code_swap_hook(address_of(accepting_hook)));
  EXPECT_EQ(calls, std::vector<std::string>{"accepting"});

  // A rejection made outside any hook does not carry into the next one.
  vexlor_jit_reject_code_swap();
  EXPECT_TRUE(vexlor::invoke_code_swap_hook(address_of(accepting_hook)));
}

TEST(CodeSwapHook, RunsGuardedWithLinksSuppressedAndRestoresTheFlag) {
  suppressed_in_hook = false;
  EXPECT_TRUE(vexlor::invoke_code_swap_hook(address_of(observing_hook)));
  EXPECT_TRUE(suppressed_in_hook);
  EXPECT_FALSE(vexlor::jit_external_link_suppressed());

  count_seen = 0;
  EXPECT_TRUE(vexlor::invoke_code_swap_hook(address_of(counting_hook)));
  EXPECT_EQ(count_seen, 1u);

  EXPECT_EQ(vexlor::invoke_code_swap_hook(0).error(), "cannot invoke null function pointer");
  EXPECT_FALSE(vexlor::jit_external_link_suppressed());
}

// A hook invoked while the flag is already set (from the code-swap trampoline)
// leaves it set when it returns.
void nested_hook() {
  EXPECT_TRUE(vexlor::invoke_code_swap_hook(address_of(accepting_hook)));
  suppressed_in_hook = vexlor::jit_external_link_suppressed();
}

TEST(CodeSwapHook, RestoresAnOuterSuppression) {
  JitHostEntryTargets t = targets(1);
  t.code_swap = {true, address_of(nested_hook)};
  ASSERT_TRUE(vexlor::begin_jit_host_entry_session(t));
  suppressed_in_hook = false;
  vexlor_jit_host_on_code_swap_trampoline();
  EXPECT_TRUE(suppressed_in_hook);
  EXPECT_FALSE(vexlor::jit_external_link_suppressed());
}

}  // namespace
