// The game module as a host sees it: loaded with dlopen, reached through its
// exported symbols and its host table.
#include <elf.h>
#include <link.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string_view>

#include "fnv.hpp"
#include "literals.hpp"
#include "module_loader.hpp"

namespace {

using vexlor::key_of;

constexpr int32_t replay_size = 365551;

TEST(ModuleAtLoad, EveryGlobalIsZeroExceptItsCapacity) {
  LoadedModule module;
  for (const ManifestEntry& entry : read_state_manifest()) {
    SCOPED_TRACE(entry.path);
    if (entry.klass == "scalar") {
      EXPECT_EQ(module.global<int32_t>(entry.symbol), entry.initial);
      continue;
    }
    const size_t bytes = static_cast<size_t>(entry.count) * (entry.type == "u8" ? 1 : 4);
    const auto* memory = static_cast<const uint8_t*>(module.symbol(entry.symbol));
    EXPECT_EQ(std::count(memory, memory + bytes, 0), static_cast<ptrdiff_t>(bytes));
  }
  const std::pair<const char*, int32_t> capacities[] = {
      {"vexlor_state_scalar__app__maze__walls__max_length", 4096},
      {"vexlor_state_scalar__app__input__intents__max_length", 8},
      {"vexlor_state_scalar__app__host__frame__keys__max_length", 512},
      {"vexlor_state_scalar__app__host__frame__pointers__max_length", 8},
      {"vexlor_state_scalar__app__fonts__layout_error_number__max_length", 12},
      {"vexlor_state_scalar__app__maze_wall_cache__vertical_boundary_end__max_length", 54},
      {"vexlor_state_scalar__app__layout__picker__options__max_length", 4},
      {"vexlor_state_scalar__app__fonts__text_runs__max_length", 17},
      {"host_i32__max_length", 768},
      {"host_f32__max_length", 64},
      {"gfx_cmd_u8__max_length", 65536},
  };
  for (const auto& [symbol, capacity] : capacities) EXPECT_EQ(module.global<int32_t>(symbol), capacity) << symbol;
}

TEST(ModuleState, TheTreeHasTheDeclaredShape) {
  std::map<std::string, int> globals;
  int replay_scalars = 0, replay_bools = 0, replay_arrays = 0;
  for (const ManifestEntry& entry : read_state_manifest()) {
    const std::string kind = entry.type == "bool" ? "i32" : entry.type;
    ++globals[(entry.klass == "scalar" ? "scalar " : "array ") + kind];
    if (entry.replay_offset < 0) continue;
    if (entry.klass == "scalar") {
      ++replay_scalars;
      replay_bools += entry.type == "bool";
    } else {
      ++replay_arrays;
    }
  }
  EXPECT_EQ(globals["scalar i32"], 443);
  EXPECT_EQ(globals["scalar f32"], 291);
  EXPECT_EQ(globals["array i32"], 49);
  EXPECT_EQ(globals["array f32"], 27);
  EXPECT_EQ(globals["array u8"], 2);
  EXPECT_EQ(replay_scalars, 672);
  EXPECT_EQ(replay_bools, 70);
  EXPECT_EQ(replay_arrays, 62);
}

// Every global reached by its key through the registry is the exported
// symbol's own memory, in both directions.
TEST(ModuleBind, EveryGlobalIsRegisteredAtItsOwnAddress) {
  LoadedModule module;
  module.bind();
  int32_t value = 1;
  for (const ManifestEntry& entry : read_state_manifest()) {
    SCOPED_TRACE(entry.path);
    ++value;
    void* memory = module.symbol(entry.symbol);
    if (entry.klass == "scalar" && entry.type == "f32") {
      module.f32_store(entry.first_key, static_cast<float>(value));
      EXPECT_EQ(*static_cast<float*>(memory), static_cast<float>(value));
      *static_cast<float*>(memory) = 0.5f;
      EXPECT_EQ(module.f32_load(entry.first_key), 0.5f);
    } else if (entry.klass == "scalar") {
      module.i32_store(entry.first_key, value);
      EXPECT_EQ(*static_cast<int32_t*>(memory), value);
      *static_cast<int32_t*>(memory) = -value;
      EXPECT_EQ(module.i32_load(entry.first_key), -value);
    } else if (entry.type == "f32") {
      const int32_t last = entry.count - 1;
      module.f32_array_store(entry.first_key, entry.second_key, last, static_cast<float>(value));
      EXPECT_EQ(static_cast<float*>(memory)[last], static_cast<float>(value));
      EXPECT_EQ(module.f32_array_load(entry.first_key, entry.second_key, entry.count), 0.0f) << "beyond capacity";
    } else if (entry.type == "u8") {
      const int32_t last = entry.count - 1;
      static_cast<uint8_t*>(memory)[last] = 200;
      EXPECT_EQ(module.i32_array_load(entry.first_key, entry.second_key, last), 200);
    } else {
      const int32_t last = entry.count - 1;
      module.i32_array_store(entry.first_key, entry.second_key, last, value);
      EXPECT_EQ(static_cast<int32_t*>(memory)[last], value);
      EXPECT_EQ(module.i32_array_load(entry.first_key, entry.second_key, entry.count), 0) << "beyond capacity";
    }
  }
}

TEST(ModuleBind, KeysFollowTheDottedPaths) {
  LoadedModule module;
  module.bind();
  module.global<int32_t>("vexlor_state_scalar__app__level__seed") = 17731;
  EXPECT_EQ(module.i32_load(key_of("app.level.seed")), 17731);
  module.i32_array_store(key_of("app.maze.walls"), 0, 5, 9);
  EXPECT_EQ((&module.global<int32_t>("vexlor_state_array__app__maze__walls"))[5], 9);
  module.f32_array_store(key_of("app.fonts.transition.candidate_labels"), key_of("bounds.height"), 3, 2.5f);
  EXPECT_EQ((&module.global<float>("vexlor_state_array__app__fonts__transition__candidate_labels__bounds__height"))[3],
            2.5f);
  module.i32_array_store(key_of("host_i32"), 0, 767, 4);
  EXPECT_EQ((&module.global<int32_t>("host_i32"))[767], 4);
}

// The wall cache has a column named length beside the collection's own
// length scalar: two globals with two keys.
TEST(ModuleBind, ACollectionLengthAndALengthColumnAreDifferentGlobals) {
  LoadedModule module;
  module.bind();
  module.i32_store(key_of("app.maze_wall_cache.horizontal.length"), 37);
  module.i32_array_store(key_of("app.maze_wall_cache.horizontal"), key_of("length"), 0, 5);
  EXPECT_EQ(module.global<int32_t>("vexlor_state_scalar__app__maze_wall_cache__horizontal__length"), 37);
  EXPECT_EQ((&module.global<int32_t>("vexlor_state_array__app__maze_wall_cache__horizontal__length"))[0], 5);
  EXPECT_EQ(module.i32_load(key_of("app.maze_wall_cache.horizontal.length")), 37);
  EXPECT_EQ(module.i32_array_load(key_of("app.maze_wall_cache.horizontal"), key_of("length"), 0), 5);
}

TEST(ModuleBind, ReplacesTheLiteralTableWithTheGamesLiterals) {
  LoadedModule module;
  const auto upsert = module.function<void(int32_t, const char*)>("vexlor_jit_upsert_string_literal");
  const auto length = module.function<int32_t(int32_t, int32_t)>("vexlor_jit_collection_i32_load");
  upsert(key_of("stale text"), "stale text");
  module.bind();
  EXPECT_EQ(length(key_of("stale text"), 1), 0) << "bind clears the table first";

  std::vector<std::string_view> texts;
#define COLLECT_TEXT(name, text) texts.push_back(text);
  QUILLFEN_LITERALS(COLLECT_TEXT)
#undef COLLECT_TEXT
  EXPECT_EQ(texts.size(), 59u);
  for (std::string_view text : texts) {
    SCOPED_TRACE(text);
    const int32_t id = key_of(text);
    ASSERT_EQ(length(id, 1), static_cast<int32_t>(text.size()));
    std::string read;
    for (int32_t i = 0; i < length(id, 1); ++i) read += static_cast<char>(module.i32_array_load(id, 0, i));
    EXPECT_EQ(read, text);
  }
  EXPECT_EQ(quillfen::lit::brewing_title, key_of("BREWING A NEW MAZE"));
  EXPECT_EQ(quillfen::lit::empty_text, -2128831035);
}

TEST(ModuleEntry, MainRequestsTheWindowAndStartsTheGame) {
  LoadedModule module;
  module.bind();
  EXPECT_EQ(module.main(), 0);
  EXPECT_EQ(module.global<int32_t>("host_req_seq"), 1);
  EXPECT_EQ(module.global<int32_t>("host_req_flags"), 1);
  EXPECT_EQ(module.global<int32_t>("host_req_window_w_px"), 405);
  EXPECT_EQ(module.global<int32_t>("host_req_window_h_px"), 900);
  EXPECT_EQ(module.global<int32_t>("vexlor_state_scalar__app__schema_version"), 10);
}

struct HostBlock {
  int32_t* i32;
  float* f32;
  explicit HostBlock(const LoadedModule& module)
      : i32(&module.global<int32_t>("host_i32")), f32(&module.global<float>("host_f32")) {}
};

TEST(ModuleEntry, TickCopiesTheHostFrameAndStopsOnQuit) {
  LoadedModule module;
  module.bind();
  module.main();
  HostBlock host(module);
  host.i32[0] = 1234;    // time_ms
  host.i32[9] = 7;       // quit requested: any non-zero word
  host.i32[11] = -1;     // display.resized flag
  host.i32[24] = 810;    // drawable width
  host.i32[30] = 3;      // display generation
  host.i32[32 + 4] = 1;  // key A
  host.i32[543] = 9;     // the last key word
  host.f32[55] = 900.5f; // safe height
  EXPECT_EQ(module.tick(), 1);
  const auto frame = [&](const char* field) {
    return module.global<int32_t>(std::string("vexlor_state_scalar__app__host__frame__") + field);
  };
  EXPECT_EQ(frame("quit_requested"), 1);
  EXPECT_EQ(frame("time_ms"), 1234);
  EXPECT_EQ(frame("display__resized"), 1);
  EXPECT_EQ(frame("display__drawable_width_px"), 810);
  EXPECT_EQ(frame("display__generation"), 3);
  EXPECT_EQ(module.global<float>("vexlor_state_scalar__app__host__frame__display__safe_height"), 900.5f);
  const int32_t* keys = &module.global<int32_t>("vexlor_state_array__app__host__frame__keys");
  EXPECT_EQ(keys[4], 1);
  EXPECT_EQ(keys[511], 9);

  host.i32[9] = 0;
  EXPECT_EQ(module.tick(), 0);
  EXPECT_EQ(frame("quit_requested"), 0);
}

TEST(ModuleEntry, PointerCountIsClampedAndEverySlotIsCopied) {
  LoadedModule module;
  module.bind();
  module.main();
  HostBlock host(module);
  for (int p = 0; p < 8; ++p) {
    host.i32[544 + 4 * p] = 100 + p;  // id
    host.i32[545 + 4 * p] = 5;        // is_down: a flag
    host.i32[547 + 4 * p] = p % 2;    // went_up
    host.f32[6 * p] = 10.0f * p;      // x
    host.f32[6 * p + 5] = 0.25f;      // y normalized
  }
  const int32_t* ids = &module.global<int32_t>("vexlor_state_array__app__host__frame__pointers__id");
  const int32_t* down = &module.global<int32_t>("vexlor_state_array__app__host__frame__pointers__is_down");
  const int32_t* up = &module.global<int32_t>("vexlor_state_array__app__host__frame__pointers__went_up");
  const float* x = &module.global<float>("vexlor_state_array__app__host__frame__pointers__x_logical");
  const float* y_norm = &module.global<float>("vexlor_state_array__app__host__frame__pointers__y_normalized");
  const std::pair<int32_t, int32_t> cases[] = {{-3, 0}, {12, 8}, {5, 5}, {INT32_MIN, 0}, {8, 8}};
  for (const auto& [reported, clamped] : cases) {
    host.i32[7] = reported;
    module.tick();
    EXPECT_EQ(module.global<int32_t>("vexlor_state_scalar__app__host__frame__pointer_count"), clamped) << reported;
    for (int p = 0; p < 8; ++p) {
      EXPECT_EQ(ids[p], 100 + p);
      EXPECT_EQ(down[p], 1);
      EXPECT_EQ(up[p], p % 2);
      EXPECT_EQ(x[p], 10.0f * p);
      EXPECT_EQ(y_norm[p], 0.25f);
    }
  }
}

TEST(ModuleEntry, RenderLeavesACompleteFrameTheHostCanCopy) {
  LoadedModule module;
  module.bind();
  module.main();
  module.tick();
  EXPECT_EQ(module.render(), 0);
  const VexlorHostApi& api = module.host_api();
  std::vector<int32_t> i32(GXF_I32_COUNT);
  std::vector<float> f32(GXF_F32_COUNT);
  std::vector<uint8_t> u8(GXF_U8_COUNT);
  int32_t has_frame = 0;
  VexlorRenderFrameCounts counts{};
  ASSERT_EQ(api.copy_render_active(i32.data(), i32.size(), f32.data(), f32.size(), u8.data(), u8.size(), &has_frame,
                                   &counts),
            nullptr);
  EXPECT_EQ(has_frame, 1);
  EXPECT_EQ(i32[0], GXF_MAGIC);
  EXPECT_EQ(i32[1], 8);
  EXPECT_EQ(api.current_render_trace(i32.data(), i32.size(), f32.data(), f32.size(), u8.data(), u8.size()),
            0xE693EC4Bu);
  EXPECT_STREQ(api.copy_render_active(i32.data(), i32.size() - 1, f32.data(), f32.size(), u8.data(), u8.size(),
                                      &has_frame, &counts),
               "production render destination has the wrong capacity");
}

TEST(ModuleHostApi, StartsWithItsVersionAndSize) {
  LoadedModule module;
  const VexlorHostApi& api = module.host_api();
  EXPECT_EQ(api.version, VEXLOR_HOST_API_VERSION);
  EXPECT_EQ(api.size, sizeof(VexlorHostApi));
}

TEST(ModuleHostApi, HostEntryPublicationAndGuardedCalls) {
  LoadedModule module;
  module.bind();
  const VexlorHostApi& api = module.host_api();
  const auto address = [&](const char* name) { return reinterpret_cast<uint64_t>(module.symbol(name)); };
  VexlorHostEntryTargets targets{};
  targets.revision = 5;
  EXPECT_STREQ(api.begin_host_entry_session(&targets),
               "JIT host-entry publication requires non-zero main, tick, and render targets");
  targets.main = address("main");
  targets.tick = address("tick");
  targets.render = address("render");
  EXPECT_EQ(api.begin_host_entry_session(&targets), nullptr);
  EXPECT_STREQ(api.publish_host_entry_targets(&targets), "stale JIT host-entry revision 5 cannot replace active revision 5");
  targets.revision = 6;
  EXPECT_EQ(api.publish_host_entry_targets(&targets), nullptr);
  VexlorHostEntryTargets installed{};
  ASSERT_EQ(api.host_entry_targets(&installed), 1);
  EXPECT_EQ(installed.revision, 6u);
  EXPECT_EQ(installed.main, address("main"));

  // The trampolines reach the module's own entry points.
  EXPECT_EQ(module.function<int32_t()>("vexlor_jit_host_main_trampoline")(), 0);
  EXPECT_EQ(module.global<int32_t>("host_req_seq"), 1);
  int32_t result = -1;
  EXPECT_EQ(api.invoke_noarg_i32(address("tick"), &result), nullptr);
  EXPECT_EQ(result, 0);
  EXPECT_STREQ(api.invoke_noarg_i32(0, &result), "cannot invoke null function pointer");
}

TEST(ModuleHostApi, LiteralStagingInstallsAWholeTable) {
  LoadedModule module;
  module.bind();
  const VexlorHostApi& api = module.host_api();
  const auto upsert = module.function<void(int32_t, const char*)>("vexlor_jit_upsert_string_literal");
  const auto length = module.function<int32_t(int32_t, int32_t)>("vexlor_jit_collection_i32_load");
  ASSERT_EQ(api.begin_literal_staging(), nullptr);
  EXPECT_STREQ(api.begin_literal_staging(), "JIT string literal staging is already active on this thread");
  upsert(key_of("NEW"), "NEW");
  EXPECT_EQ(length(key_of("NEW"), 1), 0) << "the live table waits for the install";
  ASSERT_EQ(api.finish_literal_staging_and_install(), nullptr);
  EXPECT_EQ(length(key_of("NEW"), 1), 3);
  EXPECT_EQ(length(quillfen::lit::brewing_title, 1), 0) << "installed as the whole table";
  EXPECT_STREQ(api.finish_literal_staging_and_install(), "JIT string literal staging is not active");
}

TEST(ModuleHostApi, ProvisionedStorageIsReachableByKey) {
  LoadedModule module;
  module.bind();
  const VexlorHostApi& api = module.host_api();
  const int32_t key = key_of("host.owned.counter");
  ASSERT_EQ(api.provision_scalar_storage(0, key), nullptr);
  module.i32_store(key, 41);
  EXPECT_EQ(module.i32_load(key), 41);
  ASSERT_EQ(api.provision_array_storage(1, key_of("host.owned.samples"), 0, 16), nullptr);
  module.f32_array_store(key_of("host.owned.samples"), 0, 15, 1.5f);
  EXPECT_EQ(module.f32_array_load(key_of("host.owned.samples"), 0, 15), 1.5f);
  EXPECT_NE(api.array_storage_slot(1, key_of("host.owned.samples"), 0), nullptr);
}

// The module is linked so that its own references to main, tick and render
// resolve inside it, whatever the host defines.
TEST(ModuleLinkage, BindsItsOwnSymbolsFirst) {
  LoadedModule module;
  struct Search {
    std::string file;
    bool found = false;
    bool symbolic = false;
  } search{module.file().string()};
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        auto* search = static_cast<Search*>(data);
        if (info->dlpi_name == nullptr || search->file != info->dlpi_name) return 0;
        search->found = true;
        for (int i = 0; i < info->dlpi_phnum; ++i) {
          if (info->dlpi_phdr[i].p_type != PT_DYNAMIC) continue;
          const auto* entry = reinterpret_cast<const ElfW(Dyn)*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
          for (; entry->d_tag != DT_NULL; ++entry)
            if (entry->d_tag == DT_SYMBOLIC || (entry->d_tag == DT_FLAGS && (entry->d_un.d_val & DF_SYMBOLIC)))
              search->symbolic = true;
        }
        return 1;
      },
      &search);
  ASSERT_TRUE(search.found);
  EXPECT_TRUE(search.symbolic);
}

