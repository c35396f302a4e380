#include "literals.hpp"

#include <algorithm>
#include <array>
#include <string>

#include "text.hpp"

namespace quillfen {

namespace {

struct LiteralEntry {
  int32_t id;
  std::string_view text;
};

#define QUILLFEN_LITERAL_ENTRY(name, text) LiteralEntry{lit::name, text},
constexpr std::array game_literals = {QUILLFEN_LITERALS(QUILLFEN_LITERAL_ENTRY)};
#undef QUILLFEN_LITERAL_ENTRY

constexpr auto literals_by_id() {
  auto sorted = game_literals;
  std::sort(sorted.begin(), sorted.end(), [](const LiteralEntry& a, const LiteralEntry& b) { return a.id < b.id; });
  return sorted;
}

constexpr bool ids_distinct(const std::array<LiteralEntry, game_literals.size()>& sorted) {
  for (size_t i = 1; i < sorted.size(); ++i)
    if (sorted[i - 1].id == sorted[i].id) return false;
  return true;
}

constexpr auto game_literals_by_id = literals_by_id();
static_assert(ids_distinct(game_literals_by_id), "two literals hash to the same id");

}  // namespace

void load_game_literals() {
  vexlor::clear_jit_string_literal_table();
  for (const LiteralEntry& literal : game_literals_by_id)
    vexlor::upsert_jit_string_literal(literal.id, std::string(literal.text));
}

}  // namespace quillfen
