// The mouse's cell, its move count, the cooldown between moves and the
// completion of the level; and the per-tick player update that turns the
// tick's intents into at most one move.
#pragma once

#include <cstdint>

namespace quillfen {

// Ticks after a move before the next one may happen. The cooldown is
// counted down before the intents are processed, so a held direction moves
// once every this many ticks.
inline constexpr int32_t player_move_cooldown_ticks = 7;

// The start of a level's play: layout recomputed, player and view at cell 0,
// no intents and no tracked pointer, the camera fitted to the live maze in
// its normal stage.
void reset_player();

// Once per play tick, after collect_intents: the camera stage, the
// cooldown, the glide and animation of the view, then the intents.
void update_player();

// Applies the first accepted intent of the tick, then clears all intents.
void process_intents();
// Uses up the outcome's intent and commits its move if the outcome still
// holds on a second evaluation; returns whether the player moved.
bool apply_movement_outcome();

}  // namespace quillfen
