#include "host.hpp"

#include <string_view>

#include "arith.hpp"
#include "fnv.hpp"
#include "registry.hpp"
#include "state_tree.hpp"

namespace quillfen {

namespace {

using vexlor::key_of;

constexpr int32_t frame_key = key_of("app.host.frame");
constexpr int32_t display_key = key_of("app.host.frame.display");
constexpr int32_t pointers_key = key_of("app.host.frame.pointers");
constexpr int32_t keys_key = key_of("app.host.frame.keys");

// consteval: every key of the copy is fixed when the module is compiled.
consteval int32_t frame_field(std::string_view field) { return vexlor::key_continue(frame_key, field); }
consteval int32_t display_field(std::string_view field) { return vexlor::key_continue(display_key, field); }
consteval int32_t pointer_column(std::string_view field) { return key_of(field); }

int32_t flag(int32_t word) { return word != 0 ? 1 : 0; }

void store_i32(int32_t key, int32_t value) { vexlor_jit_global_i32_store(key, value); }
void store_f32(int32_t key, float value) { vexlor_jit_global_f32_store(key, value); }

void copy_pointer_slot(int32_t p) {
  const int32_t* words = &host_i32[544 + 4 * p];
  const float* floats = &host_f32[6 * p];
  vexlor_jit_global_i32_array_store(pointers_key, pointer_column("id"), p, words[0]);
  vexlor_jit_global_i32_array_store(pointers_key, pointer_column("is_down"), p, flag(words[1]));
  vexlor_jit_global_i32_array_store(pointers_key, pointer_column("went_down"), p, flag(words[2]));
  vexlor_jit_global_i32_array_store(pointers_key, pointer_column("went_up"), p, flag(words[3]));
  vexlor_jit_global_f32_array_store(pointers_key, pointer_column("x_logical"), p, floats[0]);
  vexlor_jit_global_f32_array_store(pointers_key, pointer_column("y_logical"), p, floats[1]);
  vexlor_jit_global_f32_array_store(pointers_key, pointer_column("dx_logical"), p, floats[2]);
  vexlor_jit_global_f32_array_store(pointers_key, pointer_column("dy_logical"), p, floats[3]);
  vexlor_jit_global_f32_array_store(pointers_key, pointer_column("x_normalized"), p, floats[4]);
  vexlor_jit_global_f32_array_store(pointers_key, pointer_column("y_normalized"), p, floats[5]);
}

int32_t clamped_pointer_count(int32_t count) {
  if (count < 0) return 0;
  return count > host_pointer_slots ? host_pointer_slots : count;
}

}  // namespace

void read_host_frame() {
  store_i32(frame_field(".time_ms"), host_i32[0]);
  store_i32(frame_field(".time_us"), host_i32[19]);
  store_i32(frame_field(".tick_index"), host_i32[10]);
  store_i32(frame_field(".version"), host_i32[14]);
  store_i32(frame_field(".flags"), host_i32[15]);
  store_i32(frame_field(".tick_hz"), host_i32[16]);
  store_i32(frame_field(".window_focused"), flag(host_i32[17]));
  store_i32(frame_field(".window_minimized"), flag(host_i32[18]));
  store_i32(frame_field(".quit_requested"), flag(host_i32[9]));
  store_i32(frame_field(".pointer_count"), clamped_pointer_count(host_i32[7]));
  store_i32(frame_field(".dropped_pointer_count"), host_i32[8]);
  store_i32(display_field(".resized"), flag(host_i32[11]));
  store_i32(display_field(".screen_width_px"), host_i32[12]);
  store_i32(display_field(".screen_height_px"), host_i32[13]);
  store_i32(display_field(".native_width_px"), host_i32[22]);
  store_i32(display_field(".native_height_px"), host_i32[23]);
  store_i32(display_field(".drawable_width_px"), host_i32[24]);
  store_i32(display_field(".drawable_height_px"), host_i32[25]);
  store_f32(display_field(".logical_width"), host_f32[50]);
  store_f32(display_field(".logical_height"), host_f32[51]);
  store_f32(display_field(".safe_x"), host_f32[52]);
  store_f32(display_field(".safe_y"), host_f32[53]);
  store_f32(display_field(".safe_width"), host_f32[54]);
  store_f32(display_field(".safe_height"), host_f32[55]);
  store_f32(display_field(".available_width"), host_f32[56]);
  store_f32(display_field(".available_height"), host_f32[57]);
  store_f32(display_field(".content_scale"), host_f32[48]);
  store_f32(display_field(".raster_scale"), host_f32[49]);
  store_i32(display_field(".generation"), host_i32[30]);
  store_i32(display_field(".density_generation"), host_i32[31]);
  for (int32_t p = 0; p < host_pointer_slots; ++p) copy_pointer_slot(p);
  for (int32_t k = 0; k < host_key_words; ++k) vexlor_jit_global_i32_array_store(keys_key, 0, k, host_i32[32 + k]);
}

void request_window_size(int32_t width_px, int32_t height_px) {
  host_req_flags = 1;
  host_req_window_w_px = width_px;
  host_req_window_h_px = height_px;
  host_req_seq = wrapping_add(host_req_seq, 1);
}

}  // namespace quillfen
