// SPDX-License-Identifier: MIT
#pragma once
// The window's file dialogs. The open dialog of Load Picture: title "Open
// Bitmap Image", first the filter "Pictures (*.jpg;*.bmp;*.tif)" it has always
// had, then every format Pixolan reads and all files; each filter shows its
// suffixes in any letter case. The save dialog of Encode: "Save Header As".
// Neither keeps anything between runs.

#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

namespace pixolan {

inline constexpr const char* kPictureDialogTitle = "Open Bitmap Image";
inline constexpr const char* kPictureFilter = "Pictures (*.jpg;*.bmp;*.tif)";
inline constexpr const char* kSaveDialogTitle = "Save Header As";

/// The open dialog's filters, in the order offered.
QStringList PictureFilters();

/// Whether a filter such as "Pictures (*.jpg;*.bmp;*.tif)" shows file_name,
/// in any letter case.
bool FilterShows(const QString& filter, const QString& file_name);

/// Sets the title, the filters and the filtering of a dialog before it is shown.
void ConfigurePictureDialog(QFileDialog& dialog);

/// Shows the dialog in folder; returns the chosen file, or an empty string on
/// Cancel.
QString RunPictureDialog(QWidget* parent, const QString& folder);

/// Asks where to write a header, offering image.h in folder; returns the
/// chosen path, or an empty string on Cancel.
QString RunSaveDialog(QWidget* parent, const QString& folder);

}  // namespace pixolan