class ReplayImage : public ::testing::Test {
 protected:
  void SetUp() override {
    module.bind();
    module.main();
  }
  int32_t& scalar(const std::string& path) const {
    return module.global<int32_t>("vexlor_state_scalar__" + dunder(path));
  }
  int32_t* array(const std::string& path) const {
    return &module.global<int32_t>("vexlor_state_array__" + dunder(path));
  }
  static std::string dunder(std::string path) {
    for (size_t at = path.find('.'); at != std::string::npos; at = path.find('.', at + 2)) path.replace(at, 1, "__");
    return path;
  }
  std::vector<uint8_t> write() const {
    std::vector<uint8_t> image(replay_size);
    EXPECT_EQ(module.replay_write(image.data(), replay_size), replay_size);
    return image;
  }
  static int32_t word_at(const std::vector<uint8_t>& image, size_t offset) {
    int32_t value;
    std::memcpy(&value, &image[offset], 4);
    return value;
  }

  LoadedModule module;
};

TEST_F(ReplayImage, HasItsFixedSize) {
  EXPECT_EQ(module.function<int32_t()>("vexlor_replay_state_snapshot_size")(), replay_size);
}

TEST_F(ReplayImage, GlobalsSitAtTheirAnchors) {
  scalar("app.audio.available") = 5;
  scalar("app.audio.loading_started") = 1;
  scalar("app.audio.progress.displayed_percent") = 0x01020304;
  scalar("app.level.cheese_sound_played") = -1;
  scalar("app.level.seed") = 0x11223344;
  scalar("app.ui.window_label") = 18;
  const std::pair<const char*, size_t> arrays[] = {
      {"app.fonts.text_runs.font", 2490},
      {"app.input.intents.direction", 4071},
      {"app.maze.walls", 20719},
      {"app.maze_wall_cache.horizontal.length", 266479},
      {"app.maze_wall_cache.vertical_boundary_start", 365335},
  };
  for (const auto& [path, offset] : arrays) array(path)[1] = static_cast<int32_t>(offset);
  const auto image = write();
  EXPECT_EQ(image[0], 1) << "a boolean holding 5 is written as 1";
  EXPECT_EQ(image[1], 1);
  EXPECT_EQ(word_at(image, 2), 0x01020304);
  EXPECT_EQ(image[708], 1);
  EXPECT_EQ(word_at(image, 726), 0x11223344);
  EXPECT_EQ(word_at(image, 1464), 10) << "app.schema_version";
  EXPECT_EQ(word_at(image, 2474), 18);
  for (const auto& [path, offset] : arrays) EXPECT_EQ(word_at(image, offset + 4), static_cast<int32_t>(offset)) << path;

  auto* error_number = &module.global<uint8_t>("vexlor_state_array__app__fonts__layout_error_number");
  error_number[11] = 0xAB;
  auto* intents_valid = array("app.input.intents.valid");
  intents_valid[7] = 3;
  const auto later = write();
  EXPECT_EQ(later[2478 + 11], 0xAB);
  EXPECT_EQ(later[4263 + 7], 1) << "a boolean array stores one byte per element";
}

