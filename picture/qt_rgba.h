// SPDX-License-Identifier: MIT
#pragma once
// A picture decoded by Qt's readers as the decoders' straight RGBA: the one
// conversion the Qt fallback and the tests' reference decodes share.

#include <QImage>

#include "picture/decoder.h"

namespace pixolan {

/// The region of image, palette, grey, 16-bit and alpha pictures alike as
/// straight 8-bit RGBA (QImage's ARGB32).
RgbaPixels RgbaFromImage(const QImage& image, const Region& region);

}  // namespace pixolan
