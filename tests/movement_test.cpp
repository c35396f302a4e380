// Input and movement: taps, held pointers and keys turned into intents, the
// cooldown cadence, stale-intent rejection and the double-checked commit,
// the glide and animation of the drawn mouse, and safety on garbage state.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <random>
#include <vector>

#include "arith.hpp"
#include "bridge.hpp"
#include "camera.hpp"
#include "input.hpp"
#include "maze.hpp"
#include "movement_outcome.hpp"
#include "player.hpp"
#include "player_view.hpp"
#include "state_tables.hpp"
#include "state_tree.hpp"

namespace {

using namespace quillfen;
namespace camera = app::camera;
namespace frame = app::host::frame;
namespace intents = app::input::intents;
namespace maze = app::maze;
namespace outcome = app::movement_outcome;
namespace player = app::player;
namespace pointers = app::host::frame::pointers;
namespace view = app::player_view;

struct Passage {
  int32_t from, to;
};

// A live maze of width x height cells with walls everywhere except the given
// passages between neighbours; the goal is the last cell.
void set_live_maze(int32_t width, int32_t height, const std::vector<Passage>& passages, int32_t revision = 1) {
  maze::width = width;
  maze::height = height;
  maze::cell_count = width * height;
  maze::goal_cell = width * height - 1;
  maze::alternate_walls_active = 0;
  for (int32_t cell = 0; cell < width * height; ++cell) maze::walls.set(cell, 15);
  for (const Passage& p : passages) {
    for (int32_t direction = 1; direction <= 4; ++direction) {
      if (grid_neighbour(p.from, direction, width, height) != p.to) continue;
      maze::walls.set(p.from, maze::walls.get(p.from) - wall_bit(direction));
      maze::walls.set(p.to, maze::walls.get(p.to) - wall_bit(opposite_direction(direction)));
    }
  }
  maze::revision = revision;
  maze::ready = 1;
}

// 3 x 3 cells:  +--+--+--+   cell 0 opens east and south, cell 4 only
//               |0  1  2 |   north, the goal 8 only north.
//               +  +  +  +
//               |3 |4 |5 |
//               +  +--+  +
//               |6  7 |8 |
//               +--+--+--+
const std::vector<Passage> small_maze = {{0, 1}, {1, 2}, {2, 5}, {5, 8}, {0, 3}, {3, 6}, {6, 7}, {1, 4}};
// 3 x 3 with no inner walls.
const std::vector<Passage> open_maze = {{0, 1}, {1, 2}, {3, 4}, {4, 5}, {6, 7}, {7, 8},
                                        {0, 3}, {3, 6}, {1, 4}, {4, 7}, {2, 5}, {5, 8}};
// 5 x 1, one corridor from the start to the goal.
const std::vector<Passage> corridor = {{0, 1}, {1, 2}, {2, 3}, {3, 4}};

void clear_host_input() {
  for (int32_t key = 0; key < 512; ++key) frame::keys.set(key, 0);
  for (int32_t slot = 0; slot < 8; ++slot) {
    pointers::id.set(slot, 0);
    pointers::is_down.set(slot, 0);
    pointers::went_down.set(slot, 0);
    pointers::went_up.set(slot, 0);
    pointers::x_logical.set(slot, 0.0f);
    pointers::y_logical.set(slot, 0.0f);
  }
  frame::pointer_count = 0;
  frame::dropped_pointer_count = 0;
}

// A 540 x 1200 window, all of it safe: reference scale 1, the play
// rectangle (30, 170, 480, 920) and a close-view cell of 480 / 12 = 40.
void set_full_reference_window() {
  namespace display = app::host::frame::display;
  frame::version = 1;
  display::logical_width = 540.0f;
  display::logical_height = 1200.0f;
  display::safe_x = 0.0f;
  display::safe_y = 0.0f;
  display::safe_width = 540.0f;
  display::safe_height = 1200.0f;
  display::drawable_width_px = 540;
  display::drawable_height_px = 1200;
}

float mouse_centre_x() { return camera::origin_x + view::x * camera::cell_size; }
float mouse_centre_y() { return camera::origin_y + view::y * camera::cell_size; }

void set_pointer(int32_t slot, int32_t id, float x, float y, bool down, bool went_down, bool went_up = false) {
  pointers::id.set(slot, id);
  pointers::x_logical.set(slot, x);
  pointers::y_logical.set(slot, y);
  pointers::is_down.set(slot, down ? 1 : 0);
  pointers::went_down.set(slot, went_down ? 1 : 0);
  pointers::went_up.set(slot, went_up ? 1 : 0);
}

// A fresh press of pointer 0 at an offset from the mouse's drawn centre.
void tap_at_offset(float dx, float dy) {
  frame::pointer_count = 1;
  set_pointer(0, 1, mouse_centre_x() + dx, mouse_centre_y() + dy, true, true);
}

void hold_key(int32_t key, bool held = true) { frame::keys.set(key, held ? 1 : 0); }

// Puts the mouse, still, on the centre of `cell`.
void place_player(int32_t cell) {
  player::cell = cell;
  view::x = view::target_x = static_cast<float>(cell_column(cell)) + 0.5f;
  view::y = view::target_y = static_cast<float>(cell_row(cell)) + 0.5f;
}

void play_tick() {
  collect_intents();
  update_player();
}

// The ticks (1-based) on which the player moved during `ticks` play ticks.
std::vector<int32_t> move_ticks(int32_t ticks) {
  std::vector<int32_t> moved;
  for (int32_t t = 1; t <= ticks; ++t) {
    const int32_t before = player::moves;
    play_tick();
    if (player::moves != before) moved.push_back(t);
  }
  return moved;
}

class MovementTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { bind_runtime_globals(); }

