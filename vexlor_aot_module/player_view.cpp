#include "player_view.hpp"

#include <cmath>
#include <cstdint>

#include "arith.hpp"
#include "input.hpp"
#include "maze.hpp"
#include "state_tree.hpp"

namespace quillfen {

namespace view = app::player_view;

namespace {

float cell_centre(int32_t column_or_row) { return static_cast<float>(column_or_row) + 0.5f; }

// One full turn at most either way brings the angle back into 0..360.
float wrap_degrees(float angle) {
  if (angle >= 360.0f) return angle - 360.0f;
  if (angle < 0.0f) return angle + 360.0f;
  return angle;
}

}  // namespace

void reset_player_view() {
  view::x = 0.5f;
  view::y = 0.5f;
  view::target_x = 0.5f;
  view::target_y = 0.5f;
  view::facing = direction_east;
  view::animation_tick = 0;
  view::animation_frame = 0;
  view::is_moving = 0;
  view::roll_angle = 0.0f;
}

void glide_player_view() {
  view::x += (view::target_x - view::x) * player_glide_rate;
  view::y += (view::target_y - view::y) * player_glide_rate;
}

void animate_player_view(float before_x, float before_y) {
  const float dx = view::x - before_x;
  const float dy = view::y - before_y;
  if (std::fabs(dx) + std::fabs(dy) > player_still_motion) {
    view::is_moving = 1;
    view::animation_tick = wrapping_add(view::animation_tick, 1);
    view::animation_frame = checked_rem(checked_div(view::animation_tick, player_scurry_ticks_per_frame), 2);
    view::roll_angle = wrap_degrees(view::roll_angle + (dx - dy) * 180.0f);
    return;
  }
  view::is_moving = 0;
  view::animation_tick = checked_rem(wrapping_add(view::animation_tick, 1), player_idle_cycle_ticks);
  view::animation_frame = 0;
}

void start_player_view_move(int32_t cell, int32_t direction) {
  view::facing = direction;
  view::is_moving = 1;
  view::target_x = cell_centre(cell_column(cell));
  view::target_y = cell_centre(cell_row(cell));
}

float player_view_centre_x() { return app::camera::origin_x + app::player_view::x * app::camera::cell_size; }

float player_view_centre_y() { return app::camera::origin_y + app::player_view::y * app::camera::cell_size; }

}  // namespace quillfen
