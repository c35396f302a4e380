// The wall cache, the camera and the maze view: segments merged from small
// hand-built mazes, resumable bounded building, the camera's views and
// intro, and the maze view's frame as the runtime's reader sees it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <tuple>
#include <type_traits>
#include <vector>

#include "bridge.hpp"
#include "c/vexlor_render_trace.h"
#include "camera.hpp"
#include "gfx.hpp"
#include "maze_view.hpp"
#include "maze_wall_cache.hpp"
#include "state_tables.hpp"
#include "state_tree.hpp"

namespace {

using namespace quillfen;
namespace cache = app::maze_wall_cache;
namespace camera = app::camera;
namespace maze = app::maze;

constexpr int32_t north = 1;
constexpr int32_t east = 2;
constexpr int32_t south = 4;
constexpr int32_t west = 8;

struct Segment {
  int32_t x, y, length;
  bool operator==(const Segment&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Segment& s) {
  return out << "(" << s.x << ", " << s.y << ", " << s.length << ")";
}

std::vector<Segment> horizontal_segments() {
  std::vector<Segment> out;
  for (int32_t i = 0; i < cache::horizontal_count; ++i) {
    out.push_back({cache::horizontal::x.get(i), cache::horizontal::y.get(i), cache::horizontal::length.get(i)});
  }
  return out;
}

std::vector<Segment> vertical_segments() {
  std::vector<Segment> out;
  for (int32_t i = 0; i < cache::vertical_count; ++i) {
    out.push_back({cache::vertical::x.get(i), cache::vertical::y.get(i), cache::vertical::length.get(i)});
  }
  return out;
}

// Every global the wall cache writes, for comparing two builds.
std::vector<int32_t> cache_contents() {
  std::vector<int32_t> out{cache::horizontal_count, cache::vertical_count, cache::horizontal_truncated,
                           cache::vertical_truncated, cache::ready, cache::topology_revision};
  for (int32_t i = 0; i < 4096; ++i) {
    for (auto column : {cache::horizontal::x, cache::horizontal::y, cache::horizontal::length, cache::vertical::x,
                        cache::vertical::y, cache::vertical::length}) {
      out.push_back(column.get(i));
    }
  }
  for (int32_t i = 0; i < 54; ++i) {
    out.push_back(cache::horizontal_boundary_start.get(i));
    out.push_back(cache::horizontal_boundary_end.get(i));
    out.push_back(cache::vertical_boundary_start.get(i));
    out.push_back(cache::vertical_boundary_end.get(i));
  }
  return out;
}

// A live maze of the given walls (row by row), ready at the given revision.
void set_live_maze(int32_t width, int32_t height, const std::vector<int32_t>& walls, int32_t revision = 1) {
  maze::width = width;
  maze::height = height;
  maze::cell_count = width * height;
  maze::goal_cell = width * height - 1;
  maze::alternate_walls_active = 0;
  for (int32_t i = 0; i < static_cast<int32_t>(walls.size()); ++i) maze::walls.set(i, walls[static_cast<size_t>(i)]);
  maze::revision = revision;
  maze::ready = 1;
}

// 3 x 2 cells:  +--+  +--+      the top border has a gap above (1, 0); the
//               |        |      top row is one corridor, (0, 0) opens south
//               +  +--+  +      and (2, 0) opens south; (0, 1) is walled off
//               |  |     |      from (1, 1), which opens east.
//               +--+--+--+
const std::vector<int32_t> small_maze_walls = {
    north | west, south, north | east,
    west | south | east, west | south | north, east | south,
};

void build_cache_fully() {
  for (int32_t call = 0; call < 1000 && build_wall_cache_step(32) == 0; ++call) {
  }
  ASSERT_EQ(cache::ready, 1);
}

void set_play_rect(float x, float y, float width, float height) {
  app::layout::play::x = x;
  app::layout::play::y = y;
  app::layout::play::width = width;
  app::layout::play::height = height;
}

void set_view(float origin_x, float origin_y, float cell_size) {
  camera::origin_x = origin_x;
  camera::origin_y = origin_y;
  camera::cell_size = cell_size;
}

class MazeViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { bind_runtime_globals(); }

