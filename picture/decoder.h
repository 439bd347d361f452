// SPDX-License-Identifier: MIT
#pragma once
// Decoding one picture held in memory: reading only as far as a region
// needs, or every row through the placement's reducer without holding the
// picture. Plain C++ and the format libraries: no Qt here.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "model/placement.h"
#include "picture/formats.h"
#include "picture/limits.h"
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
  std::int64_t max_bytes = kPictureMemoryBytes;
  /// The file is a private read-only mapping whose pages may be given back.
  bool file_mapped = false;
};

/// A decoded region, or the decoder's own words for why there is none
/// (the reason only: the caller adds the file's name). A region decoded in
/// part (the data ends early) comes with a warning saying how far it got.
struct DecodeOutcome {
  DecodeOutcome() = default;
  DecodeOutcome(RgbaPixels decoded, std::string reason, std::string partial = {})
      : pixels(std::move(decoded)), error(std::move(reason)), warning(std::move(partial)) {}

  RgbaPixels pixels;
  std::string error;
  std::string warning;
  std::string note;  // about the decoding program, not the picture: said once, on standard error
  double scale = 1;  // what a placement scaled the picture by (1 for a region read)
  int frames = 0;    // with a frame asked for: how many the picture has (1 for a still picture)
  int delay_ms = 0;  // with a frame asked for: how long it shows, as stored
  bool Ok() const { return error.empty(); }
};

/// The frame index that asks for the picture as a still: its first frame,
/// nothing past it read or counted.
inline constexpr int kStillPicture = -1;

/// Each format's decoder: the region of the picture as stored by default;
/// otherwise as placement turns and places it (region then only for Actual,
/// in pixels of the turned picture).
DecodeOutcome DecodeJpeg(Bytes file, const Region& region, const DecodeLimits& limits, const Placement& placement = {});
DecodeOutcome DecodePng(Bytes file, const Region& region, const DecodeLimits& limits, const Placement& placement = {});
DecodeOutcome DecodeBmp(Bytes file, const Region& region, const DecodeLimits& limits, const Placement& placement = {});
DecodeOutcome DecodeTiff(Bytes file, const Region& region, const DecodeLimits& limits, const Placement& placement = {});
DecodeOutcome DecodeGif(Bytes file, const Region& region, const DecodeLimits& limits, const Placement& placement = {});
DecodeOutcome DecodeWebp(Bytes file, const Region& region, const DecodeLimits& limits, const Placement& placement = {});

/// Frame number frame (from 0) of an animated GIF or WebP, composed on its
/// canvas as a browser shows it, as a region or placed; with how many frames
/// the picture has and the frame's delay.
DecodeOutcome DecodeGifFrame(Bytes file, const Region& region, const DecodeLimits& limits, const Placement& placement,
                             int frame);
DecodeOutcome DecodeWebpFrame(Bytes file, const Region& region, const DecodeLimits& limits, const Placement& placement,
                              int frame);

/// A picture decoded whole (an animation's canvas) as the outcome a decoder
/// gives: region cut out, or every row through the placement.
DecodeOutcome FromWholePicture(const RgbaPixels& whole, Bytes file, const Region& region, const DecodeLimits& limits,
                               const Placement& placement);

/// The EXIF orientation tag (1 to 8) of a JPEG, PNG, WebP or TIFF; 1 (upright) when there is none.
int ExifOrientation(Bytes file);

/// A decoder's placed read, kept where a longjmp cannot skip it.
struct PlacedRead {
  PlacementPlan plan;
  std::optional<PictureReducer> reducer;
  std::vector<std::uint8_t> row;  // one decoded row, straight RGBA

  /// Plans for a width x height picture; the reason when there is nothing to place.
  std::string Plan(Bytes file, const Placement& placement, const Region& region, std::int64_t width,
                   std::int64_t height);
  /// What a region read reads when the plan is not scaled, in stored pixels.
  const Region& StoredRegion() const { return plan.stored_source; }
  /// What the reducer holds for rows frame_width wide, for the memory checks.
  std::int64_t BytesNeeded(std::int64_t frame_width) const;
  /// The reducer for width x height decoded pixels showing the stored pixels
  /// frame, and a row buffer width wide.
  PictureReducer& Start(const Region& frame, int width, int height);
  /// The outcome: the reducer's drawing area, or else pixels read from StoredRegion() turned.
  DecodeOutcome Finish(RgbaPixels pixels = {});
};

/// Lets the kernel take back the pages of the mapped file read so far: a
/// whole-picture read of a large uncompressed file would otherwise keep all
/// of it resident. What is read again is simply mapped in again. Nothing
/// happens unless limits say the file is mapped.
void ReleaseFilePages(Bytes file, const DecodeLimits& limits);

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
DecodeOutcome DecodePicture(Bytes file, const Region& region, const DecodeLimits& limits,
                            const Placement& placement = {});

/// Blends each pixel over background: (over * a + under * (255 - a) + 127) / 255.
Picture Composite(const RgbaPixels& pixels, ColorValue background);

}  // namespace pixolan
