#include <gtest/gtest.h>

#include "sample_picture.h"
#include "viewport.h"

namespace pixolan {
namespace {

// Pixel (x, y) = MakeColor(x, y, 0x40), like the shared coordinate pictures.
Picture CoordinatePicture(int width, int height) {
  Picture p{width, height, {}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) p.pixels.push_back(MakeColor(x & 0xFF, y & 0xFF, 0x40));
  return p;
}

constexpr float Twips(int pixels) { return static_cast<float>(pixels * kTwipsPerPixel); }

TEST(Viewport, StartsNarrowWithDrawingAreaLessTheFrame) {
  Viewport v;
  EXPECT_EQ(v.OuterWidth(), 1980);
  EXPECT_EQ(v.OuterHeight(), 1980);
  EXPECT_EQ(v.DrawingWidth(), 128);
  EXPECT_EQ(v.DrawingHeight(), 128);
  v.SetOuterWidth(kWideWidthTwips);
  EXPECT_EQ(v.DrawingWidth(), 172);
  EXPECT_EQ(v.OuterHeight(), 1980);
}

TEST(Viewport, SamplesOutsideTheDrawingAreaAreNoPixel) {
  Viewport v;
  v.SetPicture(CoordinatePicture(300, 200));
  EXPECT_EQ(v.Sample(0, 1980), kNoPixel);   // row 132
  EXPECT_EQ(v.Sample(0, 1920), kNoPixel);   // row 128, first past the area
  EXPECT_EQ(v.Sample(1920, 0), kNoPixel);   // column 128
  EXPECT_EQ(v.Sample(-15, 0), kNoPixel);
  EXPECT_EQ(v.Sample(0, -15), kNoPixel);
  EXPECT_EQ(v.Sample(1905, 1905), MakeColor(127, 127, 0x40));
}

TEST(Viewport, WideAreaShowsColumnsUpTo171) {
  Viewport v;
  v.SetPicture(CoordinatePicture(300, 200));
  v.SetOuterWidth(kWideWidthTwips);
  EXPECT_EQ(v.Sample(1920, 15), MakeColor(128, 1, 0x40));
  EXPECT_EQ(v.Sample(Twips(171), 0), MakeColor(171, 0, 0x40));
  EXPECT_EQ(v.Sample(Twips(172), 0), kNoPixel);
}

TEST(Viewport, SwitchingWidthNeverMovesOrRescalesThePicture) {
  Viewport v;
  v.SetPicture(CoordinatePicture(300, 200));
  v.SetOuterWidth(kWideWidthTwips);
  v.SetOuterWidth(kNarrowWidthTwips);
  EXPECT_EQ(v.Sample(1920, 15), kNoPixel);
  EXPECT_EQ(v.Sample(Twips(50), Twips(60)), MakeColor(50, 60, 0x40));
  v.SetOuterWidth(kWideWidthTwips);
  EXPECT_EQ(v.Sample(Twips(150), Twips(60)), MakeColor(150, 60, 0x40));
}

TEST(Viewport, UncoveredPixelsShowTheBackground) {
  Viewport v;
  v.SetPicture(CoordinatePicture(100, 60));
  EXPECT_EQ(v.Sample(Twips(99), Twips(59)), MakeColor(99, 59, 0x40));
  EXPECT_EQ(v.Sample(Twips(100), 0), kDefaultBackground);
  EXPECT_EQ(v.Sample(0, Twips(60)), kDefaultBackground);
  v.SetBackground(0x123456);
  EXPECT_EQ(v.Sample(Twips(127), Twips(127)), 0x123456);
}

TEST(Viewport, KeepsOnlyWhatTheWidestAreaCanShow) {
  Viewport v;
  v.SetPicture(CoordinatePicture(300, 200));
  EXPECT_EQ(v.picture().width, kMaxVisibleWidth);
  EXPECT_EQ(v.picture().height, kMaxVisibleHeight);
  EXPECT_EQ(v.picture().At(171, 127), MakeColor(171, 127, 0x40));
}

TEST(Viewport, SamplePictureLeavesTheLastNarrowColumnToTheBackground) {
  Viewport v;
  v.SetPicture(SamplePicture());
  EXPECT_EQ(v.Sample(1905, 15), kDefaultBackground);
  EXPECT_EQ(v.Sample(0, 15), SamplePicture().At(0, 1));
  EXPECT_NE(v.Sample(Twips(126), 15), kDefaultBackground);
}

TEST(Viewport, ForwardsPointerMovementToItsListener) {
  Viewport v;
  float seen_x = -1, seen_y = -1;
  v.MouseMove(1, 0, 15, 30);  // no listener yet: nothing happens
  v.OnMouseMove([&](int, int, float x, float y) { seen_x = x, seen_y = y; });
  v.MouseMove(1, 0, 45, 60);
  EXPECT_EQ(seen_x, 45);
  EXPECT_EQ(seen_y, 60);
}

TEST(SamplePicture, IsATestCardOfAFewDistinctColours) {
  const Picture p = SamplePicture();
  ASSERT_EQ(p.width, 127);
  ASSERT_EQ(p.height, 128);
  EXPECT_EQ(p.At(0, 0), 0xFFFFFF);            // white bar
  EXPECT_EQ(p.At(5 * 16, 10), MakeColor(255, 0, 0));  // red bar
  EXPECT_EQ(p.At(126, 10), 0x000000);         // black bar, narrower
  EXPECT_EQ(p.At(120, 70), 0xFFFFFF);         // last grey step
  EXPECT_EQ(p.At(124, 85), MakeColor(255, 0, 0));  // end of the red ramp
  std::vector<ColorValue> distinct(p.pixels);
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  EXPECT_LE(distinct.size(), 256u);  // fits an 8-bit palette
}

}  // namespace
}  // namespace pixolan
