// SPDX-License-Identifier: MIT
#pragma once
// How a picture is turned and scaled into the drawing area, and the streaming
// reducer that does it while the picture is decoded, row by row, without
// ever holding it. Shared by the decoding programs, the window and the
// command line.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/viewport.h"

namespace pixolan {

/// A quarter turn or mirror of the picture, as the map from a pixel of the
/// turned picture (u, v) to the stored one: (u, v), or (v, u) when
/// transposed; then mirrored across the stored picture's width and height.
struct Orientation {
  bool transpose = false;
  bool mirror_x = false;
  bool mirror_y = false;

  bool IsIdentity() const { return !transpose && !mirror_x && !mirror_y; }
  bool operator==(const Orientation&) const = default;

  /// This orientation, then the turned picture turned clockwise by degrees
  /// (90, 180 or 270), flipped left to right, or flipped top to bottom.
  Orientation RotatedClockwise(int degrees) const;
  Orientation FlippedHorizontally() const;
  Orientation FlippedVertically() const;
  /// This orientation applied to a picture already turned by first.
  Orientation After(const Orientation& first) const;

  /// The EXIF orientation tag's value 1 to 8 as a turn that makes the picture upright.
  static Orientation FromExif(int value);
};

/// The stored picture's pixel for turned pixel (u, v) of a stored_width x
/// stored_height picture; x first.
std::pair<int, int> StoredPixel(const Orientation& o, int u, int v, int stored_width, int stored_height);

/// The stored pixels that make up region of the turned picture, both clipped
/// to the picture.
Region StoredRegion(const Orientation& o, const Region& turned, int stored_width, int stored_height);

/// Straight RGBA pixels of a stored width x height picture, turned.
std::vector<std::uint8_t> TurnedRgba(const std::vector<std::uint8_t>& rgba, int width, int height,
                                     const Orientation& o);

/// How much of the picture goes into the drawing area, and how.
enum class PictureSize {
  Actual,  // pixel for pixel from an offset: the region read
  Fit,     // the whole picture, scaled to fit, centred
  Fill,    // scaled to cover the area, centred, the overflow cut off
  Crop,    // a rectangle of the turned picture, then as Fit
};

struct Placement {
  PictureSize size = PictureSize::Actual;
  Region crop{0, 0, 0, 0};            // Crop only: in pixels of the turned picture
  int area_width = kMaxVisibleWidth;  // the drawing area Fit, Fill and Crop place into
  int area_height = kMaxVisibleHeight;
  Orientation orientation{};  // after the EXIF orientation, when that is followed
  bool exif_orientation = false;

  /// Today's region read of the stored pixels: nothing to turn or scale.
  bool IsPlain() const { return size == PictureSize::Actual && orientation.IsIdentity() && !exif_orientation; }
};

/// The placement as one word for a decoding program's command line, and back.
std::string PlacementText(const Placement& placement);
std::optional<Placement> ParsePlacement(const std::string& text);

/// What a placement comes to for one picture.
struct PlacementPlan {
  Orientation orientation;  // the whole turn, EXIF's included
  int stored_width = 0, stored_height = 0;
  bool scaled = false;                      // false: a region read of stored_source, then turned
  Region source;                            // in turned pixels: the part of the picture placed
  Region stored_source;                     // the same part in stored pixels
  int placed_width = 0, placed_height = 0;  // source scaled, turned
  int left = 0, top = 0;                    // placed picture's corner in the area; negative when cut off
  int area_width = 0, area_height = 0;
  bool nearest = false;  // enlarged by a whole number: pixels repeated

  double Scale() const { return source.width > 0 ? double(placed_width) / source.width : 1.0; }
  /// The placed size along the stored picture's columns and rows.
  int StoredPlacedWidth() const { return orientation.transpose ? placed_height : placed_width; }
  int StoredPlacedHeight() const { return orientation.transpose ? placed_width : placed_height; }
  /// The largest shrink (at most 1) a decoder may apply while decoding and
  /// still leave the reducer at least twice the placed size to work from.
  double ShrinkOnLoad() const;
};

/// The plan for a stored_width x stored_height picture whose own orientation
/// (EXIF) is exif; region is the Actual read. An empty string, or the reason
/// there is nothing to place (a crop outside the picture).
std::string PlanPlacement(const Placement& placement, const Region& region, int stored_width, int stored_height,
                          const Orientation& exif, PlacementPlan& plan);

/// Shrinks the rows of a decoded picture as they arrive: an integer box in
/// linear light, premultiplied by alpha, to at most about twice the placed
/// size; at the end turns that and applies a Mitchell filter (or repeats
/// pixels for a whole-number enlargement) into the drawing area.
class PictureReducer {
 public:
  /// The decoder delivers width x height pixels showing the stored pixels
  /// frame (the whole picture, or a crop, possibly shrunk on load).
  PictureReducer(const PlacementPlan& plan, const Region& frame, int width, int height);

  /// The rows of the frame the placement needs; others may be skipped.
  int FirstRow() const { return first_row_; }
  int EndRow() const { return first_row_ + rows_; }
  /// Row y of the frame, width pixels of straight 8-bit RGBA (or opaque
  /// RGB, 3 channels); rows top to bottom.
  void AddRow(int y, const std::uint8_t* pixels, int channels = 4);
  /// What the reducer holds at most, for the decoders' memory checks.
  static std::int64_t BytesNeeded(const PlacementPlan& plan, int width);
  /// The drawing area as straight 8-bit RGBA, transparent where the placed
  /// picture does not reach.
  std::vector<std::uint8_t> Finish();

 private:
  template <int kChannels>
  void Accumulate(const std::uint8_t* pixels);
  void FlushBoxRow();

  PlacementPlan plan_;
  double source_x_, source_y_, source_width_, source_height_;  // in frame pixels
  int first_column_, columns_, first_row_, rows_;
  int box_x_, box_y_;
  int reduced_width_, reduced_height_;
  std::vector<float> sums_;  // one box row: premultiplied linear red, green, blue, and alpha
  // reduced_width_ x reduced_height_, the same four in 16-bit units: plenty
  // for an 8-bit result, at half the memory of floats.
  std::vector<std::uint16_t> reduced_;
  int rows_in_box_ = 0, box_row_ = 0;
};

}  // namespace pixolan