TEST_F(ReplayImage, RefusesBadBuffersWithoutTouchingAnything) {
  std::vector<uint8_t> image(400000, 0xEE);
  EXPECT_EQ(module.replay_write(image.data(), 365550), -replay_size);
  EXPECT_EQ(std::count(image.begin(), image.end(), 0xEE), 400000);
  EXPECT_EQ(module.replay_write(nullptr, 400000), -replay_size);
  EXPECT_EQ(module.replay_write(image.data(), 400000), replay_size);
  EXPECT_EQ(std::count(image.begin() + replay_size, image.end(), 0xEE), 400000 - replay_size);

  std::fill(image.begin(), image.end(), 0x7F);
  scalar("app.level.seed") = 99;
  EXPECT_EQ(module.replay_restore(image.data(), 365552), -replay_size);
  EXPECT_EQ(module.replay_restore(image.data(), 365550), -replay_size);
  EXPECT_EQ(module.replay_restore(nullptr, replay_size), -replay_size);
  EXPECT_EQ(scalar("app.level.seed"), 99);
}

TEST_F(ReplayImage, RestoresEveryByteAndNormalisesBooleans) {
  std::vector<uint8_t> image(replay_size);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 131 + 7);
  image[0] = 7;  // app.audio.available, a boolean
  ASSERT_EQ(module.replay_restore(image.data(), replay_size), replay_size);
  EXPECT_EQ(scalar("app.audio.available"), 1);
  EXPECT_EQ(scalar("app.level.seed"), word_at(image, 726));
  EXPECT_EQ(array("app.maze_wall_cache.vertical_boundary_start")[53], word_at(image, 365335 + 4 * 53));
  EXPECT_EQ(array("app.maze.walls")[4095], word_at(image, 20719 + 4 * 4095)) << "elements beyond the length survive";
  std::vector<bool> boolean_byte(replay_size);
  for (const ManifestEntry& entry : read_state_manifest())
    if (entry.type == "bool" && entry.replay_offset >= 0)
      for (int32_t i = 0; i < entry.count; ++i) boolean_byte[entry.replay_offset + i] = true;
  const auto reread = write();
  for (size_t i = 0; i < image.size(); ++i)
    ASSERT_EQ(reread[i], boolean_byte[i] ? (image[i] != 0 ? 1 : 0) : image[i]) << "byte " << i;
}