  void SetUp() override {
    static const std::vector<uint8_t> zero_image(replay_image_size);
    ASSERT_EQ(replay_image_restore(zero_image.data(), replay_image_size), replay_image_size);
    for (int32_t i = 0; i < 512; ++i) app::host::frame::keys.set(i, 0);
    for (int32_t i = 0; i < 8; ++i) {
      app::host::frame::pointers::is_down.set(i, 0);
      app::host::frame::pointers::went_down.set(i, 0);
    }
    app::host::frame::pointer_count = 0;
    gfx_frame_construction_active = 0;
    app::layout::reference_scale = 1.0f;
    cache::topology_revision = -1;
  }
};

// ---------------------------------------------------------------- wall cache

TEST_F(MazeViewTest, CacheMergesTheWallsOfASmallMazeIntoRunsPerGridLine) {
  set_live_maze(3, 2, small_maze_walls);
  // 3 lines x 4 steps + 1 switch + 4 lines x 3 steps + 1 finish = 26 unit
  // steps: not done after 16, done after 32.
  EXPECT_EQ(build_wall_cache_step(1), 0);
  EXPECT_EQ(build_wall_cache_step(1), 1);

  EXPECT_EQ(horizontal_segments(), (std::vector<Segment>{{0, 0, 1}, {2, 0, 1}, {1, 1, 1}, {0, 2, 3}}));
  EXPECT_EQ(vertical_segments(), (std::vector<Segment>{{0, 0, 2}, {1, 1, 1}, {3, 0, 2}}));
  const std::vector<std::tuple<int32_t, int32_t, int32_t>> horizontal_bounds = {{0, 0, 2}, {1, 2, 3}, {2, 3, 4}};
  for (auto [line, start, end] : horizontal_bounds) {
    EXPECT_EQ(cache::horizontal_boundary_start.get(line), start) << "line " << line;
    EXPECT_EQ(cache::horizontal_boundary_end.get(line), end) << "line " << line;
  }
  const std::vector<std::tuple<int32_t, int32_t, int32_t>> vertical_bounds = {
      {0, 0, 1}, {1, 1, 2}, {2, 2, 2}, {3, 2, 3}};
  for (auto [line, start, end] : vertical_bounds) {
    EXPECT_EQ(cache::vertical_boundary_start.get(line), start) << "line " << line;
    EXPECT_EQ(cache::vertical_boundary_end.get(line), end) << "line " << line;
  }
  EXPECT_EQ(cache::topology_revision, 1);
  EXPECT_EQ(cache::horizontal_truncated, 0);
  EXPECT_EQ(cache::vertical_truncated, 0);
}

TEST_F(MazeViewTest, CacheReadsTheLiveBufferAndFullBordersGiveOneSegmentPerBorder) {
  // The spare buffer holds junk; the live one a 4 x 3 box with no inner walls.
  std::vector<int32_t> box(12, 0);
  for (int32_t x = 0; x < 4; ++x) {
    box[static_cast<size_t>(x)] |= north;
    box[static_cast<size_t>(8 + x)] |= south;
  }
  for (int32_t y = 0; y < 3; ++y) {
    box[static_cast<size_t>(4 * y)] |= west;
    box[static_cast<size_t>(4 * y + 3)] |= east;
  }
  set_live_maze(4, 3, std::vector<int32_t>(12, 15));
  for (int32_t i = 0; i < 12; ++i) maze::alternate_walls.set(i, box[static_cast<size_t>(i)]);
  maze::alternate_walls_active = 1;
  build_cache_fully();
  EXPECT_EQ(horizontal_segments(), (std::vector<Segment>{{0, 0, 4}, {0, 3, 4}}));
  EXPECT_EQ(vertical_segments(), (std::vector<Segment>{{0, 0, 3}, {4, 0, 3}}));
}

TEST_F(MazeViewTest, CacheBuiltInSmallBudgetsEqualsOneBigBuildAndEachCallIsBounded) {
  std::mt19937 random(7);
  std::vector<int32_t> walls(53 * 41);
  for (auto& w : walls) w = static_cast<int32_t>(random() % 16);
  set_live_maze(53, 41, walls, 5);

  ASSERT_EQ(build_wall_cache_step(1), 0);
  EXPECT_EQ(cache::vertical_phase, 0);
  EXPECT_EQ(cache::boundary, 0);
  EXPECT_EQ(cache::coordinate, 16) << "one budget unit is 16 unit steps";
  int32_t calls = 1;
  while (build_wall_cache_step(1) == 0 && calls < 100000) ++calls;
  const std::vector<int32_t> small_steps = cache_contents();
  // 42 lines x 54 steps + 1 and 54 lines x 42 steps + 1 unit steps in all.
  EXPECT_EQ(calls + 1, (42 * 54 + 1 + 54 * 42 + 1 + 15) / 16);

  cache::topology_revision = -1;
  EXPECT_EQ(build_wall_cache_step(1000), 1);
  EXPECT_EQ(cache_contents(), small_steps);
}

TEST_F(MazeViewTest, CacheRebuildsFromScratchForANewRevisionAndInvalidatesWithoutAMaze) {
  set_live_maze(3, 2, small_maze_walls, 1);
  build_cache_fully();
  EXPECT_EQ(build_wall_cache_step(32), 1) << "a current cache stays ready";

  set_live_maze(3, 2, std::vector<int32_t>(6, 15), 2);
  EXPECT_EQ(build_wall_cache_step(1), 0);
  EXPECT_EQ(cache::topology_revision, 2);
  build_cache_fully();
  EXPECT_EQ(horizontal_segments(), (std::vector<Segment>{{0, 0, 3}, {0, 1, 3}, {0, 2, 3}}));
  EXPECT_EQ(vertical_segments(), (std::vector<Segment>{{0, 0, 2}, {1, 0, 2}, {2, 0, 2}, {3, 0, 2}}));

  maze::ready = 0;
  EXPECT_EQ(build_wall_cache_step(32), 0);
  EXPECT_EQ(cache::ready, 0);
  EXPECT_EQ(cache::topology_revision, -1);
}

TEST_F(MazeViewTest, CacheDropsAndFlagsSegmentsBeyondItsCapacity) {
  // One column of 4096 closed cells: 4097 horizontal lines with one wall each.
  set_live_maze(1, 4096, std::vector<int32_t>(4096, 15));
  build_cache_fully();
  EXPECT_EQ(cache::horizontal_count, 4096);
  EXPECT_EQ(cache::horizontal_truncated, 1);
  EXPECT_EQ(cache::horizontal::y.get(4095), 4095) << "the segment on the last line is the one dropped";
  EXPECT_EQ(vertical_segments(), (std::vector<Segment>{{0, 0, 4096}, {1, 0, 4096}}));
  EXPECT_EQ(cache::vertical_truncated, 0);
}

// -------------------------------------------------------------------- camera

struct CameraFitCase {
  int32_t width, height;
  float player_x, player_y;
  float origin_x, origin_y, cell_size;
};

TEST_F(MazeViewTest, FitCameraCentresASmallMazeAndFollowsTheMouseInALargeOne) {
  // Play rectangle of the 540 x 1200 canvas at scale 1: a close cell of 40.
  const CameraFitCase cases[] = {
      {12, 12, 0.5f, 0.5f, 30.0f, 390.0f, 40.0f},       // fits: centred
      {22, 18, 0.5f, 0.5f, 30.0f, 270.0f, 40.0f},       // wider: held at the left edge
      {22, 18, 11.5f, 9.5f, -190.0f, 270.0f, 40.0f},    // mouse centred
      {22, 18, 21.5f, 17.5f, -370.0f, 270.0f, 40.0f},   // held at the right edge
      {53, 41, 26.5f, 40.5f, -790.0f, -550.0f, 40.0f},  // held at the bottom edge
  };
  set_play_rect(30, 170, 480, 920);
  for (const auto& c : cases) {
    app::player_view::x = c.player_x;
    app::player_view::y = c.player_y;
    fit_camera(camera_key, c.width, c.height);
    EXPECT_FLOAT_EQ(camera::normal_cell_size, c.cell_size);
    EXPECT_FLOAT_EQ(camera::origin_x, c.origin_x) << c.width << " x " << c.height << " at " << c.player_x;
    EXPECT_FLOAT_EQ(camera::origin_y, c.origin_y) << c.width << " x " << c.height << " at " << c.player_y;
    EXPECT_FLOAT_EQ(camera::cell_size, c.cell_size);
  }
}

void expect_view(float origin_x, float origin_y, float cell_size) {
  EXPECT_FLOAT_EQ(camera::origin_x, origin_x);
  EXPECT_FLOAT_EQ(camera::origin_y, origin_y);
  EXPECT_FLOAT_EQ(camera::cell_size, cell_size);
}

TEST_F(MazeViewTest, IntroHoldsTheOverviewZoomsInAndWaitsForNeutralInput) {
  set_play_rect(30, 170, 480, 920);
  set_live_maze(22, 18, std::vector<int32_t>(22 * 18, 15));
  maze::tier = 1;
  app::player_view::x = 0.5f;
  app::player_view::y = 0.5f;
  fit_camera(camera_key, 22, 18);
  start_camera_intro(camera_key);
  const float overview_cell = 480.0f / 22.0f;
  const float overview_y = 170.0f + 460.0f - 18.0f * overview_cell * 0.5f;
  EXPECT_EQ(camera::stage, 1);
  expect_view(30.0f, overview_y, overview_cell);

  for (int32_t tick = 1; tick <= 180; ++tick) {
    ASSERT_EQ(update_camera_stage(camera_key), 1);
    ASSERT_EQ(camera::stage, tick < 180 ? 1 : 2) << "tick " << tick;
    expect_view(30.0f, overview_y, overview_cell);
  }
  EXPECT_EQ(camera::stage_ticks, 0);

  for (int32_t tick = 1; tick <= 15; ++tick) ASSERT_EQ(update_camera_stage(camera_key), 1);
  const float eased = 7.0f / 27.0f;  // t = 1/3: t^2 (3 - 2t)
  expect_view(30.0f, overview_y + (270.0f - overview_y) * eased, overview_cell + (40.0f - overview_cell) * eased);
  refit_camera(camera_key);
  expect_view(30.0f, overview_y + (270.0f - overview_y) * eased, overview_cell + (40.0f - overview_cell) * eased);

  for (int32_t tick = 16; tick <= 45; ++tick) ASSERT_EQ(update_camera_stage(camera_key), 1);
  EXPECT_EQ(camera::stage, 0);
  EXPECT_EQ(camera::needs_neutral, 1);
  expect_view(30.0f, 270.0f, 40.0f);

  // A held key, then a pointer still down, keep movement waiting.
  app::host::frame::keys.set(7, 1);
  app::input::pointer_active = 1;
  app::input::pointer_id = 3;
  EXPECT_EQ(update_camera_stage(camera_key), 1);
  EXPECT_EQ(camera::needs_neutral, 1);
  EXPECT_EQ(app::input::pointer_active, 0);
  EXPECT_EQ(app::input::pointer_id, -1);
  app::host::frame::keys.set(7, 0);
  app::host::frame::pointer_count = 2;
  app::host::frame::pointers::is_down.set(1, 1);
  EXPECT_EQ(update_camera_stage(camera_key), 1);
  EXPECT_EQ(camera::needs_neutral, 1);
  app::host::frame::pointers::is_down.set(1, 0);
  app::host::frame::pointers::is_down.set(2, 1);  // beyond pointer_count: not counted
  EXPECT_EQ(update_camera_stage(camera_key), 1) << "the tick input becomes neutral still holds movement";
  EXPECT_EQ(camera::needs_neutral, 0);
  EXPECT_EQ(update_camera_stage(camera_key), 0);
}

TEST_F(MazeViewTest, EasyLevelStartsInTheCloseView) {
  set_play_rect(30, 170, 480, 920);
  set_live_maze(12, 12, std::vector<int32_t>(144, 15));
  maze::tier = 0;
  app::player_view::x = 0.5f;
  app::player_view::y = 0.5f;
  fit_camera(camera_key, 12, 12);
  start_camera_intro(camera_key);
  EXPECT_EQ(camera::stage, 0);
  expect_view(30.0f, 390.0f, 40.0f);
  EXPECT_EQ(update_camera_stage(camera_key), 0);
}

// ----------------------------------------------------------------- maze view

struct FrameRect {
  float x, y, width, height, red, green, blue, alpha;
};

std::vector<FrameRect> frame_rects() {
  std::vector<FrameRect> out;
  for (int32_t c = 0; c < gfx_cmd_i32[GXF_WORD_UPPER_RECTS]; ++c) {
    const float* r = &gfx_cmd_f32[GXF_F32_UPPER_RECT_0 - GXF_RECT_FLOATS * c];
    out.push_back({r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7]});
  }
  return out;
}

