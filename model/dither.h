// SPDX-License-Identifier: MIT
#pragma once
// Packing the drawing area with or without dithering: the one place where the
// encoder, the window's "Show as Encoded" and any later front end get the
// packed values of what the viewport shows.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/viewport.h"

namespace pixolan {

/// How a colour between two levels the display shows is approximated:
///   None       each pixel packed on its own, as PackColor does
///   Ordered    a Bayer 8x8 threshold pattern picks the level above or below
///   Diffusion  Floyd-Steinberg error diffusion along serpentine rows
/// Dithered levels are the packed fields widened as the display shows them
/// (Widen), compared in linear light. A colour the display shows exactly is
/// never dithered, so a keyed background stays whole.
enum class DitherMode { None, Ordered, Diffusion };

struct DitherModeInfo {
  DitherMode mode;
  const char* name;     // on the command line
  const char* caption;  // in the window's menu
};

inline constexpr DitherModeInfo kDitherModes[] = {
    {DitherMode::None, "none", "None"},
    {DitherMode::Ordered, "ordered", "Ordered"},
    {DitherMode::Diffusion, "diffusion", "Error Diffusion"},
};

/// The mode named "none", "ordered" or "diffusion"; none for anything else.
std::optional<DitherMode> DitherModeNamed(const std::string& name);

/// Packed values of a raster, row by row from the top left. With None each is
/// PackColor of its pixel. Dithered, each pixel takes the packed value whose
/// displayed colour is nearest to what it should show: at 12 bits the nibble
/// n whose n * 17 is nearest, not the component's low nibble. The same pixels
/// and mode give the same values on every machine: integer arithmetic only.
std::vector<std::uint32_t> PackPixels(const Picture& pixels, ColorDepth depth, DitherMode mode);

/// Packed values of the drawing area, as Encode writes them and "Show as
/// Encoded" draws them.
struct PackedArea {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> values;

  std::uint32_t At(int column, int row) const { return values[static_cast<std::size_t>(row) * width + column]; }
};

PackedArea PackDrawingArea(const Viewport& viewport, ColorDepth depth, DitherMode mode);

/// The threshold of the 8x8 Bayer pattern at a pixel, 0..63.
int BayerThreshold(int column, int row);

}  // namespace pixolan
