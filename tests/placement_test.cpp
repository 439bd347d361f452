// SPDX-License-Identifier: MIT
// Turning and placing a picture: where each corner lands, the size and spot
// each mode gives, and the reducer's light, alpha and enlargement.

#include <gtest/gtest.h>

#include "model/placement.h"

namespace pixolan {
namespace {

// A 3 x 2 picture whose pixels are the letters
//   a b c
//   d e f
// in the red byte, read back row by row as a string.
std::string TurnedLetters(const Orientation& o) {
  std::vector<std::uint8_t> rgba;
  for (char c : std::string("abcdef")) rgba.insert(rgba.end(), {std::uint8_t(c), 0, 0, 255});
  const std::vector<std::uint8_t> turned = TurnedRgba(rgba, 3, 2, o);
  const int width = o.transpose ? 2 : 3;
  std::string out;
  for (std::size_t i = 0; i < turned.size(); i += 4) {
    if (i > 0 && i / 4 % width == 0) out += ' ';
    out += char(turned[i]);
  }
  return out;
}

TEST(Orientation, EveryTurnAndFlipMovesTheCornersWhereTheyBelong) {
  const Orientation upright;
  EXPECT_EQ(TurnedLetters(upright), "abc def");
  EXPECT_EQ(TurnedLetters(upright.RotatedClockwise(90)), "da eb fc");
  EXPECT_EQ(TurnedLetters(upright.RotatedClockwise(180)), "fed cba");
  EXPECT_EQ(TurnedLetters(upright.RotatedClockwise(270)), "cf be ad");
  EXPECT_EQ(TurnedLetters(upright.FlippedHorizontally()), "cba fed");
  EXPECT_EQ(TurnedLetters(upright.FlippedVertically()), "def abc");
  // Steps apply to the picture as already turned.
  EXPECT_EQ(TurnedLetters(upright.RotatedClockwise(90).FlippedHorizontally()), "ad be cf");
  EXPECT_EQ(TurnedLetters(upright.FlippedHorizontally().RotatedClockwise(90)), "fc eb da");
}

TEST(Orientation, ExifValuesTurnThePictureUpright) {
  const std::pair<int, const char*> cases[] = {{1, "abc def"},  {2, "cba fed"},  {3, "fed cba"},  {4, "def abc"},
                                               {5, "ad be cf"}, {6, "da eb fc"}, {7, "fc eb da"}, {8, "cf be ad"},
                                               {0, "abc def"},  {9, "abc def"}};
  for (const auto& [value, letters] : cases) EXPECT_EQ(TurnedLetters(Orientation::FromExif(value)), letters) << value;
  // The user's turn comes after EXIF's.
  EXPECT_EQ(TurnedLetters(Orientation{}.FlippedVertically().After(Orientation::FromExif(6))), "fc eb da");
}

TEST(Orientation, ATurnedRegionIsARectangleOfTheStoredPicture) {
  // Turned right, a 300 x 200 picture is 200 x 300: its rows 10..39 at columns 5..24
  // are stored columns 10..39 of rows 175..194.
  const Region stored = StoredRegion(Orientation{}.RotatedClockwise(90), {5, 10, 20, 30}, 300, 200);
  EXPECT_EQ(std::tie(stored.x, stored.y, stored.width, stored.height), std::make_tuple(10, 175, 30, 20));
}

TEST(Orientation, TravelsAsOneWordToTheDecodingProgram) {
  // 4096 pixels: the widest area the decoding programs take.
  Placement p{PictureSize::Crop, {1, 2, 30, 40}, 4096, 128, Orientation{}.RotatedClockwise(270), true};
  const std::optional<Placement> back = ParsePlacement(PlacementText(p));
  ASSERT_TRUE(back);
  EXPECT_EQ(PlacementText(*back), PlacementText(p));
  EXPECT_EQ(back->orientation, p.orientation);
  for (const char* wrong :
       {"fit:0x128:0,0,0,0:-", "stretch:172x128:0,0,0,0:-", "fit:172x128:0,0,0,0:-trailing", "fit:4097x128:0,0,0,0:-"})
    EXPECT_FALSE(ParsePlacement(wrong)) << wrong;
}

// --- Where each mode puts the picture ---------------------------------------------

PlacementPlan Plan(PictureSize size, int width, int height, Region crop = {0, 0, 0, 0}, Orientation o = {}) {
  PlacementPlan plan;
  EXPECT_EQ(PlanPlacement({.size = size, .crop = crop, .orientation = o}, {}, width, height, {}, plan), "");
  return plan;
}

std::tuple<int, int, int, int> Spot(const PlacementPlan& p) { return {p.left, p.top, p.placed_width, p.placed_height}; }

TEST(Placement, FitKeepsTheAspectAndCentres) {
  EXPECT_EQ(Spot(Plan(PictureSize::Fit, 8000, 6000)), std::make_tuple(0, 0, 171, 128));
  EXPECT_EQ(Spot(Plan(PictureSize::Fit, 6000, 8000)), std::make_tuple(38, 0, 96, 128));
  // Turned sideways, the landscape picture is a portrait one.
  EXPECT_EQ(Spot(Plan(PictureSize::Fit, 8000, 6000, {}, Orientation{}.RotatedClockwise(90))),
            std::make_tuple(38, 0, 96, 128));
}

TEST(Placement, FillCoversTheAreaFromTheMiddleOfThePicture) {
  const PlacementPlan p = Plan(PictureSize::Fill, 6000, 8000);
  EXPECT_EQ(Spot(p), std::make_tuple(0, 0, 172, 128));
  EXPECT_EQ(std::tie(p.source.x, p.source.y, p.source.width, p.source.height), std::make_tuple(0, 1767, 6000, 4465));
}

TEST(Placement, ACropIsFittedAndMustMeetThePicture) {
  const PlacementPlan p = Plan(PictureSize::Crop, 4000, 3000, {1000, 500, 1720, 640});
  EXPECT_EQ(Spot(p), std::make_tuple(0, 32, 172, 64));
  EXPECT_EQ(p.stored_source.x, 1000);
  PlacementPlan outside;
  EXPECT_EQ(PlanPlacement({.size = PictureSize::Crop, .crop = {500, 0, 10, 10}}, {}, 400, 300, {}, outside),
            "the crop 500,0,10,10 lies outside the 400 x 300 picture");
}

TEST(Placement, SmallPicturesGrowOnlyByWholeNumbers) {
  // 4.27 times would fit: 4 it is, pixels repeated.
  const PlacementPlan fit = Plan(PictureSize::Fit, 40, 30);
  EXPECT_EQ(Spot(fit), std::make_tuple(6, 4, 160, 120));
  EXPECT_TRUE(fit.nearest);
  // 4.3 times would cover: 5 it is, the overflow cut evenly.
  const PlacementPlan fill = Plan(PictureSize::Fill, 40, 30);
  EXPECT_EQ(Spot(fill), std::make_tuple(-1, -1, 175, 130));
  EXPECT_EQ(std::tie(fill.source.x, fill.source.y), std::make_tuple(2, 2));
}

// --- The reducer ---------------------------------------------------------------------

using Pixel = std::array<std::uint8_t, 4>;

// The drawing area the reducer makes of a width x height picture whose pixel (x, y) is pixel(x, y).
template <class F>
std::vector<std::uint8_t> Reduce(PictureSize size, int width, int height, F pixel, int area_width = 172,
                                 int area_height = 128) {
  PlacementPlan plan;
  const Placement placement{.size = size, .area_width = area_width, .area_height = area_height};
  EXPECT_EQ(PlanPlacement(placement, {}, width, height, {}, plan), "");
  PictureReducer reducer(plan, {0, 0, width, height}, width, height);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Pixel p = pixel(x, y);
      std::copy(p.begin(), p.end(), &row[static_cast<std::size_t>(x) * 4]);
    }
    reducer.AddRow(y, row.data());
  }
  return reducer.Finish();
}

