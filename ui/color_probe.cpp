// SPDX-License-Identifier: MIT
#include "ui/color_probe.h"

namespace pixolan {

ProbeReadout ReadColor(ColorValue c, ColorValue background) {
  const ColorValue q = c / 256;
  const ColorValue q2 = q / 256;
  return {std::to_string(c % 256), std::to_string(q % 256), std::to_string(q2 % 256), HexText(c),
          c == kNoPixel ? background : c};
}

std::string PackedHint(ColorDepth depth, ColorValue c) {
  return "Key at " + std::to_string(BitsOf(depth)) + " bits: " + HexText(PackColor(depth, c));
}

}  // namespace pixolan
