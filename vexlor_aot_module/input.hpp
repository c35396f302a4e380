// Movement input: each play tick the pointers and direction keys of the host
// frame become at most a few movement intents, which the player update then
// validates and applies. A pointer that goes down is tracked until it goes up
// and overrides the keys while it gives a direction.
#pragma once

#include <cstdint>

#include "maze.hpp"

namespace quillfen {

inline constexpr int32_t intent_slot_count = 8;
inline constexpr int32_t intent_source_keyboard = 1;
inline constexpr int32_t intent_source_pointer = 2;

// Keyboard scancodes (USB HID usage numbers) of the direction keys.
inline constexpr int32_t key_up = 82;
inline constexpr int32_t key_w = 26;
inline constexpr int32_t key_right = 79;
inline constexpr int32_t key_d = 7;
inline constexpr int32_t key_down = 81;
inline constexpr int32_t key_s = 22;
inline constexpr int32_t key_left = 80;
inline constexpr int32_t key_a = 4;

// Once per play tick, before update_player: clears the slots, then adds the
// tracked pointer's intent or, when it gives none, the held key's.
void collect_intents();

// Empties all eight slots (valid, direction and source 0, the rest -1) and
// resets the count and the overflow flag.
void clear_intents();
// Clears the intents and stops tracking any pointer.
void release_pointer();

// Appends an intent for the player's current cell and the live maze
// revision; sets the overflow flag instead when all slots are full. A
// direction or source of 0 adds nothing.
void add_intent(int32_t direction, int32_t source, int32_t pointer_id);

// The first direction (north, east, south, west) with either of its keys
// held, or 0.
int32_t held_direction_key();
// The open corridor that pointer slot `slot` points to from the mouse's drawn
// centre, or 0 when the pointer is within 10 reference units of it on both
// axes or points to no open corridor.
int32_t pointer_direction(int32_t slot);

}  // namespace quillfen