  void SetUp() override {
    static const std::vector<uint8_t> zero_image(replay_image_size);
    ASSERT_EQ(replay_image_restore(zero_image.data(), replay_image_size), replay_image_size);
    clear_host_input();
    set_full_reference_window();
    start_level(small_maze);
  }

  static void start_level(const std::vector<Passage>& passages, int32_t width = 3, int32_t height = 3) {
    set_live_maze(width, height, passages);
    reset_player();
  }
};

// ------------------------------------------------------------ level start

TEST_F(MovementTest, ResetPlayerStartsAtCellZeroWithTheCameraFittedAndNoInput) {
  // Leftovers of a previous level everywhere.
  player::cell = 5;
  player::moves = 12;
  player::cooldown = 3;
  player::completed = 1;
  view::x = view::target_x = 2.5f;
  view::facing = 4;
  view::animation_tick = 9;
  view::animation_frame = 1;
  view::is_moving = 1;
  view::roll_angle = 100.0f;
  app::input::pointer_id = 4;
  app::input::pointer_active = 1;
  add_intent(direction_east, intent_source_keyboard, -1);
  app::input::overflowed = 1;
  camera::stage = camera_stage_zooming_in;
  camera::stage_ticks = 30;
  camera::needs_neutral = 1;

  reset_player();

  EXPECT_EQ(player::cell, 0);
  EXPECT_EQ(player::moves, 0);
  EXPECT_EQ(player::cooldown, 0);
  EXPECT_EQ(player::completed, 0);
  for (float position : {view::x, view::y, view::target_x, view::target_y}) EXPECT_EQ(position, 0.5f);
  EXPECT_EQ(view::facing, direction_east);
  EXPECT_EQ(view::animation_tick, 0);
  EXPECT_EQ(view::animation_frame, 0);
  EXPECT_EQ(view::is_moving, 0);
  EXPECT_EQ(view::roll_angle, 0.0f);
  EXPECT_EQ(app::input::pointer_id, -1);
  EXPECT_EQ(app::input::pointer_active, 0);
  EXPECT_EQ(app::input::intent_count, 0);
  EXPECT_EQ(app::input::overflowed, 0);
  for (int32_t slot = 0; slot < 8; ++slot) {
    EXPECT_EQ(intents::valid.get(slot), 0);
    EXPECT_EQ(intents::direction.get(slot), 0);
    EXPECT_EQ(intents::source.get(slot), 0);
    for (auto column : {intents::pointer_id, intents::player_cell, intents::topology_revision, intents::ordinal}) {
      EXPECT_EQ(column.get(slot), -1) << "slot " << slot;
    }
  }
  EXPECT_EQ(camera::stage, camera_stage_normal);
  EXPECT_EQ(camera::stage_ticks, 0);
  EXPECT_EQ(camera::needs_neutral, 0);
  // The layout was recomputed from the host window and the close view of the
  // 3 x 3 maze (120 units) is centred in the play rectangle.
  EXPECT_EQ(app::layout::reference_scale, 1.0f);
  EXPECT_EQ(camera::cell_size, 40.0f);
  EXPECT_EQ(camera::origin_x, 30.0f + 240.0f - 60.0f);
  EXPECT_EQ(camera::origin_y, 170.0f + 460.0f - 60.0f);
}

// ------------------------------------------------------------ pointer taps

