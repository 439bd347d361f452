// SPDX-License-Identifier: MIT
// Colours and their packing, and the viewport that samples the picture.

#include <gtest/gtest.h>

#include <cmath>

#include "model/viewport.h"

namespace pixolan {
namespace {

struct WorkedValue {
  ColorValue color;
  Components unpacked;
  const char *depth8, *depth12, *depth16, *rgb444, *rgb332;
};

class WorkedValues : public ::testing::TestWithParam<WorkedValue> {};

TEST_P(WorkedValues, UnpackAndPackAtEveryDepth) {
  const WorkedValue& w = GetParam();
  const Components c = Unpack(w.color);
  EXPECT_EQ(std::tie(c.R, c.G, c.B), std::tie(w.unpacked.R, w.unpacked.G, w.unpacked.B));
  EXPECT_EQ(HexText(Pack(ColorDepth::Depth8, c.R, c.G, c.B)), w.depth8);
  EXPECT_EQ(HexText(Pack(ColorDepth::Depth12, c.R, c.G, c.B)), w.depth12);
  EXPECT_EQ(HexText(PackColor(ColorDepth::Depth16, w.color)), w.depth16);
  EXPECT_EQ(HexText(PackColor(ColorDepth::Rgb444, w.color)), w.rgb444);
  EXPECT_EQ(HexText(PackColor(ColorDepth::Rgb332, w.color)), w.rgb332);
}

INSTANTIATE_TEST_SUITE_P(Table, WorkedValues,
                         ::testing::Values(WorkedValue{0x000000, {0, 0, 0}, "0", "0", "0", "0", "0"},
                                           WorkedValue{0xFFFFFF, {255, 255, 255}, "FF", "79EF0", "FFFF", "FFF", "FF"},
                                           WorkedValue{kNoPixel, {-1, 255, 255}, "3F", "79EF0", "7FF", "FF", "1F"},
                                           WorkedValue{0x0000FF, {255, 0, 0}, "C0", "78000", "F800", "F00", "E0"},
                                           WorkedValue{0x00FF00, {0, 255, 0}, "3C", "1E00", "7E0", "F0", "1C"},
                                           WorkedValue{0xFF0000, {0, 0, 255}, "3", "F0", "1F", "F", "3"},
                                           WorkedValue{0x808080, {128, 128, 128}, "A2", "0", "8410", "888", "92"},
                                           WorkedValue{0x336699, {153, 102, 51}, "99", "48C30", "9B26", "963", "8C"}));

// The packers round in integers; they must agree with rounding the double
// quotient for every component value, the no-pixel red included.
TEST(Pack, IntegerRoundingAgreesWithDoubleRounding) {
  auto scaled = [](int v, int levels) { return static_cast<int>(std::lround(v * double(levels) / 255.0)); };
  for (int v = -1; v < 256; ++v) {
    EXPECT_EQ(Pack(ColorDepth::Depth8, v, 0, 0), scaled(v, 3) * 64) << v;
    EXPECT_EQ(Pack(ColorDepth::Depth8, 0, v, v), scaled(v, 15) * 4 + scaled(v, 3)) << v;
    EXPECT_EQ(Pack(ColorDepth::Depth16, v, 0, 0), scaled(v, 31) * 2048) << v;
    EXPECT_EQ(Pack(ColorDepth::Depth16, 0, v, 0), scaled(v, 63) * 32) << v;
    EXPECT_EQ(Pack(ColorDepth::Depth16, 0, 0, v), scaled(v, 31)) << v;
  }
  EXPECT_EQ(Pack(ColorDepth::Depth12, 0x01, 0x02, 0x13), 0x8000 + 0x400 + 0x30);  // low nibbles only
}

TEST(HexText, UppercaseWithoutPaddingOrPrefix) {
  // Negatives as 32-bit two's complement.
  EXPECT_EQ(HexText(0) + " " + HexText(0xABCDEF) + " " + HexText(0x10000000) + " " + HexText(-256),
            "0 ABCDEF 10000000 FFFFFF00");
}

// The window's options are 8, 12 and 16 bits; anything else gives the last.
TEST(DepthAtOption, AnIndexBeyondTheWindowsOptionsIsSixteenBits) { EXPECT_EQ(DepthAtOption(3), ColorDepth::Depth16); }

constexpr float Twips(int pixels) { return static_cast<float>(pixels * 15); }

// Pixel (x, y) = MakeColor(x, y, 0x40), like the crafted coordinate pictures.
Viewport WithCoordinates(int width, int height) {
  Picture p{width, height, {}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) p.pixels.push_back(MakeColor(x & 0xFF, y & 0xFF, 0x40));
  Viewport v;
  v.SetPicture(p);
  return v;
}

TEST(Viewport, SamplesOnlyInsideTheDrawingArea) {
  Viewport v = WithCoordinates(300, 200);
  EXPECT_EQ(v.DrawingWidth(), 128);
  EXPECT_EQ(v.DrawingHeight(), 128);
  EXPECT_EQ(v.Sample(1905, 1905), MakeColor(127, 127, 0x40));
  EXPECT_EQ(v.Sample(29, 44), MakeColor(1, 2, 0x40));  // twips round down to their pixel
  for (auto [x, y] : {std::pair{0.f, 1980.f}, {0.f, 1920.f}, {1920.f, 0.f}, {-15.f, 0.f}, {0.f, -15.f}, {-1.f, 0.f}})
    EXPECT_EQ(v.Sample(x, y), kNoPixel) << x << "," << y;
}

TEST(Viewport, SwitchingWidthNeverMovesOrRescalesThePicture) {
  Viewport v = WithCoordinates(300, 200);
  v.SetOuterWidth(kWideWidthTwips);
  EXPECT_EQ(v.DrawingWidth(), 172);
  EXPECT_EQ(v.Sample(1920, 15), MakeColor(128, 1, 0x40));
  EXPECT_EQ(v.Sample(Twips(171), Twips(127)), MakeColor(171, 127, 0x40));
  EXPECT_EQ(v.Sample(Twips(172), 0), kNoPixel);
  v.SetOuterWidth(kNarrowWidthTwips);
  EXPECT_EQ(v.Sample(1920, 15), kNoPixel);
  EXPECT_EQ(v.Sample(Twips(50), Twips(60)), MakeColor(50, 60, 0x40));
  // Only what the widest area can show is kept.
  EXPECT_EQ(v.GetPicture().width, 172);
  EXPECT_EQ(v.GetPicture().height, 128);
  EXPECT_EQ(v.GetPicture().At(171, 127), MakeColor(171, 127, 0x40));
}

TEST(Viewport, ARegionThatMissesThePictureKeepsNothing) {
  const Region kept = ClipRegion({100, 5, 20, 20}, 100, 60);
  EXPECT_EQ(std::tie(kept.x, kept.y, kept.width, kept.height), std::make_tuple(0, 0, 0, 0));
}

TEST(Viewport, UncoveredPixelsShowTheBackground) {
  Viewport v = WithCoordinates(100, 60);
  EXPECT_EQ(v.Sample(Twips(99), Twips(59)), MakeColor(99, 59, 0x40));
  EXPECT_EQ(v.Sample(Twips(100), 0), kDefaultBackground);
  EXPECT_EQ(v.Sample(0, Twips(60)), kDefaultBackground);
  v.SetBackground(0x123456);
  EXPECT_EQ(v.Sample(Twips(127), Twips(127)), 0x123456);
}

}  // namespace
}  // namespace pixolan
