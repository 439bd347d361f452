#pragma once
// A decoded QImage as the viewport's picture.

#include <QImage>

#include "decoder.h"

namespace pixolan {

/// The region of decoded as 8-bit colours; alpha is blended onto background.
Picture PictureFromImage(const QImage& decoded, ColorValue background, const Region& region = {});

}  // namespace pixolan
