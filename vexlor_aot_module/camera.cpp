#include "camera.hpp"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "arith.hpp"
#include "host.hpp"
#include "input.hpp"
#include "registry.hpp"
#include "state_tree.hpp"

namespace quillfen {

namespace {

namespace play = app::layout::play;

float load_f32(int32_t camera, std::string_view field) {
  return vexlor_jit_global_f32_load(vexlor::key_continue(camera, field));
}

void store_f32(int32_t camera, std::string_view field, float value) {
  vexlor_jit_global_f32_store(vexlor::key_continue(camera, field), value);
}

int32_t load_i32(int32_t camera, std::string_view field) {
  return vexlor_jit_global_i32_load(vexlor::key_continue(camera, field));
}

void store_i32(int32_t camera, std::string_view field, int32_t value) {
  vexlor_jit_global_i32_store(vexlor::key_continue(camera, field), value);
}

void use_view(int32_t camera, float origin_x, float origin_y, float cell_size) {
  store_f32(camera, ".origin_x", origin_x);
  store_f32(camera, ".origin_y", origin_y);
  store_f32(camera, ".cell_size", cell_size);
}

void use_normal_view(int32_t camera) {
  use_view(camera, load_f32(camera, ".normal_origin_x"), load_f32(camera, ".normal_origin_y"),
           load_f32(camera, ".normal_cell_size"));
}

void use_overview(int32_t camera) {
  use_view(camera, load_f32(camera, ".overview_origin_x"), load_f32(camera, ".overview_origin_y"),
           load_f32(camera, ".overview_cell_size"));
}

// A maze narrower than one cell is laid out as one cell wide, so that no
// size below divides by zero.
float cells_of(int32_t count) { return static_cast<float>(std::max(count, 1)); }

// One axis of the close view: the maze centred when it fits, else the
// mouse's glide position centred with no empty space beyond either edge.
float follow_axis(float play_start, float play_size, float maze_size, float player_position, float cell) {
  if (maze_size <= play_size) return play_start + play_size * 0.5f - maze_size * 0.5f;
  float origin = play_start + play_size * 0.5f - player_position * cell;
  origin = std::max(origin, play_start + play_size - maze_size);
  return std::min(origin, play_start);
}

void follow_player(int32_t camera, int32_t width, int32_t height) {
  const float cell = load_f32(camera, ".normal_cell_size");
  store_f32(camera, ".normal_origin_x",
            follow_axis(play::x, play::width, cells_of(width) * cell, app::player_view::x, cell));
  store_f32(camera, ".normal_origin_y",
            follow_axis(play::y, play::height, cells_of(height) * cell, app::player_view::y, cell));
  use_normal_view(camera);
}

void fit_overview(int32_t camera, int32_t width, int32_t height) {
  const float cell = std::min(play::width / cells_of(width), play::height / cells_of(height));
  store_f32(camera, ".overview_cell_size", cell);
  store_f32(camera, ".overview_origin_x", play::x + play::width * 0.5f - cells_of(width) * cell * 0.5f);
  store_f32(camera, ".overview_origin_y", play::y + play::height * 0.5f - cells_of(height) * cell * 0.5f);
  use_overview(camera);
}

float blend(float overview, float normal, float eased) { return overview + (normal - overview) * eased; }

void apply_blend(int32_t camera) {
  const float t = std::min(static_cast<float>(load_i32(camera, ".stage_ticks")) / camera_zoom_ticks, 1.0f);
  const float eased = t * t * (3.0f - 2.0f * t);
  use_view(camera, blend(load_f32(camera, ".overview_origin_x"), load_f32(camera, ".normal_origin_x"), eased),
           blend(load_f32(camera, ".overview_origin_y"), load_f32(camera, ".normal_origin_y"), eased),
           blend(load_f32(camera, ".overview_cell_size"), load_f32(camera, ".normal_cell_size"), eased));
}

bool any_pointer_down() {
  namespace pointers = app::host::frame::pointers;
  const int32_t count = std::clamp(app::host::frame::pointer_count, 0, host_pointer_slots);
  for (int32_t slot = 0; slot < count; ++slot) {
    if (pointers::is_down.get(slot) != 0 || pointers::went_down.get(slot) != 0) return true;
  }
  return false;
}

// Stage 0 after a zoom-in: movement waits until every key and pointer has
// been released.
void wait_for_neutral_input(int32_t camera) {
  app::input::pointer_active = 0;
  app::input::pointer_id = -1;
  if (held_direction_key() == direction_none && !any_pointer_down()) store_i32(camera, ".needs_neutral", 0);
}

int32_t advance_stage_ticks(int32_t camera) {
  const int32_t ticks = wrapping_add(load_i32(camera, ".stage_ticks"), 1);
  store_i32(camera, ".stage_ticks", ticks);
  return ticks;
}

void enter_stage(int32_t camera, int32_t stage) {
  store_i32(camera, ".stage", stage);
  store_i32(camera, ".stage_ticks", 0);
}

}  // namespace

void fit_camera(int32_t camera, int32_t width, int32_t height) {
  store_f32(camera, ".normal_cell_size", std::min(play::width, play::height) / camera_close_view_cells);
  follow_player(camera, width, height);
}

void start_camera_intro(int32_t camera) {
  store_i32(camera, ".stage_ticks", 0);
  store_i32(camera, ".needs_neutral", 0);
  if (app::maze::tier == 0) {
    store_i32(camera, ".stage", camera_stage_normal);
    use_normal_view(camera);
    return;
  }
  store_i32(camera, ".stage", camera_stage_overview_hold);
  follow_player(camera, app::maze::width, app::maze::height);
  fit_overview(camera, app::maze::width, app::maze::height);
}

int32_t update_camera_stage(int32_t camera) {
  const int32_t stage = load_i32(camera, ".stage");
  if (stage == camera_stage_overview_hold) {
    const int32_t ticks = advance_stage_ticks(camera);
    use_overview(camera);
    if (ticks >= camera_overview_hold_ticks) enter_stage(camera, camera_stage_zooming_in);
    return 1;
  }
  if (stage == camera_stage_zooming_in) {
    const int32_t ticks = advance_stage_ticks(camera);
    apply_blend(camera);
    if (ticks >= camera_zoom_ticks) {
      enter_stage(camera, camera_stage_normal);
      store_i32(camera, ".needs_neutral", 1);
      follow_player(camera, app::maze::width, app::maze::height);
    }
    return 1;
  }
  if (load_i32(camera, ".needs_neutral") == 0) {
    follow_player(camera, app::maze::width, app::maze::height);
    return 0;
  }
  wait_for_neutral_input(camera);
  return 1;
}

// fit_camera already leaves the close view, centred on the mouse, in use: the
// view of stage 0.
void refit_camera(int32_t camera) {
  fit_camera(camera, app::maze::width, app::maze::height);
  const int32_t stage = load_i32(camera, ".stage");
  if (stage == camera_stage_overview_hold) {
    fit_overview(camera, app::maze::width, app::maze::height);
  } else if (stage == camera_stage_zooming_in) {
    fit_overview(camera, app::maze::width, app::maze::height);
    apply_blend(camera);
  }
}

}  // namespace quillfen