Pixel At(const std::vector<std::uint8_t>& area, int x, int y, int area_width = 172) {
  const std::uint8_t* p = &area[(static_cast<std::size_t>(y) * area_width + x) * 4];
  return {p[0], p[1], p[2], p[3]};
}

TEST(Reducer, AOnePixelCheckerboardHalvedIsTheGreyOfHalfTheLight) {
  auto checkerboard = [](int x, int y) { return (x + y) % 2 ? Pixel{255, 255, 255, 255} : Pixel{0, 0, 0, 255}; };
  // Halved by the filter alone, and shrunk 8 times through the box first.
  for (const auto& [width, height] : {std::pair{344, 256}, {1376, 1024}}) {
    const std::vector<std::uint8_t> area = Reduce(PictureSize::Fit, width, height, checkerboard);
    for (const auto& [x, y] : {std::pair{0, 0}, {85, 64}, {171, 127}})
      EXPECT_EQ(At(area, x, y), (Pixel{188, 188, 188, 255})) << width << ": " << x << "," << y;
  }
}

TEST(Reducer, EdgesAgainstTransparencyKeepTheirColour) {
  // Opaque red up to the middle of output column 86, transparent black after, shrunk 5 times.
  auto half = [](int x, int) { return x < 432 ? Pixel{255, 0, 0, 255} : Pixel{0, 0, 0, 0}; };
  const std::vector<std::uint8_t> area = Reduce(PictureSize::Fit, 860, 640, half);
  const Pixel edge = At(area, 86, 60);
  EXPECT_GT(edge[3], 40);
  EXPECT_LT(edge[3], 215);
  EXPECT_EQ(edge[0], 255);  // straight colour: no darkening towards the transparent black
  EXPECT_EQ(At(area, 80, 60), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(At(area, 92, 60)[3], 0);
}

TEST(Reducer, WholeNumberEnlargementRepeatsPixelsExactly) {
  auto pixel = [](int x, int y) {
    return Pixel{std::uint8_t(x * 90 + 1), std::uint8_t(y * 70 + 3), 77, std::uint8_t(x + y == 1 ? 128 : 255)};
  };
  // 2 x 2 into 8 x 7: three times (3.5 would fit), centred with a band of a column each side.
  const std::vector<std::uint8_t> area = Reduce(PictureSize::Fit, 2, 2, pixel, 8, 7);
  EXPECT_EQ(At(area, 0, 0, 8)[3], 0);
  EXPECT_EQ(At(area, 7, 6, 8)[3], 0);
  for (int y = 0; y < 6; ++y)
    for (int x = 1; x < 7; ++x) EXPECT_EQ(At(area, x, y, 8), pixel((x - 1) / 3, y / 3)) << x << "," << y;
}

}  // namespace
}  // namespace pixolan
