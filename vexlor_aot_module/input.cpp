#include "input.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "arith.hpp"
#include "maze.hpp"
#include "player_view.hpp"
#include "state_tree.hpp"

namespace quillfen {

namespace {

namespace input = app::input;
namespace intents = app::input::intents;
namespace pointers = app::host::frame::pointers;

// Pointers nearer than this to the mouse's centre on both axes, in reference
// units, give no direction.
constexpr float pointer_dead_zone = 10.0f;

void clear_intent_slot(int32_t slot) {
  intents::valid.set(slot, 0);
  intents::direction.set(slot, 0);
  intents::source.set(slot, 0);
  intents::pointer_id.set(slot, -1);
  intents::player_cell.set(slot, -1);
  intents::topology_revision.set(slot, -1);
  intents::ordinal.set(slot, -1);
}

void stop_tracking_pointer() {
  input::pointer_active = 0;
  input::pointer_id = -1;
}

int32_t reported_pointer_slots() { return std::clamp(app::host::frame::pointer_count, 0, intent_slot_count); }

// The slot among the reported ones that holds pointer `id`, or -1.
int32_t find_pointer_slot(int32_t id) {
  const int32_t count = reported_pointer_slots();
  for (int32_t slot = 0; slot < count; ++slot) {
    if (pointers::id.get(slot) == id) return slot;
  }
  return -1;
}

int32_t first_pointer_gone_down() {
  const int32_t count = reported_pointer_slots();
  for (int32_t slot = 0; slot < count; ++slot) {
    if (pointers::went_down.get(slot) != 0) return slot;
  }
  return -1;
}

// How far (dx, dy) reaches in a direction: north -dy, east dx, south dy,
// west -dx.
float projection(int32_t direction, float dx, float dy) {
  switch (direction) {
    case direction_north: return -dy;
    case direction_east: return dx;
    case direction_south: return dy;
    default: return -dx;
  }
}

struct PointerIntent {
  int32_t direction;
  int32_t pointer_id;
};

// The pointer direction of this tick from the tracked pointer, or from a
// pointer that went down this tick when none is tracked; starts, keeps or
// ends the tracking on the way.
PointerIntent tracked_pointer_intent() {
  constexpr PointerIntent none{direction_none, -1};
  bool released = false;
  if (app::host::frame::dropped_pointer_count > 0) {
    stop_tracking_pointer();
    released = true;
  }
  if (input::pointer_active != 0) {
    const int32_t slot = find_pointer_slot(input::pointer_id);
    if (slot < 0) return none;
    if (pointers::went_up.get(slot) != 0) {
      stop_tracking_pointer();
      return none;
    }
    if (pointers::is_down.get(slot) == 0) return none;
    return {pointer_direction(slot), input::pointer_id};
  }
  if (released) return none;
  const int32_t slot = first_pointer_gone_down();
  if (slot < 0) return none;
  const int32_t id = pointers::id.get(slot);
  // A tap that went down and up within this frame gives its intent now but
  // is not tracked: no later frame would report it going up.
  if (pointers::went_up.get(slot) == 0) {
    input::pointer_active = 1;
    input::pointer_id = id;
  }
  return {pointer_direction(slot), id};
}

}  // namespace

void clear_intents() {
  for (int32_t slot = 0; slot < intent_slot_count; ++slot) clear_intent_slot(slot);
  input::intent_count = 0;
  input::overflowed = 0;
}

void release_pointer() {
  clear_intents();
  stop_tracking_pointer();
}

void add_intent(int32_t direction, int32_t source, int32_t pointer_id) {
  if (direction == direction_none || source == 0) return;
  const int32_t slot = std::max(input::intent_count, 0);
  if (slot >= intent_slot_count) {
    input::overflowed = 1;
    return;
  }
  intents::valid.set(slot, 1);
  intents::direction.set(slot, direction);
  intents::source.set(slot, source);
  intents::pointer_id.set(slot, pointer_id);
  intents::player_cell.set(slot, app::player::cell);
  intents::topology_revision.set(slot, app::maze::revision);
  intents::ordinal.set(slot, slot);
  input::intent_count = slot + 1;
}

int32_t held_direction_key() {
  struct DirectionKeys {
    int32_t direction, arrow, letter;
  };
  constexpr DirectionKeys direction_keys[] = {{direction_north, key_up, key_w},
                                              {direction_east, key_right, key_d},
                                              {direction_south, key_down, key_s},
                                              {direction_west, key_left, key_a}};
  for (const DirectionKeys& keys : direction_keys) {
    if (app::host::frame::keys.get(keys.arrow) != 0 || app::host::frame::keys.get(keys.letter) != 0) {
      return keys.direction;
    }
  }
  return direction_none;
}

int32_t pointer_direction(int32_t slot) {
  const float dx = pointers::x_logical.get(slot) - player_view_centre_x();
  const float dy = pointers::y_logical.get(slot) - player_view_centre_y();
  const float dead_zone = pointer_dead_zone * app::layout::reference_scale;
  if (std::fabs(dx) < dead_zone && std::fabs(dy) < dead_zone) return direction_none;
  int32_t best_direction = direction_none;
  float best_projection = 0.0f;
  for (int32_t direction = direction_north; direction <= direction_west; ++direction) {
    if (!maze_can_move(app::player::cell, direction)) continue;
    const float reach = projection(direction, dx, dy);
    if (best_direction == direction_none || reach > best_projection) {
      best_direction = direction;
      best_projection = reach;
    }
  }
  // Written so that a NaN projection gives no direction.
  return best_projection > 0.0f ? best_direction : direction_none;
}

void collect_intents() {
  clear_intents();
  const PointerIntent pointer = tracked_pointer_intent();
  if (pointer.direction != direction_none) {
    add_intent(pointer.direction, intent_source_pointer, pointer.pointer_id);
    return;
  }
  add_intent(held_direction_key(), intent_source_keyboard, -1);
}

}  // namespace quillfen
