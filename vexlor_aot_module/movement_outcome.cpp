#include "movement_outcome.hpp"

#include <algorithm>
#include <cstdint>

#include "input.hpp"
#include "maze.hpp"
#include "state_tree.hpp"

namespace quillfen {

namespace {

namespace outcome = app::movement_outcome;
namespace intents = app::input::intents;

int32_t flag(bool value) { return value ? 1 : 0; }

void reject() {
  outcome::accepted = 0;
  outcome::next_cell = app::player::cell;
  outcome::direction = direction_none;
  outcome::reached_goal = flag(app::player::completed != 0);
}

bool player_may_move(int32_t direction) {
  const int32_t cell = app::player::cell;
  return direction != direction_none && app::player::cooldown == 0 && app::player::completed == 0 &&
         app::maze::ready != 0 && cell >= 0 && cell < app::maze::cell_count && maze_can_move(cell, direction);
}

bool intent_is_current(int32_t index) {
  return intents::valid.get(index) != 0 && intents::direction.get(index) != direction_none &&
         intents::player_cell.get(index) == app::player::cell &&
         intents::topology_revision.get(index) == app::maze::revision;
}

}  // namespace

void evaluate_move(int32_t direction) {
  reject();
  outcome::source_cell = app::player::cell;
  outcome::topology_revision = app::maze::revision;
  outcome::intent_index = -1;
  if (!player_may_move(direction)) return;
  const int32_t next = maze_neighbour(app::player::cell, direction);
  if (next < 0 || next >= app::maze::cell_count) return;
  outcome::accepted = 1;
  outcome::next_cell = next;
  outcome::direction = direction;
  outcome::reached_goal = flag(next == app::maze::goal_cell);
}

void evaluate_intent(int32_t index) {
  const int32_t collected = std::min(app::input::intent_count, intent_slot_count);
  if (index < 0 || index >= collected) {
    evaluate_move(direction_none);
    outcome::intent_index = index;
    return;
  }
  evaluate_move(intents::direction.get(index));
  outcome::intent_index = intents::ordinal.get(index);
  if (!intent_is_current(index)) reject();
}

}  // namespace quillfen