TEST_F(MovementTest, ATapPicksTheOpenCorridorItPointsToMost) {
  struct Case {
    const char* name;
    int32_t cell;
    float dx, dy;
    int32_t expected_cell;
  };
  // Cell 0 opens east and south; cell 4 only north.
  const Case cases[] = {
      {"east of the mouse", 0, 100.0f, 0.0f, 1},
      {"below the mouse", 0, 0.0f, 100.0f, 3},
      {"toward the west wall", 0, -100.0f, 0.0f, 0},
      {"toward the north wall", 0, 0.0f, -100.0f, 0},
      {"mostly toward a wall, a little south", 0, -100.0f, 5.0f, 3},
      {"more south than east", 0, 50.0f, 60.0f, 3},
      {"east and south tie: east comes first", 0, 50.0f, 50.0f, 1},
      {"inside the dead zone on both axes", 0, 9.5f, -9.5f, 0},
      {"on the dead zone's edge", 0, 10.0f, 0.0f, 1},
      {"up and right, above the centre, only north open", 4, 30.0f, -20.0f, 1},
      {"up and right, below the centre, only north open", 4, 30.0f, 20.0f, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    start_level(small_maze);
    place_player(c.cell);
    tap_at_offset(c.dx, c.dy);
    play_tick();
    EXPECT_EQ(player::cell, c.expected_cell);
    EXPECT_EQ(player::moves, c.expected_cell == c.cell ? 0 : 1);
  }
}

TEST_F(MovementTest, TheDeadZoneScalesWithTheReferenceScale) {
  app::layout::reference_scale = 2.0f;
  tap_at_offset(15.0f, 0.0f);
  collect_intents();
  EXPECT_EQ(app::input::intent_count, 0);
  tap_at_offset(20.0f, 0.0f);
  collect_intents();
  EXPECT_EQ(intents::direction.get(0), direction_east);
}

TEST_F(MovementTest, ATapMovesAtOnceAndAHeldPointerRepeatsAfterTheCooldown) {
  // Pressed far to the right of the mouse and held there.
  frame::pointer_count = 1;
  set_pointer(0, 3, mouse_centre_x() + 200.0f, mouse_centre_y(), true, true);
  play_tick();
  EXPECT_EQ(player::cell, 1);
  EXPECT_EQ(player::cooldown, player_move_cooldown_ticks);
  EXPECT_EQ(outcome::accepted, 1);
  EXPECT_EQ(outcome::direction, direction_east);
  EXPECT_EQ(outcome::source_cell, 0);
  EXPECT_EQ(outcome::next_cell, 1);

  pointers::went_down.set(0, 0);
  // On to cell 2 after the cooldown; there the pointer lies straight east, a
  // wall, so the mouse stays.
  EXPECT_EQ(move_ticks(30), (std::vector<int32_t>{7}));
  EXPECT_EQ(player::cell, 2);
  EXPECT_EQ(app::input::pointer_active, 1);
  EXPECT_EQ(app::input::pointer_id, 3);
}

// ------------------------------------------------------------ keys

TEST_F(MovementTest, EachDirectionKeyMovesItsWayAndNorthEastSouthWestIsThePriority) {
  struct Case {
    std::vector<int32_t> keys;
    int32_t expected_cell;  // from the centre cell 4 of an open maze
  };
  const Case cases[] = {
      {{key_up}, 1},
      {{key_w}, 1},
      {{key_right}, 5},
      {{key_d}, 5},
      {{key_down}, 7},
      {{key_s}, 7},
      {{key_left}, 3},
      {{key_a}, 3},
      {{key_up, key_right}, 1},
      {{key_right, key_down}, 5},
      {{key_s, key_a}, 7},
      {{key_a, key_w}, 1},
      {{key_left, key_d}, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.keys));
    clear_host_input();
    start_level(open_maze);
    place_player(4);
    for (int32_t key : c.keys) hold_key(key);
    play_tick();
    EXPECT_EQ(player::cell, c.expected_cell);
  }
}

TEST_F(MovementTest, AKeyIntentRecordsTheCellTheRevisionAndNoPointer) {
  maze::revision = 9;
  place_player(3);
  hold_key(key_down);
  collect_intents();
  ASSERT_EQ(app::input::intent_count, 1);
  EXPECT_EQ(intents::valid.get(0), 1);
  EXPECT_EQ(intents::direction.get(0), direction_south);
  EXPECT_EQ(intents::source.get(0), intent_source_keyboard);
  EXPECT_EQ(intents::pointer_id.get(0), -1);
  EXPECT_EQ(intents::player_cell.get(0), 3);
  EXPECT_EQ(intents::topology_revision.get(0), 9);
  EXPECT_EQ(intents::ordinal.get(0), 0);
  EXPECT_EQ(intents::valid.get(1), 0);
}

TEST_F(MovementTest, HoldingAKeyMovesOnceEverySevenTicksUntilTheGoal) {
  start_level(corridor, 5, 1);
  hold_key(key_right);
  EXPECT_EQ(move_ticks(60), (std::vector<int32_t>{1, 8, 15, 22}));
  EXPECT_EQ(player::cell, 4);
  EXPECT_EQ(player::moves, 4) << "the move into the goal counts";
  EXPECT_EQ(player::completed, 1);
  EXPECT_EQ(outcome::reached_goal, 1);

  // Completed: nothing is accepted any more, whichever way.
  hold_key(key_right, false);
  hold_key(key_left);
  EXPECT_TRUE(move_ticks(20).empty());
  evaluate_move(direction_west);
  EXPECT_EQ(outcome::accepted, 0);
  EXPECT_EQ(outcome::reached_goal, 1);
}

