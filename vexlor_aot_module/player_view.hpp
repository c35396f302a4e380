// Where and how the mouse is drawn, in cells (a cell's centre is its column
// or row + 0.5): it glides toward the centre of the player's cell, faces its
// last move and animates while it moves.
#pragma once

#include <cstdint>

namespace quillfen {

// Each tick the drawn position closes this share of the gap to the target.
inline constexpr float player_glide_rate = 0.24f;
// Below this summed motion in a tick the mouse counts as still.
inline constexpr float player_still_motion = 0.001f;
inline constexpr int32_t player_scurry_ticks_per_frame = 3;
inline constexpr int32_t player_idle_cycle_ticks = 48;

// The start of a level: at the centre of cell 0, facing east, still.
void reset_player_view();
// Moves the drawn position toward the target by the glide rate.
void glide_player_view();
// Advances the scurry or idle animation from the motion since (before_x,
// before_y), the position before this tick's glide.
void animate_player_view(float before_x, float before_y);
// After a move into `cell` in `direction`: face it and glide to its centre.
void start_player_view_move(int32_t cell, int32_t direction);

// The mouse's drawn centre in logical units of the window, through the camera.
float player_view_centre_x();
float player_view_centre_y();

}  // namespace quillfen
