#include "png_rows.h"

#include <png.h>

#include <QIODevice>

#include <algorithm>
#include <csetjmp>
#include <vector>

namespace pixolan {
namespace {

struct Source {
  QIODevice& file;
  QString error;
};

void ReadFromFile(png_structp png, png_bytep out, png_size_t length) {
  auto* source = static_cast<Source*>(png_get_io_ptr(png));
  const auto wanted = static_cast<qint64>(length);
  if (source->file.read(reinterpret_cast<char*>(out), wanted) != wanted) png_error(png, "Read Error");
}

void OnError(png_structp png, png_const_charp message) {
  static_cast<Source*>(png_get_error_ptr(png))->error = QStringLiteral("libpng error: %1").arg(message);
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

}  // namespace

PngRows ReadPngTop(QIODevice& file, int max_width, int max_height) {
  PngRows result;
  Source source{file, {}};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, OnError, OnWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    result.error = QStringLiteral("libpng could not start");
    return result;
  }

  // Declared before setjmp so that a longjmp leaves them in a known state.
  std::vector<png_byte> row;
  QImage image;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    result.error = source.error;
    return result;
  }

  png_set_read_fn(png, &source, ReadFromFile);
  png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
#ifdef PNG_IGNORE_ADLER32
  // The checksum sits at the end of the data, which is never reached.
  png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
  png_read_info(png, info);
  if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE) {
    png_destroy_read_struct(&png, &info, nullptr);
    result.interlaced = true;
    return result;
  }

  // Everything becomes 8-bit BGRA in memory, which is QImage's ARGB32.
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_read_update_info(png, info);

  const auto width = static_cast<int>(png_get_image_width(png, info));
  const auto height = static_cast<int>(png_get_image_height(png, info));
  const int keep_width = std::min(width, max_width);
  const int keep_height = std::min(height, max_height);
  row.resize(png_get_rowbytes(png, info));
  image = QImage(keep_width, keep_height, QImage::Format_ARGB32);
  for (int y = 0; y < keep_height; ++y) {
    png_read_row(png, row.data(), nullptr);
    std::copy_n(row.data(), static_cast<std::size_t>(keep_width) * 4, image.scanLine(y));
  }
  png_destroy_read_struct(&png, &info, nullptr);
  result.image = image;
  return result;
}

}  // namespace pixolan
