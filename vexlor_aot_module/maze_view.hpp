// The maze part of the play screen: floor, frame, entry and exit markers,
// walls, cheese and mouse, drawn with the camera's view in use; and the
// shapes and the board palette that the other screens share.
#pragma once

#include <cstdint>

namespace quillfen {

struct Rgba {
  float red, green, blue, alpha;
};

// Between frame_begin and frame_end, after the play screen's background.
void draw_maze_view();

// A rounded blob of radius r from three overlapping rectangles.
void fill_blob(float cx, float cy, float r, Rgba colour);
// The colour is pre-blended over the board colour by a and drawn opaque.
void fill_rounded_rect(float x, float y, float w, float h, float r, float red, float green, float blue, float a);
// The palette index 0..3 of a level's board colours.
int32_t board_palette(int32_t seed, int32_t tier);

}  // namespace quillfen
