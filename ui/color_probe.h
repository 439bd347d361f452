// SPDX-License-Identifier: MIT
#pragma once
// What the read-outs show for the pixel under the pointer.

#include <string>

#include "model/color.h"

namespace pixolan {

struct ProbeReadout {
  std::string red, green, blue;  // decimal
  std::string value;             // the colour value in hex, red in the low byte
  ColorValue swatch;
};

/// Splits c by truncating division and signed remainder, as the read-outs
/// always have: -1 shows "-1", "0", "0" and "FFFFFFFF". The swatch shows
/// background for -1.
ProbeReadout ReadColor(ColorValue c, ColorValue background);

/// The key "Remove Color" needs to leave c out at the depth, as it is to be
/// typed, e.g. "Key at 16 bits: FFFF".
std::string PackedHint(ColorDepth depth, ColorValue c);

}  // namespace pixolan