bool has_colour(const FrameRect& r, float red, float green, float blue) {
  return r.red == red && r.green == green && r.blue == blue;
}

std::vector<FrameRect> rects_in(float red, float green, float blue) {
  std::vector<FrameRect> out;
  for (const auto& r : frame_rects()) {
    if (has_colour(r, red, green, blue)) out.push_back(r);
  }
  return out;
}

std::vector<FrameRect> outer_wall_rects() { return rects_in(0.19f, 0.37f, 0.23f); }
std::vector<FrameRect> inner_wall_rects() { return rects_in(0.51f, 0.69f, 0.36f); }

// Draws the maze view as one frame; the runtime's reader must accept it.
void draw_frame_and_validate() {
  frame_begin();
  draw_maze_view();
  ASSERT_EQ(frame_end(0), 0);
  ASSERT_NE(vexlor_render_trace_native(gfx_cmd_i32, gfx_cmd_f32, gfx_cmd_u8), 0u);
}

TEST_F(MazeViewTest, FittingMazeDrawsOneWallPerCachedSegmentInAValidFrame) {
  set_play_rect(30, 170, 480, 920);
  set_live_maze(3, 2, small_maze_walls);
  fit_camera(camera_key, 3, 2);
  build_cache_fully();
  draw_frame_and_validate();
  EXPECT_EQ(outer_wall_rects().size(), 7u);
  EXPECT_EQ(inner_wall_rects().size(), 7u);
  // Unsnapped (no device size): 4 units thick with a 2 unit core.
  for (const auto& r : outer_wall_rects()) EXPECT_FLOAT_EQ(std::min(r.width, r.height), 4.0f);
  for (const auto& r : inner_wall_rects()) EXPECT_FLOAT_EQ(std::min(r.width, r.height), 2.0f);
  EXPECT_EQ(gfx_cmd_i32[GXF_WORD_CLIPS], 1);
}

