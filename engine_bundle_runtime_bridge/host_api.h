/* The module's table of native operations for a host that loads it with
 * dlopen: resolve vexlor_host_api, check version and size, then call through
 * the table. Later versions only append entries, so a host built against an
 * older table keeps working.
 *
 * Operations that can fail return NULL on success or an error text owned by
 * the module, valid on the calling thread until its next call through the
 * table. */
#ifndef VEXLOR_HOST_API_H
#define VEXLOR_HOST_API_H

#include <stddef.h>
#include <stdint.h>

#include "c/vexlor_render_trace.h"

#ifdef __cplusplus
extern "C" {
#endif

#define VEXLOR_HOST_API_VERSION 1u

typedef struct VexlorOptionalAddress {
  int32_t present;
  uint64_t address;
} VexlorOptionalAddress;

typedef struct VexlorHostEntryTargets {
  VexlorOptionalAddress render_begin;
  VexlorOptionalAddress render_end;
  VexlorOptionalAddress code_swap;
  uint64_t revision;
  uint64_t main;
  uint64_t tick;
  uint64_t render;
} VexlorHostEntryTargets;

typedef struct VexlorHostApi {
  uint32_t version; /* VEXLOR_HOST_API_VERSION of the module */
  uint32_t size;    /* sizeof the table the module provides */

  /* Frame copy-out: *has_frame is 0 while the game's frame is incomplete. */
  const char* (*copy_render_active)(int32_t* dst_i32, size_t i32_len, float* dst_f32, size_t f32_len,
                                    uint8_t* dst_u8, size_t u8_len, int32_t* has_frame,
                                    VexlorRenderFrameCounts* counts);
  uint32_t (*current_render_trace)(const int32_t* i32, size_t i32_len, const float* f32, size_t f32_len,
                                   const uint8_t* u8, size_t u8_len);

  /* Host entry. */
  const char* (*validate_host_entry_targets)(const VexlorHostEntryTargets* targets);
  const char* (*begin_host_entry_session)(const VexlorHostEntryTargets* targets);
  const char* (*publish_host_entry_targets)(const VexlorHostEntryTargets* targets);
  /* 1 and the installed record, or 0 when no session has begun. */
  int32_t (*host_entry_targets)(VexlorHostEntryTargets* out);
  const char* (*invoke_code_swap_hook)(uint64_t hook);
  const char* (*invoke_noarg_i32)(uint64_t address, int32_t* result);
  const char* (*invoke_noarg_u64)(uint64_t address, uint64_t* result);
  const char* (*invoke_noarg_void)(uint64_t address);
  const char* (*invoke_i32_to_i32)(uint64_t address, int32_t a, int32_t* result);
  const char* (*invoke_i32_to_void)(uint64_t address, int32_t a);
  const char* (*invoke_i32_i32_to_i32)(uint64_t address, int32_t a, int32_t b, int32_t* result);
  const char* (*invoke_i32_i32_to_void)(uint64_t address, int32_t a, int32_t b);
  const char* (*invoke_i32_i32_i32_to_i32)(uint64_t address, int32_t a, int32_t b, int32_t c, int32_t* result);
  const char* (*invoke_i32_i32_i32_to_void)(uint64_t address, int32_t a, int32_t b, int32_t c);
  const char* (*invoke_i32_i32_i32_i32_to_void)(uint64_t address, int32_t a, int32_t b, int32_t c, int32_t d);
  const char* (*invoke_i32_i32_i32_f32_to_void)(uint64_t address, int32_t a, int32_t b, int32_t c, float d);

  /* Literal staging: literals upserted on this thread between the two calls
   * are collected; finishing installs them as the whole table in one step,
   * or fails (first collision) and leaves the live table as it was. */
  const char* (*begin_literal_staging)(void);
  const char* (*finish_literal_staging_and_install)(void);

  /* Registry provisioning and clearing; kind is a storage kind byte
   * (0 i32, 1 f32, 2 f64, 3 u8, 4 u16). */
  const char* (*provision_scalar_storage)(uint8_t kind, int32_t key);
  const char* (*provision_array_storage)(uint8_t kind, int32_t first, int32_t second, size_t count);
  void* (*scalar_storage_slot)(uint8_t kind, int32_t key);
  void* (*array_storage_slot)(uint8_t kind, int32_t first, int32_t second);
  void (*clear_registered_global_memory)(void);
} VexlorHostApi;

const VexlorHostApi* vexlor_host_api(void);

#ifdef __cplusplus
}
#endif

#endif
