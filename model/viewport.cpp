#include "model/viewport.h"

#include <algorithm>

namespace pixolan {

Picture Crop(const Picture& picture, int width, int height) {
  Picture out;
  out.width = std::clamp(picture.width, 0, width);
  out.height = std::clamp(picture.height, 0, height);
  out.pixels.reserve(static_cast<std::size_t>(out.width) * out.height);
  for (int row = 0; row < out.height; ++row) {
    const auto first = picture.pixels.begin() + static_cast<std::ptrdiff_t>(row) * picture.width;
    out.pixels.insert(out.pixels.end(), first, first + out.width);
  }
  return out;
}

void Viewport::SetPicture(const Picture& picture) {
  picture_ = Crop(picture, kMaxVisibleWidth, kMaxVisibleHeight);
}

int Viewport::DrawingWidth() const {
  return static_cast<int>(outer_width_ / kTwipsPerPixel) - 2 * kFramePixels;
}

int Viewport::DrawingHeight() const {
  return static_cast<int>(OuterHeight() / kTwipsPerPixel) - 2 * kFramePixels;
}

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