TEST_F(MazeViewTest, WallsAreDrawnCellByCellUntilTheCacheIsCurrent) {
  set_play_rect(30, 170, 480, 920);
  set_live_maze(3, 2, small_maze_walls);
  fit_camera(camera_key, 3, 2);
  build_cache_fully();
  maze::revision = 2;  // a new maze went live; the cache is stale
  draw_frame_and_validate();
  // 2 + 1 + 3 horizontal and 2 + 1 + 2 vertical unit walls.
  EXPECT_EQ(outer_wall_rects().size(), 11u);
  EXPECT_EQ(inner_wall_rects().size(), 11u);
}

// The walls a full scan of the grid finds meeting the play rectangle.
size_t visible_unit_walls(int32_t width, int32_t height, float ox, float oy, float c, float s) {
  const float px0 = app::layout::play::x, px1 = px0 + app::layout::play::width;
  const float py0 = app::layout::play::y, py1 = py0 + app::layout::play::height;
  auto meets = [&](float x0, float x1, float y0, float y1) {
    return std::max(x0, px0) < std::min(x1, px1) && std::max(y0, py0) < std::min(y1, py1);
  };
  size_t count = 0;
  for (int32_t k = 0; k <= width; ++k) {
    for (int32_t r = 0; r < height; ++r) {
      count += meets(ox + k * c - 2 * s, ox + k * c + 2 * s, oy + r * c, oy + (r + 1) * c) ? 1 : 0;
    }
  }
  for (int32_t k = 0; k <= height; ++k) {
    for (int32_t col = 0; col < width; ++col) {
      count += meets(ox + col * c, ox + (col + 1) * c, oy + k * c - 2 * s, oy + k * c + 2 * s) ? 1 : 0;
    }
  }
  return count;
}