TEST_F(ReplayImage, LeavesHostInputAndTheFrameWriterOut) {
  const auto before = write();
  (&module.global<int32_t>("host_i32"))[9] = 1;
  module.global<int32_t>("gfx_sprite_writer_next_token") = 77;
  module.global<int32_t>("host_req_seq") = 12;
  scalar("app.host.frame.tick_index") = 500;
  array("app.host.frame.keys")[4] = 1;
  EXPECT_EQ(write(), before);

  std::vector<uint8_t> zeros(replay_size);
  ASSERT_EQ(module.replay_restore(zeros.data(), replay_size), replay_size);
  EXPECT_EQ(module.global<int32_t>("gfx_sprite_writer_next_token"), 77);
  EXPECT_EQ(module.global<int32_t>("host_req_seq"), 12);
  EXPECT_EQ(scalar("app.host.frame.tick_index"), 500);
  EXPECT_EQ(scalar("app.schema_version"), 0);
}

TEST_F(ReplayImage, RoundTripsIntoASecondInstance) {
  HostBlock host(module);
  host.i32[10] = 3;
  module.tick();
  scalar("app.level.seed") = -17731;
  scalar("app.player.completed") = 2;
  array("app.maze.walls")[100] = 0x0F0F;
  module.global<float>("vexlor_state_scalar__app__camera__cell_size") = 31.25f;
  const auto image = write();

  LoadedModule second;
  second.bind();
  ASSERT_EQ(second.replay_restore(image.data(), replay_size), replay_size);
  std::vector<uint8_t> again(replay_size);
  ASSERT_EQ(second.replay_write(again.data(), replay_size), replay_size);
  EXPECT_EQ(again, image);
  EXPECT_EQ(second.global<int32_t>("vexlor_state_scalar__app__player__completed"), 1);
  EXPECT_EQ(second.global<float>("vexlor_state_scalar__app__camera__cell_size"), 31.25f);
  EXPECT_EQ(second.i32_load(key_of("app.level.seed")), -17731) << "restored into the registered memory";
}

}  // namespace
