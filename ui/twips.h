// SPDX-License-Identifier: MIT
#pragma once
// The window is laid out in twips, 15 to a pixel.

#include <QRect>

#include "model/viewport.h"

namespace pixolan {

constexpr int Px(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }

constexpr QRect TwipRect(int left, int top, int width, int height) {
  return QRect(Px(left), Px(top), Px(width), Px(height));
}

}  // namespace pixolan
