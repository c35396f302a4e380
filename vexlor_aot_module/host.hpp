// The host frame copy and the window-size request.
#pragma once

#include <cstdint>

namespace quillfen {

inline constexpr int32_t host_pointer_slots = 8;
inline constexpr int32_t host_key_words = 512;

// Copies host_i32 and host_f32 into app::host::frame through the registry's
// keyed stores.
void read_host_frame();
void request_window_size(int32_t width_px, int32_t height_px);

}  // namespace quillfen
