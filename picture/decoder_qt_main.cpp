// SPDX-License-Identifier: MIT
// pixolan-picture-decoder-qt: decodes one picture of any other format through
// Qt's image readers, sandboxed like pixolan-picture-decoder-FORMAT. Kept apart so
// that the common formats never load Qt.

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <algorithm>

#include "picture/decoder_process.h"
#include "picture/qt_rgba.h"

namespace pixolan {
namespace {

// Loads every reader plugin while files can still be opened, without a
// byte of the picture: which one reads it is found under the filter.
void Prepare(Bytes, const Region&, const DecodeLimits&) { QImageReader::supportedImageFormats(); }

DecodeOutcome Decode(Bytes file, const Region& region, const DecodeLimits& limits, const Placement& placement) {
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

  PlacedRead placed;
  if (std::string refusal = placed.Plan(file, placement, region, decoded.width(), decoded.height()); !refusal.empty())
    return {{}, refusal};
  if (!placed.plan.scaled) return placed.Finish(RgbaFromImage(decoded, placed.StoredRegion()));
  // Qt holds the whole picture anyway: its rows go to the reducer from
  // there, converted a band at a time rather than in a second whole copy.
  constexpr int kBand = 64;
  PictureReducer& reducer = placed.Start({0, 0, decoded.width(), decoded.height()}, decoded.width(), decoded.height());
  for (int top = reducer.FirstRow(); top < reducer.EndRow(); top += kBand) {
    const int rows = std::min(kBand, reducer.EndRow() - top);
    const QImage band = decoded.copy(0, top, decoded.width(), rows).convertToFormat(QImage::Format_ARGB32);
    for (int row = 0; row < band.height(); ++row) {
      const auto* line = reinterpret_cast<const QRgb*>(band.constScanLine(row));
      for (int x = 0; x < band.width(); ++x) {
        std::uint8_t* p = &placed.row[static_cast<std::size_t>(x) * 4];
        p[0] = static_cast<std::uint8_t>(qRed(line[x]));
        p[1] = static_cast<std::uint8_t>(qGreen(line[x]));
        p[2] = static_cast<std::uint8_t>(qBlue(line[x]));
        p[3] = static_cast<std::uint8_t>(qAlpha(line[x]));
      }
      reducer.AddRow(top + row, placed.row.data());
    }
  }
  return placed.Finish();
}

}  // namespace
}  // namespace pixolan

int main(int argc, char** argv) { return pixolan::RunDecoder(argc, argv, pixolan::Decode, pixolan::Prepare); }
