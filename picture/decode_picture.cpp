// SPDX-License-Identifier: MIT
// The dispatch on its own, so that a program using one decoder links only that one.

#include "picture/decoder.h"

namespace pixolan {

DecodeOutcome DecodePicture(Bytes file, const Region& region, const DecodeLimits& limits, const Placement& placement) {
  switch (SniffFormat(file)) {
    case PictureFormat::Jpeg: return DecodeJpeg(file, region, limits, placement);
    case PictureFormat::Png: return DecodePng(file, region, limits, placement);
    case PictureFormat::Bmp: return DecodeBmp(file, region, limits, placement);
    case PictureFormat::Tiff: return DecodeTiff(file, region, limits, placement);
    case PictureFormat::Gif: return DecodeGif(file, region, limits, placement);
    case PictureFormat::Webp: return DecodeWebp(file, region, limits, placement);
    case PictureFormat::Unknown: break;
  }
  return {{}, "not a picture format Pixolan can read"};
}

}  // namespace pixolan
