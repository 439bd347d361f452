#pragma once
// The open dialog of Load Picture: title "Open Bitmap Image", one filter
// "Pictures (*.jpg;*.bmp;*.tif)" that shows those suffixes in any letter case.

#include <QString>

class QFileDialog;
class QWidget;

namespace pixolan {

inline constexpr const char* kPictureDialogTitle = "Open Bitmap Image";
inline constexpr const char* kPictureFilter = "Pictures (*.jpg;*.bmp;*.tif)";

/// True for the suffixes the filter offers, in any letter case.
bool HasPictureSuffix(const QString& file_name);

/// Sets the title, the filter and the filtering of a dialog before it is shown.
void ConfigurePictureDialog(QFileDialog& dialog);

/// Shows the dialog; returns the chosen file, or an empty string on Cancel.
QString RunPictureDialog(QWidget* parent);

}  // namespace pixolan
