// The sprite-atlas affinity planner: rearranges sprites among the given atlas
// pages so that fewer weighted sprite pairs are split across pages.
//
// `plan_atlas_affinity` is pure and deterministic: no I/O, no global state, no
// clock, no randomness. All sizes are pixels; byte counts are page storage at
// 4 bytes per pixel.
#pragma once

#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

namespace vexlor {

// Which sprites may share a page. Two absent fields are equal; a present
// field equals only a present field with the same number.
struct AtlasCompatibilityKey {
  std::optional<uint64_t> group_id;
  std::optional<uint32_t> attribute_a;
  std::optional<uint32_t> attribute_b;
  std::optional<uint32_t> attribute_c;
  std::optional<uint32_t> attribute_d;

  bool is_known() const;
  bool operator==(const AtlasCompatibilityKey&) const = default;
};

struct AtlasSpriteDescriptor {
  AtlasCompatibilityKey key;
  uint64_t handle = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t padding = 0;
};

struct AtlasPageExtent {
  AtlasCompatibilityKey key;
  uint64_t allocation_bytes = 0;
  uint32_t page_index = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t usable_x = 0;
  uint32_t usable_y = 0;
};

// Where a sprite is now; (x, y) is the top-left of its content.
struct AtlasBaselinePlacement {
  uint64_t handle = 0;
  uint32_t page_index = 0;
  uint32_t x = 0;
  uint32_t y = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t padding = 0;
};

// An ordered affinity pair: (a, b) and (b, a) are distinct pairs.
struct AtlasPairWeight {
  uint64_t from = 0;
  uint64_t to = 0;
  uint64_t weight = 0;
};

struct AtlasPlanInput {
  std::vector<AtlasSpriteDescriptor> sprites;
  std::vector<AtlasPageExtent> pages;
  std::vector<AtlasBaselinePlacement> baseline;
  std::vector<AtlasPairWeight> pairs;
  uint64_t snapshot_token = 0;
  uint64_t expected_token = 0;
  uint64_t resident_bytes = 0;
  uint64_t resident_byte_budget = 0;
  uint64_t stage_peak_cap_bytes = 0;
};

// One row of a page being packed. `height` is set by the first slot.
struct Shelf {
  uint32_t y = 0;
  uint32_t height = 0;
  uint32_t cursor_x = 0;
};

// The packing of one page; shelves stay in the order they were opened.
struct PagePackingState {
  const AtlasPageExtent* page = nullptr;
  std::vector<Shelf> shelves;
};

struct AtlasPlacement {
  uint64_t handle = 0;
  uint32_t page_index = 0;
  uint32_t x = 0;
  uint32_t y = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t slot_x = 0;
  uint32_t slot_y = 0;
  uint32_t slot_width = 0;
  uint32_t slot_height = 0;

  bool operator==(const AtlasPlacement&) const = default;
};

// A group of sprites the plan keeps on one page. `members` holds handles in
// ascending order without repeats.
struct AffinityCluster {
  AtlasCompatibilityKey key;
  std::vector<uint64_t> members;
  uint64_t max_edge_weight = 0;
  uint64_t internal_weight = 0;
  uint64_t padded_area = 0;
  uint64_t first_handle = 0;
};

// One candidate page for one cluster.
struct PackedCluster {
  PagePackingState state;
  std::vector<AtlasPlacement> placements;
  uint64_t neighbour_weight = 0;
  uint64_t stay_count = 0;
  uint64_t waste = 0;
};

struct AtlasPlannedPage {
  AtlasCompatibilityKey key;
  uint64_t allocation_bytes = 0;
  uint64_t sprite_count = 0;
  uint32_t page_index = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t usable_x = 0;
  uint32_t usable_y = 0;

  bool operator==(const AtlasPlannedPage&) const = default;
};

struct AtlasPlanMetrics {
  uint64_t pages_before = 0;
  uint64_t pages_after = 0;
  uint64_t moved_sprites = 0;
  uint64_t split_weight_before = 0;
  uint64_t split_weight_after = 0;
  uint64_t split_weight_reduction = 0;
  uint64_t page_bytes = 0;
  uint64_t projected_resident_bytes = 0;
  uint64_t peak_stage_bytes = 0;

  bool operator==(const AtlasPlanMetrics&) const = default;
};

struct AtlasPlan {
  std::vector<AtlasPlacement> placements;  // one per sprite, by handle
  std::vector<AtlasPlannedPage> pages;     // by page index
  AtlasPlanMetrics metrics;

  bool operator==(const AtlasPlan&) const = default;
};

// Exactly one of `plan` and `rejection` is present.
struct AtlasPlanReport {
  std::optional<AtlasPlanMetrics> baseline;
  std::optional<AtlasPlanMetrics> candidate;
  std::optional<AtlasPlan> plan;
  std::optional<uint8_t> rejection;
  // Placement attempts spent by the call; for diagnostics and benchmarks.
  uint64_t attempts = 0;

  bool operator==(const AtlasPlanReport&) const = default;
};

// Rejection codes of the planner.
namespace atlas_rejection {
inline constexpr uint8_t token_mismatch = 0;
inline constexpr uint8_t no_sprites = 1;
inline constexpr uint8_t too_many_sprites = 2;
inline constexpr uint8_t too_many_pages = 3;
inline constexpr uint8_t too_many_pairs = 4;
inline constexpr uint8_t no_pages = 5;
inline constexpr uint8_t duplicate_sprite = 6;
inline constexpr uint8_t duplicate_page = 7;
inline constexpr uint8_t duplicate_baseline = 8;
inline constexpr uint8_t baseline_count = 9;
inline constexpr uint8_t unknown_key = 10;
inline constexpr uint8_t empty_sprite = 11;
inline constexpr uint8_t bad_page_extent = 12;
inline constexpr uint8_t bad_page_bytes = 13;
inline constexpr uint8_t bad_baseline_slot = 14;
inline constexpr uint8_t overlapping_baseline = 15;
inline constexpr uint8_t baseline_key_mismatch = 16;
inline constexpr uint8_t unknown_handle = 17;
inline constexpr uint8_t bad_pair = 18;
inline constexpr uint8_t duplicate_pair = 19;
inline constexpr uint8_t overflow = 20;
inline constexpr uint8_t cluster_fits_no_page = 21;
inline constexpr uint8_t resident_bytes_below_pages = 22;
inline constexpr uint8_t over_byte_budget = 23;
inline constexpr uint8_t no_split_reduction = 24;
inline constexpr uint8_t attempts_exhausted = 25;
}  // namespace atlas_rejection

inline constexpr uint64_t atlas_max_placement_attempts = 1'000'000;

// A slot given by the shelf packer, with the leftovers of the chosen shelf.
struct AtlasSlot {
  uint32_t x = 0;
  uint32_t y = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t leftover_height = 0;
  uint32_t leftover_width = 0;

  bool operator==(const AtlasSlot&) const = default;
};

struct DoesNotFit {};
struct AtlasRejection {
  uint8_t code = 0;
};

using SlotAttempt = std::variant<AtlasSlot, DoesNotFit, AtlasRejection>;

// Places one padded slot of `width` × `height` on `state` with the shelf
// packer, counting one attempt against the call's shared `attempts`.
SlotAttempt counted_try_place(PagePackingState& state, uint32_t width, uint32_t height, uint64_t& attempts);

AtlasPlanReport plan_atlas_affinity(const AtlasPlanInput& input);

}  // namespace vexlor