TEST_F(MazeViewTest, ZoomedInViewDrawsExactlyTheWallsThatMeetThePlayRectangle) {
  set_play_rect(30, 170, 480, 920);
  set_live_maze(53, 41, std::vector<int32_t>(53 * 41, 15));
  build_cache_fully();
  const struct {
    float ox, oy, c;
  } views[] = {
      {-770.0f, -550.0f, 40.0f}, {30.0f, 170.0f, 40.0f}, {-401.7f, -33.3f, 40.0f},
      {-1000.0f, 100.0f, 23.5f}, {28.0f, 168.0f, 9.5f},  {29.0f, 171.5f, 1.5f},
      // Cells narrower than a wall: lines beyond the play edges still show.
      {20.7f, 160.7f, 1.5f},     {464.7f, 1044.7f, 1.5f},
  };
  for (const auto& v : views) {
    set_view(v.ox, v.oy, v.c);
    draw_frame_and_validate();
    EXPECT_EQ(outer_wall_rects().size(), visible_unit_walls(53, 41, v.ox, v.oy, v.c, 1.0f))
        << "view at " << v.ox << ", " << v.oy << " cell " << v.c;
  }
}

TEST_F(MazeViewTest, TooSmallPlayRectangleFallsBackToCellByCell) {
  set_live_maze(12, 12, std::vector<int32_t>(144, 15));
  build_cache_fully();
  set_play_rect(30, 170, 480, 920);
  fit_camera(camera_key, 12, 12);
  draw_frame_and_validate();
  EXPECT_EQ(outer_wall_rects().size(), 26u) << "13 + 13 segments from the cache";

  set_play_rect(30, 170, 300, 300);  // cell 25, but the view keeps its cell of 40
  draw_frame_and_validate();
  EXPECT_EQ(outer_wall_rects().size(), visible_unit_walls(12, 12, 30.0f, 390.0f, 40.0f, 1.0f));
  for (const auto& r : outer_wall_rects()) {
    EXPECT_GE(r.x, 30.0f);
    EXPECT_LE(r.x + r.width, 330.0f);
    EXPECT_GE(r.y, 170.0f);
    EXPECT_LE(r.y + r.height, 470.0f);
  }
}

bool on_device_pixel(float v, float scale) { return v * scale == std::floor(v * scale); }

TEST_F(MazeViewTest, WallsSnapToDevicePixelsOnAScale2Display) {
  app::layout::logical_width = 540;
  app::layout::logical_height = 1200;
  app::layout::surface_width = 1080;
  app::layout::surface_height = 2400;
  set_play_rect(10.3f, 20.0f, 300.0f, 300.0f);
  set_live_maze(1, 1, {15});
  build_cache_fully();
  set_view(50.3f, 60.2f, 40.0f);
  draw_frame_and_validate();
  // The west wall at x 50.3: 8 device pixels from pixel 97, core 4 from 99;
  // its ends 60.2 and 100.2 snap to 60 and 100.
  const auto outer = outer_wall_rects();
  const auto inner = inner_wall_rects();
  ASSERT_EQ(outer.size(), 4u);
  ASSERT_EQ(inner.size(), 4u);
  EXPECT_FLOAT_EQ(outer[0].x, 48.5f);
  EXPECT_FLOAT_EQ(outer[0].width, 4.0f);
  EXPECT_FLOAT_EQ(outer[0].y, 60.0f);
  EXPECT_FLOAT_EQ(outer[0].height, 40.0f);
  EXPECT_FLOAT_EQ(inner[0].x, 49.5f);
  EXPECT_FLOAT_EQ(inner[0].width, 2.0f);
  EXPECT_FLOAT_EQ(inner[0].y, 60.0f);
  EXPECT_FLOAT_EQ(inner[0].height, 40.0f);
  for (const auto& r : outer) {
    for (float edge : {r.x, r.x + r.width, r.y, r.y + r.height}) EXPECT_TRUE(on_device_pixel(edge, 2.0f)) << edge;
  }

  // A wall on the play rectangle's fractional left edge keeps that edge.
  set_view(10.3f, 60.2f, 40.0f);
  draw_frame_and_validate();
  EXPECT_FLOAT_EQ(outer_wall_rects()[0].x, 10.3f);
  EXPECT_FLOAT_EQ(outer_wall_rects()[0].x + outer_wall_rects()[0].width, 12.5f);
  EXPECT_GE(inner_wall_rects()[0].x, 10.3f) << "the core stays inside the clipped outer line";

  // At x 12.25 the outer line runs from 10.25 (clipped to 10.3, so it stays
  // there although its pixel edge 20.5 rounds half up to 21, inside the play
  // rectangle) to pixel 29.
  set_view(12.25f, 60.2f, 40.0f);
  draw_frame_and_validate();
  EXPECT_FLOAT_EQ(outer_wall_rects()[0].x, 10.3f);
  EXPECT_FLOAT_EQ(outer_wall_rects()[0].x + outer_wall_rects()[0].width, 14.5f);
  EXPECT_FLOAT_EQ(inner_wall_rects()[0].x, 11.5f) << "pixel 22.5 rounds half up to 23";
}

