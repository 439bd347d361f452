#pragma once
// A decoded QImage as the viewport's picture.

#include <QImage>

#include "viewport.h"

namespace pixolan {

/// The top-left corner the viewport can show, as 8-bit colours; alpha is
/// blended onto background.
Picture PictureFromImage(const QImage& decoded, ColorValue background);

}  // namespace pixolan
