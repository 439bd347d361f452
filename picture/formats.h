// SPDX-License-Identifier: MIT
#pragma once
// The picture formats Pixolan decodes with the format's own library, one
// row each: how a file is recognised, which decoding program reads it, and
// what its decoder counts against the memory a picture may take. Sniffing,
// the choice of program, the build's list of programs (picture/CMakeLists.txt
// reads the rows below) and the README's list all come from here; every
// other format goes to pixolan-picture-decoder-qt.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace pixolan {

enum class PictureFormat { Unknown, Jpeg, Png, Bmp, Tiff, Gif, Webp };

struct FormatInfo {
  PictureFormat format;
  std::string_view name;   // the decoding program is pixolan-picture-decoder-NAME
  std::string_view label;  // as the user knows it
  /// The first bytes of a file, in hex, ".." for any byte; a file matching
  /// any of them is of this format.
  std::array<std::string_view, 4> signatures;
  std::string_view library;
  std::string_view work_limit;  // what the decoder counts before decoding
};

// One row per line, as the build reads them.
// clang-format off
inline constexpr FormatInfo kFormats[] = {
  {PictureFormat::Jpeg, "jpeg", "JPEG", {"FFD8FF"}, "libjpeg-turbo", "the rows kept, or every coefficient of a progressive JPEG"},
  {PictureFormat::Png, "png", "PNG", {"89504E470D0A1A0A"}, "libpng", "a row, or the whole picture when interlaced"},
  {PictureFormat::Bmp, "bmp", "BMP", {"424D"}, "Pixolan's own reader", "the region and a row"},
  {PictureFormat::Tiff, "tiff", "TIFF", {"49492A00", "4D4D002A", "49492B00", "4D4D002B"}, "libtiff", "a band of strips or tiles"},
  {PictureFormat::Gif, "gif", "GIF", {"474946383761", "474946383961"}, "giflib", "the whole screen, as Qt's reader holds it"},
  {PictureFormat::Webp, "webp", "WebP", {"52494646........57454250"}, "libwebp", "the crop, or a lossless picture's whole canvas"},
};
// clang-format on

/// The row whose signature the first bytes of a file match; nullptr for none.
const FormatInfo* FormatOf(std::span<const std::uint8_t> head);

/// The format by the first bytes of the file.
inline PictureFormat SniffFormat(std::span<const std::uint8_t> head) {
  const FormatInfo* row = FormatOf(head);
  return row ? row->format : PictureFormat::Unknown;
}

}  // namespace pixolan