TEST_F(MazeViewTest, FloorAndFrameFollowTheVisiblePartOfTheMaze) {
  set_play_rect(30, 170, 480, 920);
  set_live_maze(3, 2, small_maze_walls);
  const struct {
    float ox, oy, c;
    bool drawn;
    std::tuple<float, float, float, float> floor, frame_top;  // x, y, width, height
  } cases[] = {
      // Fits: the frame lies 8 units around the maze, even outside the play area.
      {210, 590, 40, true, {210, 590, 120, 80}, {202, 582, 136, 8}},
      {30, 170, 40, true, {30, 170, 120, 80}, {22, 162, 136, 8}},
      // Overflows: the frame's edges outside the play rectangle are pulled in.
      {-770, -550, 600, true, {30, 170, 480, 480}, {30, 170, 480, 8}},
      // Nothing of the maze visible: no markers, floor or frame.
      {600, 170, 40, false, {}, {}},
  };
  for (const auto& c : cases) {
    set_view(c.ox, c.oy, c.c);
    draw_frame_and_validate();
    const auto floors = rects_in(0.66f, 0.82f, 0.53f);
    const auto frame_outer = rects_in(0.16f, 0.30f, 0.20f);
    const auto posts = rects_in(0.12f, 0.24f, 0.20f);
    if (!c.drawn) {
      EXPECT_TRUE(floors.empty() && frame_outer.empty() && posts.empty()) << c.ox;
      continue;
    }
    ASSERT_EQ(floors.size(), 1u);
    EXPECT_EQ(std::tie(floors[0].x, floors[0].y, floors[0].width, floors[0].height), c.floor) << c.ox;
    ASSERT_EQ(frame_outer.size(), 4u);
    EXPECT_EQ(std::tie(frame_outer[0].x, frame_outer[0].y, frame_outer[0].width, frame_outer[0].height),
              c.frame_top)
        << c.ox;
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_FLOAT_EQ(posts[0].x, c.ox - 11.0f - 2.5f) << "entry post left of the start cell";
    EXPECT_FLOAT_EQ(posts[0].y, c.oy + c.c * 0.5f - 11.0f);
  }
}

struct MouseCase {
  int32_t moving, frame, facing;
  int32_t idle0, idle1, scurry0, scurry1;
  int32_t expected_sprite;  // 0: nothing drawn
  float expected_rotation;
};

TEST_F(MazeViewTest, MouseSpriteFollowsMotionFrameAndFacing) {
  const MouseCase cases[] = {
      {0, 0, 1, 1, 1, 1, 1, 11, 0.0f},   {0, 1, 2, 1, 1, 1, 1, 12, 90.0f}, {0, 1, 3, 1, 0, 1, 1, 11, 180.0f},
      {1, 0, 4, 1, 1, 1, 1, 13, 270.0f}, {1, 1, 9, 1, 1, 1, 1, 14, 270.0f}, {1, 1, 1, 1, 1, 1, 0, 13, 0.0f},
      {1, 0, 2, 1, 1, 0, 1, 0, 0.0f},    {0, 0, 2, 0, 1, 1, 1, 0, 0.0f},
  };
  set_play_rect(30, 170, 480, 920);
  set_live_maze(3, 2, small_maze_walls);
  set_view(100.0f, 200.0f, 40.0f);
  app::render::player_sprite_ready = 1;
  app::render::mouse_idle_frame_0::sprite_ref = 11;
  app::render::mouse_idle_frame_1::sprite_ref = 12;
  app::render::mouse_scurry_frame_0::sprite_ref = 13;
  app::render::mouse_scurry_frame_1::sprite_ref = 14;
  for (auto record : {&app::render::mouse_idle_frame_0::width, &app::render::mouse_idle_frame_0::height,
                      &app::render::mouse_idle_frame_1::width, &app::render::mouse_idle_frame_1::height,
                      &app::render::mouse_scurry_frame_0::width, &app::render::mouse_scurry_frame_0::height,
                      &app::render::mouse_scurry_frame_1::width, &app::render::mouse_scurry_frame_1::height}) {
    *record = 36;
  }
  app::player_view::x = 1.5f;
  app::player_view::y = 0.5f;
  for (const auto& c : cases) {
    app::player_view::is_moving = c.moving;
    app::player_view::animation_frame = c.frame;
    app::player_view::facing = c.facing;
    app::render::mouse_idle_frame_0_ready = c.idle0;
    app::render::mouse_idle_frame_1_ready = c.idle1;
    app::render::mouse_scurry_frame_0_ready = c.scurry0;
    app::render::mouse_scurry_frame_1_ready = c.scurry1;
    draw_frame_and_validate();
    if (c.expected_sprite == 0) {
      EXPECT_EQ(gfx_cmd_i32[GXF_WORD_SPRITES], 0);
      continue;
    }
    ASSERT_EQ(gfx_cmd_i32[GXF_WORD_SPRITES], 1);
    EXPECT_EQ(gfx_cmd_i32[GXF_I32_SPRITES], c.expected_sprite);
    const float* sprite = &gfx_cmd_f32[GXF_F32_SPRITES];
    EXPECT_FLOAT_EQ(sprite[0], 160.0f - 18.0f);
    EXPECT_FLOAT_EQ(sprite[1], 220.0f - 18.0f + (c.frame == 1 ? -2.0f : 0.0f));
    EXPECT_FLOAT_EQ(sprite[12], c.expected_rotation);
  }
}

