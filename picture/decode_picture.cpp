// SPDX-License-Identifier: MIT
// The dispatch on its own, so that a program using one decoder links only that one.

#include "picture/decoder.h"

namespace pixolan {

DecodeOutcome DecodePicture(Bytes file, const Region& region, const DecodeLimits& limits) {
  switch (SniffFormat(file)) {
    case PictureFormat::Jpeg: return DecodeJpeg(file, region, limits);
    case PictureFormat::Png: return DecodePng(file, region, limits);
    case PictureFormat::Bmp: return DecodeBmp(file, region, limits);
    case PictureFormat::Tiff: return DecodeTiff(file, region, limits);
    case PictureFormat::Gif: return DecodeGif(file, region, limits);
    case PictureFormat::Webp: return DecodeWebp(file, region, limits);
    case PictureFormat::Unknown: break;
  }
  return {{}, "not a picture format Pixolan can read"};
}

}  // namespace pixolan
