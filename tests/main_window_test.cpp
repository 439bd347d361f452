// The window under the offscreen platform: no display, no person.

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <cstdio>

#include "main_window.h"
#include "picture_box.h"
#include "picture_dialog.h"
#include "sample_picture.h"
#include "twips.h"

using namespace pixolan;

namespace {

struct Shown {
  MessageIcon icon;
  QString title, text;
};

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray EncodeWithCli(const QString& arguments) {
  const QString command = QStringLiteral(PIXOLAN_ENCODE_BINARY " %1 -o -").arg(arguments);
  QByteArray out;
  FILE* pipe = ::popen(command.toLocal8Bit().constData(), "r");
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, qsizetype(n));
  ::pclose(pipe);
  return out;
}

// Writes a PPM of the given size, all background, one pixel of colour.
QString WritePicture(const QTemporaryDir& dir, QSize size, QPoint at, QRgb color) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(qRgb(10, 20, 30));
  image.setPixel(at, color);
  const QString path = dir.filePath(QStringLiteral("picture.ppm"));
  image.save(path, "PPM");
  return path;
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<frmMain> window_;
  std::vector<Shown> shown_;

  void Hover(int column, int row) {
    QMouseEvent move(QEvent::MouseMove, QPointF(column + kFramePixels, row + kFramePixels),
                     window_->pic->mapToGlobal(QPointF(column + kFramePixels, row + kFramePixels)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(window_->pic, &move);
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    window_ = std::make_unique<frmMain>(dir_->path());
    shown_.clear();
    window_->setMessagePresenter([this](MessageIcon icon, const QString& title, const QString& text) {
      shown_.push_back({icon, title, text});
    });
    window_->show();
  }

  void cleanup() {
    window_.reset();
    dir_.reset();
  }

  void startsInItsInitialState() {
    frmMain& w = *window_;
    QCOMPARE(w.windowTitle(), QStringLiteral("Pixolan <> 8-bit / 12-bit / 16-bit encoder"));
    QCOMPARE(w.menuBar()->actions().size(), 1);
    QCOMPARE(w.aboutMnu->text(), QStringLiteral("&About"));
    QVERIFY(w.aboutMnu->menu() == nullptr);
    QCOMPARE(w.btnLoadPicture->text(), QStringLiteral("Load Picture"));
    QCOMPARE(w.btnEncode->text(), QStringLiteral("Encode"));
    QCOMPARE(w.Frame1->title(), QStringLiteral(" Output Configuration "));
    QCOMPARE(w.Label4->text(), QStringLiteral("Resolution (pixels):"));
    QCOMPARE(w.Label5->text(), QStringLiteral("Color depth:"));
    QCOMPARE(w.optResolution[0]->text(), QStringLiteral("132x132"));
    QCOMPARE(w.optResolution[1]->text(), QStringLiteral("132x176"));
    QVERIFY(w.optResolution[0]->isChecked());
    QCOMPARE(w.optColor[0]->text(), QStringLiteral("8-bit"));
    QCOMPARE(w.optColor[1]->text(), QStringLiteral("12-bit"));
    QCOMPARE(w.optColor[2]->text(), QStringLiteral("16-bit"));
    QVERIFY(w.optColor[0]->isChecked());
    QCOMPARE(w.rcorChk->text(), QStringLiteral("Remove Color"));
    QCOMPARE(w.rcorChk->checkState(), Qt::Unchecked);
    QCOMPARE(w.transpTxt->text(), QStringLiteral("FFFF"));
    for (QLineEdit* readout : {w.txtR, w.txtG, w.txtB, w.txtRGB}) QVERIFY(readout->text().isEmpty());
    QCOMPARE(w.viewport().OuterWidth(), 1980.0f);
    QCOMPARE(w.viewport().picture().pixels, SamplePicture().pixels);
    QCOMPARE(w.centralWidget()->size(), QSize(444, 166));
    QCOMPARE(w.minimumSize(), w.maximumSize());  // the window keeps its size
    QCOMPARE(w.Label1->font().family(), QStringLiteral("Arial"));
    QCOMPARE(w.Label1->font().pointSizeF(), 8.25);
  }

  void controlsSitWhereTheLayoutPutsThem() {
    frmMain& w = *window_;
    const std::pair<QWidget*, QRect> layout[] = {
        {w.pic, TwipRect(120, 120, 1980, 1980)},
        {w.Shape3, TwipRect(120, 120, 2640, 1980)},
        {w.btnLoadPicture, TwipRect(120, 2160, 2655, 255)},
        {w.Label1, TwipRect(2880, 240, 105, 210)},
        {w.txtR, TwipRect(3120, 203, 615, 285)},
        {w.Label2, TwipRect(2880, 480, 120, 210)},
        {w.txtG, TwipRect(3120, 443, 615, 285)},
        {w.Label3, TwipRect(2880, 720, 105, 210)},
        {w.txtB, TwipRect(3120, 683, 615, 285)},
        {w.txtRGB, TwipRect(2880, 1080, 855, 285)},
        {w.Shape1, TwipRect(2880, 1440, 855, 630)},
        {w.Frame1, TwipRect(3885, 105, 2655, 1695)},
        {w.Frame2, TwipRect(225, 300, 2190, 540)},
        {w.Label4, TwipRect(0, 0, 1380, 210)},
        {w.optResolution[0], TwipRect(0, 240, 975, 255)},
        {w.optResolution[1], TwipRect(975, 225, 975, 255)},
        {w.Label5, TwipRect(240, 1110, 855, 195)},
        {w.optColor[0], TwipRect(240, 1350, 735, 255)},
        {w.optColor[1], TwipRect(960, 1350, 735, 255)},
        {w.optColor[2], TwipRect(1800, 1350, 735, 255)},
        {w.rcorChk, TwipRect(1050, 825, 1365, 315)},
        {w.transpTxt, TwipRect(225, 825, 765, 285)},
        {w.btnEncode, TwipRect(3900, 1875, 2610, 255)},
        {w.Shape2, TwipRect(2805, 2160, 3720, 285)},
        {w.ProgressBar1, TwipRect(2835, 2180, 3675, 255)},
    };
    for (const auto& [widget, rect] : layout) {
      const QRect actual = widget->geometry();
      QVERIFY2(actual.topLeft() == rect.topLeft() && actual.height() == rect.height(),
               qPrintable(widget->objectName()));
      // Labels may grow to the right so that their caption is never clipped.
      if (qobject_cast<QLabel*>(widget))
        QVERIFY2(actual.width() >= rect.width(), qPrintable(widget->objectName()));
      else
        QVERIFY2(actual.width() == rect.width(), qPrintable(widget->objectName()));
    }
    QCOMPARE(w.Frame2->parentWidget(), w.Frame1);
    QCOMPARE(w.optResolution[0]->parentWidget(), w.Frame2);
    QCOMPARE(w.optColor[0]->parentWidget(), w.Frame1);
  }

  void tabOrderFollowsTheTabIndices() {
    frmMain& w = *window_;
    const QWidget* expected[] = {w.pic,        w.btnLoadPicture,   w.txtR,
                                 w.txtG,       w.txtRGB,           w.btnEncode,
                                 w.optColor[1], w.optColor[2],     w.optColor[0],
                                 w.txtB,       w.optResolution[1], w.optResolution[0],
                                 w.transpTxt,  w.rcorChk};
    QWidget* at = w.pic;
    for (std::size_t i = 1; i < std::size(expected); ++i) {
      do at = at->nextInFocusChain();
      while (!(at->focusPolicy() & Qt::TabFocus));
      QVERIFY2(at == expected[i], qPrintable(QStringLiteral("position %1 is %2").arg(i).arg(at->objectName())));
    }
  }

  void switchingResolutionNeverReloadsOrRescales() {
#ifdef PIXOLAN_DECODERS_STUBBED
    QSKIP("the format decoders are not built yet");
#endif
    frmMain& w = *window_;
    QVERIFY(w.LoadPictureFile(QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_coord_300x200.bmp")));
    const std::vector<ColorValue> loaded = w.viewport().picture().pixels;
    w.optResolution[1]->click();
    QCOMPARE(w.viewport().OuterWidth(), 2640.0f);
    QCOMPARE(w.pic->width(), 176);
    QCOMPARE(w.viewport().Sample(1920, 15), MakeColor(128, 1, 0x40));
    w.optResolution[0]->click();
    QCOMPARE(w.pic->width(), 132);
    QCOMPARE(w.viewport().Sample(1920, 15), kNoPixel);
    QCOMPARE(w.viewport().picture().pixels, loaded);
    QVERIFY(shown_.empty());
  }

  void encodeWritesWhatTheCommandLineWrites() {
#ifdef PIXOLAN_DECODERS_STUBBED
    QSKIP("the format decoders are not built yet");
#endif
    frmMain& w = *window_;
    const QString picture = QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_coord_172x128.bmp");
    QVERIFY(w.LoadPictureFile(picture));
    w.optResolution[1]->click();
    w.optColor[2]->click();
    QVERIFY(w.optResolution[1]->isChecked() && !w.optColor[0]->isChecked());  // independent groups
    w.rcorChk->click();
    w.transpTxt->setText(QStringLiteral("7FF"));
    QTest::mouseClick(w.btnEncode, Qt::LeftButton);

    const QString path = dir_->filePath(QStringLiteral("image.h"));
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(shown_[0].icon, MessageIcon::Exclamation);
    QCOMPARE(shown_[0].title, QStringLiteral("Image file generated."));
    QCOMPARE(shown_[0].text, QStringLiteral("Generated: ") + path);
    QCOMPARE(ReadAll(path), EncodeWithCli(picture + " --resolution 132x176 --depth 16 --remove 7FF"));
    QCOMPARE(w.ProgressBar1->maximum(), 2640);
    QCOMPARE(w.ProgressBar1->value(), 2640);
  }

  void readOnlyImageHIsReportedAndKept() {
    const QString path = dir_->filePath(QStringLiteral("image.h"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep");
    file.close();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    window_->btnEncode->click();
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(shown_[0].icon, MessageIcon::Critical);
    QVERIFY(shown_[0].text.contains(path));
    QCOMPARE(ReadAll(path), QByteArray("keep"));
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
  }

  void probeShowsTheColourUnderThePointer() {
    frmMain& w = *window_;
    QTemporaryDir pictures;
    QVERIFY(w.LoadPictureFile(WritePicture(pictures, QSize(40, 30), QPoint(12, 7), qRgb(0x99, 0x66, 0x33))));
    w.optColor[2]->click();
    Hover(12, 7);
    QCOMPARE(w.txtR->text(), QStringLiteral("153"));
    QCOMPARE(w.txtG->text(), QStringLiteral("102"));
    QCOMPARE(w.txtB->text(), QStringLiteral("51"));
    QCOMPARE(w.txtRGB->text(), QStringLiteral("336699"));
    QCOMPARE(w.Shape1->palette().color(QPalette::Window), QColor(0x99, 0x66, 0x33));
    QCOMPARE(w.pic->toolTip(), QStringLiteral("16-bit: 0x9B26"));

    Hover(100, 100);  // beyond the picture: the background
    QCOMPARE(w.txtR->text(), QStringLiteral("255"));
    QCOMPARE(w.txtG->text(), QStringLiteral("255"));
    QCOMPARE(w.txtB->text(), QStringLiteral("255"));
    QCOMPARE(w.txtRGB->text(), QStringLiteral("FFFFFF"));
    QCOMPARE(w.pic->toolTip(), QStringLiteral("16-bit: 0xFFFF"));

    Hover(130, 5);  // over the frame: nothing changes
    QCOMPARE(w.txtRGB->text(), QStringLiteral("FFFFFF"));

    // Should a point outside ever be reported: the signed split of -1.
    w.pic_MouseMove(0, 0, 1980, 0);
    QCOMPARE(w.txtR->text() + w.txtG->text() + w.txtB->text(), QStringLiteral("-100"));
    QCOMPARE(w.txtRGB->text(), QStringLiteral("FFFFFFFF"));
    QCOMPARE(w.Shape1->palette().color(QPalette::Window), QColor(Qt::white));
  }

  void aFailedOrCancelledLoadKeepsThePicture() {
    frmMain& w = *window_;
    window_->setFileChooser([] { return QString(); });  // Cancel
    w.btnLoadPicture->click();
    QVERIFY(shown_.empty());
    const QString bad = QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_text_renamed.jpg");
    window_->setFileChooser([bad] { return bad; });
    w.btnLoadPicture->click();
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(shown_[0].icon, MessageIcon::Critical);
    QVERIFY(shown_[0].text.contains(bad));
    QCOMPARE(w.viewport().picture().pixels, SamplePicture().pixels);
  }

  void droppingAFileLoadsIt() {
#ifdef PIXOLAN_DECODERS_STUBBED
    QSKIP("the format decoders are not built yet");
#endif
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_coord_100x60.bmp"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &drop);
    QCOMPARE(window_->viewport().picture().width, 100);
    QCOMPARE(window_->viewport().picture().height, 60);
  }

  void aboutShowsFourLines() {
    window_->aboutMnu->trigger();
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(shown_[0].icon, MessageIcon::Information);
    QCOMPARE(shown_[0].title, QStringLiteral("About Pixolan"));
    const QStringList lines = shown_[0].text.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], QStringLiteral("Pixolan ver.: 1.0"));
    QVERIFY(lines[1].startsWith(QStringLiteral("Author: ")));
    QVERIFY(lines[2].startsWith(QStringLiteral("E-mail: ")));
    QVERIFY(lines[3].startsWith(QStringLiteral("URL: ")));
  }

  void dialogShowsPictureSuffixesInAnyCase() {
    QTemporaryDir files;
    for (const char* name : {"a.jpg", "IMG_0001.JPG", "c.Tif", "d.bmp", "e.png", "f.jpeg", "notes.txt"}) {
      QFile file(files.filePath(QString::fromLatin1(name)));
      QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QDir(files.path()).mkdir(QStringLiteral("sub"));

    QFileDialog dialog;
    ConfigurePictureDialog(dialog);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Open Bitmap Image"));
    QCOMPARE(dialog.nameFilters(), QStringList{QStringLiteral("Pictures (*.jpg;*.bmp;*.tif)")});
    dialog.setDirectory(files.path());

    auto* proxy = dialog.proxyModel();
    auto* model = dialog.findChild<QFileSystemModel*>();
    QVERIFY(proxy && model);
    auto shown_names = [&] {
      const QModelIndex root = proxy->mapFromSource(model->index(files.path()));
      QStringList names;
      for (int row = 0; row < proxy->rowCount(root); ++row) names << proxy->index(row, 0, root).data().toString();
      names.sort();
      return names;
    };
    QTRY_COMPARE(shown_names().size(), 5);
    const QStringList shown = shown_names();
    QCOMPARE(shown, (QStringList{"IMG_0001.JPG", "a.jpg", "c.Tif", "d.bmp", "sub"}));
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
