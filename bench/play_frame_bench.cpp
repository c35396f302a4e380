// The game's work for one play frame of the INSANE maze (53 x 41), in the
// order tick and render do it: the host frame copy and the layout, the
// intents and the player update, then a command frame with the maze view.
// Measured in the close view (the camera following the mouse) and in the
// overview (the whole maze fitted into the play area), with the mouse
// walking along a held key so that the view keeps moving.
//
// The budget is absolute (100 us per frame); the baseline in the same run is
// one memcpy of a full command frame's integer and float buffers, to show
// what the machine's memory does at that moment.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "bridge.hpp"
#include "camera.hpp"
#include "gfx.hpp"
#include "host.hpp"
#include "input.hpp"
#include "layout.hpp"
#include "maze_generation.hpp"
#include "maze_view.hpp"
#include "maze_wall_cache.hpp"
#include "player.hpp"
#include "state_tree.hpp"

namespace {

constexpr int32_t key_right = 79;
constexpr int32_t key_down = 81;

void write_host_block(int32_t tick) {
  std::memset(host_i32, 0, sizeof host_i32);
  std::memset(host_f32, 0, sizeof host_f32);
  host_i32[10] = tick;
  host_i32[14] = 1;            // version
  host_i32[12] = 405, host_i32[13] = 900;
  host_i32[24] = 405, host_i32[25] = 900;
  host_i32[30] = 1;            // display generation
  host_f32[48] = 1, host_f32[49] = 1;
  host_f32[50] = 405, host_f32[51] = 900;
  host_f32[54] = 405, host_f32[55] = 900;
  host_f32[56] = 405, host_f32[57] = 900;
  // Walk the maze: alternate between right and down every 64 ticks.
  host_i32[32 + ((tick / 64) % 2 == 0 ? key_right : key_down)] = 1;
}

void prepare_insane_play(bool overview) {
  quillfen::bind_runtime_globals();
  write_host_block(0);
  quillfen::read_host_frame();
  quillfen::compute_layout();
  quillfen::configure_maze_tier(3);
  quillfen::begin_maze_generation(17731, app::maze_generation::width, app::maze_generation::height);
  while (quillfen::generate_maze_step(32) != 1) {
  }
  while (quillfen::build_wall_cache_step(32) != 1) {
  }
  quillfen::reset_player();
  if (overview) quillfen::start_camera_intro(quillfen::camera_key);
}

void play_frame(int32_t tick) {
  write_host_block(tick);
  quillfen::read_host_frame();
  quillfen::compute_layout();
  quillfen::collect_intents();
  quillfen::update_player();
  quillfen::frame_begin();
  quillfen::read_host_frame();
  quillfen::compute_layout();
  quillfen::draw_maze_view();
  quillfen::frame_end(0);
}

void BM_InsanePlayFrame(benchmark::State& state) {
  const bool overview = state.range(0) == 1;
  prepare_insane_play(overview);
  std::vector<double> frame_us;
  int32_t tick = 1;
  for (auto _ : state) {
    // The intro's overview lasts 180 ticks; start it again before it ends.
    if (overview && app::camera::stage != quillfen::camera_stage_overview_hold)
      quillfen::start_camera_intro(quillfen::camera_key);
    const auto start = std::chrono::steady_clock::now();
    play_frame(tick++);
    frame_us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
  }
  if (gfx_cmd_i32[2] != 2) state.SkipWithError("the frame was not complete");
  std::sort(frame_us.begin(), frame_us.end());
  state.counters["median_us"] = frame_us[frame_us.size() / 2];
  state.counters["p99_us"] = frame_us[frame_us.size() * 99 / 100];
  state.counters["worst_us"] = frame_us.back();
  state.counters["draws"] = gfx_cmd_i32[22];
  state.counters["moves"] = app::player::moves;
}
BENCHMARK(BM_InsanePlayFrame)->Arg(0)->Arg(1)->ArgName("overview")->Unit(benchmark::kMicrosecond);

void BM_MemcpyOfACommandFrame(benchmark::State& state) {
  static std::vector<int32_t> i32(67888);
  static std::vector<float> f32(146564);
  for (auto _ : state) {
    std::memcpy(i32.data(), gfx_cmd_i32, sizeof gfx_cmd_i32);
    std::memcpy(f32.data(), gfx_cmd_f32, sizeof gfx_cmd_f32);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemcpyOfACommandFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
