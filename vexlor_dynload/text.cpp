#include "text.hpp"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "collections.hpp"
#include "fnv.hpp"
#include "poison_mutex.hpp"
#include "registry.hpp"
#include "storage_tables.hpp"

namespace vexlor {

namespace {

using LiteralTable = std::unordered_map<int32_t, std::string>;

Locked<LiteralTable>& jit_string_literal_table() {
  static Locked<LiteralTable> table("jit string literal table mutex poisoned");
  return table;
}

struct JitStringLiteralStage {
  std::optional<std::string> first_collision_message;
  JitStringLiteralMap staged_literals;
};

thread_local std::optional<JitStringLiteralStage> literal_stage;

struct OutputCapture {
  bool enabled = false;
  std::string text;
};

Locked<OutputCapture>& jit_output_capture() {
  static Locked<OutputCapture> capture("jit output capture mutex poisoned");
  return capture;
}

// Length of the valid UTF-8 sequence starting at `at`, or 0 with
// `invalid_length` set to the length of the maximal invalid subpart.
size_t utf8_sequence_length(std::string_view bytes, size_t at, size_t& invalid_length) {
  const auto lead = static_cast<uint8_t>(bytes[at]);
  if (lead < 0x80) return 1;
  size_t continuation = 0;
  uint8_t low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    continuation = 1;
  } else if (lead == 0xE0) {
    continuation = 2, low = 0xA0;
  } else if (lead == 0xED) {
    continuation = 2, high = 0x9F;
  } else if (lead >= 0xE1 && lead <= 0xEF) {
    continuation = 2;
  } else if (lead == 0xF0) {
    continuation = 3, low = 0x90;
  } else if (lead >= 0xF1 && lead <= 0xF3) {
    continuation = 3;
  } else if (lead == 0xF4) {
    continuation = 3, high = 0x8F;
  } else {
    invalid_length = 1;
    return 0;
  }
  for (size_t k = 1; k <= continuation; ++k) {
    if (at + k >= bytes.size()) {
      invalid_length = k;
      return 0;
    }
    const auto byte = static_cast<uint8_t>(bytes[at + k]);
    const uint8_t lo = k == 1 ? low : 0x80, hi = k == 1 ? high : 0xBF;
    if (byte < lo || byte > hi) {
      invalid_length = k;
      return 0;
    }
  }
  return continuation + 1;
}

std::string decimal(int32_t value) { return std::to_string(value); }

// Reads a text buffer's bytes through the keyed accessors; nothing when the
// length is negative or above `maximum`, or an element is not a byte.
std::optional<std::string> text_buffer_bytes(int32_t handle, size_t maximum) {
  const int32_t length = vexlor_jit_collection_i32_load(handle, collection_length_selector);
  if (length < 0 || static_cast<size_t>(length) > maximum) return std::nullopt;
  std::string bytes;
  // The length is game state and may be anything; grow as bytes arrive.
  bytes.reserve(std::min<size_t>(static_cast<size_t>(length), 4096));
  for (int32_t i = 0; i < length; ++i) {
    const int32_t element = vexlor_jit_global_i32_array_load(handle, 0, i);
    if (element < 0 || element > 255) return std::nullopt;
    bytes.push_back(static_cast<char>(element));
  }
  return bytes;
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
  size_t invalid_length = 0;
  for (size_t at = 0; at < bytes.size();) {
    const size_t length = utf8_sequence_length(bytes, at, invalid_length);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string utf8_lossy(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  size_t invalid_length = 0;
  for (size_t at = 0; at < bytes.size();) {
    const size_t length = utf8_sequence_length(bytes, at, invalid_length);
    if (length == 0) {
      text += "\xEF\xBF\xBD";
      at += invalid_length;
    } else {
      text.append(bytes.substr(at, length));
      at += length;
    }
  }
  return text;
}

void upsert_jit_string_literal(int32_t id, std::string text) {
  if (literal_stage) {
    auto& stage = *literal_stage;
    auto [entry, inserted] = stage.staged_literals.try_emplace(id, text);
    if (!inserted && entry->second != text && !stage.first_collision_message) {
      stage.first_collision_message = "JIT string literal hash collision for id " + decimal(id) + ": '" +
                                      entry->second + "' vs '" + text + "'";
    }
    return;
  }
  auto& table = jit_string_literal_table();
  PoisonGuard hold(table.mutex);
  table.value[id] = std::move(text);
}

void clear_jit_string_literal_table() {
  auto& table = jit_string_literal_table();
  PoisonGuard hold(table.mutex);
  table.value.clear();
}

Status begin_jit_string_literal_staging() {
  if (literal_stage) return error("JIT string literal staging is already active on this thread");
  literal_stage.emplace();
  return {};
}

Result<JitStringLiteralMap> finish_jit_string_literal_staging() {
  if (!literal_stage) return error("JIT string literal staging is not active");
  JitStringLiteralStage stage = std::move(*literal_stage);
  literal_stage.reset();
  if (stage.first_collision_message) return error(std::move(*stage.first_collision_message));
  return std::move(stage.staged_literals);
}

void replace_jit_string_literal_table(const JitStringLiteralMap& literals) {
  auto& table = jit_string_literal_table();
  PoisonGuard hold(table.mutex);
  table.value.clear();
  table.value.insert(literals.begin(), literals.end());
}

std::optional<std::string> jit_string_literal_value(int32_t id) {
  auto& table = jit_string_literal_table();
  PoisonGuard hold(table.mutex);
  auto it = table.value.find(id);
  if (it == table.value.end()) return std::nullopt;
  return it->second;
}

std::optional<int32_t> jit_string_literal_byte(int32_t id, int32_t index) {
  auto& table = jit_string_literal_table();
  PoisonGuard hold(table.mutex);
  auto it = table.value.find(id);
  if (it == table.value.end()) return std::nullopt;
  const std::string& text = it->second;
  if (index < 0 || static_cast<size_t>(index) >= text.size()) return 0;
  return static_cast<uint8_t>(text[index]);
}

std::optional<LiteralLengths> jit_string_literal_lengths(int32_t id) {
  auto& table = jit_string_literal_table();
  PoisonGuard hold(table.mutex);
  auto it = table.value.find(id);
  if (it == table.value.end()) return std::nullopt;
  size_t scalar_values = 0;
  for (char c : it->second) scalar_values += (static_cast<uint8_t>(c) & 0xC0) != 0x80;
  return LiteralLengths{it->second.size(), scalar_values};
}

bool jit_text_buffer_is_registered(int32_t handle) {
  if (jit_i32_slot_is_registered(key_continue(handle, ".max_length"))) return true;
  const PairKey pair = pair_key(handle, 0);
  if (find_registered_array(u8_arrays(), pair)) return true;
  if (find_registered_array(i32_arrays(), pair)) return true;
  return fallback_has_pair(i32_arrays(), pair);
}

std::optional<std::string> jit_text_arg_bytes(int32_t handle) {
  if (jit_text_buffer_is_registered(handle)) {
    if (auto bytes = text_buffer_bytes(handle, static_cast<size_t>(INT32_MAX))) return bytes;
  }
  return jit_string_literal_value(handle);
}

std::optional<std::string> bounded_jit_text_arg_bytes(int32_t handle, size_t maximum) {
  if (jit_text_buffer_is_registered(handle)) return text_buffer_bytes(handle, maximum);
  auto literal = jit_string_literal_value(handle);
  if (literal && literal->size() > maximum) return std::nullopt;
  return literal;
}

Result<std::string> jit_string_value(int32_t handle) {
  auto bytes = bounded_jit_text_arg_bytes(handle, 1048576);
  if (!bytes) return error("invalid or oversized JIT string handle " + decimal(handle));
  if (!is_valid_utf8(*bytes)) return error("JIT string handle " + decimal(handle) + " contains invalid UTF-8");
  return std::move(*bytes);
}

Result<std::string> jit_text_arg_to_cstring(int32_t handle) {
  auto bytes = jit_text_arg_bytes(handle);
  if (!bytes) return error("missing jit text handle for id=" + decimal(handle) + " (neither literal nor utf8 buffer)");
  if (bytes->find('\0') != std::string::npos) {
    return error("string contains interior NUL byte; cannot pass to C runtime");
  }
  return std::move(*bytes);
}

void write_jit_output(std::string_view text) {
  auto& capture = jit_output_capture();
  PoisonGuard hold(capture.mutex);
  if (capture.value.enabled) {
    capture.value.text.append(text);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void set_jit_output_capture(bool enabled) {
  auto& capture = jit_output_capture();
  PoisonGuard hold(capture.mutex);
  capture.value.text.clear();
  capture.value.enabled = enabled;
}

std::string drain_jit_output() {
  auto& capture = jit_output_capture();
  PoisonGuard hold(capture.mutex);
  if (!capture.value.enabled) return {};
  return std::exchange(capture.value.text, std::string());
}

}  // namespace vexlor

using namespace vexlor;

extern "C" {

void vexlor_jit_clear_string_literal_table() noexcept { clear_jit_string_literal_table(); }

void vexlor_jit_upsert_string_literal(int32_t id, const char* text) noexcept {
  if (text == nullptr) return;
  std::string_view bytes(text);
  if (!is_valid_utf8(bytes)) return;
  upsert_jit_string_literal(id, std::string(bytes));
}

void vexlor_jit_print_string(int32_t handle) noexcept {
  auto bytes = jit_text_arg_bytes(handle);
  if (bytes && !bytes->empty()) {
    write_jit_output(utf8_lossy(*bytes));
  } else if (auto literal = jit_string_literal_value(handle)) {
    write_jit_output(*literal);
  }
}

void vexlor_jit_print_i32(int32_t value) noexcept { write_jit_output(std::to_string(value)); }

}  // extern "C"
