#include <gtest/gtest.h>

#include <cmath>

#include "model/color.h"

namespace pixolan {
namespace {

struct WorkedValue {
  ColorValue color;
  Components unpacked;
  const char *depth8, *depth12, *depth16;
};

class WorkedValues : public ::testing::TestWithParam<WorkedValue> {};

TEST_P(WorkedValues, UnpackAndPackAtEveryDepth) {
  const WorkedValue& w = GetParam();
  const Components c = Unpack(w.color);
  EXPECT_EQ(std::tie(c.R, c.G, c.B), std::tie(w.unpacked.R, w.unpacked.G, w.unpacked.B));
  EXPECT_EQ(HexText(Pack(ColorDepth::Depth8, c.R, c.G, c.B)), w.depth8);
  EXPECT_EQ(HexText(Pack(ColorDepth::Depth12, c.R, c.G, c.B)), w.depth12);
  EXPECT_EQ(HexText(Pack(ColorDepth::Depth16, c.R, c.G, c.B)), w.depth16);
}

INSTANTIATE_TEST_SUITE_P(Table, WorkedValues,
                         ::testing::Values(WorkedValue{0x000000, {0, 0, 0}, "0", "0", "0"},
                                           WorkedValue{0xFFFFFF, {255, 255, 255}, "FF", "79EF0", "FFFF"},
                                           WorkedValue{kNoPixel, {-1, 255, 255}, "3F", "79EF0", "7FF"},
                                           WorkedValue{0x0000FF, {255, 0, 0}, "C0", "78000", "F800"},
                                           WorkedValue{0x00FF00, {0, 255, 0}, "3C", "1E00", "7E0"},
                                           WorkedValue{0xFF0000, {0, 0, 255}, "3", "F0", "1F"},
                                           WorkedValue{0x808080, {128, 128, 128}, "A2", "0", "8410"},
                                           WorkedValue{0x336699, {153, 102, 51}, "99", "48C30", "9B26"}));

TEST(Pack, Depth8IsTwoFourTwoNotThreeThreeTwo) {
  EXPECT_EQ(Pack(ColorDepth::Depth8, 0, 8, 0), 0);  // green steps of 17 move by 4
  EXPECT_EQ(Pack(ColorDepth::Depth8, 0, 9, 0), 4);
  EXPECT_EQ(Pack(ColorDepth::Depth8, 0, 26, 0), 8);
}

TEST(Pack, Depth12TakesLowNibblesAndExceedsSixteenBits) {
  EXPECT_EQ(Pack(ColorDepth::Depth12, 0x10, 0x20, 0x30), 0);
  EXPECT_EQ(Pack(ColorDepth::Depth12, 0x01, 0, 0), 0x8000);
  EXPECT_EQ(Pack(ColorDepth::Depth12, 0x02, 0, 0), 0x10000);
}

// The packers round in integers; they must agree with rounding the double
// quotient for every component value, the no-pixel red included.
TEST(Pack, IntegerRoundingAgreesWithDoubleRounding) {
  auto scaled = [](int v, int levels) { return static_cast<int>(std::lround(v * double(levels) / 255.0)); };
  for (int v = -1; v < 256; ++v) {
    EXPECT_EQ(Pack(ColorDepth::Depth8, v, 0, 0), scaled(v, 3) * 64) << v;
    EXPECT_EQ(Pack(ColorDepth::Depth8, 0, v, 0), scaled(v, 15) * 4) << v;
    EXPECT_EQ(Pack(ColorDepth::Depth16, v, 0, 0), scaled(v, 31) * 2048) << v;
    EXPECT_EQ(Pack(ColorDepth::Depth16, 0, v, 0), scaled(v, 63) * 32) << v;
    EXPECT_EQ(Pack(ColorDepth::Depth16, 0, 0, v), scaled(v, 31)) << v;
  }
}

TEST(HexText, UppercaseWithoutPaddingOrPrefix) {
  EXPECT_EQ(HexText(0), "0");
  EXPECT_EQ(HexText(3), "3");
  EXPECT_EQ(HexText(0xABCDEF), "ABCDEF");
  EXPECT_EQ(HexText(0x10000000), "10000000");
  EXPECT_EQ(HexText(-1), "FFFFFFFF");  // negatives as 32-bit two's complement
  EXPECT_EQ(HexText(-256), "FFFFFF00");
}

}  // namespace
}  // namespace pixolan
