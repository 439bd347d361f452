#pragma once
// Reading a PNG only as far down as the viewport can show.

#include <QImage>
#include <QString>

class QIODevice;

namespace pixolan {

struct PngRows {
  QImage image;      // ARGB32, at most max_width x max_height; null on failure
  QString error;     // libpng's own words when it failed
  bool interlaced = false;  // rows cannot be read in order: decode it another way
};

/// Decodes the top rows of a non-interlaced PNG with libpng and stops after
/// max_height rows, so a huge picture costs no more than a small one.
PngRows ReadPngTop(QIODevice& file, int max_width, int max_height);

}  // namespace pixolan
