// SPDX-License-Identifier: MIT
#include "ui/picture_dialog.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QImageReader>
#include <QSettings>
#include <QSortFilterProxyModel>

namespace pixolan {
namespace {

// Qt's own name filters split patterns at spaces and match case-sensitively
// on Linux, so "*.jpg;*.bmp;*.tif" would hide every file and IMG_0001.JPG
// would never show. The filter texts stay as users know them; this model
// does the filtering, by the filter chosen.
class PictureSuffixFilter : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;

  void SetFilter(const QString& filter) {
    filter_ = filter;
    invalidateFilter();
  }

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (!files) return true;
    const QModelIndex index = files->index(row, 0, parent);
    return files->isDir(index) || FilterShows(filter_, files->fileName(index));
  }

 private:
  QString filter_;
};

// QFileDialog reads its history, recent places and layout from the user's
// QtProject.conf when made and writes them back when destroyed. The window
// keeps nothing between runs: those settings are given a place that can
// never be a folder, so none are read and none written.
void KeepNoDialogState() {
  for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
    QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null"));
}

}  // namespace

QStringList PictureFilters() {
  // Pixolan's own decoders, then whatever Qt's readers add (PPM, ICO, ...).
  QStringList suffixes = {QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("png"), QStringLiteral("bmp"),
                          QStringLiteral("tif"), QStringLiteral("tiff"), QStringLiteral("gif"), QStringLiteral("webp")};
  for (const QByteArray& format : QImageReader::supportedImageFormats()) suffixes << QString::fromLatin1(format);
  suffixes.sort();
  suffixes.removeDuplicates();
  return {QString::fromLatin1(kPictureFilter),
          QStringLiteral("All pictures (*.%1)").arg(suffixes.join(QStringLiteral(" *."))),
          QStringLiteral("All files (*)")};
}

bool FilterShows(const QString& filter, const QString& file_name) {
  const qsizetype open = filter.lastIndexOf(QLatin1Char('(')), close = filter.lastIndexOf(QLatin1Char(')'));
  if (open < 0 || close < open) return false;
  static const QRegularExpression kSeparators(QStringLiteral("[ ;]"));
  for (const QString& pattern : filter.mid(open + 1, close - open - 1).split(kSeparators, Qt::SkipEmptyParts)) {
    if (pattern == QLatin1String("*")) return true;
    if (pattern.startsWith(QLatin1String("*.")) && file_name.endsWith(pattern.mid(1), Qt::CaseInsensitive)) return true;
  }
  return false;
}

void ConfigurePictureDialog(QFileDialog& dialog) {
  dialog.setWindowTitle(QString::fromLatin1(kPictureDialogTitle));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  auto* filter = new PictureSuffixFilter(&dialog);
  dialog.setProxyModel(filter);
  dialog.setNameFilters(PictureFilters());
  auto* files = dialog.findChild<QFileSystemModel*>();
  const auto use = [filter, files](const QString& chosen) {
    if (files) files->setNameFilters({});  // the dialog sets them anew with each choice
    filter->SetFilter(chosen);
  };
  use(dialog.selectedNameFilter());
  QObject::connect(&dialog, &QFileDialog::filterSelected, filter, use);
}

QString RunPictureDialog(QWidget* parent, const QString& folder) {
  KeepNoDialogState();
  QFileDialog dialog(parent);
  ConfigurePictureDialog(dialog);
  dialog.setDirectory(folder);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

QString RunSaveDialog(QWidget* parent, const QString& folder) {
  KeepNoDialogState();
  QFileDialog dialog(parent, QString::fromLatin1(kSaveDialogTitle), folder);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.selectFile(QStringLiteral("image.h"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

}  // namespace pixolan
