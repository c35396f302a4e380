// The frame trace and the frame copy-out over a full frame, each beside its
// baseline: a bare FNV-1a loop over as many bytes as the trace hashes, and
// memcpy of the ranges the copy-out copies.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "../tests/gxf_frame_builder.hpp"
#include "fnv.hpp"
#include "registry.hpp"
#include "render_frame.hpp"

namespace {

constexpr int upper_rects = 8000;
constexpr int batches = 1024;
constexpr int sprites_per_batch = 4;
constexpr int texts = 2048;
constexpr int text_length = 31;
constexpr int clips = 256;

// Every record is drawn: clip push, rectangles, batches, texts, clip pop.
const GxfFrameBuilder& full_frame() {
  static const GxfFrameBuilder frame = [] {
    GxfFrameBuilder f;
    f.clear_color(0.1f, 0.1f, 0.1f, 1);
    const std::string text(text_length, 'q');
    for (int e = 0; e < clips; ++e) {
      f.clip({float(e), 0, 500, 900});
      f.draw(GXF_DRAW_CLIP_PUSH, e);
    }
    for (int c = 0; c < upper_rects; ++c) f.draw(GXF_DRAW_UPPER_RECT, f.upper_rect({float(c), 1, 2, 3, 0.5f, 0.5f, 0.5f, 1}));
    for (int b = 0; b < batches; ++b) {
      const int32_t start = f.word(GXF_WORD_SPRITES);
      for (int s = 0; s < sprites_per_batch; ++s)
        f.sprite(b + 1, 0xFFFFFFFFu, {float(s), 2, 16, 16, 0, 0, 0, 0, 8, 8, 1, 1, float(b)});
      f.draw(GXF_DRAW_BATCH, f.batch(start, sprites_per_batch, b % clips));
    }
    for (int n = 0; n < texts; ++n) f.draw(GXF_DRAW_TEXT, f.inline_text(1, text, {float(n), 3, 1, 1, 1, 1}));
    for (int e = 0; e < clips; ++e) f.draw(GXF_DRAW_CLIP_POP, 0);
    return f;
  }();
  return frame;
}

// The bytes the trace feeds through the FNV-1a step for the full frame.
constexpr size_t traced_bytes = 16 + clips * 16 + upper_rects * 32 + batches * 32 +
                                batches * sprites_per_batch * (12 + 52) + texts * (12 + 24 + text_length);

void BM_RenderTraceNative(benchmark::State& state) {
  const GxfFrameBuilder& f = full_frame();
  if (f.trace() == 0) state.SkipWithError("the benchmark frame is invalid");
  for (auto _ : state) benchmark::DoNotOptimize(vexlor_render_trace_native(f.i32.data(), f.f32.data(), f.u8.data()));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(traced_bytes));
}
BENCHMARK(BM_RenderTraceNative);

void BM_BareFnv1a(benchmark::State& state) {
  const std::vector<char> bytes(traced_bytes, 'q');
  const std::string_view view(bytes.data(), bytes.size());
  for (auto _ : state) benchmark::DoNotOptimize(vexlor::fnv1a(view));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(traced_bytes));
}
BENCHMARK(BM_BareFnv1a);

struct Destination {
  std::vector<int32_t> i32 = std::vector<int32_t>(GXF_I32_COUNT);
  std::vector<float> f32 = std::vector<float>(GXF_F32_COUNT);
  std::vector<uint8_t> u8 = std::vector<uint8_t>(GXF_U8_COUNT);
};

void BM_CopyJitRenderActive(benchmark::State& state) {
  static GxfFrameBuilder game = full_frame();
  vexlor::register_global_i32_array(vexlor::key_of("gfx_cmd_i32"), 0, game.i32.data(), game.i32.size());
  vexlor::register_global_f32_array(vexlor::key_of("gfx_cmd_f32"), 0, game.f32.data(), game.f32.size());
  vexlor::register_global_u8_array(vexlor::key_of("gfx_cmd_u8"), 0, game.u8.data(), game.u8.size());
  Destination dst;
  for (auto _ : state) {
    auto copied = vexlor::copy_jit_render_active(dst.i32.data(), dst.i32.size(), dst.f32.data(), dst.f32.size(),
                                                 dst.u8.data(), dst.u8.size());
    if (!copied || !copied->has_value()) state.SkipWithError("the benchmark frame was not copied");
    benchmark::DoNotOptimize(dst.i32.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CopyJitRenderActive);

template <class T>
void copy_used(T* dst, const T* src, size_t first, size_t count) {
  std::memcpy(dst + first, src + first, count * sizeof(T));
}

void BM_MemcpyOfUsedRanges(benchmark::State& state) {
  const GxfFrameBuilder& f = full_frame();
  const size_t sprites = size_t(batches) * sprites_per_batch;
  Destination dst;
  for (auto _ : state) {
    copy_used(dst.i32.data(), f.i32.data(), 0, 32);
    copy_used(dst.i32.data(), f.i32.data(), GXF_I32_SPRITES, GXF_SPRITE_WORDS * sprites);
    copy_used(dst.i32.data(), f.i32.data(), GXF_I32_TEXTS, GXF_TEXT_WORDS * texts);
    copy_used(dst.i32.data(), f.i32.data(), GXF_I32_BATCHES, GXF_BATCH_WORDS * batches);
    copy_used(dst.i32.data(), f.i32.data(), GXF_I32_DRAWS, size_t(f.i32[GXF_WORD_DRAWS]));
    copy_used(dst.f32.data(), f.f32.data(), 0, 4);
    copy_used(dst.f32.data(), f.f32.data(), GXF_F32_UPPER_RECT_0 + GXF_RECT_FLOATS - GXF_RECT_FLOATS * upper_rects,
              GXF_RECT_FLOATS * upper_rects);
    copy_used(dst.f32.data(), f.f32.data(), GXF_F32_SPRITES, GXF_SPRITE_FLOATS * sprites);
    copy_used(dst.f32.data(), f.f32.data(), GXF_F32_TEXTS, GXF_TEXT_FLOATS * texts);
    copy_used(dst.f32.data(), f.f32.data(), GXF_F32_CLIPS, GXF_CLIP_FLOATS * clips);
    copy_used(dst.u8.data(), f.u8.data(), 0, size_t(f.i32[GXF_WORD_TEXT_BYTES]));
    benchmark::DoNotOptimize(dst.i32.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemcpyOfUsedRanges);

}  // namespace

BENCHMARK_MAIN();