TEST_F(MazeViewTest, CheeseIsDrawnOnlyWhenItsBoxLiesInsideThePlayRectangle) {
  set_play_rect(30, 170, 480, 920);
  set_live_maze(3, 2, small_maze_walls);
  app::layout::reference_scale = 0.75f;
  app::render::cheese_goal_ready = 1;
  app::render::cheese_goal::sprite_ref = 21;
  set_view(100.0f, 200.0f, 40.0f);
  draw_frame_and_validate();
  ASSERT_EQ(gfx_cmd_i32[GXF_WORD_SPRITES], 1);
  EXPECT_EQ(gfx_cmd_i32[GXF_I32_SPRITES], 21);
  EXPECT_EQ(app::render::cheese_goal::width, 24);
  EXPECT_EQ(app::render::cheese_goal::height, 24);
  // Goal cell (2, 1): box centre (100 + 100, 200 + 60), sprite 32s across.
  EXPECT_FLOAT_EQ(gfx_cmd_f32[GXF_F32_SPRITES + 0], 200.0f - 12.0f);
  EXPECT_FLOAT_EQ(gfx_cmd_f32[GXF_F32_SPRITES + 1], 260.0f - 12.0f);

  // The box reaches 1 unit past the play rectangle's right edge.
  set_view(30.0f + 480.0f - 3.0f * 40.0f + 0.18f * 40.0f + 1.0f, 200.0f, 40.0f);
  draw_frame_and_validate();
  EXPECT_EQ(gfx_cmd_i32[GXF_WORD_SPRITES], 0);
}

// -------------------------------------------------------------------- shapes

TEST_F(MazeViewTest, RoundedRectangleLimitsItsRadiusAndBlendsOverTheBoard) {
  frame_begin();
  fill_rounded_rect(5, 6, 20, 100, 30, 1.0f, 0.22f, 0.12f, 0.5f);
  ASSERT_EQ(frame_end(0), 0);
  auto rects = frame_rects();
  ASSERT_EQ(rects.size(), 17u);
  EXPECT_FLOAT_EQ(rects[0].y, 16.0f) << "radius 30 is limited to half the width, 10";
  EXPECT_FLOAT_EQ(rects[0].height, 80.0f);
  EXPECT_FLOAT_EQ(rects[0].red, 0.36f + 0.64f * 0.5f);
  EXPECT_FLOAT_EQ(rects[0].alpha, 1.0f);
  // Band i = 0 of radius 10: t = 9.6875, inset = 10 - sqrt(100 - t^2).
  const float t = 10.0f - 0.3125f;
  EXPECT_NEAR(rects[1].x, 5.0f + 10.0f - std::sqrt(100.0f - t * t), 1e-4f);
  EXPECT_FLOAT_EQ(rects[1].y, 6.0f);
  EXPECT_FLOAT_EQ(rects[1].height, 100.0f);

  frame_begin();
  fill_rounded_rect(0, 0, 100, 8, 30, 1.0f, 1.0f, 1.0f, 1.0f);
  ASSERT_EQ(frame_end(0), 0);
  rects = frame_rects();
  ASSERT_EQ(rects.size(), 17u);
  EXPECT_FLOAT_EQ(rects[0].y, 4.0f) << "radius 30 is limited to half the height, 4";

  frame_begin();
  fill_rounded_rect(5, 6, 20, 100, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f);
  ASSERT_EQ(frame_end(0), 0);
  rects = frame_rects();
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_FLOAT_EQ(rects[0].width, 20.0f);
}

TEST_F(MazeViewTest, BoardPaletteOfSeedAndTier) {
  const struct {
    int32_t seed, tier, palette;
  } cases[] = {
      {0, 0, 0},  {31, 0, 0},    {-1, 0, 2},  {5, 1, 0}, {5, 7, 2}, {17731, 0, 2},
      {3, -1, 0}, {9, 2, 3},     {std::numeric_limits<int32_t>::min(), 2, 3},
  };
  for (const auto& c : cases) EXPECT_EQ(board_palette(c.seed, c.tier), c.palette) << c.seed << ", " << c.tier;
}

