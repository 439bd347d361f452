// SPDX-License-Identifier: MIT
// Arbitrary bytes through the in-process decoders into an Encode run in memory.
// The last byte picks the placement: a region read (half the inputs), fit,
// fill or a crop, each turned one of the eight ways, EXIF's too. A GIF or
// WebP is also read as an animation, at one of its first frames.

#include <cstddef>
#include <cstdint>

#include "picture/decoder.h"
#include "encoder/header_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pixolan::Placement placement;
  if (size > 0 && data[size - 1] & 4) {
    const int choice = data[size - 1];
    constexpr pixolan::PictureSize kSizes[] = {pixolan::PictureSize::Fit, pixolan::PictureSize::Fill,
                                               pixolan::PictureSize::Crop, pixolan::PictureSize::Fit};
    placement.size = kSizes[choice & 3];
    placement.orientation = {(choice & 8) != 0, (choice & 16) != 0, (choice & 32) != 0};
    placement.exif_orientation = (choice & 64) != 0;
    placement.area_width = choice & 128 ? pixolan::kMaxVisibleWidth : 128;
    placement.crop = {static_cast<int>(size % 50), static_cast<int>(size % 30), 1 + static_cast<int>(size % 200),
                      1 + static_cast<int>(size % 150)};
  }
  const pixolan::Bytes file{data, size};
  const pixolan::PictureFormat format = pixolan::SniffFormat(file);
  const int frame = static_cast<int>(size % 4);
  if (format == pixolan::PictureFormat::Gif) (void)pixolan::DecodeGifFrame(file, {}, {}, placement, frame);
  if (format == pixolan::PictureFormat::Webp) (void)pixolan::DecodeWebpFrame(file, {}, {}, placement, frame);
  const pixolan::DecodeOutcome decoded = pixolan::DecodePicture(file, {}, {}, placement);
  if (!decoded.Ok()) return 0;

  pixolan::Viewport viewport;
  viewport.SetOuterWidth(size % 2 ? pixolan::kWideWidthTwips : pixolan::kNarrowWidthTwips);
  viewport.SetPicture(pixolan::Composite(decoded.pixels, viewport.GetBackground()));
  const auto depth = static_cast<pixolan::ColorDepth>(size % 3);
  const std::string text = pixolan::FormatHeader(viewport, {depth, size % 5 == 0, "FFFF"});
  if (!text.starts_with(pixolan::ElementType(depth))) __builtin_trap();
  return 0;
}
