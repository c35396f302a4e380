// vexlor_aot_bind_runtime_globals: makes every exported global and every
// literal of the game known to the runtime.
#include <cstdint>

#include "bridge.hpp"
#include "export.hpp"
#include "registry.hpp"
#include "state_tables.hpp"

namespace quillfen {

namespace {

void register_scalar(const StateBinding& scalar) {
  if (scalar.kind == vexlor::JitStorageKind::F32)
    vexlor::register_global_f32_ptr(scalar.first_key, static_cast<float*>(scalar.address));
  else
    vexlor::register_global_i32_ptr(scalar.first_key, static_cast<int32_t*>(scalar.address));
}

void register_array(const StateBinding& array) {
  const auto count = static_cast<size_t>(array.count);
  switch (array.kind) {
    case vexlor::JitStorageKind::F32:
      vexlor::register_global_f32_array(array.first_key, array.second_key, static_cast<float*>(array.address), count);
      break;
    case vexlor::JitStorageKind::U8:
      vexlor::register_global_u8_array(array.first_key, array.second_key, static_cast<uint8_t*>(array.address), count);
      break;
    default:
      vexlor::register_global_i32_array(array.first_key, array.second_key, static_cast<int32_t*>(array.address),
                                        count);
      break;
  }
}

}  // namespace

void bind_runtime_globals() {
  for (const StateBinding& array : root_array_bindings) register_array(array);
  for (const StateBinding& scalar : early_scalar_bindings) register_scalar(scalar);
  for (const StateBinding& array : state_array_bindings) register_array(array);
  for (const StateBinding& scalar : state_scalar_bindings) register_scalar(scalar);
  load_game_literals();
}

}  // namespace quillfen

extern "C" VEXLOR_EXPORT void vexlor_aot_bind_runtime_globals() { quillfen::bind_runtime_globals(); }
