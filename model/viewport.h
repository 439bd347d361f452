// SPDX-License-Identifier: MIT
#pragma once
// The picture surface: a framed drawing area of 132 or 176 by 132 pixels,
// measured in twips (15 to a pixel), holding one picture shown pixel for pixel.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/color.h"

namespace pixolan {

inline constexpr int kTwipsPerPixel = 15;
inline constexpr int kFramePixels = 2;            // border on every side of the drawing area
inline constexpr float kNarrowWidthTwips = 1980;  // 132 pixels
inline constexpr float kWideWidthTwips = 2640;    // 176 pixels
inline constexpr float kOuterHeightTwips = 1980;  // 132 pixels

/// The viewport's sizes as the user names them, in the window's option order.
struct Resolution {
  const char* name;
  float outer_width;
};
inline constexpr Resolution kResolutions[] = {{"132x132", kNarrowWidthTwips}, {"132x176", kWideWidthTwips}};

/// The outer width of a resolution named "132x132" or "132x176"; none otherwise.
std::optional<float> OuterWidthNamed(const std::string& name);

/// Largest drawing area: only this much of any picture can ever be seen.
inline constexpr int kMaxVisibleWidth = 172;
inline constexpr int kMaxVisibleHeight = 128;

/// White, the window background of the standard colour scheme.
inline constexpr ColorValue kDefaultBackground = 0xFFFFFF;

/// Pixels in rows from the top-left corner.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<ColorValue> pixels;

  ColorValue At(int column, int row) const { return pixels[static_cast<std::size_t>(row) * width + column]; }
};

/// A part of a picture, in picture pixels: by default the top-left corner
/// the widest drawing area can show.
struct Region {
  int x = 0;
  int y = 0;
  int width = kMaxVisibleWidth;
  int height = kMaxVisibleHeight;
};

/// region cut to a width x height picture; empty (0 x 0) when they do not meet.
Region ClipRegion(const Region& region, std::int64_t width, std::int64_t height);

/// The part of picture inside region.
Picture Crop(const Picture& picture, const Region& region);

class Viewport {
 public:
  float OuterWidth() const { return outer_width_; }
  float OuterHeight() const { return kOuterHeightTwips; }

  /// Changes the outer width; the picture stays where it is, unscaled.
  void SetOuterWidth(float twips) { outer_width_ = twips; }

  /// Replaces the picture. Only what the widest drawing area can show is kept.
  void SetPicture(const Picture& picture);
  const Picture& GetPicture() const { return picture_; }

  ColorValue GetBackground() const { return background_; }
  void SetBackground(ColorValue color) { background_ = color; }

  /// Drawing area in pixels: the outer extent less the frame.
  int DrawingWidth() const;
  int DrawingHeight() const;

  /// Colour of drawing-area pixel (x / 15, y / 15), or kNoPixel outside it.
  ColorValue Sample(float x, float y) const;

  /// What the drawing area shows at a pixel known to be inside it.
  ColorValue VisibleColor(int column, int row) const;

 private:
  float outer_width_ = kNarrowWidthTwips;
  ColorValue background_ = kDefaultBackground;
  Picture picture_;
};

}  // namespace pixolan
