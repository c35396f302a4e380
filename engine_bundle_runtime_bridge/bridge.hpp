// The bridge between the game and the runtime: binding, literals, the
// replay image and the entry points.
#pragma once

#include <cstdint>

namespace quillfen {

void bind_runtime_globals();
// Empties the runtime's literal table and inserts the game's literals in
// ascending order of id.
void load_game_literals();

int32_t replay_image_write(uint8_t* destination, int32_t capacity);
int32_t replay_image_restore(const uint8_t* source, int32_t length);

}  // namespace quillfen
