// The window under the offscreen platform: no display, no person.

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <cmath>
#include <cstdio>

#include "ui/main_window.h"
#include "ui/picture_box.h"
#include "ui/picture_dialog.h"
#include "resources/sample_picture.h"

using namespace pixolan;

namespace {

// A control of the window by its object name; fails the test when missing.
template <typename T>
T* Child(const QObject& window, const char* name) {
  T* child = window.findChild<T*>(QString::fromLatin1(name));
  if (!child) qFatal("no control named %s", name);
  return child;
}

struct Shown {
  MessageIcon icon;
  QString title, text;
  bool busy;  // a busy cursor was up while the message was open
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

  void Open(const QString& program_directory) {
    window_ = std::make_unique<frmMain>(program_directory);
    window_->SetMessagePresenter([this](MessageIcon icon, const QString& title, const QString& text) {
      const bool busy = QApplication::overrideCursor() || window_->cursor().shape() == Qt::BusyCursor;
      shown_.push_back({icon, title, text, busy});
    });
    window_->show();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
  }

  // Loads through the window and waits for the outcome.
  bool Load(const QString& path) {
    QSignalSpy finished(window_.get(), &frmMain::loadFinished);
    window_->LoadPictureFile(path);
    return finished.wait(20000) && finished.first().first().toBool();
  }