// ------------------------------------------------------------- any state

template <typename T>
T random_value(std::mt19937& random) {
  const uint32_t bits = random();
  if constexpr (std::is_same_v<T, float>) {
    const float specials[] = {0.0f, -1.0f, 1e30f, -1e30f, std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity(), 0.5f, 40.0f};
    if (bits % 4 == 0) return specials[(bits >> 8) % 8];
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return bits % 4 == 1 ? static_cast<float>(static_cast<int32_t>(bits) % 2000) : f;
  } else {
    const int32_t specials[] = {0, 1, -1, 2, 53, 41, 4096, std::numeric_limits<int32_t>::min(),
                                std::numeric_limits<int32_t>::max()};
    if (bits % 3 == 0) return specials[(bits >> 8) % 9];
    return bits % 3 == 1 ? static_cast<int32_t>(bits % 100) - 10 : static_cast<int32_t>(bits);
  }
}

template <typename T, int32_t N>
void randomise(StateArray<T, N> array, std::mt19937& random) {
  for (int32_t i = 0; i < N; ++i) array.set(i, random_value<T>(random));
}

void randomise_state(std::mt19937& random) {
  for (int32_t* field : {&cache::boundary, &cache::coordinate, &cache::horizontal_count, &cache::horizontal_truncated,
                         &cache::ready, &cache::run_active, &cache::run_start, &cache::topology_revision,
                         &cache::vertical_count, &cache::vertical_phase, &cache::vertical_truncated, &maze::width,
                         &maze::height, &maze::cell_count, &maze::goal_cell, &maze::alternate_walls_active,
                         &maze::ready, &maze::revision, &maze::seed, &maze::tier, &camera::stage,
                         &camera::stage_ticks, &camera::needs_neutral, &app::player_view::facing,
                         &app::player_view::is_moving, &app::player_view::animation_frame,
                         &app::render::player_sprite_ready, &app::render::cheese_goal_ready,
                         &app::render::mouse_idle_frame_1_ready, &app::render::mouse_scurry_frame_0_ready,
                         &app::level::seed, &app::host::frame::pointer_count}) {
    *field = random_value<int32_t>(random);
  }
  // Keep small maze sizes common so that the cache also finishes.
  if (random() % 2 == 0) {
    maze::width = static_cast<int32_t>(random() % 60) - 2;
    maze::height = static_cast<int32_t>(random() % 50) - 2;
  }
  for (float* field : {&camera::origin_x, &camera::origin_y, &camera::cell_size, &camera::normal_origin_x,
                       &camera::normal_origin_y, &camera::normal_cell_size, &camera::overview_origin_x,
                       &camera::overview_origin_y, &camera::overview_cell_size, &app::player_view::x,
                       &app::player_view::y, &app::layout::play::x, &app::layout::play::y,
                       &app::layout::play::width, &app::layout::play::height, &app::layout::reference_scale,
                       &app::layout::surface_width, &app::layout::logical_width, &app::layout::surface_height,
                       &app::layout::logical_height}) {
    *field = random_value<float>(random);
  }
  randomise(maze::walls, random);
  randomise(maze::alternate_walls, random);
  for (auto column : {cache::horizontal::x, cache::horizontal::y, cache::horizontal::length, cache::vertical::x,
                      cache::vertical::y, cache::vertical::length}) {
    randomise(column, random);
  }
  randomise(cache::horizontal_boundary_start, random);
  randomise(cache::vertical_boundary_end, random);
  app::render::mouse_idle_frame_1::sprite_ref = random_value<int32_t>(random);
  app::render::mouse_idle_frame_1::width = random_value<int32_t>(random);
  app::render::mouse_idle_frame_1::height = random_value<int32_t>(random);
  app::render::cheese_goal::sprite_ref = random_value<int32_t>(random);
}

TEST_F(MazeViewTest, AnyStateIsSafeToBuildFromAndDraw) {
  std::mt19937 random(1234);
  for (int32_t round = 0; round < 300; ++round) {
    randomise_state(random);
    build_wall_cache_step(static_cast<int32_t>(random() % 80) - 8);
    update_camera_stage(camera_key);
    if (round % 3 == 0) refit_camera(camera_key);
    if (round % 5 == 0) start_camera_intro(camera_key);
    // Camera results are arbitrary here; put the garbage view back.
    if (round % 2 == 0) set_view(random_value<float>(random), random_value<float>(random), random_value<float>(random));
    frame_begin();
    draw_maze_view();
    frame_end(0);
    // However much is drawn, the play rectangle's clip is pushed and popped.
    EXPECT_EQ(gfx_cmd_i32[GXF_WORD_CLIPS], 1) << "round " << round;
    EXPECT_EQ(gfx_cmd_i32[GXF_WORD_DROPPED_CLIPS], 0) << "round " << round;
  }
}

}  // namespace
