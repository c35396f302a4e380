#include "atlas_placement.hpp"

#include <algorithm>
#include <limits>
#include <map>
#include <set>
#include <tuple>
#include <utility>

namespace vexlor {

namespace rejection = atlas_rejection;

bool AtlasCompatibilityKey::is_known() const {
  return group_id.has_value() && *group_id != 0 && attribute_a.has_value() && attribute_b.has_value() &&
         attribute_c.has_value() && attribute_d.has_value();
}

namespace {

constexpr size_t max_sprites = 512;
constexpr size_t max_pages = 256;
constexpr size_t max_pairs = 32768;
constexpr uint64_t max_pair_weight = 1'000'000'000;
constexpr uint64_t bytes_per_pixel = 4;

// Everything below works on sprite ranks (position in ascending handle order)
// and page ranks (position in ascending page-index order), so that ordered
// iteration is plain vector iteration.
struct Neighbour {
  uint32_t sprite = 0;
  uint64_t weight = 0;
};

struct Edge {
  uint32_t from = 0;
  uint32_t to = 0;
  uint64_t weight = 0;
};

struct Footprint {
  uint32_t width = 0;
  uint32_t height = 0;
  uint64_t area() const { return uint64_t{width} * height; }
};

struct PlannerSprite {
  const AtlasSpriteDescriptor* descriptor = nullptr;
  Footprint footprint;
  const AtlasBaselinePlacement* baseline = nullptr;
  uint32_t baseline_page = 0;
  std::vector<Neighbour> adjacency;  // ascending neighbour handle
};

struct PlannerTables {
  std::vector<PlannerSprite> sprites;
  std::vector<uint64_t> handles;  // of `sprites`, for rank lookups
  std::vector<const AtlasPageExtent*> pages;
  std::vector<Edge> edges;  // input order
  uint64_t attempts = 0;
};

// A step either finishes or ends the whole call with a rejection code.
using Rejection = std::optional<uint8_t>;

bool add_checked(uint64_t& total, uint64_t value) { return !__builtin_add_overflow(total, value, &total); }

std::optional<uint32_t> padded_extent(uint32_t extent, int32_t padding) {
  const uint64_t padded = uint64_t{extent} + 2 * uint64_t(uint32_t(padding));
  if (padding < 0 || padded > std::numeric_limits<uint32_t>::max()) return std::nullopt;
  return uint32_t(padded);
}

bool is_valid_weight(uint64_t weight) { return weight >= 1 && weight <= max_pair_weight; }

// ---- validation ------------------------------------------------------------

Rejection check_counts(const AtlasPlanInput& input) {
  if (input.snapshot_token != input.expected_token) return rejection::token_mismatch;
  if (input.sprites.empty()) return rejection::no_sprites;
  if (input.sprites.size() > max_sprites) return rejection::too_many_sprites;
  if (input.pages.empty()) return rejection::no_pages;
  if (input.pages.size() > max_pages) return rejection::too_many_pages;
  if (input.pairs.size() > max_pairs) return rejection::too_many_pairs;
  if (input.baseline.size() != input.sprites.size()) return rejection::baseline_count;
  return std::nullopt;
}

// Fills `tables.sprites` in handle order with descriptors and footprints.
Rejection index_sprites(const AtlasPlanInput& input, PlannerTables& tables) {
  std::map<uint64_t, PlannerSprite> by_handle;
  for (const AtlasSpriteDescriptor& sprite : input.sprites) {
    if (by_handle.count(sprite.handle) != 0) return rejection::duplicate_sprite;
    if (!sprite.key.is_known()) return rejection::unknown_key;
    if (sprite.width == 0 || sprite.height == 0) return rejection::empty_sprite;
    const std::optional<uint32_t> width = padded_extent(sprite.width, sprite.padding);
    const std::optional<uint32_t> height = padded_extent(sprite.height, sprite.padding);
    if (!width || !height) return rejection::overflow;
    by_handle[sprite.handle] = PlannerSprite{&sprite, Footprint{*width, *height}, nullptr, 0, {}};
  }
  for (auto& [handle, sprite] : by_handle) {
    tables.handles.push_back(handle);
    tables.sprites.push_back(std::move(sprite));
  }
  return std::nullopt;
}

// Fills `tables.pages` in page-index order; `page_bytes` is their sum.
Rejection index_pages(const AtlasPlanInput& input, PlannerTables& tables, uint64_t& page_bytes) {
  std::map<uint32_t, const AtlasPageExtent*> by_index;
  page_bytes = 0;
  for (const AtlasPageExtent& page : input.pages) {
    if (by_index.count(page.page_index) != 0) return rejection::duplicate_page;
    if (!page.key.is_known()) return rejection::unknown_key;
    if (page.width == 0 || page.height == 0 || page.usable_x >= page.width || page.usable_y >= page.height) {
      return rejection::bad_page_extent;
    }
    uint64_t bytes = 0;
    if (__builtin_mul_overflow(uint64_t{page.width} * page.height, bytes_per_pixel, &bytes)) return rejection::overflow;
    if (page.allocation_bytes != bytes) return rejection::bad_page_bytes;
    if (!add_checked(page_bytes, bytes)) return rejection::overflow;
    by_index[page.page_index] = &page;
  }
  for (const auto& [index, page] : by_index) tables.pages.push_back(page);
  return std::nullopt;
}

std::optional<uint32_t> sprite_rank(const PlannerTables& tables, uint64_t handle) {
  const auto found = std::lower_bound(tables.handles.begin(), tables.handles.end(), handle);
  if (found == tables.handles.end() || *found != handle) return std::nullopt;
  return uint32_t(found - tables.handles.begin());
}

std::optional<uint32_t> page_rank(const PlannerTables& tables, uint32_t page_index) {
  const auto found = std::lower_bound(tables.pages.begin(), tables.pages.end(), page_index,
                                      [](const AtlasPageExtent* page, uint32_t i) { return page->page_index < i; });
  if (found == tables.pages.end() || (*found)->page_index != page_index) return std::nullopt;
  return uint32_t(found - tables.pages.begin());
}

// Half-open rectangle of a baseline slot on its page.
struct SlotRect {
  uint32_t page = 0;
  uint32_t left = 0;
  uint32_t top = 0;
  uint32_t right = 0;
  uint32_t bottom = 0;
};

bool overlaps(const SlotRect& a, const SlotRect& b) {
  return a.page == b.page && a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

Rejection check_baseline_entry(const AtlasBaselinePlacement& entry, PlannerTables& tables,
                               std::vector<SlotRect>& earlier_slots) {
  const std::optional<uint32_t> sprite = sprite_rank(tables, entry.handle);
  if (!sprite) return rejection::unknown_handle;
  const std::optional<uint32_t> page = page_rank(tables, entry.page_index);
  if (!page) return rejection::bad_baseline_slot;
  const AtlasPageExtent& extent = *tables.pages[*page];
  if (extent.key != tables.sprites[*sprite].descriptor->key) return rejection::baseline_key_mismatch;
  if (entry.width == 0 || entry.height == 0) return rejection::bad_baseline_slot;
  if (int64_t{entry.x} < entry.padding || int64_t{entry.y} < entry.padding) return rejection::bad_baseline_slot;
  const std::optional<uint32_t> slot_width = padded_extent(entry.width, entry.padding);
  const std::optional<uint32_t> slot_height = padded_extent(entry.height, entry.padding);
  if (!slot_width || !slot_height) return rejection::overflow;
  SlotRect slot{*page, entry.x - uint32_t(entry.padding), entry.y - uint32_t(entry.padding), 0, 0};
  if (__builtin_add_overflow(slot.left, *slot_width, &slot.right) ||
      __builtin_add_overflow(slot.top, *slot_height, &slot.bottom)) {
    return rejection::overflow;
  }
  if (slot.left < extent.usable_x || slot.top < extent.usable_y || slot.right > extent.width ||
      slot.bottom > extent.height) {
    return rejection::bad_baseline_slot;
  }
  for (const SlotRect& other : earlier_slots) {
    if (overlaps(slot, other)) return rejection::overlapping_baseline;
  }
  earlier_slots.push_back(slot);
  tables.sprites[*sprite].baseline = &entry;
  tables.sprites[*sprite].baseline_page = *page;
  return std::nullopt;
}

Rejection index_baseline(const AtlasPlanInput& input, PlannerTables& tables) {
  std::set<uint64_t> seen;
  std::vector<SlotRect> slots;
  slots.reserve(input.baseline.size());
  for (const AtlasBaselinePlacement& entry : input.baseline) {
    if (!seen.insert(entry.handle).second) return rejection::duplicate_baseline;
    if (const Rejection failed = check_baseline_entry(entry, tables, slots)) return failed;
  }
  return std::nullopt;
}

Rejection index_pairs(const AtlasPlanInput& input, PlannerTables& tables) {
  const size_t count = tables.sprites.size();
  std::vector<bool> seen(count * count, false);
  uint64_t total = 0;
  tables.edges.reserve(input.pairs.size());
  for (const AtlasPairWeight& pair : input.pairs) {
    if (pair.from == pair.to || !is_valid_weight(pair.weight)) return rejection::bad_pair;
    const std::optional<uint32_t> from = sprite_rank(tables, pair.from);
    const std::optional<uint32_t> to = sprite_rank(tables, pair.to);
    if (!from || !to) return rejection::unknown_handle;
    const size_t slot = size_t{*from} * count + *to;
    if (seen[slot]) return rejection::duplicate_pair;
    seen[slot] = true;
    if (!add_checked(total, pair.weight)) return rejection::overflow;
    tables.edges.push_back(Edge{*from, *to, pair.weight});
    tables.sprites[*from].adjacency.push_back(Neighbour{*to, pair.weight});
    tables.sprites[*to].adjacency.push_back(Neighbour{*from, pair.weight});
  }
  for (PlannerSprite& sprite : tables.sprites) {
    std::stable_sort(sprite.adjacency.begin(), sprite.adjacency.end(),
                     [](const Neighbour& a, const Neighbour& b) { return a.sprite < b.sprite; });
  }
  return std::nullopt;
}

Rejection validate(const AtlasPlanInput& input, PlannerTables& tables) {
  if (const Rejection failed = check_counts(input)) return failed;
  if (const Rejection failed = index_sprites(input, tables)) return failed;
  uint64_t page_bytes = 0;
  if (const Rejection failed = index_pages(input, tables, page_bytes)) return failed;
  if (input.resident_bytes < page_bytes) return rejection::resident_bytes_below_pages;
  if (const Rejection failed = index_baseline(input, tables)) return failed;
  return index_pairs(input, tables);
}

// ---- split weight and page counts ---------------------------------------------

// Sum of the weights of edges whose endpoints lie on different pages.
template <class PageOf>
Rejection split_weight(const PlannerTables& tables, PageOf page_of, uint64_t& total) {
  total = 0;
  for (const Edge& edge : tables.edges) {
    if (page_of(edge.from) != page_of(edge.to) && !add_checked(total, edge.weight)) return rejection::overflow;
  }
  return std::nullopt;
}

Rejection baseline_metrics(const AtlasPlanInput& input, const PlannerTables& tables, AtlasPlanMetrics& metrics) {
  uint64_t split = 0;
  if (const Rejection failed =
          split_weight(tables, [&](uint32_t sprite) { return tables.sprites[sprite].baseline_page; }, split)) {
    return failed;
  }
  std::vector<bool> used(tables.pages.size(), false);
  for (const PlannerSprite& sprite : tables.sprites) used[sprite.baseline_page] = true;
  metrics = AtlasPlanMetrics{};
  for (size_t page = 0; page < used.size(); ++page) {
    if (!used[page]) continue;
    ++metrics.pages_before;
    // Baseline pages are a subset of the validated pages, whose sum fits.
    metrics.page_bytes += tables.pages[page]->allocation_bytes;
  }
  metrics.pages_after = metrics.pages_before;
  metrics.split_weight_before = split;
  metrics.split_weight_after = split;
  metrics.projected_resident_bytes = input.resident_bytes;
  metrics.peak_stage_bytes = input.resident_bytes;
  return std::nullopt;
}

// ---- shelf packing -------------------------------------------------------------

const AtlasCompatibilityKey& sprite_key(const PlannerTables& tables, uint32_t sprite) {
  return tables.sprites[sprite].descriptor->key;
}

// Members (ascending ranks) in packing order: footprint area, padded height and
// padded width descending, then handle ascending.
std::vector<uint32_t> ordered_cluster_members(const std::vector<uint32_t>& members, const PlannerTables& tables) {
  std::vector<uint32_t> ordered = members;
  std::sort(ordered.begin(), ordered.end(), [&](uint32_t a, uint32_t b) {
    const Footprint& fa = tables.sprites[a].footprint;
    const Footprint& fb = tables.sprites[b].footprint;
    return std::make_tuple(fb.area(), fb.height, fb.width, a) < std::make_tuple(fa.area(), fa.height, fa.width, b);
  });
  return ordered;
}

// Whether the members fit together on one empty page of their key.
std::variant<bool, AtlasRejection> cluster_fits_any_page(const std::vector<uint32_t>& members,
                                                          const AtlasCompatibilityKey& key, PlannerTables& tables) {
  const std::vector<uint32_t> ordered = ordered_cluster_members(members, tables);
  for (const AtlasPageExtent* page : tables.pages) {
    if (page->key != key) continue;
    PagePackingState state{page, {}};
    bool all_fit = true;
    for (uint32_t member : ordered) {
      const Footprint& footprint = tables.sprites[member].footprint;
      const SlotAttempt attempt = counted_try_place(state, footprint.width, footprint.height, tables.attempts);
      if (const auto* failed = std::get_if<AtlasRejection>(&attempt)) return *failed;
      if (std::holds_alternative<DoesNotFit>(attempt)) {
        all_fit = false;
        break;
      }
    }
    if (all_fit) return true;
  }
  return false;
}

// Packs the ordered members onto a copy of one page's state. `neighbour_weight`
// is the weight of pairs joining the members to sprites already on this page.
std::variant<PackedCluster, DoesNotFit, AtlasRejection> pack_cluster_on_page(const std::vector<uint32_t>& ordered,
                                                                              const PagePackingState& page_state,
                                                                              uint32_t page, uint64_t neighbour_weight,
                                                                              PlannerTables& tables) {
  PackedCluster packed{page_state, {}, neighbour_weight, 0, 0};
  packed.placements.reserve(ordered.size());
  for (uint32_t member : ordered) {
    const PlannerSprite& sprite = tables.sprites[member];
    const SlotAttempt attempt =
        counted_try_place(packed.state, sprite.footprint.width, sprite.footprint.height, tables.attempts);
    if (const auto* failed = std::get_if<AtlasRejection>(&attempt)) return *failed;
    if (std::holds_alternative<DoesNotFit>(attempt)) return DoesNotFit{};
    const AtlasSlot& slot = std::get<AtlasSlot>(attempt);
    const AtlasSpriteDescriptor& descriptor = *sprite.descriptor;
    AtlasPlacement placement{descriptor.handle, packed.state.page->page_index, 0, 0, descriptor.width,
                             descriptor.height, slot.x, slot.y, slot.width, slot.height};
    const uint32_t padding = uint32_t(descriptor.padding);
    if (__builtin_add_overflow(slot.x, padding, &placement.x) || __builtin_add_overflow(slot.y, padding, &placement.y) ||
        !add_checked(packed.waste, uint64_t{slot.leftover_height} + slot.leftover_width)) {
      return AtlasRejection{rejection::overflow};
    }
    packed.placements.push_back(placement);
    if (sprite.baseline_page == page) ++packed.stay_count;
  }
  return packed;
}

bool is_better_candidate(const PackedCluster& candidate, const PackedCluster& best) {
  return std::make_tuple(candidate.neighbour_weight, candidate.stay_count, best.waste) >
         std::make_tuple(best.neighbour_weight, best.stay_count, candidate.waste);
}

// ---- merging and clusters -------------------------------------------------------

struct Components {
  std::vector<uint32_t> of_sprite;                // component identifier per sprite
  std::vector<std::vector<uint32_t>> members;  // ascending ranks; empty once merged away
};

std::vector<uint32_t> union_of(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  std::vector<uint32_t> joined;
  joined.reserve(a.size() + b.size());
  std::merge(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(joined));
  return joined;
}

// Greedy merge, heaviest pair first; a union that fits no empty page of its
// key is blocked for as long as both components exist.
Rejection merge_components(PlannerTables& tables, Components& components) {
  const uint32_t count = uint32_t(tables.sprites.size());
  components.of_sprite.resize(count);
  components.members.resize(count);
  for (uint32_t sprite = 0; sprite < count; ++sprite) {
    components.of_sprite[sprite] = sprite;
    components.members[sprite] = {sprite};
  }
  std::vector<Edge> heaviest_first = tables.edges;
  std::stable_sort(heaviest_first.begin(), heaviest_first.end(), [](const Edge& a, const Edge& b) {
    return std::make_tuple(b.weight, a.from, a.to) < std::make_tuple(a.weight, b.from, b.to);
  });
  std::set<std::pair<uint32_t, uint32_t>> blocked;
  for (const Edge& edge : heaviest_first) {
    const uint32_t a = components.of_sprite[edge.from];
    const uint32_t b = components.of_sprite[edge.to];
    if (a == b) continue;
    const std::pair<uint32_t, uint32_t> pair = std::minmax(a, b);
    if (blocked.count(pair) != 0) continue;
    const AtlasCompatibilityKey& key = sprite_key(tables, components.members[a].front());
    if (key != sprite_key(tables, components.members[b].front())) continue;
    std::vector<uint32_t> joined = union_of(components.members[a], components.members[b]);
    const auto fits = cluster_fits_any_page(joined, key, tables);
    if (const auto* failed = std::get_if<AtlasRejection>(&fits)) return failed->code;
    if (!std::get<bool>(fits)) {
      blocked.insert(pair);
      continue;
    }
    const uint32_t joined_id = uint32_t(components.members.size());
    for (uint32_t member : joined) components.of_sprite[member] = joined_id;
    components.members[a].clear();
    components.members[b].clear();
    components.members.push_back(std::move(joined));
  }
  return std::nullopt;
}

struct ClusterOfRanks {
  AffinityCluster cluster;
  std::vector<uint32_t> members;  // ascending ranks
};

Rejection form_clusters(const PlannerTables& tables, const Components& components,
                        std::vector<ClusterOfRanks>& clusters) {
  std::vector<size_t> cluster_of_component(components.members.size(), 0);
  for (size_t id = 0; id < components.members.size(); ++id) {
    const std::vector<uint32_t>& members = components.members[id];
    if (members.empty()) continue;
    ClusterOfRanks formed;
    formed.cluster.key = sprite_key(tables, members.front());
    formed.cluster.first_handle = tables.sprites[members.front()].descriptor->handle;
    for (uint32_t member : members) {
      formed.cluster.members.push_back(tables.sprites[member].descriptor->handle);
      if (!add_checked(formed.cluster.padded_area, tables.sprites[member].footprint.area())) return rejection::overflow;
    }
    formed.members = members;
    cluster_of_component[id] = clusters.size();
    clusters.push_back(std::move(formed));
  }
  for (const Edge& edge : tables.edges) {
    const uint32_t component = components.of_sprite[edge.from];
    if (component != components.of_sprite[edge.to]) continue;
    AffinityCluster& cluster = clusters[cluster_of_component[component]].cluster;
    cluster.max_edge_weight = std::max(cluster.max_edge_weight, edge.weight);
    if (!add_checked(cluster.internal_weight, edge.weight)) return rejection::overflow;
  }
  std::stable_sort(clusters.begin(), clusters.end(), [](const ClusterOfRanks& x, const ClusterOfRanks& y) {
    const AffinityCluster& a = x.cluster;
    const AffinityCluster& b = y.cluster;
    return std::make_tuple(b.max_edge_weight, b.internal_weight, b.padded_area, a.first_handle) <
           std::make_tuple(a.max_edge_weight, a.internal_weight, a.padded_area, b.first_handle);
  });
  return std::nullopt;
}

// ---- packing the clusters -----------------------------------------------------------

struct Packing {
  std::vector<PagePackingState> pages;                 // by page rank
  std::vector<std::optional<AtlasPlacement>> placed;  // by sprite rank
  std::vector<uint32_t> placed_page;                   // page rank, valid once placed
};

// Weight of pairs joining the cluster's members to sprites placed earlier, per page.
Rejection neighbour_weight_by_page(const std::vector<uint32_t>& members, const PlannerTables& tables,
                                   const Packing& packing, std::vector<uint64_t>& by_page) {
  std::fill(by_page.begin(), by_page.end(), 0);
  for (uint32_t member : members) {
    for (const Neighbour& neighbour : tables.sprites[member].adjacency) {
      if (!packing.placed[neighbour.sprite]) continue;
      if (!add_checked(by_page[packing.placed_page[neighbour.sprite]], neighbour.weight)) return rejection::overflow;
    }
  }
  return std::nullopt;
}

Rejection pack_cluster(const ClusterOfRanks& cluster, PlannerTables& tables, Packing& packing,
                       std::vector<uint64_t>& neighbour_weights) {
  const std::vector<uint32_t> ordered = ordered_cluster_members(cluster.members, tables);
  if (const Rejection failed = neighbour_weight_by_page(cluster.members, tables, packing, neighbour_weights)) {
    return failed;
  }
  std::optional<PackedCluster> best;
  uint32_t best_page = 0;
  // Pages come in ascending index, so on equal scores the earlier page stays.
  for (uint32_t page = 0; page < tables.pages.size(); ++page) {
    if (tables.pages[page]->key != cluster.cluster.key) continue;
    auto packed = pack_cluster_on_page(ordered, packing.pages[page], page, neighbour_weights[page], tables);
    if (const auto* failed = std::get_if<AtlasRejection>(&packed)) return failed->code;
    auto* candidate = std::get_if<PackedCluster>(&packed);
    if (candidate == nullptr) continue;
    if (!best || is_better_candidate(*candidate, *best)) {
      best = std::move(*candidate);
      best_page = page;
    }
  }
  if (!best) return rejection::cluster_fits_no_page;
  packing.pages[best_page] = std::move(best->state);
  // Placements come in the order of `ordered`.
  for (size_t i = 0; i < ordered.size(); ++i) {
    packing.placed[ordered[i]] = best->placements[i];
    packing.placed_page[ordered[i]] = best_page;
  }
  return std::nullopt;
}

Rejection pack_clusters(const std::vector<ClusterOfRanks>& clusters, PlannerTables& tables, Packing& packing) {
  for (const AtlasPageExtent* page : tables.pages) packing.pages.push_back(PagePackingState{page, {}});
  packing.placed.assign(tables.sprites.size(), std::nullopt);
  packing.placed_page.assign(tables.sprites.size(), 0);
  std::vector<uint64_t> neighbour_weights(tables.pages.size(), 0);
  for (const ClusterOfRanks& cluster : clusters) {
    if (const Rejection failed = pack_cluster(cluster, tables, packing, neighbour_weights)) return failed;
  }
  return std::nullopt;
}

// ---- evaluation -------------------------------------------------------------------

bool is_moved(const AtlasPlacement& placement, const AtlasBaselinePlacement& baseline) {
  return placement.page_index != baseline.page_index || placement.x != baseline.x || placement.y != baseline.y ||
         placement.width != baseline.width || placement.height != baseline.height;
}

Rejection evaluate(const AtlasPlanInput& input, const PlannerTables& tables, const Packing& packing,
                   const AtlasPlanMetrics& baseline, AtlasPlan& plan) {
  AtlasPlanMetrics& metrics = plan.metrics;
  if (const Rejection failed = split_weight(
          tables, [&](uint32_t sprite) { return packing.placed_page[sprite]; }, metrics.split_weight_after)) {
    return failed;
  }
  std::vector<uint64_t> sprites_on_page(tables.pages.size(), 0);
  for (uint32_t sprite = 0; sprite < tables.sprites.size(); ++sprite) {
    const AtlasPlacement& placement = *packing.placed[sprite];
    ++sprites_on_page[packing.placed_page[sprite]];
    if (is_moved(placement, *tables.sprites[sprite].baseline)) ++metrics.moved_sprites;
    plan.placements.push_back(placement);
  }
  uint64_t all_page_bytes = 0;
  for (uint32_t page = 0; page < tables.pages.size(); ++page) {
    const AtlasPageExtent& extent = *tables.pages[page];
    all_page_bytes += extent.allocation_bytes;  // validated not to overflow
    if (sprites_on_page[page] == 0) continue;
    plan.pages.push_back(AtlasPlannedPage{extent.key, extent.allocation_bytes, sprites_on_page[page], extent.page_index,
                                          extent.width, extent.height, extent.usable_x, extent.usable_y});
    metrics.page_bytes += extent.allocation_bytes;
  }
  // resident_bytes was validated to cover every input page.
  metrics.projected_resident_bytes = input.resident_bytes - all_page_bytes;
  metrics.peak_stage_bytes = input.resident_bytes;
  if (!add_checked(metrics.projected_resident_bytes, metrics.page_bytes) ||
      !add_checked(metrics.peak_stage_bytes, metrics.page_bytes)) {
    return rejection::overflow;
  }
  metrics.split_weight_before = baseline.split_weight_before;
  metrics.split_weight_reduction = metrics.split_weight_after < metrics.split_weight_before
                                       ? metrics.split_weight_before - metrics.split_weight_after
                                       : 0;
  metrics.pages_before = baseline.pages_before;
  metrics.pages_after = plan.pages.size();
  return std::nullopt;
}

AtlasPlanReport rejected(uint8_t code, const PlannerTables& tables, std::optional<AtlasPlanMetrics> baseline = {},
                         std::optional<AtlasPlanMetrics> candidate = {}) {
  AtlasPlanReport report;
  report.baseline = baseline;
  report.candidate = candidate;
  report.rejection = code;
  report.attempts = tables.attempts;
  return report;
}

}  // namespace

SlotAttempt counted_try_place(PagePackingState& state, uint32_t width, uint32_t height, uint64_t& attempts) {
  if (attempts >= atlas_max_placement_attempts) return AtlasRejection{rejection::attempts_exhausted};
  ++attempts;
  const AtlasPageExtent& page = *state.page;
  const uint32_t page_width = page.width;
  const uint32_t page_height = page.height;

  // Score of a shelf: (leftover height, leftover width, y, x), smallest wins.
  using Score = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>;
  std::optional<size_t> best_shelf;
  Score best_score{};
  for (size_t index = 0; index < state.shelves.size(); ++index) {
    const Shelf& shelf = state.shelves[index];
    const bool can_take = shelf.cursor_x <= page_width && width <= page_width - shelf.cursor_x &&
                          shelf.y <= page_height && shelf.height >= height && shelf.height <= page_height - shelf.y;
    if (!can_take) continue;
    const Score score{shelf.height - height, page_width - shelf.cursor_x - width, shelf.y, shelf.cursor_x};
    if (!best_shelf || score < best_score) {
      best_shelf = index;
      best_score = score;
    }
  }

  bool new_row_open = true;
  uint32_t next_row = page.usable_y;
  for (const Shelf& shelf : state.shelves) {
    uint32_t bottom = 0;
    if (__builtin_add_overflow(shelf.y, shelf.height, &bottom)) {
      new_row_open = false;
      break;
    }
    next_row = std::max(next_row, bottom);
  }
  const bool new_shelf_possible = new_row_open && page.usable_x <= page_width && next_row <= page_height &&
                                  width <= page_width - page.usable_x && height <= page_height - next_row;

  // An existing shelf wins only on an exact height fit that the new shelf
  // does not beat on (leftover width, y, x). When the new shelf is
  // impossible any existing shelf serves.
  const uint32_t new_leftover_width = new_shelf_possible ? page_width - page.usable_x - width : 0;
  const bool choose_new =
      new_shelf_possible &&
      (!best_shelf || std::get<0>(best_score) > 0 ||
       std::make_tuple(new_leftover_width, next_row, page.usable_x) <
           std::make_tuple(std::get<1>(best_score), std::get<2>(best_score), std::get<3>(best_score)));
  // Every accepted x satisfies width <= page_width - x, so x + width never
  // exceeds the page width and cannot overflow.
  if (choose_new) {
    state.shelves.push_back(Shelf{next_row, height, page.usable_x + width});
    return AtlasSlot{page.usable_x, next_row, width, height, 0, new_leftover_width};
  }
  if (!best_shelf) return DoesNotFit{};
  Shelf& shelf = state.shelves[*best_shelf];
  const AtlasSlot slot{shelf.cursor_x, shelf.y, width, height, std::get<0>(best_score), std::get<1>(best_score)};
  shelf.cursor_x += width;
  return slot;
}

AtlasPlanReport plan_atlas_affinity(const AtlasPlanInput& input) {
  PlannerTables tables;
  if (const Rejection failed = validate(input, tables)) return rejected(*failed, tables);

  AtlasPlanMetrics baseline;
  if (const Rejection failed = baseline_metrics(input, tables, baseline)) return rejected(*failed, tables);

  Components components;
  if (const Rejection failed = merge_components(tables, components)) return rejected(*failed, tables, baseline);
  std::vector<ClusterOfRanks> clusters;
  if (const Rejection failed = form_clusters(tables, components, clusters)) return rejected(*failed, tables, baseline);
  Packing packing;
  if (const Rejection failed = pack_clusters(clusters, tables, packing)) return rejected(*failed, tables, baseline);

  AtlasPlan plan;
  if (const Rejection failed = evaluate(input, tables, packing, baseline, plan)) {
    return rejected(*failed, tables, baseline);
  }
  const AtlasPlanMetrics& candidate = plan.metrics;
  if (candidate.projected_resident_bytes > input.resident_byte_budget ||
      candidate.peak_stage_bytes > input.stage_peak_cap_bytes) {
    return rejected(rejection::over_byte_budget, tables, baseline, candidate);
  }
  if (candidate.split_weight_after >= candidate.split_weight_before) {
    return rejected(rejection::no_split_reduction, tables, baseline, candidate);
  }
  AtlasPlanReport report;
  report.baseline = baseline;
  report.candidate = candidate;
  report.plan = std::move(plan);
  report.attempts = tables.attempts;
  return report;
}

}  // namespace vexlor
