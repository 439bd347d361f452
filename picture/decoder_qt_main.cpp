// SPDX-License-Identifier: MIT
// pixolan-picture-decoder-qt: decodes one picture of any other format through
// Qt's image readers, sandboxed like pixolan-picture-decoder. Kept apart so
// that the common formats never load Qt.

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include "picture/decoder_process.h"
#include "picture/qt_rgba.h"

namespace pixolan {
namespace {

// Loads every reader plugin while files can still be opened, without a
// byte of the picture: which one reads it is found under the filter.
void Prepare(Bytes, const Region&, const DecodeLimits&) { QImageReader::supportedImageFormats(); }

DecodeOutcome Decode(Bytes file, const Region& region, const DecodeLimits& limits) {
  QByteArray data =
      QByteArray::fromRawData(reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  const QByteArray format = QImageReader::imageFormat(&buffer);
  if (format.isEmpty()) return {{}, "not a picture format Pixolan can read"};
  QImageReader reader(&buffer, format);
  reader.setAutoTransform(false);
  reader.setAllocationLimit(static_cast<int>(limits.max_bytes / (1024 * 1024)));
  const QSize size = reader.size();
  const std::int64_t bytes = std::int64_t{size.width()} * size.height() * 4;
  if (size.isValid() && bytes > limits.max_bytes) return {{}, TooLarge(size.width(), size.height(), bytes, limits)};
  QImage decoded;
  if (!reader.read(&decoded)) return {{}, reader.errorString().toStdString()};

  return {RgbaFromImage(decoded, region), {}};
}

}  // namespace
}  // namespace pixolan

int main(int argc, char** argv) { return pixolan::RunDecoder(argc, argv, pixolan::Decode, pixolan::Prepare); }
