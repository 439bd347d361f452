// SPDX-License-Identifier: MIT
#include "ui/picture_dialog.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QSortFilterProxyModel>

namespace pixolan {
namespace {

// Qt's own name filters split patterns at spaces and match case-sensitively
// on Linux, so "*.jpg;*.bmp;*.tif" would hide every file and IMG_0001.JPG
// would never show. The filter text stays as users know it; this model does
// the filtering.
class PictureSuffixFilter : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (!files) return true;
    const QModelIndex index = files->index(row, 0, parent);
    return files->isDir(index) || HasPictureSuffix(files->fileName(index));
  }
};

}  // namespace

bool HasPictureSuffix(const QString& file_name) {
  for (const char* suffix : {".jpg", ".bmp", ".tif"})
    if (file_name.endsWith(QLatin1String(suffix), Qt::CaseInsensitive)) return true;
  return false;
}

void ConfigurePictureDialog(QFileDialog& dialog) {
  dialog.setWindowTitle(QString::fromLatin1(kPictureDialogTitle));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setProxyModel(new PictureSuffixFilter(&dialog));
  dialog.setNameFilter(QString::fromLatin1(kPictureFilter));
  if (auto* files = dialog.findChild<QFileSystemModel*>()) files->setNameFilters({});
}

QString RunPictureDialog(QWidget* parent, const QString& folder) {
  QFileDialog dialog(parent);
  ConfigurePictureDialog(dialog);
  dialog.setDirectory(folder);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

QString RunSaveDialog(QWidget* parent, const QString& folder) {
  QFileDialog dialog(parent, QString::fromLatin1(kSaveDialogTitle), folder);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.selectFile(QStringLiteral("image.h"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

}  // namespace pixolan
