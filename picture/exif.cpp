// SPDX-License-Identifier: MIT
// The EXIF orientation tag, found without a library: in a JPEG's APP1
// segment, a PNG's eXIf chunk, a WebP's EXIF chunk, or a TIFF's first
// directory. Anything unexpected reads as upright.

#include <cstring>

#include "picture/decoder.h"

namespace pixolan {
namespace {

constexpr int kUpright = 1;

bool Is(Bytes bytes, std::size_t at, const char* text, std::size_t length) {
  return bytes.size() >= at + length && std::memcmp(bytes.data() + at, text, length) == 0;
}

std::uint32_t Big(Bytes b, std::size_t at, int n) {
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | b[at + i];
  return v;
}

std::uint32_t Little(Bytes b, std::size_t at, int n) {
  std::uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | b[at + i];
  return v;
}

// Tag 274 of the first directory of a TIFF structure.
int FromTiff(Bytes tiff) {
  if (tiff.size() < 8) return kUpright;
  const bool little = Is(tiff, 0, "II*\0", 4);
  if (!little && !Is(tiff, 0, "MM\0*", 4)) return kUpright;
  auto read = [&](std::size_t at, int n) { return little ? Little(tiff, at, n) : Big(tiff, at, n); };
  const std::size_t directory = read(4, 4);
  if (directory > tiff.size() - 2) return kUpright;
  const std::size_t entries = read(directory, 2);
  for (std::size_t i = 0; i < entries; ++i) {
    const std::size_t at = directory + 2 + 12 * i;
    if (at + 12 > tiff.size()) break;
    if (read(at, 2) != 274 || read(at + 2, 2) != 3) continue;  // SHORT
    const std::uint32_t value = read(at + 8, 2);
    return value >= 1 && value <= 8 ? static_cast<int>(value) : kUpright;
  }
  return kUpright;
}

}  // namespace

int ExifOrientation(Bytes file) {
  switch (SniffFormat(file)) {
    case PictureFormat::Tiff: return FromTiff(file);
    case PictureFormat::Jpeg:
      for (std::size_t at = 2; at + 4 <= file.size() && file[at] == 0xFF;) {
        const int marker = file[at + 1];
        if (marker == 0xDA || marker == 0xD9) break;  // the scan: no more headers
        const std::size_t length = Big(file, at + 2, 2);
        if (marker == 0xE1 && Is(file, at + 4, "Exif\0\0", 6) && length >= 8 && at + 2 + length <= file.size())
          return FromTiff(file.subspan(at + 10, length - 8));
        at += 2 + length;
      }
      break;
    case PictureFormat::Png:
      for (std::size_t at = 8; at + 8 <= file.size();) {
        const std::size_t length = Big(file, at, 4);
        if (Is(file, at + 4, "IDAT", 4) || length > file.size() - at - 8) break;
        if (Is(file, at + 4, "eXIf", 4)) return FromTiff(file.subspan(at + 8, length));
        at += 12 + length;
      }
      break;
    case PictureFormat::Webp:
      for (std::size_t at = 12; at + 8 <= file.size();) {
        const std::size_t length = Little(file, at + 4, 4);
        if (length > file.size() - at - 8) break;
        if (Is(file, at, "EXIF", 4)) {
          Bytes exif = file.subspan(at + 8, length);
          return FromTiff(Is(exif, 0, "Exif\0\0", 6) ? exif.subspan(6) : exif);
        }
        at += 8 + length + (length & 1);
      }
      break;
    default: break;
  }
  return kUpright;
}

}  // namespace pixolan