TEST_F(MovementTest, ReleasingAndPressingAgainDoesNotBeatTheCooldown) {
  start_level(corridor, 5, 1);
  hold_key(key_right);
  EXPECT_EQ(move_ticks(1), (std::vector<int32_t>{1}));
  hold_key(key_right, false);
  EXPECT_TRUE(move_ticks(2).empty());
  hold_key(key_right);
  EXPECT_EQ(move_ticks(10), (std::vector<int32_t>{5})) << "tick 8 counted from the first move";
}

// ------------------------------------------------------------ pointers and keys together

TEST_F(MovementTest, ATrackedPointerOverridesTheKeysOnlyWhenItGivesADirection) {
  struct Case {
    const char* name;
    bool pointer;
    float dx, dy;
    int32_t expected_cell;
  };
  // Down is held throughout; cell 0 opens east and south.
  const Case cases[] = {
      {"pointer pointing east", true, 100.0f, 0.0f, 1},
      {"pointer inside the dead zone", true, 3.0f, 3.0f, 3},
      {"pointer pointing at a wall", true, -100.0f, 0.0f, 3},
      {"no pointer", false, 0.0f, 0.0f, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clear_host_input();
    start_level(small_maze);
    hold_key(key_down);
    if (c.pointer) tap_at_offset(c.dx, c.dy);
    play_tick();
    EXPECT_EQ(player::cell, c.expected_cell);
  }
}

TEST_F(MovementTest, OnePointerIsTrackedFromItsPressUntilItGoesUp) {
  const float x = mouse_centre_x();
  const float y = mouse_centre_y();
  // Slot 0 was already down before; slots 1 and 2 go down now: the first of
  // them in slot order is tracked.
  frame::pointer_count = 3;
  set_pointer(0, 5, x + 100.0f, y, true, false);
  set_pointer(1, 9, x, y + 100.0f, true, true);
  set_pointer(2, 11, x + 100.0f, y, true, true);
  collect_intents();
  ASSERT_EQ(app::input::intent_count, 1);
  EXPECT_EQ(intents::direction.get(0), direction_south);
  EXPECT_EQ(intents::source.get(0), intent_source_pointer);
  EXPECT_EQ(intents::pointer_id.get(0), 9);
  EXPECT_EQ(app::input::pointer_active, 1);
  EXPECT_EQ(app::input::pointer_id, 9);

  // The host reorders its slots: pointer 9 is found by its id.
  set_pointer(0, 11, x, y + 100.0f, true, false);
  set_pointer(1, 5, x, y + 100.0f, true, false);
  set_pointer(2, 9, x + 100.0f, y, true, false);
  collect_intents();
  EXPECT_EQ(intents::direction.get(0), direction_east);
  EXPECT_EQ(intents::pointer_id.get(0), 9);

  // Pointer 9 goes up while a new one goes down: no pointer intent this tick
  // and the new one is not taken.
  set_pointer(0, 12, x, y + 100.0f, true, true);
  set_pointer(2, 9, x + 100.0f, y, false, false, true);
  collect_intents();
  EXPECT_EQ(app::input::intent_count, 0);
  EXPECT_EQ(app::input::pointer_active, 0);
  EXPECT_EQ(app::input::pointer_id, -1);

  // Pointer 12 is down but no longer new: still nothing.
  set_pointer(0, 12, x, y + 100.0f, true, false);
  collect_intents();
  EXPECT_EQ(app::input::intent_count, 0);
  EXPECT_EQ(app::input::pointer_active, 0);
}

TEST_F(MovementTest, PointerSlotsBeyondThePointerCountAreIgnored) {
  frame::pointer_count = 1;
  set_pointer(1, 7, mouse_centre_x() + 100.0f, mouse_centre_y(), true, true);
  collect_intents();
  EXPECT_EQ(app::input::intent_count, 0);
  EXPECT_EQ(app::input::pointer_active, 0);
}

TEST_F(MovementTest, DroppedPointersEndTheTrackingAndLeaveTheKeysToDecide) {
  tap_at_offset(100.0f, 0.0f);
  collect_intents();
  ASSERT_EQ(app::input::pointer_active, 1);

  frame::dropped_pointer_count = 1;
  frame::pointer_count = 2;
  set_pointer(1, 8, mouse_centre_x() + 100.0f, mouse_centre_y(), true, true);
  hold_key(key_down);
  collect_intents();
  EXPECT_EQ(app::input::pointer_active, 0);
  EXPECT_EQ(app::input::pointer_id, -1);
  ASSERT_EQ(app::input::intent_count, 1);
  EXPECT_EQ(intents::source.get(0), intent_source_keyboard);
  EXPECT_EQ(intents::direction.get(0), direction_south);
}

TEST_F(MovementTest, ATrackedPointerTheHostNoLongerReportsStaysTrackedWithoutADirection) {
  tap_at_offset(100.0f, 0.0f);
  collect_intents();
  frame::pointer_count = 0;
  hold_key(key_down);
  collect_intents();
  EXPECT_EQ(app::input::pointer_active, 1);
  EXPECT_EQ(app::input::pointer_id, 1);
  EXPECT_EQ(intents::source.get(0), intent_source_keyboard);
}

TEST_F(MovementTest, APointerThatGoesDownAndUpInOneFrameStillMovesTheMouse) {
  frame::pointer_count = 1;
  set_pointer(0, 2, mouse_centre_x() + 100.0f, mouse_centre_y(), false, true, true);
  play_tick();
  EXPECT_EQ(player::cell, 1);
  // Nothing will report it going up later, so it is not left tracked and a
  // second quick tap is taken as well.
  EXPECT_EQ(app::input::pointer_active, 0);
  for (int32_t t = 0; t < player_move_cooldown_ticks; ++t) {
    set_pointer(0, 2, mouse_centre_x() + 200.0f, mouse_centre_y(), false, t + 1 == player_move_cooldown_ticks, true);
    play_tick();
  }
  EXPECT_EQ(player::cell, 2);
}

// ------------------------------------------------------------ intent slots

TEST_F(MovementTest, EightIntentsFillTheSlotsAndANinthSetsOverflowed) {
  place_player(3);
  maze::revision = 4;
  for (int32_t i = 0; i < 9; ++i) add_intent(1 + i % 4, intent_source_pointer, 100 + i);
  EXPECT_EQ(app::input::intent_count, 8);
  EXPECT_EQ(app::input::overflowed, 1);
  for (int32_t slot = 0; slot < 8; ++slot) {
    SCOPED_TRACE(slot);
    EXPECT_EQ(intents::valid.get(slot), 1);
    EXPECT_EQ(intents::direction.get(slot), 1 + slot % 4);
    EXPECT_EQ(intents::pointer_id.get(slot), 100 + slot);
    EXPECT_EQ(intents::player_cell.get(slot), 3);
    EXPECT_EQ(intents::topology_revision.get(slot), 4);
    EXPECT_EQ(intents::ordinal.get(slot), slot);
  }
}

TEST_F(MovementTest, IntentsWithoutDirectionOrSourceAddNothingAndANegativeCountCountsAsZero) {
  add_intent(direction_none, intent_source_keyboard, -1);
  add_intent(direction_east, 0, -1);
  EXPECT_EQ(app::input::intent_count, 0);
  EXPECT_EQ(intents::valid.get(0), 0);

  app::input::intent_count = -5;
  add_intent(direction_east, intent_source_keyboard, -1);
  EXPECT_EQ(app::input::intent_count, 1);
  EXPECT_EQ(intents::direction.get(0), direction_east);
  EXPECT_EQ(intents::ordinal.get(0), 0);
}

TEST_F(MovementTest, TheFirstIntentThatStillHoldsIsAppliedAndOnlyOne) {
  place_player(3);                                          // opens north and south
  add_intent(direction_east, intent_source_keyboard, -1);   // a wall
  add_intent(direction_north, intent_source_keyboard, -1);  // made for the old revision
  add_intent(direction_north, intent_source_keyboard, -1);  // made for another cell
  add_intent(direction_south, intent_source_keyboard, -1);
  add_intent(direction_north, intent_source_keyboard, -1);
  intents::topology_revision.set(1, maze::revision - 1);
  intents::player_cell.set(2, 0);
  process_intents();
  EXPECT_EQ(player::cell, 6);
  EXPECT_EQ(player::moves, 1);
  EXPECT_EQ(app::input::intent_count, 0);
  for (int32_t slot = 0; slot < 8; ++slot) EXPECT_EQ(intents::valid.get(slot), 0);
}

TEST_F(MovementTest, StaleIntentsAreRejected) {
  struct Case {
    const char* name;
    void (*make_stale)();
  };
  const Case cases[] = {
      {"a new maze went live", [] { maze::revision += 1; }},
      {"made for another cell", [] { intents::player_cell.set(0, 3); }},
      {"already used", [] { intents::valid.set(0, 0); }},
      {"no direction", [] { intents::direction.set(0, direction_none); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    start_level(small_maze);
    add_intent(direction_east, intent_source_keyboard, -1);
    c.make_stale();
    evaluate_intent(0);
    EXPECT_EQ(outcome::accepted, 0);
    EXPECT_EQ(outcome::next_cell, 0);
    EXPECT_EQ(outcome::direction, direction_none);
    EXPECT_EQ(outcome::intent_index, 0);
    process_intents();
    EXPECT_EQ(player::cell, 0);
    EXPECT_EQ(player::moves, 0);
  }
}

TEST_F(MovementTest, AnIndexOutsideTheCollectedIntentsIsRejectedWithThatIndex) {
  add_intent(direction_east, intent_source_keyboard, -1);
  for (int32_t index : {1, 7, 8, -1}) {
    SCOPED_TRACE(index);
    evaluate_intent(index);
    EXPECT_EQ(outcome::accepted, 0);
    EXPECT_EQ(outcome::intent_index, index);
  }
  evaluate_intent(0);
  EXPECT_EQ(outcome::accepted, 1);
  EXPECT_EQ(outcome::next_cell, 1);
  EXPECT_EQ(outcome::reached_goal, 0);
  EXPECT_EQ(outcome::topology_revision, maze::revision);
}

TEST_F(MovementTest, AMoveIsRejectedWhileThePlayerMayNotMove) {
  struct Case {
    const char* name;
    void (*set_up)();
  };
  const Case cases[] = {
      {"cooling down", [] { player::cooldown = 1; }}, {"level completed", [] { player::completed = 1; }},
      {"maze not ready", [] { maze::ready = 0; }},    {"cell beyond the maze", [] { player::cell = 9; }},
      {"negative cell", [] { player::cell = -1; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    start_level(small_maze);
    c.set_up();
    evaluate_move(direction_east);
    EXPECT_EQ(outcome::accepted, 0);
    EXPECT_EQ(outcome::next_cell, player::cell);
    EXPECT_EQ(outcome::source_cell, player::cell);
    EXPECT_EQ(outcome::intent_index, -1);
  }
}

TEST_F(MovementTest, TheCommitChecksTheVerdictAgainAndUsesTheIntentUpEitherWay) {
  struct Case {
    const char* name;
    void (*change)();
    bool moves;
  };
  // Each change comes after intent 0 (east from cell 0) was accepted.
  const Case cases[] = {
      {"nothing changed", [] {}, true},
      {"the wall closed in the same revision", [] { maze::walls.set(0, maze::walls.get(0) | 2); }, false},
      {"the goal moved onto the next cell", [] { maze::goal_cell = 1; }, false},
      {"the player is elsewhere", [] { player::cell = 3; }, false},
      {"a new maze revision", [] { maze::revision += 1; }, false},
      {"a cooldown started", [] { player::cooldown = 2; }, false},
      {"the level completed", [] { player::completed = 1; }, false},
      {"the maze is not ready", [] { maze::ready = 0; }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    start_level(small_maze);
    add_intent(direction_east, intent_source_keyboard, -1);
    evaluate_intent(0);
    ASSERT_EQ(outcome::accepted, 1);
    c.change();
    const int32_t cell_before = player::cell;
    EXPECT_EQ(apply_movement_outcome(), c.moves);
    EXPECT_EQ(intents::valid.get(0), 0);
    EXPECT_EQ(player::cell, c.moves ? 1 : cell_before);
    EXPECT_EQ(player::moves, c.moves ? 1 : 0);
  }
}

TEST_F(MovementTest, TheCommittedMoveUpdatesThePlayerAndWhereTheMouseIsHeaded) {
  place_player(2);
  add_intent(direction_south, intent_source_keyboard, -1);
  process_intents();
  EXPECT_EQ(player::cell, 5);
  EXPECT_EQ(player::cooldown, 7);
  EXPECT_EQ(player::completed, 0);
  EXPECT_EQ(view::facing, direction_south);
  EXPECT_EQ(view::is_moving, 1);
  EXPECT_EQ(view::target_x, 2.5f);
  EXPECT_EQ(view::target_y, 1.5f);
  EXPECT_EQ(view::x, 2.5f) << "the glide starts on the next tick";
  EXPECT_EQ(view::y, 0.5f);

  player::cooldown = 0;
  add_intent(direction_south, intent_source_keyboard, -1);
  process_intents();
  EXPECT_EQ(player::cell, 8);
  EXPECT_EQ(player::completed, 1);
  EXPECT_EQ(outcome::reached_goal, 1);
}

// ------------------------------------------------------------ camera

TEST_F(MovementTest, NothingMovesOrQueuesUntilTheIntroEndsAndInputWasReleased) {
  camera::stage = camera_stage_zooming_in;
  camera::stage_ticks = camera_zoom_ticks - 1;
  hold_key(key_right);
  play_tick();
  EXPECT_EQ(camera::stage, camera_stage_normal);
  EXPECT_EQ(camera::needs_neutral, 1);
  EXPECT_EQ(player::moves, 0);
  EXPECT_EQ(app::input::intent_count, 0);

  tap_at_offset(0.0f, 100.0f);
  EXPECT_TRUE(move_ticks(5).empty()) << "still held";
  EXPECT_EQ(app::input::intent_count, 0);
  EXPECT_EQ(app::input::pointer_active, 0);

  clear_host_input();
  EXPECT_TRUE(move_ticks(1).empty()) << "the tick that finds the input neutral";
  EXPECT_EQ(camera::needs_neutral, 0);
  hold_key(key_right);
  EXPECT_EQ(move_ticks(1), (std::vector<int32_t>{1}));
}

// ------------------------------------------------------------ glide and animation

TEST_F(MovementTest, TheMouseGlidesTowardItsNewCellAndScurries) {
  hold_key(key_right);
  play_tick();  // moves at the end of the tick
  hold_key(key_right, false);
  ASSERT_EQ(player::cell, 1);
  EXPECT_EQ(view::animation_tick, 1) << "still during the first tick";

  struct Tick {
    int32_t animation_tick, animation_frame;
  };
  const Tick expected[] = {{2, 0}, {3, 1}, {4, 1}, {5, 1}, {6, 0}, {7, 0}, {8, 0}, {9, 1}};
  float gap = 1.0f;
  for (const Tick& t : expected) {
    SCOPED_TRACE(t.animation_tick);
    play_tick();
    gap *= 1.0f - player_glide_rate;
    EXPECT_NEAR(view::x, 1.5f - gap, 1e-5f);
    EXPECT_EQ(view::y, 0.5f);
    EXPECT_EQ(view::is_moving, 1);
    EXPECT_EQ(view::animation_tick, t.animation_tick);
    EXPECT_EQ(view::animation_frame, t.animation_frame);
  }
  // Eastward the roll is 180 degrees per cell glided so far.
  EXPECT_NEAR(view::roll_angle, (view::x - 0.5f) * 180.0f, 1e-3f);

  for (int32_t t = 0; t < 60; ++t) play_tick();
  EXPECT_NEAR(view::x, 1.5f, 1e-3f);
  EXPECT_EQ(view::is_moving, 0);
  EXPECT_EQ(view::animation_frame, 0);
  view::animation_tick = 47;
  play_tick();
  EXPECT_EQ(view::animation_tick, 0) << "the idle cycle is 48 ticks";
}

TEST_F(MovementTest, TheRollAngleStaysWithinOneTurn) {
  struct Case {
    const char* name;
    int32_t from_cell, key;
    float start_angle, expected_angle;
  };
  const Case cases[] = {
      {"east rolls forward", 0, key_right, 10.0f, 10.0f + 0.24f * 180.0f},
      {"east past a full turn", 0, key_right, 350.0f, 350.0f + 0.24f * 180.0f - 360.0f},
      {"west below zero", 1, key_left, 0.0f, 360.0f - 0.24f * 180.0f},
      {"north rolls forward", 3, key_up, 0.0f, 0.24f * 180.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clear_host_input();
    start_level(small_maze);
    place_player(c.from_cell);
    hold_key(c.key);
    play_tick();
    hold_key(c.key, false);
    view::roll_angle = c.start_angle;
    play_tick();
    EXPECT_NEAR(view::roll_angle, c.expected_angle, 1e-3f);
  }
}

// ------------------------------------------------------------ garbage state

class GarbageState {
 public:
  explicit GarbageState(uint32_t seed) : random_(seed) {}

  int32_t integer() {
    switch (random_() % 5) {
      case 0: return static_cast<int32_t>(random_() % 14) - 3;
      case 1:
        return pick_integer(
            {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), 4095, 4096, 8, -1});
      case 2: return static_cast<int32_t>(random_() % 60);
      default: return static_cast<int32_t>(random_());
    }
  }

  float real() {
    switch (random_() % 6) {
      case 0:
        return pick_real({std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity(), 3.0e38f, -3.0e38f, 0.0f});
      case 1: return static_cast<float>(integer());
      default: return static_cast<float>(static_cast<int32_t>(random_() % 2001) - 1000) * 0.5f;
    }
  }

  bool chance(uint32_t one_in) { return random_() % one_in == 0; }

  void scramble_state() {
    namespace input = app::input;
    for (int32_t* field : {&input::intent_count,
                           &input::overflowed,
                           &input::pointer_active,
                           &input::pointer_id,
                           &player::cell,
                           &player::completed,
                           &player::cooldown,
                           &player::moves,
                           &view::animation_frame,
                           &view::animation_tick,
                           &view::facing,
                           &view::is_moving,
                           &outcome::accepted,
                           &outcome::direction,
                           &outcome::intent_index,
                           &outcome::next_cell,
                           &outcome::reached_goal,
                           &outcome::source_cell,
                           &outcome::topology_revision,
                           &maze::width,
                           &maze::height,
                           &maze::cell_count,
                           &maze::goal_cell,
                           &maze::revision,
                           &maze::ready,
                           &maze::alternate_walls_active,
                           &camera::stage,
                           &camera::stage_ticks,
                           &camera::needs_neutral}) {
      *field = integer();
    }
    for (float* field : {&view::x, &view::y, &view::target_x, &view::target_y, &view::roll_angle, &camera::origin_x,
                         &camera::origin_y, &camera::cell_size, &camera::normal_origin_x, &camera::normal_origin_y,
                         &camera::normal_cell_size, &camera::overview_origin_x, &camera::overview_origin_y,
                         &camera::overview_cell_size, &app::layout::reference_scale, &app::layout::play::x,
                         &app::layout::play::y, &app::layout::play::width, &app::layout::play::height}) {
      *field = real();
    }
    for (auto column : {intents::valid, intents::direction, intents::source, intents::pointer_id, intents::player_cell,
                        intents::topology_revision, intents::ordinal}) {
      for (int32_t slot = 0; slot < 8; ++slot) column.set(slot, integer());
    }
    // Mostly small mazes with few walls, so that moves do happen.
    if (chance(2)) {
      maze::width = 1 + static_cast<int32_t>(random_() % 8);
      maze::height = 1 + static_cast<int32_t>(random_() % 8);
      maze::cell_count = maze::width * maze::height + static_cast<int32_t>(random_() % 3) - 1;
      maze::ready = 1;
      player::completed = 0;
    }
    for (int32_t cell = 0; cell < 4096; ++cell) {
      maze::walls.set(cell, chance(4) ? integer() : static_cast<int32_t>(random_() % 16));
      maze::alternate_walls.set(cell, integer());
    }
  }

  void scramble_host_input() {
    frame::pointer_count = chance(3) ? integer() : static_cast<int32_t>(random_() % 9);
    frame::dropped_pointer_count = chance(8) ? integer() : 0;
    for (int32_t slot = 0; slot < 8; ++slot) {
      pointers::id.set(slot, chance(2) ? static_cast<int32_t>(random_() % 4) : integer());
      pointers::is_down.set(slot, static_cast<int32_t>(random_() % 2));
      pointers::went_down.set(slot, static_cast<int32_t>(random_() % 2));
      pointers::went_up.set(slot, static_cast<int32_t>(random_() % 2));
      pointers::x_logical.set(slot, real());
      pointers::y_logical.set(slot, real());
    }
    for (int32_t key : {key_up, key_w, key_right, key_d, key_down, key_s, key_left, key_a}) {
      frame::keys.set(key, chance(4) ? integer() : 0);
    }
    namespace display = app::host::frame::display;
    for (float* field : {&display::logical_width, &display::logical_height, &display::safe_x, &display::safe_y,
                         &display::safe_width, &display::safe_height}) {
      if (chance(10)) *field = real();
    }
  }

 private:
  int32_t pick_integer(std::initializer_list<int32_t> values) { return values.begin()[random_() % values.size()]; }
  float pick_real(std::initializer_list<float> values) { return values.begin()[random_() % values.size()]; }

  std::mt19937 random_;
};

TEST_F(MovementTest, AnyStateAndAnyInputKeepTheRulesOfAMove) {
  GarbageState garbage(20240611);
  int32_t moves_seen = 0;
  for (int32_t step = 0; step < 20000; ++step) {
    if (step % 40 == 0) garbage.scramble_state();
    if (garbage.chance(200)) reset_player();
    garbage.scramble_host_input();

    collect_intents();
    ASSERT_GE(app::input::intent_count, 0);
    ASSERT_LE(app::input::intent_count, 1) << "one intent at most per tick";

    const int32_t cell_before = player::cell;
    const int32_t moves_before = player::moves;
    const int32_t completed_before = player::completed;
    update_player();

    ASSERT_EQ(app::input::intent_count, 0);
    for (int32_t slot = 0; slot < 8; ++slot) ASSERT_EQ(intents::valid.get(slot), 0);
    if (player::moves != moves_before) {
      ++moves_seen;
      ASSERT_EQ(player::moves, wrapping_add(moves_before, 1));
      ASSERT_EQ(completed_before, 0);
      ASSERT_EQ(maze::ready, 1);
      ASSERT_EQ(player::cooldown, player_move_cooldown_ticks);
      ASSERT_TRUE(maze_can_move(cell_before, view::facing)) << "from " << cell_before << " facing " << view::facing;
      ASSERT_EQ(player::cell, maze_neighbour(cell_before, view::facing));
      ASSERT_EQ(player::completed, player::cell == maze::goal_cell ? 1 : 0);
    } else {
      ASSERT_EQ(player::cell, cell_before);
    }
  }
  EXPECT_GT(moves_seen, 50) << "the garbage should still let some moves through";
}

}  // namespace
