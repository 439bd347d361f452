// SPDX-License-Identifier: MIT
#pragma once
// Start-up without Qt's image-format plugins: Qt loads every one of them the
// first time it reads an image file without being told its format, and both
// QIcon::addFile and the style's standard icons do that.

#include <QIcon>

class QStyle;

namespace pixolan {

/// The program's icon in its three sizes, read with the built-in PNG reader.
QIcon ProgramIcon();

/// The desktop style, handing out standard icons that read their files only
/// when first drawn.
QStyle* NewStartupStyle();

}  // namespace pixolan
