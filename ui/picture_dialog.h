// SPDX-License-Identifier: MIT
#pragma once
// The window's file dialogs. The open dialog of Load Picture: title "Open
// Bitmap Image", one filter "Pictures (*.jpg;*.bmp;*.tif)" that shows those
// suffixes in any letter case. The save dialog of Encode: "Save Header As".

#include <QString>

class QFileDialog;
class QWidget;

namespace pixolan {

inline constexpr const char* kPictureDialogTitle = "Open Bitmap Image";
inline constexpr const char* kPictureFilter = "Pictures (*.jpg;*.bmp;*.tif)";
inline constexpr const char* kSaveDialogTitle = "Save Header As";

/// True for the suffixes the filter offers, in any letter case.
bool HasPictureSuffix(const QString& file_name);

/// Sets the title, the filter and the filtering of a dialog before it is shown.
void ConfigurePictureDialog(QFileDialog& dialog);

/// Shows the dialog in folder; returns the chosen file, or an empty string on
/// Cancel.
QString RunPictureDialog(QWidget* parent, const QString& folder);

/// Asks where to write a header, offering image.h in folder; returns the
/// chosen path, or an empty string on Cancel.
QString RunSaveDialog(QWidget* parent, const QString& folder);

}  // namespace pixolan
