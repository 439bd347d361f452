#include "picture/qt_rgba.h"

#include <algorithm>

namespace pixolan {

RgbaPixels RgbaFromImage(const QImage& image, const Region& region) {
  const int width = std::clamp(image.width() - region.x, 0, region.width);
  const int height = std::clamp(image.height() - region.y, 0, region.height);
  const QImage argb = image.copy(region.x, region.y, width, height).convertToFormat(QImage::Format_ARGB32);
  RgbaPixels pixels{width, height, {}};
  pixels.rgba.reserve(static_cast<std::size_t>(width) * height * 4);
  for (int row = 0; row < height; ++row) {
    const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(row));
    for (int column = 0; column < width; ++column) {
      const QRgb p = line[column];
      pixels.rgba.insert(pixels.rgba.end(), {static_cast<std::uint8_t>(qRed(p)), static_cast<std::uint8_t>(qGreen(p)),
                                             static_cast<std::uint8_t>(qBlue(p)), static_cast<std::uint8_t>(qAlpha(p))});
    }
  }
  return pixels;
}

}  // namespace pixolan
