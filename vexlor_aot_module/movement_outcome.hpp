// The verdict on one movement intent, kept in app::movement_outcome: whether
// the move is allowed now, where it leads and whether it reaches the goal.
#pragma once

#include <cstdint>

namespace quillfen {

// Resets the outcome for the player's cell and the live maze revision, then
// accepts a move in `direction` when the player may move now (no cooldown,
// not completed, maze ready, a cell on the maze) and the corridor is open.
void evaluate_move(int32_t direction);
// Evaluates intent slot `index`; an intent that is not pending or was made
// for another cell or maze revision is rejected. An index outside the
// collected intents is evaluated as no direction.
void evaluate_intent(int32_t index);

}  // namespace quillfen
