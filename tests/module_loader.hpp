// Loads the built game module the way a host does. Every LoadedModule is a
// separate instance: the library is copied to a file of its own before
// dlopen, so two instances in one process share no state.
#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host_api.h"

struct ManifestEntry {
  std::string symbol;
  std::string path;
  std::string klass;  // scalar, array or column
  std::string type;   // i32, f32, bool or u8
  int32_t count;
  int32_t initial;
  int32_t first_key;
  int32_t second_key;
  int32_t replay_offset;  // -1 when not in the replay image
};

inline std::vector<ManifestEntry> read_state_manifest() {
  std::ifstream in(QUILLFEN_STATE_MANIFEST);
  if (!in) throw std::runtime_error("cannot read the state manifest");
  std::vector<ManifestEntry> entries;
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    ManifestEntry entry;
    fields >> entry.symbol >> entry.path >> entry.klass >> entry.type >> entry.count >> entry.initial >>
        entry.first_key >> entry.second_key >> entry.replay_offset;
    entries.push_back(entry);
  }
  return entries;
}

class LoadedModule {
 public:
  LoadedModule() {
    static std::atomic<int> instances{0};
    copy_ = std::filesystem::temp_directory_path() /
            ("quillfen_module_" + std::to_string(getpid()) + "_" + std::to_string(instances++) + ".so");
    std::filesystem::copy_file(QUILLFEN_MODULE_PATH, copy_, std::filesystem::copy_options::overwrite_existing);
    handle_ = dlopen(copy_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) throw std::runtime_error(dlerror());
  }
  ~LoadedModule() {
    dlclose(handle_);
    std::filesystem::remove(copy_);
  }
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  void* symbol(const std::string& name) const {
    void* address = dlsym(handle_, name.c_str());
    if (address == nullptr) throw std::runtime_error("module does not export " + name);
    return address;
  }

  template <typename T>
  T& global(const std::string& name) const {
    return *static_cast<T*>(symbol(name));
  }

  template <typename Signature>
  Signature* function(const std::string& name) const {
    return reinterpret_cast<Signature*>(symbol(name));
  }

  void bind() const { function<void()>("vexlor_aot_bind_runtime_globals")(); }
  int32_t main() const { return function<int32_t()>("main")(); }
  int32_t tick() const { return function<int32_t()>("tick")(); }
  int32_t render() const { return function<int32_t()>("render")(); }

  const VexlorHostApi& host_api() const { return *function<const VexlorHostApi*()>("vexlor_host_api")(); }

  int32_t i32_load(int32_t key) const { return function<int32_t(int32_t)>("vexlor_jit_global_i32_load")(key); }
  float f32_load(int32_t key) const { return function<float(int32_t)>("vexlor_jit_global_f32_load")(key); }
  void i32_store(int32_t key, int32_t value) const {
    function<void(int32_t, int32_t)>("vexlor_jit_global_i32_store")(key, value);
  }
  void f32_store(int32_t key, float value) const {
    function<void(int32_t, float)>("vexlor_jit_global_f32_store")(key, value);
  }
  int32_t i32_array_load(int32_t first, int32_t second, int32_t index) const {
    return function<int32_t(int32_t, int32_t, int32_t)>("vexlor_jit_global_i32_array_load")(first, second, index);
  }
  void i32_array_store(int32_t first, int32_t second, int32_t index, int32_t value) const {
    function<void(int32_t, int32_t, int32_t, int32_t)>("vexlor_jit_global_i32_array_store")(first, second, index,
                                                                                             value);
  }
  float f32_array_load(int32_t first, int32_t second, int32_t index) const {
    return function<float(int32_t, int32_t, int32_t)>("vexlor_jit_global_f32_array_load")(first, second, index);
  }
  void f32_array_store(int32_t first, int32_t second, int32_t index, float value) const {
    function<void(int32_t, int32_t, int32_t, float)>("vexlor_jit_global_f32_array_store")(first, second, index,
                                                                                           value);
  }

  int32_t replay_write(uint8_t* destination, int32_t capacity) const {
    return function<int32_t(uint8_t*, int32_t)>("vexlor_replay_state_snapshot_write")(destination, capacity);
  }
  int32_t replay_restore(const uint8_t* source, int32_t length) const {
    return function<int32_t(const uint8_t*, int32_t)>("vexlor_replay_state_snapshot_restore")(source, length);
  }

  const std::filesystem::path& file() const { return copy_; }

 private:
  std::filesystem::path copy_;
  void* handle_ = nullptr;
};
