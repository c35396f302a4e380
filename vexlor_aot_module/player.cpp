#include "player.hpp"

#include <algorithm>
#include <cstdint>

#include "arith.hpp"
#include "camera.hpp"
#include "input.hpp"
#include "layout.hpp"
#include "movement_outcome.hpp"
#include "player_view.hpp"
#include "state_tree.hpp"

namespace quillfen {

namespace {

namespace player = app::player;
namespace outcome = app::movement_outcome;

bool outcome_still_applies() {
  return outcome::accepted == 1 && outcome::direction != 0 && outcome::source_cell == player::cell &&
         outcome::topology_revision == app::maze::revision && player::cooldown == 0 && player::completed == 0 &&
         app::maze::ready == 1;
}

void commit_move(int32_t next_cell, int32_t direction, int32_t reached_goal) {
  player::cell = next_cell;
  player::moves = wrapping_add(player::moves, 1);
  player::cooldown = player_move_cooldown_ticks;
  player::completed = reached_goal;
  start_player_view_move(next_cell, direction);
}

}  // namespace

void reset_player() {
  compute_layout();
  player::cell = 0;
  player::cooldown = 0;
  player::moves = 0;
  player::completed = 0;
  reset_player_view();
  release_pointer();
  fit_camera(camera_key, app::maze::width, app::maze::height);
  app::camera::stage = camera_stage_normal;
  app::camera::stage_ticks = 0;
  app::camera::needs_neutral = 0;
}

bool apply_movement_outcome() {
  const int32_t index = outcome::intent_index;
  if (index >= 0 && index < intent_slot_count) app::input::intents::valid.set(index, 0);
  if (!outcome_still_applies()) return false;
  const int32_t next_cell = outcome::next_cell;
  const int32_t direction = outcome::direction;
  const int32_t reached_goal = outcome::reached_goal;
  // The verdict must not have changed since the intent was evaluated.
  evaluate_move(direction);
  if (outcome::accepted != 1 || outcome::next_cell != next_cell || outcome::reached_goal != reached_goal) {
    return false;
  }
  commit_move(next_cell, direction, reached_goal);
  return true;
}

void process_intents() {
  const int32_t count = std::clamp(app::input::intent_count, 0, intent_slot_count);
  bool moved = false;
  for (int32_t i = 0; i < count && !moved; ++i) {
    evaluate_intent(i);
    if (outcome::accepted == 1) moved = apply_movement_outcome();
  }
  clear_intents();
}

void update_player() {
  if (update_camera_stage(camera_key) != 0) {
    clear_intents();
    return;
  }
  if (player::cooldown > 0) player::cooldown -= 1;
  const float before_x = app::player_view::x;
  const float before_y = app::player_view::y;
  glide_player_view();
  animate_player_view(before_x, before_y);
  if (player::cooldown == 0 && player::completed == 0) {
    process_intents();
  } else {
    clear_intents();
  }
}

}  // namespace quillfen
