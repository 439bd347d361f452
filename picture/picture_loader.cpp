#include "picture_loader.h"

#include <QFile>
#include <QImage>
#include <QImageReader>

#include <algorithm>

#include "diagnostics_capture.h"

namespace pixolan {
namespace {

LoadResult Failure(const std::string& path, const QString& reason) {
  return {{}, "Could not load " + path + ": " + reason.toStdString()};
}

int Blend(int over, int under, int alpha) { return (over * alpha + under * (255 - alpha) + 127) / 255; }

Picture ToPicture(const QImage& decoded, ColorValue background) {
  const int width = std::min(decoded.width(), kMaxVisibleWidth);
  const int height = std::min(decoded.height(), kMaxVisibleHeight);
  // Palette, grey, 16-bit and alpha pictures all end up as 8-bit ARGB.
  const QImage argb = decoded.copy(0, 0, width, height).convertToFormat(QImage::Format_ARGB32);
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

}  // namespace

LoadResult LoadPicture(const std::string& path, ColorValue background) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return Failure(path, file.errorString());
  if (file.size() == 0) return Failure(path, QStringLiteral("the file is empty"));

  // Decoders may already speak while reading the header.
  DiagnosticsCapture capture;
  QImageReader reader(&file);
  reader.setDecideFormatFromContent(true);
  reader.setAutoTransform(false);
  reader.setAllocationLimit(kAllocationLimitMB);

  const QSize size = reader.size();
  const qint64 bytes = qint64(size.width()) * size.height() * 4;
  if (size.isValid() && bytes > qint64(kAllocationLimitMB) * 1024 * 1024) {
    return Failure(path, QStringLiteral("the picture is %1 x %2 pixels, more than the %3 MB a picture may take")
                             .arg(size.width())
                             .arg(size.height())
                             .arg(kAllocationLimitMB));
  }

  const QImage decoded = reader.read();
  const QStringList said = capture.Finish();
  if (decoded.isNull()) {
    QString reason = DiagnosticsCapture::MostSpecific(said);
    if (reason.isEmpty() && reader.error() == QImageReader::InvalidDataError)
      reason = QStringLiteral("the picture is damaged or of a kind its decoder cannot read (%1)").arg(reader.errorString());
    if (reason.isEmpty()) reason = reader.errorString();
    if (reader.error() == QImageReader::UnsupportedFormatError)
      reason = QStringLiteral("not a picture format Pixolan can read (%1)").arg(reader.errorString());
    return Failure(path, reason);
  }
  return {ToPicture(decoded, background), {}};
}

}  // namespace pixolan
