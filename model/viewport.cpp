// SPDX-License-Identifier: MIT
#include "model/viewport.h"

#include <algorithm>

namespace pixolan {

std::optional<float> OuterWidthNamed(const std::string& name) {
  for (const Resolution& resolution : kResolutions)
    if (name == resolution.name) return resolution.outer_width;
  return std::nullopt;
}

Region ClipRegion(const Region& region, std::int64_t width, std::int64_t height) {
  const std::int64_t x = std::max(region.x, 0), y = std::max(region.y, 0);
  const std::int64_t right = std::min<std::int64_t>(width, std::int64_t{region.x} + std::max(region.width, 0));
  const std::int64_t bottom = std::min<std::int64_t>(height, std::int64_t{region.y} + std::max(region.height, 0));
  if (right <= x || bottom <= y) return {0, 0, 0, 0};
  return {static_cast<int>(x), static_cast<int>(y), static_cast<int>(right - x), static_cast<int>(bottom - y)};
}

Picture Crop(const Picture& picture, const Region& region) {
  const Region kept = ClipRegion(region, picture.width, picture.height);
  Picture out{kept.width, kept.height, {}};
  out.pixels.reserve(static_cast<std::size_t>(out.width) * out.height);
  for (int row = 0; row < out.height; ++row) {
    const auto first = picture.pixels.begin() + static_cast<std::ptrdiff_t>(kept.y + row) * picture.width + kept.x;
    out.pixels.insert(out.pixels.end(), first, first + out.width);
  }
  return out;
}

void Viewport::SetPicture(const Picture& picture) { picture_ = Crop(picture, Region{}); }

int Viewport::DrawingWidth() const { return static_cast<int>(outer_width_ / kTwipsPerPixel) - 2 * kFramePixels; }

int Viewport::DrawingHeight() const { return static_cast<int>(OuterHeight() / kTwipsPerPixel) - 2 * kFramePixels; }

ColorValue Viewport::VisibleColor(int column, int row) const {
  if (column < picture_.width && row < picture_.height) return picture_.At(column, row);
  return background_;
}

ColorValue Viewport::Sample(float x, float y) const {
  if (!(x >= 0 && y >= 0 && x < 1e6f && y < 1e6f)) return kNoPixel;  // also rejects NaN
  // For non-negative x, floor(x / 15) equals the whole twips divided by 15.
  const int column = static_cast<int>(x) / kTwipsPerPixel;
  const int row = static_cast<int>(y) / kTwipsPerPixel;
  if (column >= DrawingWidth() || row >= DrawingHeight()) return kNoPixel;
  return VisibleColor(column, row);
}

}  // namespace pixolan
