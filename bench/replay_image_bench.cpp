// Writing and restoring the full replay image, beside its baseline: two
// memcpy calls of the image's size (one out, one back in).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bridge.hpp"
#include "state_tables.hpp"

namespace {

void BM_ReplayWriteAndRestore(benchmark::State& state) {
  std::vector<uint8_t> image(quillfen::replay_image_size);
  const auto size = static_cast<int32_t>(image.size());
  for (auto _ : state) {
    if (quillfen::replay_image_write(image.data(), size) != size) state.SkipWithError("write refused");
    benchmark::ClobberMemory();
    if (quillfen::replay_image_restore(image.data(), size) != size) state.SkipWithError("restore refused");
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * 2 * size);
}
BENCHMARK(BM_ReplayWriteAndRestore);

void BM_TwoMemcpyOfTheImageSize(benchmark::State& state) {
  std::vector<uint8_t> memory(quillfen::replay_image_size, 1);
  std::vector<uint8_t> image(quillfen::replay_image_size);
  for (auto _ : state) {
    std::memcpy(image.data(), memory.data(), image.size());
    benchmark::ClobberMemory();
    std::memcpy(memory.data(), image.data(), image.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * 2 * int64_t(image.size()));
}
BENCHMARK(BM_TwoMemcpyOfTheImageSize);

}  // namespace

BENCHMARK_MAIN();
