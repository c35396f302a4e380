// The layout: the 540 x 1200 reference canvas fitted into the host's safe
// rectangle, every named rectangle of the screens derived from it, and the
// hit tests on those rectangles. All rectangles are in window logical units.
#pragma once

#include <cstdint>

namespace quillfen {

inline constexpr float reference_canvas_width = 540.0f;
inline constexpr float reference_canvas_height = 1200.0f;
inline constexpr int32_t picker_option_count = 4;

inline constexpr int32_t layout_mode_normal = 0;
inline constexpr int32_t layout_mode_no_display_size = 1;
inline constexpr int32_t layout_mode_out_of_bounds = 2;

// The layout step: reads app::host::frame::display and the host block
// version, decides the mode and, in the normal mode, fits the canvas.
void compute_layout();
// Fills every named rectangle from the canvas and the reference scale.
void compute_layout_regions();

// Reference units to logical units.
float canvas_x(float v);
float canvas_y(float v);
float scaled(float v);
int32_t scaled_int(float v);
// Drawable pixels per logical unit, 0 while either size is not positive.
float pixel_scale_x();
float pixel_scale_y();
int32_t layout_is_normal();

// Each returns 1 when (px, py) lies inside the rectangle, 0 otherwise and
// always 0 while the layout is not normal.
int32_t hit_gear_button(float px, float py);
int32_t hit_footer_link(float px, float py);
int32_t hit_play_menu_back(float px, float py);
int32_t hit_play_menu_cancel(float px, float py);
// The right edge of an option counts as inside.
int32_t hit_picker_option(int32_t option, float px, float py);

}  // namespace quillfen
