// SPDX-License-Identifier: MIT
#pragma once
// Colour values as Qt draws them.

#include <QColor>

#include "model/color.h"

namespace pixolan {

inline QRgb ToRgb(ColorValue c) { return qRgb(RedOf(c), GreenOf(c), BlueOf(c)); }

inline ColorValue FromQColor(const QColor& c) { return MakeColor(c.red(), c.green(), c.blue()); }

}  // namespace pixolan
