#include "picture_image.h"

#include <algorithm>

namespace pixolan {

namespace {

int Blend(int over, int under, int alpha) { return (over * alpha + under * (255 - alpha) + 127) / 255; }

}  // namespace

Picture PictureFromImage(const QImage& decoded, ColorValue background, const Region& region) {
  const int width = std::clamp(decoded.width() - region.x, 0, region.width);
  const int height = std::clamp(decoded.height() - region.y, 0, region.height);
  // Palette, grey, 16-bit and alpha pictures all end up as 8-bit ARGB.
  const QImage argb = decoded.copy(region.x, region.y, width, height).convertToFormat(QImage::Format_ARGB32);
  const int bg_red = background & 0xFF, bg_green = background >> 8 & 0xFF, bg_blue = background >> 16 & 0xFF;

  Picture picture{width, height, {}};
  picture.pixels.reserve(static_cast<std::size_t>(width) * height);
  for (int row = 0; row < height; ++row) {
    const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(row));
    for (int column = 0; column < width; ++column) {
      const QRgb p = line[column];
      const int alpha = qAlpha(p);
      picture.pixels.push_back(MakeColor(Blend(qRed(p), bg_red, alpha), Blend(qGreen(p), bg_green, alpha),
                                         Blend(qBlue(p), bg_blue, alpha)));
    }
  }
  return picture;
}

}  // namespace pixolan
