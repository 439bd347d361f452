// SPDX-License-Identifier: MIT
#pragma once
// Decoding one picture held in memory, reading only as far as a region needs.
// Plain C++ and the format libraries: no Qt here.

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "model/viewport.h"

namespace pixolan {

using Bytes = std::span<const std::uint8_t>;

/// Straight (not premultiplied) 8-bit RGBA, rows top to bottom: the part of
/// the region that lies inside the picture (empty when none does).
struct RgbaPixels {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;  // width * height * 4 bytes
  int picture_width = 0;           // the whole picture's size, for telling the user
  int picture_height = 0;
};

struct DecodeLimits {
  /// What a decoder may need to hold at once, counting what the format forces
  /// it to keep (coefficients, whole interlaced pictures, canvases).
  std::int64_t max_bytes = std::int64_t{512} * 1024 * 1024;
};

/// A decoded region, or the decoder's own words for why there is none
/// (the reason only: the caller adds the file's name). A region decoded in
/// part (the data ends early) comes with a warning saying how far it got.
struct DecodeOutcome {
  DecodeOutcome() = default;
  DecodeOutcome(RgbaPixels pixels, std::string error, std::string warning = {})
      : pixels(std::move(pixels)), error(std::move(error)), warning(std::move(warning)) {}

  RgbaPixels pixels;
  std::string error;
  std::string warning;
  bool Ok() const { return error.empty(); }
};

enum class PictureFormat { Unknown, Jpeg, Png, Bmp, Tiff, Gif, Webp };

/// The format by the first bytes of the file.
PictureFormat SniffFormat(Bytes head);

DecodeOutcome DecodeJpeg(Bytes file, const Region& region, const DecodeLimits& limits);
DecodeOutcome DecodePng(Bytes file, const Region& region, const DecodeLimits& limits);
DecodeOutcome DecodeBmp(Bytes file, const Region& region, const DecodeLimits& limits);
DecodeOutcome DecodeTiff(Bytes file, const Region& region, const DecodeLimits& limits);
DecodeOutcome DecodeGif(Bytes file, const Region& region, const DecodeLimits& limits);
DecodeOutcome DecodeWebp(Bytes file, const Region& region, const DecodeLimits& limits);

/// The part of region inside a picture_width x picture_height picture, as
/// pixels to fill (all zero: transparent black).
RgbaPixels RegionPixels(const Region& region, std::int64_t picture_width, std::int64_t picture_height);

/// "the picture is W x H pixels and would need N MB, more than the L MB a
/// picture may take": the one refusal every decoder gives for a picture too
/// large to decode.
std::string TooLarge(std::int64_t width, std::int64_t height, std::int64_t bytes_needed, const DecodeLimits& limits);

/// "Could not load NAME: REASON", the one form every load failure takes.
std::string CouldNotLoad(const std::string& name, const std::string& reason);

/// Decodes a picture of any format above with its own decoder; Unknown is
/// refused as "not a picture format Pixolan can read".
DecodeOutcome DecodePicture(Bytes file, const Region& region, const DecodeLimits& limits);

/// Blends each pixel over background: (over * a + under * (255 - a) + 127) / 255.
Picture Composite(const RgbaPixels& pixels, ColorValue background);

}  // namespace pixolan
