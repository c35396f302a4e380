#include "maze_view.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "arith.hpp"
#include "fnv.hpp"
#include "gfx.hpp"
#include "layout.hpp"
#include "maze_wall_cache.hpp"
#include "player_view.hpp"
#include "state_tree.hpp"

namespace quillfen {

namespace {

constexpr Rgba floor_colour{0.66f, 0.82f, 0.53f, 1.0f};
constexpr Rgba marker_post_colour{0.12f, 0.24f, 0.20f, 1.0f};
constexpr Rgba frame_outer_colour{0.16f, 0.30f, 0.20f, 0.96f};
constexpr Rgba frame_middle_colour{0.28f, 0.49f, 0.29f, 1.0f};
constexpr Rgba frame_inner_colour{0.67f, 0.82f, 0.48f, 0.92f};
constexpr Rgba wall_outer_colour{0.19f, 0.37f, 0.23f, 1.0f};
constexpr Rgba wall_inner_colour{0.51f, 0.69f, 0.36f, 1.0f};
constexpr Rgba cheese_box_colour{0.97f, 0.79f, 0.29f, 1.0f};
constexpr Rgba mouse_body_colour{0.82f, 0.38f, 0.45f, 1.0f};
constexpr Rgba mouse_highlight_colour{1.0f, 0.85f, 0.63f, 0.70f};
constexpr Rgba board_colour{0.36f, 0.22f, 0.12f, 1.0f};

struct BoardPalette {
  Rgba entry_marker, exit_marker, frame_corners;
};

constexpr BoardPalette board_palettes[4] = {
    {{0.17f, 0.56f, 0.60f, 1.0f}, {0.92f, 0.62f, 0.18f, 1.0f}, {0.23f, 0.45f, 0.28f, 1.0f}},
    {{0.17f, 0.62f, 0.60f, 1.0f}, {0.92f, 0.67f, 0.18f, 1.0f}, {0.34f, 0.52f, 0.29f, 1.0f}},
    {{0.17f, 0.56f, 0.67f, 1.0f}, {0.96f, 0.62f, 0.18f, 1.0f}, {0.19f, 0.40f, 0.27f, 1.0f}},
    {{0.24f, 0.56f, 0.60f, 1.0f}, {0.92f, 0.62f, 0.24f, 1.0f}, {0.21f, 0.40f, 0.45f, 1.0f}},
};

constexpr int32_t cheese_key = vexlor::key_of("app.render.cheese_goal");
constexpr int32_t mouse_idle_0_key = vexlor::key_of("app.render.mouse_idle_frame_0");
constexpr int32_t mouse_idle_1_key = vexlor::key_of("app.render.mouse_idle_frame_1");
constexpr int32_t mouse_scurry_0_key = vexlor::key_of("app.render.mouse_scurry_frame_0");
constexpr int32_t mouse_scurry_1_key = vexlor::key_of("app.render.mouse_scurry_frame_1");
constexpr int32_t full_alpha = 255;

// Half-open interval [start, end) on one axis; empty unless start < end
// (NaN bounds are empty too).
struct Span {
  float start, end;
};

bool is_empty(Span span) { return !(span.start < span.end); }

Span clip(Span span, Span bounds) { return {std::max(span.start, bounds.start), std::min(span.end, bounds.end)}; }

// Everything the maze view needs of the state, read once per frame.
struct MazeView {
  float s;  // reference scale
  Span play_x, play_y;
  float origin_x, origin_y, cell;
  int32_t width, height;
  float maze_width, maze_height;  // in logical units
};

MazeView read_view() {
  namespace play = app::layout::play;
  MazeView view{};
  view.s = app::layout::reference_scale;
  view.play_x = {play::x, play::x + play::width};
  view.play_y = {play::y, play::y + play::height};
  view.origin_x = app::camera::origin_x;
  view.origin_y = app::camera::origin_y;
  view.cell = app::camera::cell_size;
  view.width = app::maze::width;
  view.height = app::maze::height;
  view.maze_width = static_cast<float>(view.width) * view.cell;
  view.maze_height = static_cast<float>(view.height) * view.cell;
  return view;
}

void fill(float x, float y, float w, float h, Rgba colour) {
  fill_rect(x, y, w, h, colour.red, colour.green, colour.blue, colour.alpha);
}

// Four rectangles of thickness t inside (x, y, w, h).
void outline(float x, float y, float w, float h, float t, Rgba colour) {
  if (!(w > 0.0f && h > 0.0f && t > 0.0f)) return;
  fill(x, y, w, t, colour);
  fill(x, y + h - t, w, t, colour);
  if (2.0f * t < h) {
    fill(x, y + t, t, h - 2.0f * t, colour);
    fill(x + w - t, y + t, t, h - 2.0f * t, colour);
  }
}

void draw_marker(float x, float y, float s, Rgba colour) {
  fill(x - 2.5f * s, y - 11.0f * s, 5.0f * s, 22.0f * s, marker_post_colour);
  fill(x - 11.0f * s, y - 11.0f * s, 22.0f * s, 4.0f * s, colour);
  fill_blob(x, y - 11.0f * s, 5.0f * s, colour);
}

bool maze_overflows_play(const MazeView& view) {
  return view.origin_x < view.play_x.start || view.origin_y < view.play_y.start ||
         view.origin_x + view.maze_width > view.play_x.end || view.origin_y + view.maze_height > view.play_y.end;
}

void draw_frame(const MazeView& view, const BoardPalette& palette) {
  const float s = view.s;
  Span across = {view.origin_x - 8.0f * s, view.origin_x + view.maze_width + 8.0f * s};
  Span down = {view.origin_y - 8.0f * s, view.origin_y + view.maze_height + 8.0f * s};
  if (maze_overflows_play(view)) {
    across = clip(across, view.play_x);
    down = clip(down, view.play_y);
  }
  const float x = across.start;
  const float y = down.start;
  const float w = across.end - across.start;
  const float h = down.end - down.start;
  outline(x, y, w, h, 8.0f * s, frame_outer_colour);
  outline(x + 2.0f * s, y + 2.0f * s, w - 4.0f * s, h - 4.0f * s, 3.0f * s, frame_middle_colour);
  outline(x + 5.0f * s, y + 5.0f * s, w - 10.0f * s, h - 10.0f * s, 1.0f * s, frame_inner_colour);
  fill_blob(x, y, 7.0f * s, palette.frame_corners);
  fill_blob(x + w, y, 7.0f * s, palette.frame_corners);
  fill_blob(x, y + h, 7.0f * s, palette.frame_corners);
  fill_blob(x + w, y + h, 7.0f * s, palette.frame_corners);
}

// Markers, floor and frame, only while some of the maze is visible.
void draw_board(const MazeView& view) {
  const Span visible_x = clip({view.origin_x, view.origin_x + view.maze_width}, view.play_x);
  const Span visible_y = clip({view.origin_y, view.origin_y + view.maze_height}, view.play_y);
  if (is_empty(visible_x) || is_empty(visible_y)) return;
  const BoardPalette& palette = board_palettes[board_palette(app::level::seed, app::maze::tier)];
  const float s = view.s;
  draw_marker(view.origin_x - 11.0f * s, view.origin_y + view.cell * 0.5f, s, palette.entry_marker);
  draw_marker(view.origin_x + view.maze_width + 11.0f * s, view.origin_y + view.maze_height - view.cell * 0.5f, s,
              palette.exit_marker);
  fill(visible_x.start, visible_y.start, visible_x.end - visible_x.start, visible_y.end - visible_y.start,
       floor_colour);
  draw_frame(view, palette);
}

// Half up: the floor, plus 1 when the fraction is at least 0.5.
float round_half_up(float v) {
  const float whole = std::floor(v);
  return v - whole >= 0.5f ? whole + 1.0f : whole;
}

// Drawable pixels per logical unit; 0 when unknown (also for a value that
// is not a positive finite number), which turns snapping off.
float usable_pixel_scale(float scale) { return scale > 0.0f && std::isfinite(scale) ? scale : 0.0f; }

// A wall seen along its own axes: across its thickness and along its length.
struct WallAxes {
  bool vertical;
  Span play_across, play_along;
  float scale_across, scale_along;
};

void fill_wall(const WallAxes& axes, Span across, Span along, Rgba colour) {
  if (axes.vertical) {
    fill(across.start, along.start, across.end - across.start, along.end - along.start, colour);
  } else {
    fill(along.start, across.start, along.end - along.start, across.end - across.start, colour);
  }
}

// An edge the clip to the play rectangle put on its edge stays there; any
// other edge is the snapped one, clipped.
float snapped_start(float snapped, float clipped, float bound) {
  return clipped == bound ? bound : std::max(snapped, bound);
}

float snapped_end(float snapped, float clipped, float bound) {
  return clipped == bound ? bound : std::min(snapped, bound);
}

float snap_to_pixel(float v, float scale) { return round_half_up(v * scale) / scale; }

// A line of `pixels` device pixels centred on `position`; first_pixel is
// its left (or top) pixel edge.
float centred_first_pixel(float position, float pixels, float scale) {
  return round_half_up(position * scale - pixels * 0.5f);
}

void draw_snapped_wall(const WallAxes& axes, float position, Span outer, Span along, float s) {
  const float scale = axes.scale_across;
  const float outer_pixels = std::max(1.0f, round_half_up(4.0f * s * scale));
  const float outer_first = centred_first_pixel(position, outer_pixels, scale);
  const Span outer_snapped = {
      snapped_start(outer_first / scale, outer.start, axes.play_across.start),
      snapped_end((outer_first + outer_pixels) / scale, outer.end, axes.play_across.end)};
  const Span along_snapped = {
      snapped_start(snap_to_pixel(along.start, axes.scale_along), along.start, axes.play_along.start),
      snapped_end(snap_to_pixel(along.end, axes.scale_along), along.end, axes.play_along.end)};
  if (is_empty(outer_snapped) || is_empty(along_snapped)) return;
  fill_wall(axes, outer_snapped, along_snapped, wall_outer_colour);

  const float inner_pixels = std::clamp(round_half_up(2.0f * s * scale), 1.0f, outer_pixels);
  const float inner_first = std::clamp(centred_first_pixel(position, inner_pixels, scale), outer_first,
                                       outer_first + outer_pixels - inner_pixels);
  const Span inner = clip({inner_first / scale, (inner_first + inner_pixels) / scale}, outer_snapped);
  if (is_empty(inner)) return;
  fill_wall(axes, inner, along_snapped, wall_inner_colour);
}

// A wall centred on the grid line at `position` across, from along_start
// for `length` along: 4s thick with a 2s light core, clipped to the play
// rectangle and, when the device scale is known, snapped to device pixels.
void draw_wall(const WallAxes& axes, float position, float along_start, float length, float s) {
  const Span outer = clip({position - 2.0f * s, position + 2.0f * s}, axes.play_across);
  const Span along = clip({along_start, along_start + length}, axes.play_along);
  if (is_empty(outer) || is_empty(along)) return;
  if (axes.scale_across == 0.0f || axes.scale_along == 0.0f) {
    fill_wall(axes, outer, along, wall_outer_colour);
    fill_wall(axes, {position - s, position + s}, along, wall_inner_colour);
    return;
  }
  draw_snapped_wall(axes, position, outer, along, s);
}

WallAxes vertical_wall_axes(const MazeView& view) {
  return {true, view.play_x, view.play_y, usable_pixel_scale(pixel_scale_x()), usable_pixel_scale(pixel_scale_y())};
}

WallAxes horizontal_wall_axes(const MazeView& view) {
  return {false, view.play_y, view.play_x, usable_pixel_scale(pixel_scale_y()), usable_pixel_scale(pixel_scale_x())};
}

void draw_cached_walls(const MazeView& view) {
  namespace cache = app::maze_wall_cache;
  const WallAxes vertical = vertical_wall_axes(view);
  const int32_t vertical_count = std::clamp(cache::vertical_count, 0, wall_cache_segment_capacity);
  for (int32_t i = 0; i < vertical_count; ++i) {
    draw_wall(vertical, view.origin_x + static_cast<float>(cache::vertical::x.get(i)) * view.cell,
              view.origin_y + static_cast<float>(cache::vertical::y.get(i)) * view.cell,
              static_cast<float>(cache::vertical::length.get(i)) * view.cell, view.s);
  }
  const WallAxes horizontal = horizontal_wall_axes(view);
  const int32_t horizontal_count = std::clamp(cache::horizontal_count, 0, wall_cache_segment_capacity);
  for (int32_t i = 0; i < horizontal_count; ++i) {
    draw_wall(horizontal, view.origin_y + static_cast<float>(cache::horizontal::y.get(i)) * view.cell,
              view.origin_x + static_cast<float>(cache::horizontal::x.get(i)) * view.cell,
              static_cast<float>(cache::horizontal::length.get(i)) * view.cell, view.s);
  }
}

// Inclusive range of indexes; empty when first > last.
struct IndexRange {
  int32_t first, last;
};

// Item i spans [origin + i c - before, origin + i c + after] on its axis.
struct GridAxis {
  float origin, cell, before, after;
  Span play;
  int32_t last_index;
};

bool item_meets_play(const GridAxis& axis, int32_t i) {
  const float at = axis.origin + static_cast<float>(i) * axis.cell;
  return !is_empty(clip({at - axis.before, at + axis.after}, axis.play));
}

int32_t index_at(const GridAxis& axis, float position) {
  const int32_t i = truncate_to_i32(std::floor((position - axis.origin) / axis.cell));
  return std::clamp(i, 0, axis.last_index);
}

// The items whose extent can meet the play rectangle: from the index under
// each play edge, clamped to the grid and corrected by up to two steps.
IndexRange visible_items(const GridAxis& axis) {
  IndexRange range{index_at(axis, axis.play.start), index_at(axis, axis.play.end)};
  for (int32_t step = 0; step < 2 && range.first > 0 && item_meets_play(axis, range.first - 1); ++step) --range.first;
  for (int32_t step = 0; step < 2 && range.first <= range.last && !item_meets_play(axis, range.first); ++step) {
    ++range.first;
  }
  for (int32_t step = 0; step < 2 && range.last < axis.last_index && item_meets_play(axis, range.last + 1); ++step) {
    ++range.last;
  }
  for (int32_t step = 0; step < 2 && range.last >= range.first && !item_meets_play(axis, range.last); ++step) {
    --range.last;
  }
  return range;
}

// Only cells inside the wall buffer can hold walls, which bounds the grid
// visited whatever size the state claims.
int32_t drawn_columns(int32_t width) { return std::min(width, app::maze::walls.capacity); }

int32_t drawn_rows(int32_t width, int32_t height) {
  return std::min(height, (app::maze::walls.capacity - 1) / width + 1);
}

void draw_walls_cell_by_cell(const MazeView& view) {
  if (view.width < 1 || view.height < 1) return;
  const int32_t columns = drawn_columns(view.width);
  const int32_t rows = drawn_rows(view.width, view.height);
  const float s = view.s;
  const float c = view.cell;
  const GridAxis vertical_lines{view.origin_x, c, 2.0f * s, 2.0f * s, view.play_x, columns};
  const GridAxis horizontal_lines{view.origin_y, c, 2.0f * s, 2.0f * s, view.play_y, rows};
  const GridAxis cell_columns{view.origin_x, c, 0.0f, c, view.play_x, columns - 1};
  const GridAxis cell_rows{view.origin_y, c, 0.0f, c, view.play_y, rows - 1};

  const WallAxes vertical = vertical_wall_axes(view);
  const IndexRange lines_x = visible_items(vertical_lines);
  const IndexRange rows_y = visible_items(cell_rows);
  for (int32_t k = lines_x.first; k <= lines_x.last; ++k) {
    for (int32_t r = rows_y.first; r <= rows_y.last; ++r) {
      if (!vertical_wall_at(k, r)) continue;
      draw_wall(vertical, view.origin_x + static_cast<float>(k) * c, view.origin_y + static_cast<float>(r) * c, c, s);
    }
  }
  const WallAxes horizontal = horizontal_wall_axes(view);
  const IndexRange lines_y = visible_items(horizontal_lines);
  const IndexRange columns_x = visible_items(cell_columns);
  for (int32_t k = lines_y.first; k <= lines_y.last; ++k) {
    for (int32_t col = columns_x.first; col <= columns_x.last; ++col) {
      if (!horizontal_wall_at(k, col)) continue;
      draw_wall(horizontal, view.origin_y + static_cast<float>(k) * c, view.origin_x + static_cast<float>(col) * c, c,
                s);
    }
  }
}

void draw_walls(const MazeView& view) {
  if (!(view.cell > 0.0f && std::isfinite(view.cell))) return;
  if (!maze_overflows_play(view) && wall_cache_is_current() == 1) {
    draw_cached_walls(view);
  } else {
    draw_walls_cell_by_cell(view);
  }
}

void draw_cheese(const MazeView& view) {
  const float c = view.cell;
  const float box_x = view.origin_x + static_cast<float>(wrapping_sub(view.width, 1)) * c + 0.18f * c;
  const float box_y = view.origin_y + static_cast<float>(wrapping_sub(view.height, 1)) * c + 0.18f * c;
  const float box_size = 0.64f * c;
  const bool inside = box_x >= view.play_x.start && box_x + box_size <= view.play_x.end &&
                      box_y >= view.play_y.start && box_y + box_size <= view.play_y.end;
  if (!inside) return;
  if (app::render::cheese_goal_ready == 0) {
    fill(box_x, box_y, box_size, box_size, cheese_box_colour);
    return;
  }
  app::render::cheese_goal::width = scaled_int(32.0f);
  app::render::cheese_goal::height = scaled_int(32.0f);
  const float centre_x = box_x + box_size * 0.5f;
  const float centre_y = box_y + box_size * 0.5f;
  draw_asset(cheese_key, centre_x - 16.0f * view.s, centre_y - 16.0f * view.s, full_alpha, 0.0f);
}

// The sprite record of the mouse frame to draw, or 0 when that frame is not
// loaded.
int32_t mouse_frame_key() {
  namespace render = app::render;
  const bool second_frame = app::player_view::animation_frame == 1;
  if (app::player_view::is_moving != 0) {
    if (second_frame && render::mouse_scurry_frame_1_ready != 0) return mouse_scurry_1_key;
    return render::mouse_scurry_frame_0_ready != 0 ? mouse_scurry_0_key : 0;
  }
  if (second_frame && render::mouse_idle_frame_1_ready != 0) return mouse_idle_1_key;
  return render::mouse_idle_frame_0_ready != 0 ? mouse_idle_0_key : 0;
}

float mouse_rotation() {
  switch (app::player_view::facing) {
    case 1:
      return 0.0f;
    case 2:
      return 90.0f;
    case 3:
      return 180.0f;
    default:
      return 270.0f;
  }
}

void draw_mouse(const MazeView& view) {
  const float s = view.s;
  const float centre_x = player_view_centre_x();
  const float centre_y = player_view_centre_y();
  if (app::render::player_sprite_ready == 0) {
    fill_blob(centre_x, centre_y, 0.3f * view.cell, mouse_body_colour);
    fill_blob(centre_x - 3.0f * s, centre_y - 4.0f * s, 4.0f * s, mouse_highlight_colour);
    return;
  }
  const int32_t frame = mouse_frame_key();
  if (frame == 0) return;
  const float bob = app::player_view::animation_frame == 1 ? -2.0f : 0.0f;
  draw_asset(frame, centre_x - 18.0f * s, centre_y - 18.0f * s + bob * s, full_alpha, mouse_rotation());
}

// Eight Newton steps, so the result is the same in every build.
float newton_sqrt(float v) {
  if (v <= 0.0f) return 0.0f;
  float g = v < 1.0f ? 1.0f : v;
  for (int32_t i = 0; i < 8; ++i) g = (g + v / g) * 0.5f;
  return g;
}

}  // namespace

void draw_maze_view() {
  const MazeView view = read_view();
  draw_board(view);
  push_clip(view.play_x.start, view.play_y.start, view.play_x.end - view.play_x.start,
            view.play_y.end - view.play_y.start);
  draw_cheese(view);
  draw_walls(view);
  draw_mouse(view);
  pop_clip();
}

void fill_blob(float cx, float cy, float r, Rgba colour) {
  fill(cx - r, cy - 0.62f * r, 2.0f * r, 1.24f * r, colour);
  fill(cx - 0.62f * r, cy - r, 1.24f * r, 2.0f * r, colour);
  fill(cx - 0.82f * r, cy - 0.82f * r, 1.64f * r, 1.64f * r, colour);
}

void fill_rounded_rect(float x, float y, float w, float h, float r, float red, float green, float blue, float a) {
  const Rgba colour{board_colour.red + (red - board_colour.red) * a,
                    board_colour.green + (green - board_colour.green) * a,
                    board_colour.blue + (blue - board_colour.blue) * a, 1.0f};
  if (2.0f * r > w) r = w * 0.5f;
  if (2.0f * r > h) r = h * 0.5f;
  if (r <= 1.0f) {
    fill(x, y, w, h, colour);
    return;
  }
  fill(x, y + r, w, h - 2.0f * r, colour);
  const float step = r / 16.0f;
  for (int32_t i = 0; i < 16; ++i) {
    const float dy = static_cast<float>(i) * step;
    const float t = r - dy - step * 0.5f;
    const float inset = r - newton_sqrt(r * r - t * t);
    fill(x + inset, y + dy, w - 2.0f * inset, h - 2.0f * dy, colour);
  }
}

int32_t board_palette(int32_t seed, int32_t tier) {
  int32_t remainder = checked_rem(seed, 31);
  if (remainder < 0) remainder += 31;
  const int32_t clamped_tier = tier >= 0 && tier <= 2 ? tier : 3;
  return (remainder + clamped_tier * 7) % 12 % 4;
}

}  // namespace quillfen
