// SPDX-License-Identifier: MIT
#include "picture/qt_rgba.h"

namespace pixolan {

RgbaPixels RgbaFromImage(const QImage& image, const Region& region) {
  const Region kept = ClipRegion(region, image.width(), image.height());
  const int width = kept.width, height = kept.height;
  const QImage argb = image.copy(kept.x, kept.y, width, height).convertToFormat(QImage::Format_ARGB32);
  RgbaPixels pixels{width, height, {}, image.width(), image.height()};
  pixels.rgba.reserve(static_cast<std::size_t>(width) * height * 4);
  for (int row = 0; row < height; ++row) {
    const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(row));
    for (int column = 0; column < width; ++column) {
      const QRgb p = line[column];
      pixels.rgba.insert(pixels.rgba.end(),
                         {static_cast<std::uint8_t>(qRed(p)), static_cast<std::uint8_t>(qGreen(p)),
                          static_cast<std::uint8_t>(qBlue(p)), static_cast<std::uint8_t>(qAlpha(p))});
    }
  }
  return pixels;
}

}  // namespace pixolan
