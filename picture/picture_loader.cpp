#include "picture_loader.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <algorithm>

#include "diagnostics_capture.h"
#include "isolated_decode.h"
#include "picture_image.h"
#include "png_rows.h"

namespace pixolan {
namespace {

LoadResult Failure(const std::string& path, const QString& reason) { return LoadFailure(path, reason.toStdString()); }

QString FailureReason(const QImageReader& reader, const QStringList& said) {
  if (reader.error() == QImageReader::UnsupportedFormatError)
    return QStringLiteral("not a picture format Pixolan can read (%1)").arg(reader.errorString());
  QString reason = DiagnosticsCapture::MostSpecific(said);
  if (reason.isEmpty() && reader.error() == QImageReader::InvalidDataError)
    reason = QStringLiteral("the picture is damaged or of a kind its decoder cannot read (%1)").arg(reader.errorString());
  return reason.isEmpty() ? reader.errorString() : reason;
}

// The common formats by their first bytes, so that only their own decoder
// is loaded; anything else is left to Qt, which then asks every plugin.
QByteArray SniffFormat(QIODevice& file) {
  const QByteArray head = file.peek(8);
  if (head.startsWith("\x89PNG\r\n\x1a\n")) return "png";
  if (head.startsWith("\xFF\xD8\xFF")) return "jpeg";
  if (head.startsWith("BM")) return "bmp";
  if (head.startsWith("II*\0") || head.startsWith(QByteArray("MM\0*", 4))) return "tiff";
  if (head.startsWith("GIF8")) return "gif";
  return QImageReader::imageFormat(&file);
}

// Decodes through Qt's readers: JPEG only as far as the viewport can show,
// everything else whole, within the allocation limit.
QImage DecodeWithQt(QImageReader& reader, const QByteArray& format, QString& refusal) {
  const QSize size = reader.size();
  const qint64 bytes = qint64(size.width()) * size.height() * 4;
  if (format == "jpeg" && size.isValid()) {
    reader.setClipRect(QRect(0, 0, std::min(size.width(), kMaxVisibleWidth), std::min(size.height(), kMaxVisibleHeight)));
  } else if (size.isValid() && bytes > qint64(kAllocationLimitMB) * 1024 * 1024) {
    refusal = QStringLiteral("the picture is %1 x %2 pixels, more than the %3 MB a picture may take")
                  .arg(size.width())
                  .arg(size.height())
                  .arg(kAllocationLimitMB);
    return {};
  }

  QImage image;
  if (format == "bmp" && size.isValid() && reader.imageFormat() != QImage::Format_Invalid) {
    // Damaged BMPs can leave pixels unwritten; the reader keeps an image of
    // the right size and format, so start from a known one (all index 0 or
    // black) and the same file always gives the same picture.
    image = QImage(size, reader.imageFormat());
    if (!image.isNull()) image.fill(0);
  }
  if (!reader.read(&image)) return {};
  return image;
}

}  // namespace

LoadResult LoadFailure(const std::string& path, const std::string& reason) {
  return {{}, "Could not load " + path + ": " + reason};
}

LoadResult LoadPicture(const std::string& path, ColorValue background, const Region& region) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return Failure(path, file.errorString());
  return DecodeIsolated(path, [&] {
    // This child decodes one file and exits. For a format Qt decodes itself,
    // Qt would first load every image plugin to ask whether it wants the
    // file; with no plugin paths it goes straight to its own decoder.
    const QByteArray format = SniffFormat(file);
    if (format == "bmp" || format == "png") QCoreApplication::setLibraryPaths({});
    return LoadPictureFrom(file, path, background, region);
  });
}

LoadResult LoadPictureFrom(QIODevice& file, const std::string& path, ColorValue background, const Region& region) {
  const bool top_left = region.x == 0 && region.y == 0;
  if (file.size() == 0) return Failure(path, QStringLiteral("the file is empty"));

  // Decoders may already speak while reading the header.
  DiagnosticsCapture capture;
  const QByteArray format = SniffFormat(file);

  if (format == "png" && top_left) {
    PngRows rows = ReadPngTop(file, kMaxVisibleWidth, kMaxVisibleHeight);
    if (!rows.interlaced) {
      capture.Finish();
      if (rows.image.isNull()) return Failure(path, rows.error);
      return {PictureFromImage(rows.image, background, region), {}};
    }
    file.seek(0);
  }

  QImageReader reader(&file, format);
  reader.setDecideFormatFromContent(format.isEmpty());
  reader.setAutoDetectImageFormat(format.isEmpty());
  reader.setAutoTransform(false);
  reader.setAllocationLimit(kAllocationLimitMB);
  QString refusal;
  const QImage decoded = DecodeWithQt(reader, top_left ? format : QByteArray(), refusal);
  if (!refusal.isEmpty()) return Failure(path, refusal);
  const QStringList said = capture.Finish();
  if (decoded.isNull()) return Failure(path, FailureReason(reader, said));
  return {PictureFromImage(decoded, background, region), {}};
}

}  // namespace pixolan