  void Hover(int column, int row) {
    const QPointF at(column + kFramePixels, row + kFramePixels);
    QMouseEvent move(QEvent::MouseMove, at, Child<PictureBox>(*window_, "pic")->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(Child<PictureBox>(*window_, "pic"), &move);
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    shown_.clear();
    Open(dir_->path());
  }

  void cleanup() {
    for (const Shown& message : shown_) QVERIFY2(!message.busy, qPrintable(message.title));
    window_.reset();
    dir_.reset();
  }

  void startsInItsInitialState() {
    frmMain& w = *window_;
    QCOMPARE(w.windowTitle(), QStringLiteral("Pixolan <> 8-bit / 12-bit / 16-bit encoder"));
    QCOMPARE(w.menuBar()->actions().size(), 1);
    QVERIFY(Child<QAction>(w, "aboutMnu")->menu() == nullptr);
    QVERIFY(Child<QRadioButton>(w, "optResolution0")->isChecked());
    QVERIFY(Child<QRadioButton>(w, "optColor0")->isChecked());
    QCOMPARE(Child<QCheckBox>(w, "rcorChk")->checkState(), Qt::Unchecked);
    QCOMPARE(Child<QLineEdit>(w, "transpTxt")->text(), QStringLiteral("FFFF"));
    for (QLineEdit* readout : {Child<QLineEdit>(w, "txtR"), Child<QLineEdit>(w, "txtG"), Child<QLineEdit>(w, "txtB"), Child<QLineEdit>(w, "txtRGB")}) QVERIFY(readout->text().isEmpty());
    QCOMPARE(w.GetViewport().GetPicture().pixels, SamplePicture().pixels);
    QCOMPARE(w.minimumSize(), w.maximumSize());  // the window keeps its size
    QCOMPARE(Child<QLabel>(w, "Label1")->font().pointSizeF(), 8.25);
    // Inside the Arial frame, these three keep the dialog font.
    for (QWidget* own : {static_cast<QWidget*>(Child<QLabel>(w, "Label5")), static_cast<QWidget*>(Child<QCheckBox>(w, "rcorChk")),
                         static_cast<QWidget*>(Child<QLineEdit>(w, "transpTxt"))})
      QVERIFY2(own->font().pointSizeF() == 8.0, qPrintable(own->objectName()));
  }

  void controlsKeepTheirPixelPlaces() {
    frmMain& w = *window_;
    QCOMPARE(w.centralWidget()->size(), QSize(444, 166));
    QCOMPARE(Child<PictureBox>(w, "pic")->geometry(), QRect(8, 8, 132, 132));
    QCOMPARE(Child<QPushButton>(w, "btnEncode")->geometry(), QRect(260, 125, 174, 17));
    QCOMPARE(Child<QProgressBar>(w, "ProgressBar1")->geometry(), QRect(189, 145, 245, 17));
    QCOMPARE(Child<QRadioButton>(w, "optColor2")->geometry(), QRect(120, 90, 49, 17));
    QCOMPARE(Child<QRadioButton>(w, "optColor2")->parentWidget(), Child<QGroupBox>(w, "Frame1"));
    QCOMPARE(Child<QLineEdit>(w, "transpTxt")->geometry(), QRect(15, 55, 51, 19));
    QCOMPARE(Child<QRadioButton>(w, "optResolution1")->parentWidget(), Child<QWidget>(w, "Frame2"));
  }

  void tabEntersEachOptionGroupAtItsCheckedOption() {
    frmMain& w = *window_;
    auto tab_from = [](QWidget* from) {
      from->setFocus(Qt::OtherFocusReason);
      QTest::keyClick(from, Qt::Key_Tab);
      return QApplication::focusWidget();
    };
    QCOMPARE(tab_from(Child<QPushButton>(w, "btnEncode")), Child<QRadioButton>(w, "optColor0"));
    QCOMPARE(tab_from(Child<QLineEdit>(w, "txtB")), Child<QRadioButton>(w, "optResolution0"));
    Child<QRadioButton>(w, "optColor2")->click();
    Child<QRadioButton>(w, "optResolution1")->click();
    QCOMPARE(tab_from(Child<QPushButton>(w, "btnEncode")), Child<QRadioButton>(w, "optColor2"));
    QCOMPARE(tab_from(Child<QRadioButton>(w, "optColor2")), Child<QLineEdit>(w, "txtB"));
    QCOMPARE(tab_from(Child<QLineEdit>(w, "txtB")), Child<QRadioButton>(w, "optResolution1"));
  }

  void switchingResolutionNeverReloadsOrRescales() {
    frmMain& w = *window_;
    QVERIFY(Load(QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_coord_300x200.bmp")));
    const std::vector<ColorValue> loaded = w.GetViewport().GetPicture().pixels;
    Child<QRadioButton>(w, "optResolution1")->click();
    QCOMPARE(Child<PictureBox>(w, "pic")->width(), 176);
    QCOMPARE(w.GetViewport().Sample(1920, 15), MakeColor(128, 1, 0x40));
    Child<QRadioButton>(w, "optResolution0")->click();
    QCOMPARE(Child<PictureBox>(w, "pic")->width(), 132);
    QCOMPARE(w.GetViewport().Sample(1920, 15), kNoPixel);
    QCOMPARE(w.GetViewport().GetPicture().pixels, loaded);
    QVERIFY(shown_.empty());
  }

  void encodeWritesWhatTheCommandLineWrites() {
    frmMain& w = *window_;
    const QString picture = QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_coord_172x128.bmp");
    QVERIFY(Load(picture));
    Child<QRadioButton>(w, "optResolution1")->click();
    Child<QRadioButton>(w, "optColor2")->click();
    QVERIFY(Child<QRadioButton>(w, "optResolution1")->isChecked() && !Child<QRadioButton>(w, "optColor0")->isChecked());  // independent groups
    Child<QCheckBox>(w, "rcorChk")->click();
    Child<QLineEdit>(w, "transpTxt")->setText(QStringLiteral("7FF"));
    QTest::keyClick(&w, Qt::Key_E, Qt::ControlModifier);

    const QString path = dir_->filePath(QStringLiteral("image.h"));
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(shown_[0].icon, MessageIcon::Exclamation);
    QCOMPARE(shown_[0].title, QStringLiteral("Image file generated."));
    QCOMPARE(shown_[0].text, QStringLiteral("Generated: ") + path);
    QCOMPARE(ReadAll(path), EncodeWithCli(picture + " --resolution 132x176 --depth 16 --remove 7FF"));
    QCOMPARE(Child<QProgressBar>(w, "ProgressBar1")->value(), 2640);
  }

  void readOnlyImageHIsReportedAndKept() {
    const QString path = dir_->filePath(QStringLiteral("image.h"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep");
    file.close();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    Child<QPushButton>(*window_, "btnEncode")->click();
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(shown_[0].icon, MessageIcon::Critical);
    QCOMPARE(shown_[0].title, QStringLiteral("Image file not generated."));
    QVERIFY(shown_[0].text.contains(path));
    QCOMPARE(ReadAll(path), QByteArray("keep"));
    QCOMPARE(Child<QProgressBar>(*window_, "ProgressBar1")->value(), 0);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
  }

  void anUnwritableProgramDirectoryAsksWhereToSave() {
    Open(QStringLiteral("/proc"));  // no one can make files there, not even root
    QStringList offered;
    QString answer = dir_->filePath(QStringLiteral("out/first.h"));
    window_->SetSaveChooser([&](const QString& folder) {
      offered << folder;
      return answer;
    });
    QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("out")));
    Child<QPushButton>(*window_, "btnEncode")->click();
    QCOMPARE(ReadAll(answer), EncodeWithCli(QString()));
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(shown_[0].title, QStringLiteral("Image file generated."));
    QCOMPARE(shown_[0].text, QStringLiteral("Generated: ") + answer);

    answer.clear();  // Cancel: nothing written, nothing shown
    QTest::keyClick(window_.get(), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(offered, (QStringList{QDir::homePath(), dir_->filePath(QStringLiteral("out"))}));
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(QDir(dir_->filePath(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden).size(), 1);
  }

  void probeShowsTheColourAndItsKey() {
    frmMain& w = *window_;
    QTemporaryDir pictures;
    QVERIFY(Load(WritePicture(pictures, QSize(40, 30), QPoint(12, 7), qRgb(0x99, 0x66, 0x33))));
    Child<QRadioButton>(w, "optColor2")->click();
    Hover(12, 7);
    QCOMPARE(Child<QLineEdit>(w, "txtR")->text() + Child<QLineEdit>(w, "txtG")->text() + Child<QLineEdit>(w, "txtB")->text(), QStringLiteral("15310251"));
    QCOMPARE(Child<QLineEdit>(w, "txtRGB")->text(), QStringLiteral("336699"));
    QCOMPARE(Child<QFrame>(w, "Shape1")->palette().color(QPalette::Window), QColor(0x99, 0x66, 0x33));
    QCOMPARE(Child<PictureBox>(w, "pic")->toolTip(), QStringLiteral("Key at 16 bits: 9B26"));
    Child<QRadioButton>(w, "optColor2")->setFocus();
    QTest::keyClick(Child<QRadioButton>(w, "optColor2"), Qt::Key_Left);  // to 12 bits, the pointer still
    QCOMPARE(Child<PictureBox>(w, "pic")->toolTip(), QStringLiteral("Key at 12 bits: 48C30"));
    QContextMenuEvent right_click(QContextMenuEvent::Mouse, QPoint(12 + kFramePixels, 7 + kFramePixels));
    QApplication::sendEvent(Child<PictureBox>(w, "pic"), &right_click);
    QTRY_VERIFY(Child<QMenu>(w, "viewportMenu")->isVisible());
    Child<QAction>(w, "useColorAction")->trigger();  // "Use This Color as Key"
    Child<QMenu>(w, "viewportMenu")->close();
    QCOMPARE(Child<QLineEdit>(w, "transpTxt")->text(), QStringLiteral("48C30"));
    QVERIFY(Child<QCheckBox>(w, "rcorChk")->isChecked());

    Hover(100, 100);  // beyond the picture: the background
    QCOMPARE(Child<QLineEdit>(w, "txtRGB")->text(), QStringLiteral("FFFFFF"));
    Hover(130, 5);  // over the frame: nothing changes
    QCOMPARE(Child<QLineEdit>(w, "txtRGB")->text(), QStringLiteral("FFFFFF"));

    // Should a point outside ever be reported: the signed split of -1.
    w.pic_MouseMove(0, 0, 1980, 0);
    QCOMPARE(Child<QLineEdit>(w, "txtR")->text() + Child<QLineEdit>(w, "txtG")->text() + Child<QLineEdit>(w, "txtB")->text(), QStringLiteral("-100"));
    QCOMPARE(Child<QLineEdit>(w, "txtRGB")->text(), QStringLiteral("FFFFFFFF"));
    QCOMPARE(Child<QFrame>(w, "Shape1")->palette().color(QPalette::Window), QColor(Qt::white));
  }

  // crafted_coord: pixel (x, y) is R x, G y, B 0x40.
  void showAsEncodedDrawsWhatTheDisplayShows() {
    frmMain& w = *window_;
    QVERIFY(Load(QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_coord_172x128.bmp")));
    QTest::keyClick(&w, Qt::Key_F2);
    // 8 bits keep 4, 16 and 4 levels; the display spreads them over 0..255.
    auto level = [](int v, int top) { return int(std::lround(v * top / 255.0)) * (255 / top); };
    QImage shown = Child<PictureBox>(w, "pic")->grab().toImage();
    for (int y = 0; y < 128; ++y)
      for (int x = 0; x < 128; ++x)
        QCOMPARE(shown.pixel(x + 2, y + 2), qRgb(level(x, 3), level(y, 15), level(0x40, 3)));

    Child<QRadioButton>(w, "optColor2")->click();  // follows the depth: 100, 50, 64 as 5, 6 and 5 bits widened
    QCOMPARE(Child<PictureBox>(w, "pic")->grab().toImage().pixel(102, 52), qRgb(99, 48, 66));
    Child<QRadioButton>(w, "optColor0")->click();

    // Double-click a pixel: its 8-bit key, ticked, and the samples it leaves
    // out marked.
    QTest::mouseDClick(Child<PictureBox>(w, "pic"), Qt::LeftButton, Qt::NoModifier, QPoint(102, 52));
    QCOMPARE(Child<QLineEdit>(w, "transpTxt")->text(), QStringLiteral("4D"));
    QVERIFY(Child<QCheckBox>(w, "rcorChk")->isChecked());
    shown = Child<PictureBox>(w, "pic")->grab().toImage();
    QCOMPARE(shown.pixel(45, 45), kLeftOutMarker);    // 43, 43: the same key
    QCOMPARE(shown.pixel(45, 62), qRgb(85, 68, 85));  // 43, 60: green one level up

    QTest::keyClick(&w, Qt::Key_F2);
    QCOMPARE(Child<PictureBox>(w, "pic")->grab().toImage().pixel(45, 45), qRgb(43, 43, 0x40));
    Child<QPushButton>(w, "btnEncode")->click();
    QCOMPARE(ReadAll(dir_->filePath(QStringLiteral("image.h"))),
             EncodeWithCli(QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_coord_172x128.bmp --remove 4D")));
    QCOMPARE(shown_.size(), std::size_t(1));
    QVERIFY(!shown_[0].text.contains(QLatin1Char('\n')));  // something was left out
  }

  void loadingLeavesTheWindowWorking() {
    frmMain& w = *window_;
    QSignalSpy finished(&w, &frmMain::loadFinished);
    std::vector<int> widths;  // the picture each outcome put on screen
    connect(&w, &frmMain::loadFinished, [&] { widths.push_back(w.GetViewport().GetPicture().width); });
    w.LoadPictureFile(QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_coord_300x200.bmp"));
    QCOMPARE(w.cursor().shape(), Qt::BusyCursor);
    w.LoadPictureFile(QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_coord_100x60.bmp"));  // replaces it
    QVERIFY(finished.wait(20000));
    QTest::qWait(300);
    QCOMPARE(widths, std::vector<int>{100});
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
  }

  void aFailedOrCancelledLoadKeepsThePicture() {
    frmMain& w = *window_;
    QStringList offered;
    QString answer;  // Cancel
    window_->SetFileChooser([&](const QString& folder) {
      offered << folder;
      return answer;
    });
    QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
    QVERIFY(shown_.empty());
    answer = QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_text_renamed.jpg");
    QSignalSpy finished(&w, &frmMain::loadFinished);
    Child<QPushButton>(w, "btnLoadPicture")->click();
    QVERIFY(finished.wait(20000));
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(shown_[0].icon, MessageIcon::Critical);
    QVERIFY(shown_[0].text.contains(answer));
    QCOMPARE(w.GetViewport().GetPicture().pixels, SamplePicture().pixels);
    Child<QPushButton>(w, "btnLoadPicture")->click();  // starts where the last picture came from
    QCOMPARE(offered, (QStringList{QDir::homePath(), QDir::homePath(), QStringLiteral(PIXOLAN_TESTDATA_DIR)}));
    QVERIFY(finished.wait(20000));
  }

  void droppingAFileLoadsIt() {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_coord_100x60.bmp"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &enter);
    QVERIFY(enter.isAccepted());
    QSignalSpy finished(window_.get(), &frmMain::loadFinished);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &drop);
    QVERIFY(finished.wait(20000));
    QCOMPARE(window_->GetViewport().GetPicture().width, 100);
    QCOMPARE(window_->GetViewport().GetPicture().height, 60);
  }

  void aboutShowsFourLines() {
    Child<QAction>(*window_, "aboutMnu")->trigger();
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(shown_[0].icon, MessageIcon::Information);
    QCOMPARE(shown_[0].title, QStringLiteral("About Pixolan"));
    const QStringList lines = shown_[0].text.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], QStringLiteral("Pixolan ver.: 1.0"));
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
