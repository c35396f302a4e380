// String literals, text handles and console output.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "export.hpp"
#include "result.hpp"

namespace vexlor {

using JitStringLiteralMap = std::map<int32_t, std::string>;

void upsert_jit_string_literal(int32_t id, std::string text);
void clear_jit_string_literal_table();
Status begin_jit_string_literal_staging();
Result<JitStringLiteralMap> finish_jit_string_literal_staging();
void replace_jit_string_literal_table(const JitStringLiteralMap& literals);
std::optional<std::string> jit_string_literal_value(int32_t id);

// Byte `index` of a literal, zero-extended, 0 beyond its end; nothing when no
// literal has the id.
std::optional<int32_t> jit_string_literal_byte(int32_t id, int32_t index);

struct LiteralLengths {
  size_t bytes;
  size_t scalar_values;
};
std::optional<LiteralLengths> jit_string_literal_lengths(int32_t id);

bool jit_text_buffer_is_registered(int32_t handle);
std::optional<std::string> jit_text_arg_bytes(int32_t handle);
std::optional<std::string> bounded_jit_text_arg_bytes(int32_t handle, size_t maximum);
Result<std::string> jit_string_value(int32_t handle);
// The text as a C string: `c_str()` of the result is the NUL-terminated copy.
Result<std::string> jit_text_arg_to_cstring(int32_t handle);

void write_jit_output(std::string_view text);
void set_jit_output_capture(bool enabled);
std::string drain_jit_output();

bool is_valid_utf8(std::string_view bytes);
// Replaces each invalid sequence by U+FFFD.
std::string utf8_lossy(std::string_view bytes);

}  // namespace vexlor

extern "C" {
VEXLOR_EXPORT void vexlor_jit_clear_string_literal_table() noexcept;
VEXLOR_EXPORT void vexlor_jit_upsert_string_literal(int32_t id, const char* text) noexcept;
VEXLOR_EXPORT void vexlor_jit_print_string(int32_t handle) noexcept;
VEXLOR_EXPORT void vexlor_jit_print_i32(int32_t value) noexcept;
}
