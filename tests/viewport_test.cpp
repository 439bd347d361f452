#include <gtest/gtest.h>

#include "resources/sample_picture.h"
#include "model/viewport.h"

namespace pixolan {
namespace {

constexpr float Twips(int pixels) { return static_cast<float>(pixels * kTwipsPerPixel); }

// Pixel (x, y) = MakeColor(x, y, 0x40), like the shared coordinate pictures.
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
  EXPECT_EQ(v.Sample(1905, 1905), MakeColor(127, 127, 0x40));
  for (auto [x, y] : {std::pair{0.f, 1980.f}, {0.f, 1920.f}, {1920.f, 0.f}, {-15.f, 0.f}, {0.f, -15.f}})
    EXPECT_EQ(v.Sample(x, y), kNoPixel) << x << "," << y;
}

TEST(Viewport, SwitchingWidthNeverMovesOrRescalesThePicture) {
  Viewport v = WithCoordinates(300, 200);
  v.SetOuterWidth(kWideWidthTwips);
  EXPECT_EQ(v.DrawingWidth(), 172);
  EXPECT_EQ(v.Sample(1920, 15), MakeColor(128, 1, 0x40));
  EXPECT_EQ(v.Sample(Twips(171), 0), MakeColor(171, 0, 0x40));
  EXPECT_EQ(v.Sample(Twips(172), 0), kNoPixel);
  v.SetOuterWidth(kNarrowWidthTwips);
  EXPECT_EQ(v.Sample(1920, 15), kNoPixel);
  EXPECT_EQ(v.Sample(Twips(50), Twips(60)), MakeColor(50, 60, 0x40));
  // Only what the widest area can show is kept.
  EXPECT_EQ(v.GetPicture().width, kMaxVisibleWidth);
  EXPECT_EQ(v.GetPicture().height, kMaxVisibleHeight);
}

TEST(Viewport, UncoveredPixelsShowTheBackground) {
  Viewport v = WithCoordinates(100, 60);
  EXPECT_EQ(v.Sample(Twips(99), Twips(59)), MakeColor(99, 59, 0x40));
  EXPECT_EQ(v.Sample(Twips(100), 0), kDefaultBackground);
  EXPECT_EQ(v.Sample(0, Twips(60)), kDefaultBackground);
  v.SetBackground(0x123456);
  EXPECT_EQ(v.Sample(Twips(127), Twips(127)), 0x123456);
}

TEST(Viewport, SamplePictureLeavesTheLastNarrowColumnToTheBackground) {
  Viewport v;
  v.SetPicture(SamplePicture());
  EXPECT_EQ(v.GetPicture().width, 127);
  EXPECT_EQ(v.GetPicture().height, 128);
  EXPECT_EQ(v.Sample(1905, 15), kDefaultBackground);
  EXPECT_EQ(v.Sample(0, 15), SamplePicture().At(0, 1));
  EXPECT_EQ(v.Sample(Twips(5 * 16), 15), MakeColor(255, 0, 0));  // the red bar
  EXPECT_EQ(v.Sample(Twips(124), Twips(85)), MakeColor(255, 0, 0));  // end of the red ramp
}

}  // namespace
}  // namespace pixolan
