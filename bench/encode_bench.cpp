// SPDX-License-Identifier: MIT
// One Encode run at 132x176 for each depth, into memory and into a file,
// beside a bare hex-printing loop over the same number of tokens.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "encoder/header_format.h"
#include "io/output_file.h"
#include "resources/sample_picture.h"

namespace {

using namespace pixolan;

Viewport WideSampleViewport() {
  Viewport viewport;
  viewport.SetOuterWidth(kWideWidthTwips);
  viewport.SetPicture(SamplePicture());
  return viewport;
}

// The floor: the same 23364 packed values printed as "0xHEX," by a bare loop.
void BM_HandRolledHexTokens(benchmark::State& state) {
  const Viewport viewport = WideSampleViewport();
  std::vector<std::uint32_t> values;
  for (float x = 0; x <= viewport.OuterWidth(); x += 15)
    for (float y = viewport.OuterHeight(); y >= 1; y -= 15)
      values.push_back(static_cast<std::uint32_t>(PackColor(ColorDepth::Depth16, viewport.Sample(x, y))));
  std::string out(values.size() * 11, '\0');
  for (auto _ : state) {
    char* p = out.data();
    for (const std::uint32_t v : values) {
      *p++ = '0';
      *p++ = 'x';
      int shift = 28;
      while (shift > 0 && (v >> shift) == 0) shift -= 4;
      for (; shift >= 0; shift -= 4) *p++ = "0123456789ABCDEF"[(v >> shift) & 0xF];
      *p++ = ',';
    }
    benchmark::DoNotOptimize(p);
  }
}
BENCHMARK(BM_HandRolledHexTokens);

void BM_FormatHeader(benchmark::State& state) {
  const Viewport viewport = WideSampleViewport();
  const EncodeSettings settings{static_cast<ColorDepth>(state.range(0)), false, "FFFF"};
  for (auto _ : state) benchmark::DoNotOptimize(FormatHeader(viewport, settings));
}
BENCHMARK(BM_FormatHeader)->ArgName("depth_option")->DenseRange(0, 2);

// Packing the 172x128 drawing area alone: none, ordered, diffusion at 8 bits.
void BM_PackDrawingArea(benchmark::State& state) {
  const Viewport viewport = WideSampleViewport();
  const auto mode = static_cast<DitherMode>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(PackDrawingArea(viewport, ColorDepth::Depth8, mode));
}
BENCHMARK(BM_PackDrawingArea)->ArgName("dither")->DenseRange(0, 2);

void BM_EncodeToFile(benchmark::State& state) {
  const Viewport viewport = WideSampleViewport();
  const EncodeSettings settings{static_cast<ColorDepth>(state.range(0)), false, "FFFF"};
  const std::string path =
      (std::filesystem::temp_directory_path() / ("pixolan-bench-" + std::to_string(::getpid()) + ".h")).string();
  for (auto _ : state) {
    if (!SaveFile(path, FormatHeader(viewport, settings)).Ok()) state.SkipWithError("could not write");
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_EncodeToFile)->ArgName("depth_option")->DenseRange(0, 2);

}  // namespace
