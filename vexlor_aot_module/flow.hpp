// The game's flow: start-up, levels and the per-tick update.
#pragma once

#include <cstdint>

namespace quillfen {

inline constexpr int32_t schema_version = 10;

// Called once by main, after the window-size request.
void start_game();

}  // namespace quillfen
