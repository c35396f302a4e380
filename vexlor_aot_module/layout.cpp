#include "layout.hpp"

#include <cmath>
#include <cstdint>

#include "arith.hpp"
#include "state_tree.hpp"

namespace quillfen {

namespace {

namespace display = app::host::frame::display;
namespace layout = app::layout;

struct RectFields {
  float& x;
  float& y;
  float& width;
  float& height;
};

void place(RectFields rect, float x, float y, float width, float height) {
  rect.x = x;
  rect.y = y;
  rect.width = width;
  rect.height = height;
}

// The left and top edges are inside, the right and bottom edges are not.
bool contains(RectFields rect, float px, float py) {
  return rect.x <= px && px < rect.x + rect.width && rect.y <= py && py < rect.y + rect.height;
}

int32_t hit_when_normal(RectFields rect, float px, float py) {
  return layout_is_normal() == 1 && contains(rect, px, py) ? 1 : 0;
}

// A panel centred vertically on the play rectangle.
float centred_on_play(float height) { return layout::play::y + layout::play::height * 0.5f - height * 0.5f; }

// NaN or infinite values (a replay image may restore any bytes) fall into
// the error modes instead of the fit: every comparison below is false for NaN.
bool logical_size_valid(float lw, float lh) { return lw > 0.0f && lh > 0.0f && std::isfinite(lw) && std::isfinite(lh); }

bool safe_area_in_bounds(float lw, float lh, float sx, float sy, float sw, float sh) {
  return sx >= 0.0f && sy >= 0.0f && sw > 0.0f && sh > 0.0f && sx + sw <= lw && sy + sh <= lh;
}

void fit_canvas(float sx, float sy, float sw, float sh) {
  float s = sw / reference_canvas_width;
  if (sh / reference_canvas_height < s) s = sh / reference_canvas_height;
  layout::reference_scale = s;
  place({layout::canvas::x, layout::canvas::y, layout::canvas::width, layout::canvas::height},
        sx + (sw - reference_canvas_width * s) * 0.5f, sy + (sh - reference_canvas_height * s) * 0.5f,
        reference_canvas_width * s, reference_canvas_height * s);
  compute_layout_regions();
}

}  // namespace

float canvas_x(float v) { return layout::canvas::x + v * layout::reference_scale; }
float canvas_y(float v) { return layout::canvas::y + v * layout::reference_scale; }
float scaled(float v) { return v * layout::reference_scale; }
int32_t scaled_int(float v) { return truncate_to_i32(scaled(v)); }

float pixel_scale_x() {
  if (layout::surface_width > 0.0f && layout::logical_width > 0.0f)
    return layout::surface_width / layout::logical_width;
  return 0.0f;
}

float pixel_scale_y() {
  if (layout::surface_height > 0.0f && layout::logical_height > 0.0f)
    return layout::surface_height / layout::logical_height;
  return 0.0f;
}

int32_t layout_is_normal() { return layout::mode == layout_mode_normal ? 1 : 0; }

void compute_layout() {
  const float lw = display::logical_width;
  const float lh = display::logical_height;
  const float sx = display::safe_x;
  const float sy = display::safe_y;
  const float sw = display::safe_width;
  const float sh = display::safe_height;
  const int32_t previous_mode = layout::mode;

  layout::snapshot_available = app::host::frame::version > 0 || display::generation > 0 ? 1 : 0;

  // != is true for NaN, so a NaN on either side counts as a change.
  const bool changed = layout::ready == 0 || layout::logical_width != lw || layout::logical_height != lh ||
                       layout::safe::x != sx || layout::safe::y != sy || layout::safe::width != sw ||
                       layout::safe::height != sh || layout::display_generation != display::generation ||
                       display::resized == 1;
  layout::changed = changed ? 1 : 0;

  layout::logical_width = lw;
  layout::logical_height = lh;
  layout::surface_width = static_cast<float>(display::drawable_width_px);
  layout::surface_height = static_cast<float>(display::drawable_height_px);
  place({layout::safe::x, layout::safe::y, layout::safe::width, layout::safe::height}, sx, sy, sw, sh);
  layout::display_generation = display::generation;
  layout::density_generation = display::density_generation;

  if (layout::ready == 0) {
    place({layout::canvas::x, layout::canvas::y, layout::canvas::width, layout::canvas::height}, 0.0f, 0.0f,
          reference_canvas_width, reference_canvas_height);
    layout::reference_scale = 1.0f;
    compute_layout_regions();
    layout::ready = 1;
  }

  // In the error modes the canvas and every rectangle keep their values.
  if (!logical_size_valid(lw, lh)) {
    layout::mode = layout_mode_no_display_size;
  } else if (!safe_area_in_bounds(lw, lh, sx, sy, sw, sh)) {
    layout::mode = layout_mode_out_of_bounds;
  } else {
    layout::mode = layout_mode_normal;
    fit_canvas(sx, sy, sw, sh);
  }

  if (layout::mode != previous_mode) layout::changed = 1;
}

void compute_layout_regions() {
  using namespace app::layout;

  place({header::x, header::y, header::width, header::height}, canvas_x(18), canvas_y(18), scaled(504), scaled(118));
  place({play::x, play::y, play::width, play::height}, canvas_x(30), canvas_y(170), scaled(480), scaled(920));
  place({footer::x, footer::y, footer::width, footer::height}, canvas_x(18), canvas_y(1104), scaled(504), scaled(74));
  place({footer_link::x, footer_link::y, footer_link::width, footer_link::height}, footer::x + scaled(8),
        footer::y + scaled(36), footer::width - 2.0f * scaled(8), scaled(32));
  place({gear_button::x, gear_button::y, gear_button::width, gear_button::height},
        header::x + header::width - scaled(70), header::y + scaled(31), scaled(56), scaled(56));
  place({picker::panel::x, picker::panel::y, picker::panel::width, picker::panel::height}, canvas_x(42), canvas_y(150),
        scaled(456), scaled(44));
  constexpr float option_tops[picker_option_count] = {210, 350, 490, 630};
  for (int32_t i = 0; i < picker_option_count; ++i) {
    picker::options::x.set(i, canvas_x(70));
    picker::options::y.set(i, canvas_y(option_tops[i]));
    picker::options::width.set(i, scaled(400));
    picker::options::height.set(i, scaled(108));
  }

  completion::panel::x = canvas_x(54);
  completion::panel::width = scaled(432);
  completion::panel::height = scaled(328);
  completion::panel::y = centred_on_play(completion::panel::height);
  const float completion_y = completion::panel::y;
  place({completion::content::x, completion::content::y, completion::content::width, completion::content::height},
        canvas_x(78), completion_y + scaled(24), scaled(384), scaled(280));
  place({completion::title::x, completion::title::y, completion::title::width, completion::title::height}, canvas_x(90),
        completion_y + scaled(24), scaled(360), scaled(44));
  place({completion::result::x, completion::result::y, completion::result::width, completion::result::height},
        canvas_x(90), completion_y + scaled(76), scaled(360), scaled(34));
  place({completion::action::x, completion::action::y, completion::action::width, completion::action::height},
        canvas_x(96), completion_y + scaled(130), scaled(348), scaled(64));
  place({completion::hint::x, completion::hint::y, completion::hint::width, completion::hint::height}, canvas_x(78),
        completion_y + scaled(232), scaled(384), scaled(30));

  play_menu::panel::x = canvas_x(54);
  play_menu::panel::width = scaled(432);
  play_menu::panel::height = scaled(352);
  play_menu::panel::y = centred_on_play(play_menu::panel::height);
  place({play_menu::back::x, play_menu::back::y, play_menu::back::width, play_menu::back::height}, canvas_x(96),
        play_menu::panel::y + scaled(130), scaled(348), scaled(64));
  place({play_menu::cancel::x, play_menu::cancel::y, play_menu::cancel::width, play_menu::cancel::height}, canvas_x(96),
        play_menu::panel::y + scaled(220), scaled(348), scaled(64));
}

int32_t hit_gear_button(float px, float py) {
  return hit_when_normal(
      {layout::gear_button::x, layout::gear_button::y, layout::gear_button::width, layout::gear_button::height}, px,
      py);
}

int32_t hit_footer_link(float px, float py) {
  return hit_when_normal(
      {layout::footer_link::x, layout::footer_link::y, layout::footer_link::width, layout::footer_link::height}, px,
      py);
}

int32_t hit_play_menu_back(float px, float py) {
  return hit_when_normal({layout::play_menu::back::x, layout::play_menu::back::y, layout::play_menu::back::width,
                          layout::play_menu::back::height},
                         px, py);
}

int32_t hit_play_menu_cancel(float px, float py) {
  return hit_when_normal({layout::play_menu::cancel::x, layout::play_menu::cancel::y, layout::play_menu::cancel::width,
                          layout::play_menu::cancel::height},
                         px, py);
}

int32_t hit_picker_option(int32_t option, float px, float py) {
  if (option < 0 || option >= picker_option_count || layout_is_normal() == 0) return 0;
  const float x = layout::picker::options::x.get(option);
  const float y = layout::picker::options::y.get(option);
  const float width = layout::picker::options::width.get(option);
  const float height = layout::picker::options::height.get(option);
  return x <= px && px <= x + width && y <= py && py < y + height ? 1 : 0;
}

}  // namespace quillfen
