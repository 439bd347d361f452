// SPDX-License-Identifier: MIT
// Dithering: the levels the display shows, kept in linear light on average,
// exact colours left alone, the same values on every run.

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "model/dither.h"

namespace pixolan {
namespace {

constexpr DitherMode kDithered[] = {DitherMode::Ordered, DitherMode::Diffusion};
constexpr ColorDepth kAllDepths[] = {ColorDepth::Depth8, ColorDepth::Depth12, ColorDepth::Depth16, ColorDepth::Rgb444,
                                     ColorDepth::Rgb332};

double Linear(int srgb) {
  const double c = srgb / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

Picture Filled(int width, int height, const std::function<ColorValue(int x, int y)>& color) {
  Picture p{width, height, {}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) p.pixels.push_back(color(x, y));
  return p;
}

// Red rises to the right, green downwards, blue along the diagonal: every
// component passes between every pair of levels somewhere.
Picture Ramps() {
  return Filled(172, 128, [](int x, int y) { return MakeColor(x * 255 / 171, y * 255 / 127, (x + y) * 255 / 298); });
}

// How far each 8x8 block's mean light, as the display shows the packed
// values, is from the picture's: the blur of the eye at viewing distance.
double BlockError(const Picture& picture, ColorDepth depth, DitherMode mode) {
  const std::vector<std::uint32_t> packed = PackPixels(picture, depth, mode);
  double total = 0;
  int blocks = 0;
  for (int by = 0; by + 8 <= picture.height; by += 8)
    for (int bx = 0; bx + 8 <= picture.width; bx += 8, ++blocks)
      for (int c = 0; c < 3; ++c) {
        double wanted = 0, shown = 0;
        for (int y = by; y < by + 8; ++y)
          for (int x = bx; x < bx + 8; ++x) {
            const ColorValue pixel = picture.At(x, y);
            const Components k = Widen(depth, packed[static_cast<std::size_t>(y) * picture.width + x]);
            wanted += Linear(c == 0 ? RedOf(pixel) : c == 1 ? GreenOf(pixel) : BlueOf(pixel));
            shown += Linear(c == 0 ? k.R : c == 1 ? k.G : k.B);
          }
        total += std::abs(wanted - shown) / 64;
      }
  return total / (blocks * 3);
}

TEST(Dither, ModesAreNamedAsTheCommandLineTakesThem) {
  // none and ordered as the command line tests use them.
  EXPECT_EQ(DitherModeNamed("diffusion"), DitherMode::Diffusion);
  EXPECT_EQ(DitherModeNamed("Diffusion"), std::nullopt);
}

TEST(Dither, NonePacksEachPixelOnItsOwn) {
  const Picture ramps = Ramps();
  for (const ColorDepth depth : kAllDepths) {
    const std::vector<std::uint32_t> packed = PackPixels(ramps, depth, DitherMode::None);
    for (std::size_t i = 0; i < ramps.pixels.size(); ++i)
      ASSERT_EQ(packed[i], PackColor(depth, ramps.pixels[i])) << BitsOf(depth) << " bits, pixel " << i;
  }
}

// Colours the display shows exactly stay so. Light grey rounds down and
// sends its error right and down: a black key beside it must still be black
// in every pixel, or Remove Color leaves specks along the edge.
TEST(Dither, AColourTheDisplayShowsTakesNoErrorFromItsNeighbours) {
  for (const ColorValue key : {0x000000, 0xFF00FF}) {
    const Picture beside = Filled(64, 32, [key](int x, int) { return x < 32 ? 0xCDCDCD : key; });
    for (const ColorDepth depth : kAllDepths)
      for (const DitherMode mode : kDithered) {
        const std::vector<std::uint32_t> packed = PackPixels(beside, depth, mode);
        for (int y = 0; y < 32; ++y)
          for (int x = 32; x < 64; ++x)
            ASSERT_EQ(packed[y * 64 + x], PackColor(depth, key)) << BitsOf(depth) << " bits, " << x << "," << y;
      }
  }
}

TEST(Dither, KeepsTheLightOfEveryPatchWhereBandsWouldNot) {
  const Picture ramps = Ramps();
  for (const ColorDepth depth : {ColorDepth::Depth8, ColorDepth::Depth16, ColorDepth::Rgb444, ColorDepth::Rgb332}) {
    const double none = BlockError(ramps, depth, DitherMode::None);
    EXPECT_LT(BlockError(ramps, depth, DitherMode::Ordered), none * 0.5) << BitsOf(depth);
    EXPECT_LT(BlockError(ramps, depth, DitherMode::Diffusion), none * 0.25) << BitsOf(depth);
  }
  // Mid grey at 8 bits lies between red levels 85 and 170: in linear light
  // 40% of the pixels take 170, where mixing the sRGB numbers would take half.
  const Picture grey = Filled(64, 64, [](int, int) { return 0x808080; });
  const std::vector<std::uint32_t> packed = PackPixels(grey, ColorDepth::Depth8, DitherMode::Diffusion);
  const auto upper = std::count_if(packed.begin(), packed.end(), [](std::uint32_t v) { return v >> 6 == 2; });
  EXPECT_NEAR(upper / 4096.0, (Linear(128) - Linear(85)) / (Linear(170) - Linear(85)), 0.01);
  EXPECT_EQ(std::count_if(packed.begin(), packed.end(), [](std::uint32_t v) { return v >> 6 == 1; }), 4096 - upper);
}

// At 12 bits a field n shows as n * 17: dithered, grey 128 becomes 119s and
// 136s, where packing keeps its low nibble, 0.
TEST(Dither, TwelveBitsTakeTheNibbleWhoseLevelIsNearest) {
  const Picture grey = Filled(16, 16, [](int, int) { return 0x808080; });
  EXPECT_EQ(PackPixels(grey, ColorDepth::Depth12, DitherMode::None), std::vector<std::uint32_t>(256, 0));
  for (const DitherMode mode : kDithered) {
    const std::vector<std::uint32_t> packed = PackPixels(grey, ColorDepth::Depth12, mode);
    EXPECT_EQ(std::set<std::uint32_t>(packed.begin(), packed.end()), (std::set<std::uint32_t>{0x38E70, 0x41080}));
  }
  const Picture level = Filled(16, 16, [](int, int) { return 0x888888; });  // 136 = 8 * 17
  EXPECT_EQ(PackPixels(level, ColorDepth::Depth12, DitherMode::Diffusion), std::vector<std::uint32_t>(256, 0x41080));
}

TEST(Dither, OrderedFollowsTheBayerPattern) {
  std::set<int> thresholds;
  for (int i = 0; i < 64; ++i) thresholds.insert(BayerThreshold(i % 8, i / 8));
  EXPECT_EQ(thresholds.size(), 64u);  // each of 0..63 once
  EXPECT_EQ(*thresholds.rbegin(), 63);
  EXPECT_EQ(BayerThreshold(1, 0), 32);
  EXPECT_EQ(BayerThreshold(3, 1), 24);
  EXPECT_EQ(BayerThreshold(9, 8), BayerThreshold(1, 0));  // tiles every 8 pixels
  // Red 2 lies about 1/150 of the way to the first level: under even the lowest threshold's 1/128.
  EXPECT_EQ(PackPixels(Filled(8, 8, [](int, int) { return 0x000002; }), ColorDepth::Depth8, DitherMode::Ordered),
            std::vector<std::uint32_t>(64, 0));
}

// Worked by hand for grey 128 at 8 bits: red and blue between levels 1 and
// 2, green between 7 and 8, the error carried 7/16 to the right.
TEST(Dither, DiffusionGivesTheSameValuesOnEveryMachine) {
  const Picture grey = Filled(4, 1, [](int, int) { return 0x808080; });
  EXPECT_EQ(PackPixels(grey, ColorDepth::Depth8, DitherMode::Diffusion),
            (std::vector<std::uint32_t>{0x61, 0x9E, 0x61, 0x5D}));
  EXPECT_EQ(PackPixels(grey, ColorDepth::Depth8, DitherMode::Ordered),
            (std::vector<std::uint32_t>{0xA2, 0x61, 0xA2, 0x5D}));
  // A whole picture, through the second row's right-to-left pass and the
  // 16-bit fields: a checksum of a run known to be good (FNV-1a of the values).
  const Picture ramps = Ramps();
  const std::vector<std::uint32_t> once = PackPixels(ramps, ColorDepth::Depth16, DitherMode::Diffusion);
  EXPECT_EQ(once, PackPixels(ramps, ColorDepth::Depth16, DitherMode::Diffusion));
  std::uint64_t hash = 14695981039346656037u;
  for (const std::uint32_t v : once) hash = (hash ^ v) * 1099511628211u;
  EXPECT_EQ(hash, 9319417326703239999u);
}

}  // namespace
}  // namespace pixolan
