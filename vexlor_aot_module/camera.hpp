// The camera: where the maze lies on the screen and how large a cell is. A
// close view follows the mouse, an overview shows the whole maze, and the
// intro holds the overview and then zooms into the close view. Every
// operation takes the camera record by its storage key (app.camera) and
// reaches its fields through the registry.
#pragma once

#include <cstdint>

#include "fnv.hpp"

namespace quillfen {

inline constexpr int32_t camera_key = vexlor::key_of("app.camera");

inline constexpr int32_t camera_stage_normal = 0;
inline constexpr int32_t camera_stage_overview_hold = 1;
inline constexpr int32_t camera_stage_zooming_in = 2;
inline constexpr int32_t camera_overview_hold_ticks = 180;
inline constexpr int32_t camera_zoom_ticks = 45;
// The close view shows this many cells across the shorter side of the play
// rectangle.
inline constexpr float camera_close_view_cells = 12.0f;

// Recomputes the close view for a maze of width x height cells and makes it
// the view in use.
void fit_camera(int32_t camera, int32_t width, int32_t height);
void start_camera_intro(int32_t camera);
// Once per play tick; 1 while the camera holds input back.
int32_t update_camera_stage(int32_t camera);
// After a layout change: the close view for the live maze, then the view of
// the current stage.
void refit_camera(int32_t camera);

}  // namespace quillfen
