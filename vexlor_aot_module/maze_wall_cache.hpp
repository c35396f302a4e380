// The wall cache: the walls of the live maze merged into horizontal and
// vertical segment runs, built a few unit steps at a time so that every tick
// stays bounded and every tick's state can be snapshotted and resumed.
#pragma once

#include <cstdint>

namespace quillfen {

inline constexpr int32_t wall_cache_segment_capacity = 4096;
inline constexpr int32_t wall_cache_steps_per_budget = 16;

// Advances the cache by up to budget x 16 unit steps; returns its ready flag.
int32_t build_wall_cache_step(int32_t budget);

// Marks the cache stale; the next build starts over.
void invalidate_wall_cache();

// 1 when the cache is complete for the current maze revision.
int32_t wall_cache_is_current();

// Whether the live maze has a wall on horizontal grid line `line` (0..height,
// the top edge of that row) above column `column`, and on vertical grid line
// `line` (0..width, the left edge of that column) beside row `row`.
bool horizontal_wall_at(int32_t line, int32_t column);
bool vertical_wall_at(int32_t line, int32_t row);

}  // namespace quillfen
