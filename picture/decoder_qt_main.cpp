// pixolan-picture-decoder-qt: decodes one picture of any other format through
// Qt's image readers, sandboxed like pixolan-picture-decoder. Kept apart so
// that the common formats never load Qt.

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <memory>

#include "decoder_process.h"

namespace pixolan {
namespace {

QByteArray data;
QBuffer buffer;
std::unique_ptr<QImageReader> reader;

// Finds the reader and loads its plugin while files can still be opened.
void Prepare(Bytes file, const Region&, const DecodeLimits& limits) {
  data = QByteArray::fromRawData(reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size()));
  buffer.setBuffer(&data);
  buffer.open(QIODevice::ReadOnly);
  const QByteArray format = QImageReader::imageFormat(&buffer);
  if (format.isEmpty()) return;
  reader = std::make_unique<QImageReader>(&buffer, format);
  reader->setAutoTransform(false);
  reader->setAllocationLimit(static_cast<int>(limits.max_bytes / (1024 * 1024)));
  reader->canRead();
  reader->size();
}

DecodeOutcome Decode(Bytes, const Region& region, const DecodeLimits& limits) {
  if (!reader) return {{}, "not a picture format Pixolan can read"};
  const QSize size = reader->size();
  const std::int64_t bytes = std::int64_t{size.width()} * size.height() * 4;
  if (size.isValid() && bytes > limits.max_bytes) return {{}, TooLarge(size.width(), size.height(), bytes, limits)};
  QImage decoded;
  if (!reader->read(&decoded)) return {{}, reader->errorString().toStdString()};

  const int width = std::clamp(decoded.width() - region.x, 0, region.width);
  const int height = std::clamp(decoded.height() - region.y, 0, region.height);
  // Palette, grey, 16-bit and alpha pictures all end up as straight 8-bit ARGB.
  const QImage argb = decoded.copy(region.x, region.y, width, height).convertToFormat(QImage::Format_ARGB32);
  DecodeOutcome outcome{{width, height, {}}, {}};
  outcome.pixels.rgba.reserve(static_cast<std::size_t>(width) * height * 4);
  for (int row = 0; row < height; ++row) {
    const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(row));
    for (int column = 0; column < width; ++column) {
      const QRgb p = line[column];
      outcome.pixels.rgba.insert(outcome.pixels.rgba.end(), {std::uint8_t(qRed(p)), std::uint8_t(qGreen(p)),
                                                             std::uint8_t(qBlue(p)), std::uint8_t(qAlpha(p))});
    }
  }
  return outcome;
}

}  // namespace
}  // namespace pixolan

int main(int argc, char** argv) { return pixolan::RunDecoder(argc, argv, pixolan::Decode, pixolan::Prepare); }
