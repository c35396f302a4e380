// The table of native operations that a host reaches through dlsym.
#include "host_api.h"

#include <string>

#include "export.hpp"
#include "host_entry.hpp"
#include "registry.hpp"
#include "render_frame.hpp"
#include "text.hpp"

namespace quillfen {

namespace {

// The error text of the last failed call on this thread.
const char* failure(std::string message) {
  thread_local std::string last_error;
  last_error = std::move(message);
  return last_error.c_str();
}

const char* status_text(const vexlor::Status& status) { return status ? nullptr : failure(status.error()); }

template <typename T, typename Out>
const char* result_text(const vexlor::Result<T>& result, Out* out) {
  if (!result) return failure(result.error());
  if (out != nullptr) *out = *result;
  return nullptr;
}

vexlor::OptionalAddress from_c(const VexlorOptionalAddress& address) {
  return {address.present != 0, address.address};
}

VexlorOptionalAddress to_c(const vexlor::OptionalAddress& address) { return {address.present ? 1 : 0, address.address}; }

vexlor::JitHostEntryTargets from_c(const VexlorHostEntryTargets* targets) {
  if (targets == nullptr) return {};
  return {from_c(targets->render_begin), from_c(targets->render_end), from_c(targets->code_swap), targets->revision,
          targets->main,   targets->tick,   targets->render};
}

const char* copy_render_active(int32_t* dst_i32, size_t i32_len, float* dst_f32, size_t f32_len, uint8_t* dst_u8,
                               size_t u8_len, int32_t* has_frame, VexlorRenderFrameCounts* counts) {
  auto copied = vexlor::copy_jit_render_active(dst_i32, i32_len, dst_f32, f32_len, dst_u8, u8_len);
  if (!copied) return failure(copied.error());
  if (has_frame != nullptr) *has_frame = copied->has_value() ? 1 : 0;
  if (counts != nullptr && copied->has_value()) *counts = **copied;
  return nullptr;
}

uint32_t current_render_trace(const int32_t* i32, size_t i32_len, const float* f32, size_t f32_len, const uint8_t* u8,
                              size_t u8_len) {
  if (i32 == nullptr || f32 == nullptr || u8 == nullptr) return 0;
  return vexlor::current_render_trace({i32, i32_len}, {f32, f32_len}, {u8, u8_len});
}

const char* validate_targets(const VexlorHostEntryTargets* targets) {
  return status_text(vexlor::validate_jit_host_entry_targets(from_c(targets)));
}

const char* begin_session(const VexlorHostEntryTargets* targets) {
  return status_text(vexlor::begin_jit_host_entry_session(from_c(targets)));
}

const char* publish_targets(const VexlorHostEntryTargets* targets) {
  return status_text(vexlor::publish_jit_host_entry_targets(from_c(targets)));
}

int32_t installed_targets(VexlorHostEntryTargets* out) {
  const auto targets = vexlor::jit_host_entry_targets();
  if (!targets) return 0;
  if (out != nullptr)
    *out = {to_c(targets->render_begin), to_c(targets->render_end), to_c(targets->code_swap), targets->revision,
            targets->main,   targets->tick,   targets->render};
  return 1;
}

const char* code_swap_hook(uint64_t hook) { return status_text(vexlor::invoke_code_swap_hook(hook)); }

const char* noarg_i32(uint64_t f, int32_t* out) { return result_text(vexlor::invoke_noarg_i32(f), out); }
const char* noarg_u64(uint64_t f, uint64_t* out) { return result_text(vexlor::invoke_noarg_u64(f), out); }
const char* noarg_void(uint64_t f) { return status_text(vexlor::invoke_noarg_void(f)); }
const char* i32_to_i32(uint64_t f, int32_t a, int32_t* out) { return result_text(vexlor::invoke_i32_to_i32(f, a), out); }
const char* i32_to_void(uint64_t f, int32_t a) { return status_text(vexlor::invoke_i32_to_void(f, a)); }
const char* i32_i32_to_i32(uint64_t f, int32_t a, int32_t b, int32_t* out) {
  return result_text(vexlor::invoke_i32_i32_to_i32(f, a, b), out);
}
const char* i32_i32_to_void(uint64_t f, int32_t a, int32_t b) {
  return status_text(vexlor::invoke_i32_i32_to_void(f, a, b));
}
const char* i32_i32_i32_to_i32(uint64_t f, int32_t a, int32_t b, int32_t c, int32_t* out) {
  return result_text(vexlor::invoke_i32_i32_i32_to_i32(f, a, b, c), out);
}
const char* i32_i32_i32_to_void(uint64_t f, int32_t a, int32_t b, int32_t c) {
  return status_text(vexlor::invoke_i32_i32_i32_to_void(f, a, b, c));
}
const char* i32_i32_i32_i32_to_void(uint64_t f, int32_t a, int32_t b, int32_t c, int32_t d) {
  return status_text(vexlor::invoke_i32_i32_i32_i32_to_void(f, a, b, c, d));
}
const char* i32_i32_i32_f32_to_void(uint64_t f, int32_t a, int32_t b, int32_t c, float d) {
  return status_text(vexlor::invoke_i32_i32_i32_f32_to_void(f, a, b, c, d));
}

const char* begin_literal_staging() { return status_text(vexlor::begin_jit_string_literal_staging()); }

const char* finish_literal_staging_and_install() {
  auto staged = vexlor::finish_jit_string_literal_staging();
  if (!staged) return failure(staged.error());
  vexlor::replace_jit_string_literal_table(*staged);
  return nullptr;
}

const char* provision_scalar(uint8_t kind, int32_t key) {
  return status_text(vexlor::provision_direct_scalar_storage(kind, key));
}

const char* provision_array(uint8_t kind, int32_t first, int32_t second, size_t count) {
  return status_text(vexlor::provision_direct_array_storage(kind, first, second, count));
}

void* scalar_slot(uint8_t kind, int32_t key) { return vexlor::direct_scalar_storage_slot_address(kind, key); }

void* array_slot(uint8_t kind, int32_t first, int32_t second) {
  return vexlor::direct_array_storage_slot_address(kind, first, second);
}

constexpr VexlorHostApi host_api_table = {
    VEXLOR_HOST_API_VERSION,
    sizeof(VexlorHostApi),
    copy_render_active,
    current_render_trace,
    validate_targets,
    begin_session,
    publish_targets,
    installed_targets,
    code_swap_hook,
    noarg_i32,
    noarg_u64,
    noarg_void,
    i32_to_i32,
    i32_to_void,
    i32_i32_to_i32,
    i32_i32_to_void,
    i32_i32_i32_to_i32,
    i32_i32_i32_to_void,
    i32_i32_i32_i32_to_void,
    i32_i32_i32_f32_to_void,
    begin_literal_staging,
    finish_literal_staging_and_install,
    provision_scalar,
    provision_array,
    scalar_slot,
    array_slot,
    vexlor::clear_registered_global_memory,
};

}  // namespace

}  // namespace quillfen

extern "C" VEXLOR_EXPORT const VexlorHostApi* vexlor_host_api(void) { return &quillfen::host_api_table; }
