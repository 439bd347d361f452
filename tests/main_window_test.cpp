// SPDX-License-Identifier: MIT
// The window driven as a user would, under the offscreen platform. Controls
// are found by their object names, options and actions by their captions.

#include <QAccessible>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <cmath>

#include "resources/sample_picture.h"
#include "pixolan_version.h"
#include "tests/test_support.h"
#include "ui/main_window.h"
#include "ui/picture_box.h"
#include "ui/picture_dialog.h"
#include "ui/twips.h"

using namespace pixolan;

namespace {

struct Shown {
  MessageIcon icon;
  QString title, text;
  bool busy;  // a busy cursor was up while the message was open
};

QByteArray ReadAll(const QString& path) { return QByteArray::fromStdString(testing::ReadFile(path.toStdString())); }

QByteArray EncodeWithCli(const QString& arguments) {
  return QByteArray::fromStdString(
      testing::RunCommand(PIXOLAN_ENCODE_BINARY " " + arguments.toStdString() + " -o -").out);
}

// A colour as the screen shows it, worked out here: red is the low byte.
QRgb OnScreen(ColorValue c) { return qRgb(c % 256, c / 256 % 256, c / 65536 % 256); }

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

  template <typename T = QWidget>
  T* Child(const char* name) const {
    T* child = window_->findChild<T*>(QString::fromLatin1(name));
    if (!child) qFatal("no control %s", name);
    return child;
  }
  PictureBox* Pic() const { return Child<PictureBox>("pic"); }
  QRadioButton* Option(const char* caption) const {
    for (QRadioButton* option : window_->findChildren<QRadioButton*>())
      if (option->text() == QLatin1String(caption)) return option;
    qFatal("no option %s", caption);
  }
  QString Readouts() const {
    return Child<QLineEdit>("txtR")->text() + "," + Child<QLineEdit>("txtG")->text() + "," +
           Child<QLineEdit>("txtB")->text() + "," + Child<QLineEdit>("txtRGB")->text();
  }

  // Loads through the window and waits for the outcome.
  bool Load(const QString& path) {
    QSignalSpy finished(window_.get(), &frmMain::loadFinished);
    window_->LoadPictureFile(path);
    return finished.wait(20000) && finished.first().first().toBool();
  }
  // A 40 x 30 picture of rgb(10, 20, 30) with pixel (12, 7) of 0x99, 0x66, 0x33.
  bool LoadSmallPicture() {
    const std::string path = dir_->filePath(QStringLiteral("small.ppm")).toStdString();
    testing::WriteFile(path, testing::Ppm(40, 30, [](int x, int y) {
                         return x == 12 && y == 7 ? MakeColor(0x99, 0x66, 0x33) : MakeColor(10, 20, 30);
                       }));
    return Load(QString::fromStdString(path));
  }

  void Hover(int column, int row) {
    const QPointF at(column + 2, row + 2);
    QMouseEvent move(QEvent::MouseMove, at, Pic()->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(Pic(), &move);
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

  void controlsKeepTheirPixelPlaces() {
    QCOMPARE(window_->windowTitle(), QStringLiteral("Pixolan <> 8-bit / 12-bit / 16-bit encoder"));
    QCOMPARE(window_->centralWidget()->size(), QSize(444, 166));
    QCOMPARE(Pic()->geometry(), QRect(8, 8, 132, 132));
    QCOMPARE(Child("btnEncode")->geometry(), QRect(260, 125, 174, 17));
    QCOMPARE(Child("ProgressBar1")->geometry(), QRect(189, 145, 245, 17));
    QCOMPARE(Child("txtR")->geometry(), QRect(208, 14, 41, 19));  // 203 twips: 13.5 pixels round up
    QCOMPARE(Child("transpTxt")->geometry(), QRect(15, 55, 51, 19));
    QCOMPARE(Option("16-bit")->geometry(), QRect(120, 90, 49, 17));
    QCOMPARE(Option("16-bit")->parentWidget(), Child("Frame1"));
    QCOMPARE(Option("132x176")->parentWidget(), Child("Frame2"));
    QCOMPARE(QList<int>({Px(7), Px(8), Px(22), Px(23)}), QList<int>({0, 1, 1, 2}));
  }

  void aboutByItsMnemonicNamesTheVersionBuilt() {
    QTest::keyClick(window_.get(), Qt::Key_A, Qt::AltModifier);
    QTRY_COMPARE(shown_.size(), std::size_t{1});
    QCOMPARE(shown_[0].icon, MessageIcon::Information);
    QCOMPARE(shown_[0].title, QStringLiteral("About Pixolan"));
    QCOMPARE(shown_[0].text,
             QStringLiteral("Pixolan ver.: " PIXOLAN_VERSION_SHORT "\r\nAuthor: The Pixolan developers\r\n"
                            "E-mail: pixolan@example.org\r\nURL: https://pixolan.example.org/"));
  }

  void tabEntersEachOptionGroupAtItsCheckedOption() {
    auto tab_from = [](QWidget* from) {
      from->setFocus(Qt::OtherFocusReason);
      QTest::keyClick(from, Qt::Key_Tab);
      return QApplication::focusWidget();
    };
    QCOMPARE(tab_from(Child("btnEncode")), Option("8-bit"));
    QCOMPARE(tab_from(Child("txtB")), Option("132x132"));
    Option("16-bit")->click();
    Option("132x176")->click();
    QCOMPARE(tab_from(Child("btnEncode")), Option("16-bit"));
    QCOMPARE(tab_from(Option("16-bit")), Child("txtB"));
    QCOMPARE(tab_from(Child("txtB")), Option("132x176"));
  }

  // The drawing area shows the model's colours at literal places: a 2-pixel
  // frame, then the picture, then the background (here not grey).
  void drawsThePictureInsideTheFrameOverTheBackground() {
    Child("btnLoadPicture")->setFocus();
    const QImage sample = Pic()->grab().toImage();
    for (int y = 0; y < 128; ++y)
      for (int x = 0; x < 128; ++x)
        QCOMPARE(sample.pixel(x + 2, y + 2), x < 127 ? OnScreen(SamplePicture().At(x, y)) : qRgb(255, 255, 255));
    const QPalette original = QApplication::palette();
    QPalette palette = original;
    palette.setColor(QPalette::Base, QColor(0xC0, 0x50, 0x10));
    QApplication::setPalette(palette);
    Open(dir_->path());
    QApplication::setPalette(original);
    Child("btnLoadPicture")->setFocus();
    QVERIFY(LoadSmallPicture());
    const QImage shown = Pic()->grab().toImage();
    QCOMPARE(shown.pixel(2, 2), qRgb(10, 20, 30));
    QCOMPARE(shown.pixel(2 + 12, 2 + 7), qRgb(0x99, 0x66, 0x33));
    QCOMPARE(shown.pixel(2 + 40, 2), qRgb(0xC0, 0x50, 0x10));
    QCOMPARE(shown.pixel(129, 129), qRgb(0xC0, 0x50, 0x10));
    const QPalette& frame = Pic()->palette();
    QCOMPARE(shown.pixel(0, 0), frame.color(QPalette::Mid).rgb());
    QCOMPARE(shown.pixel(1, 1), frame.color(QPalette::Dark).rgb());
    QCOMPARE(shown.pixel(130, 130), frame.color(QPalette::Midlight).rgb());
    QCOMPARE(shown.pixel(131, 131), frame.color(QPalette::Light).rgb());
    Pic()->setFocus();  // the whole frame in the highlight colour
    for (const QPoint& at : {QPoint(0, 0), QPoint(1, 1), QPoint(130, 130), QPoint(131, 131)})
      QCOMPARE(Pic()->grab().toImage().pixel(at), frame.color(QPalette::Highlight).rgb());
    Hover(50, 5);
    QCOMPARE(Readouts(), QStringLiteral("192,80,16,1050C0"));
  }

  void switchingResolutionShowsTheWideOutlineAndWidens() {
    frmMain& w = *window_;
    QVERIFY(Load(QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_coord_300x200.bmp")));
    // The outline of the wide area shows beside the narrow one: 176 x 132 at (8, 8).
    const QImage client = w.centralWidget()->grab().toImage();
    const QRgb outline = client.pixel(183, 8), around = client.pixel(184, 70);
    QVERIFY(outline != around);
    for (const QPoint& on : {QPoint(183, 70), QPoint(160, 8), QPoint(160, 139), QPoint(140, 8)})
      QCOMPARE(client.pixel(on), outline);
    for (const QPoint& off : {QPoint(182, 70), QPoint(160, 7), QPoint(160, 9), QPoint(160, 138), QPoint(160, 140)})
      QCOMPARE(client.pixel(off), around);
    Option("132x176")->click();
    QCOMPARE(Pic()->width(), 176);
    QCOMPARE(Pic()->grab().toImage().pixel(2 + 171, 2 + 1), qRgb(171, 1, 0x40));
    Option("132x132")->click();
    QCOMPARE(Pic()->width(), 132);
    QVERIFY(shown_.empty());
  }

  void encodeWritesWhatTheCommandLineWrites() {
    const QString picture = QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_coord_172x128.bmp");
    QVERIFY(Load(picture));
    Option("132x176")->click();
    Option("16-bit")->click();
    Child<QCheckBox>("rcorChk")->click();
    Child<QLineEdit>("transpTxt")->setText(QStringLiteral("7FF"));
    QTest::keyClick(window_.get(), Qt::Key_E, Qt::ControlModifier);
    QCOMPARE(shown_.size() == 1 ? shown_[0].icon : MessageIcon::Critical, MessageIcon::Exclamation);
    QCOMPARE(ReadAll(dir_->filePath(QStringLiteral("image.h"))),
             EncodeWithCli(picture + " --resolution 132x176 --depth 16 --remove 7FF"));
    // 7FF is the no-pixel value: the bottom 5 samples of 172 columns and the last 5 columns whole.
    QCOMPARE(shown_[0].text, "Generated: " + dir_->filePath(QStringLiteral("image.h")) +
                                 "\n1520 samples matched the key and were left out.");
    QCOMPARE(Child<QProgressBar>("ProgressBar1")->value(), 2640);
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
    Child<QPushButton>("btnEncode")->click();
    QCOMPARE(ReadAll(answer), EncodeWithCli(QString()));
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(shown_[0].title + "|" + shown_[0].text, QStringLiteral("Image file generated.|Generated: ") + answer);
    answer.clear();  // Cancel: nothing written, nothing shown
    QTest::keyClick(window_.get(), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(offered, (QStringList{QDir::homePath(), dir_->filePath(QStringLiteral("out"))}));
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(QDir(dir_->filePath(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden).size(), 1);
  }

  void probeShowsTheColourAndItsKey() {
    QVERIFY(LoadSmallPicture());
    Option("16-bit")->click();
    Hover(12, 7);
    QCOMPARE(Readouts(), QStringLiteral("153,102,51,336699"));
    QCOMPARE(Child("Shape1")->palette().color(QPalette::Window), QColor(0x99, 0x66, 0x33));
    QCOMPARE(Pic()->toolTip(), QStringLiteral("small.ppm, 40 x 30 pixels\nKey at 16 bits: 9B26"));
    Option("16-bit")->setFocus();
    QTest::keyClick(Option("16-bit"), Qt::Key_Left);  // to 12 bits, the pointer still
    QCOMPARE(Pic()->toolTip(), QStringLiteral("small.ppm, 40 x 30 pixels\nKey at 12 bits: 48C30"));
    QTest::mouseDClick(Pic(), Qt::LeftButton, Qt::NoModifier, QPoint(12 + 2, 7 + 2));
    QCOMPARE(Child<QLineEdit>("transpTxt")->text(), QStringLiteral("48C30"));
    Hover(100, 100);  // beyond the picture: the background
    QCOMPARE(Readouts(), QStringLiteral("255,255,255,FFFFFF"));
    Hover(13, 7);
    Hover(128, 5);  // just past the drawing area: nothing changes
    QCOMPARE(Readouts(), QStringLiteral("10,20,30,1E140A"));
  }

  // crafted_coord: pixel (x, y) is R x, G y, B 0x40.
  void showAsEncodedDrawsWhatTheDisplayShows() {
    QVERIFY(Load(QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_coord_172x128.bmp")));
    QTest::keyClick(window_.get(), Qt::Key_F2);
    // 8 bits keep 4, 16 and 4 levels; the display spreads them over 0..255.
    auto level = [](int v, int top) { return int(std::lround(v * top / 255.0)) * (255 / top); };
    QImage shown = Pic()->grab().toImage();
    for (int y = 0; y < 128; ++y)
      for (int x = 0; x < 128; ++x)
        QCOMPARE(shown.pixel(x + 2, y + 2), qRgb(level(x, 3), level(y, 15), level(0x40, 3)));
    Option("16-bit")->click();  // follows the depth: 100, 50, 64 as 5, 6 and 5 bits widened
    QCOMPARE(Pic()->grab().toImage().pixel(102, 52), qRgb(99, 48, 66));
    Option("8-bit")->click();
    // Double-click a pixel: its 8-bit key, ticked, and the samples it leaves out marked.
    QTest::mouseDClick(Pic(), Qt::LeftButton, Qt::NoModifier, QPoint(102, 52));
    QCOMPARE(Child<QLineEdit>("transpTxt")->text(), QStringLiteral("4D"));
    QVERIFY(Child<QCheckBox>("rcorChk")->isChecked());
    shown = Pic()->grab().toImage();
    QCOMPARE(shown.pixel(45, 45), qRgb(255, 0, 255));  // 43, 43: the same key
    QCOMPARE(shown.pixel(45, 62), qRgb(85, 68, 85));   // 43, 60: green one level up
    QTest::keyClick(window_.get(), Qt::Key_F2);
    QCOMPARE(Pic()->grab().toImage().pixel(45, 45), qRgb(43, 43, 0x40));
  }

  // The Dither entries of the viewport's menu, exclusive and None at start,
  // change "Show as Encoded"; Encode writes exactly what it shows.
  void ditherEntriesDriveThePreviewAndEncodeWritesWhatItShows() {
    QVERIFY(Load(QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_coord_172x128.bmp")));
    const QList<QAction*> entries = Child<QMenu>("ditherMenu")->actions();
    QStringList captions;
    for (const QAction* entry : entries) captions << entry->text() + (entry->isChecked() ? "*" : "");
    QCOMPARE(captions, QStringList({"None*", "Ordered", "Error Diffusion"}));
    QTest::keyClick(window_.get(), Qt::Key_F2);
    const QImage plain = Pic()->grab().toImage();
    entries[1]->trigger();
    const QImage ordered = Pic()->grab().toImage();
    entries[2]->trigger();
    QVERIFY(entries[2]->isChecked() && !entries[1]->isChecked() && !entries[0]->isChecked());
    const QImage diffused = Pic()->grab().toImage();
    QVERIFY(ordered != plain && diffused != plain && diffused != ordered);

    QTest::keyClick(window_.get(), Qt::Key_E, Qt::ControlModifier);
    const QByteArray file = ReadAll(dir_->filePath(QStringLiteral("image.h")));
    const QRegularExpression token(QStringLiteral("0x([0-9A-F]+)"));
    QList<int> values;
    for (const QRegularExpressionMatch& m : token.globalMatch(QString::fromLatin1(file)))
      values << m.captured(1).toInt(nullptr, 16);
    QCOMPARE(values.size(), 133 * 132);
    // Column x from the bottom: rows 132 to 128 lie outside, then 127 to 1.
    for (int x = 0; x < 128; ++x)
      for (int row = 1; row < 128; ++row) {
        const Components shown = Widen(ColorDepth::Depth8, values[x * 132 + 132 - row]);
        QCOMPARE(diffused.pixel(x + 2, row + 2), qRgb(shown.R, shown.G, shown.B));
      }
  }

  void placementEntriesPlaceThePictureAndEncodeWritesWhatIsShown() {
    const QString picture = QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_coord_300x200.bmp");
    QMenu* size = Child<QMenu>("sizeMenu");
    QAction* fit = size->actions()[1];
    QAction* rotateRight = nullptr;
    for (QAction* entry : Child<QMenu>("viewportMenu")->actions())
      if (entry->text() == QLatin1String("Rotate Right")) rotateRight = entry;
    QVERIFY(rotateRight);
    QCOMPARE(fit->text(), QStringLiteral("Fit"));
    QVERIFY(!fit->isEnabled() && !rotateRight->isEnabled());  // the test card has no file to place again
    QVERIFY(Load(picture));
    QSignalSpy finished(window_.get(), &frmMain::loadFinished);

    // 300 x 200 fitted into 128 x 128 is 128 x 85, rows 21 to 105.
    fit->trigger();
    QVERIFY(finished.wait(20000));
    QImage shown = Pic()->grab().toImage();
    QCOMPARE(shown.pixel(2 + 60, 2 + 20), qRgb(255, 255, 255));
    QCOMPARE(shown.pixel(2 + 60, 2 + 106), qRgb(255, 255, 255));
    QVERIFY(shown.pixel(2 + 60, 2 + 21) != qRgb(255, 255, 255));

    // Turned clockwise it is 85 x 128 from column 21; its top left is the
    // stored picture's bottom left: green high, red low.
    rotateRight->trigger();
    QVERIFY(finished.wait(20000));
    shown = Pic()->grab().toImage();
    QCOMPARE(shown.pixel(2 + 20, 2 + 60), qRgb(255, 255, 255));
    const QRgb corner = shown.pixel(2 + 21, 2 + 0);
    QVERIFY2(qGreen(corner) > 190 && qRed(corner) < 8, qPrintable(QString::number(corner, 16)));
    QTest::keyClick(window_.get(), Qt::Key_E, Qt::ControlModifier);
    QCOMPARE(ReadAll(dir_->filePath(QStringLiteral("image.h"))), EncodeWithCli(picture + " --fit --rotate 90"));

    // A wider drawing area places the picture again, centred in it.
    Option("132x176")->click();
    QVERIFY(finished.wait(20000));
    QTest::keyClick(window_.get(), Qt::Key_E, Qt::ControlModifier);
    QCOMPARE(ReadAll(dir_->filePath(QStringLiteral("image.h"))),
             EncodeWithCli(picture + " --resolution 132x176 --fit --rotate 90"));
  }

  void droppingAFileLoadsItAndADropWithoutOneIsIgnored() {
    QSignalSpy finished(window_.get(), &frmMain::loadFinished);
    auto drop = [&](QMimeData* data) {
      QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(window_.get(), &enter);
      QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(window_.get(), &dropped);
      return enter.isAccepted();
    };
    QMimeData data;
    QVERIFY(!drop(&data));
    data.setUrls({QUrl(QStringLiteral("https://example.org/picture.png"))});  // not a file here
    QVERIFY(!drop(&data));
    QVERIFY(!finished.wait(300));
    data.setUrls({QUrl::fromLocalFile(QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_coord_100x60.bmp"))});
    QVERIFY(drop(&data));
    QVERIFY(finished.wait(20000));
    QCOMPARE(window_->GetViewport().GetPicture().height, 60);
  }

  // Ctrl+E is "end of line" to a text box; in this window it is Encode, and
  // Enter presses a focused button.
  void encodeKeysWorkFromEveryControl() {
    int asked = 0;
    window_->SetFileChooser([&](const QString&) { return ++asked, QString(); });
    for (const char* box : {"transpTxt", "txtR", "txtG", "txtB", "txtRGB"}) {
      Child(box)->setFocus();
      QTest::keyClick(Child(box), Qt::Key_E, Qt::ControlModifier);
      QVERIFY2(shown_.size() == 1 && shown_[0].title == QLatin1String(kGeneratedTitle), box);
      shown_.clear();
    }
    for (const char* button : {"btnEncode", "btnLoadPicture"}) {
      Child(button)->setFocus();
      QTest::keyClick(Child(button), Qt::Key_Return);
    }
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(asked, 1);
  }

  // The slow decoder takes a second for a 6 x 4 picture of rgb(0x12, 0x34, 0x56).
  void encodeNeverWritesAPictureOtherThanTheOneChosenLast() {
    const QString coord = QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_coord_100x60.bmp");
    const QString image_h = dir_->filePath(QStringLiteral("image.h")), ppm = dir_->filePath(QStringLiteral("slow.ppm"));
    testing::WriteFile(ppm.toStdString(), testing::Ppm(6, 4, [](int, int) { return MakeColor(0x12, 0x34, 0x56); }));
    window_->SetSaveChooser([&](const QString&) { return image_h; });
    window_->SetDecoderProgram({PIXOLAN_HOSTILE_DECODER, {"slow"}});
    QSignalSpy finished(window_.get(), &frmMain::loadFinished);
    window_->LoadPictureFile(coord);
    QTest::keyClick(window_.get(), Qt::Key_E, Qt::ControlModifier);
    QTest::keyClick(window_.get(), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::mouseClick(Child("btnEncode"), Qt::LeftButton);
    QVERIFY(!QFile::exists(image_h));
    QVERIFY(finished.wait(20000));
    QTest::keyClick(window_.get(), Qt::Key_E, Qt::ControlModifier);
    QCOMPARE(ReadAll(image_h), EncodeWithCli(ppm));
    // A load chosen later wins over a slower one chosen before: that one's
    // outcome is dropped, never shown nor said.
    window_->LoadPictureFile(coord);
    window_->SetDecoderProgram({});
    QVERIFY(Load(coord));
    QThreadPool::globalInstance()->waitForDone();
    QTest::qWait(100);
    QCOMPARE(finished.size(), 2);
    QCOMPARE(window_->cursor().shape(), Qt::ArrowCursor);
    // A load that fails keeps the picture shown, and Encode.
    window_->SetDecoderProgram({PIXOLAN_HOSTILE_DECODER, {"refuse"}});
    QVERIFY(!Load(coord));
    QTest::mouseClick(Child("btnEncode"), Qt::LeftButton);
    QCOMPARE(ReadAll(image_h), EncodeWithCli(coord));
  }

  // Run again by CTest under QT_SCALE_FACTOR 1.25 to 3: each side of each
  // frame shows along its length, within its outermost logical pixel.
  void framesAreDrawnWhole() {
    const QImage shot = window_->grab().toImage();
    const qreal scale = shot.devicePixelRatio();
    const int background = qGray(window_->palette().color(QPalette::Window).rgb());
    for (const char* name : {"Shape1", "Shape2", "ProgressBar1"}) {
      const QRectF r(Child(name)->mapTo(window_.get(), QPoint(0, 0)), Child(name)->size());
      for (const QRectF& side :
           {QRectF(r.left(), r.top(), r.width(), 1), QRectF(r.left(), r.bottom() - 1, r.width(), 1),
            QRectF(r.left(), r.top(), 1, r.height()), QRectF(r.right() - 1, r.top(), 1, r.height())}) {
        const QRect px = QRectF(side.topLeft() * scale, side.size() * scale).toAlignedRect();
        const bool across = px.width() > px.height();
        const int corner = qCeil(3 * scale);  // the progress bar's are rounded
        for (int i = corner; i < (across ? px.width() : px.height()) - corner; ++i) {
          bool line = false;
          for (int j = 0; j < (across ? px.height() : px.width()); ++j)
            line = line || qGray(shot.pixel(px.topLeft() + (across ? QPoint(i, j) : QPoint(j, i)))) + 24 < background;
          QVERIFY2(line, qPrintable(QStringLiteral("%1 at %2, %3").arg(name).arg(side.left()).arg(side.top())));
        }
      }
    }
  }

  void openDialogOffersEveryFormatInEitherCase() {
    QFileDialog dialog;
    ConfigurePictureDialog(dialog);
    const QStringList filters = dialog.nameFilters();
    QCOMPARE(filters.size(), 3);
    QCOMPARE(filters[0], QStringLiteral("Pictures (*.jpg;*.bmp;*.tif)"));
    QVERIFY(filters[1].startsWith(QLatin1String("All pictures (")));
    QCOMPARE(filters[2], QStringLiteral("All files (*)"));
    for (const char* name : {"a.JPG", "b.jpeg", "c.Png", "d.gif", "e.WEBP", "f.tiff", "g.bmp", "h.ppm", "i.TIF"})
      QVERIFY2(FilterShows(filters[1], QLatin1String(name)), name);
    QVERIFY(!FilterShows(filters[1], QStringLiteral("notes.txt")));
    QVERIFY(FilterShows(filters[2], QStringLiteral("notes.txt")));
    QVERIFY(FilterShows(filters[0], QStringLiteral("IMG_0001.JPG")));
    QVERIFY(!FilterShows(filters[0], QStringLiteral("a.png")));
  }

  void everyControlHasAnAccessibleNameAndDescription() {
    auto text = [](QWidget* widget, QAccessible::Text which) {
      return QAccessible::queryAccessibleInterface(widget)->text(which);
    };
    for (const auto& [name, expected] : {std::pair("pic", "Picture"),
                                         {"txtR", "Red"},
                                         {"txtG", "Green"},
                                         {"txtB", "Blue"},
                                         {"txtRGB", "Colour value"},
                                         {"Shape1", "Colour swatch"},
                                         {"transpTxt", "Key"}})
      QCOMPARE(text(Child(name), QAccessible::Name), QString::fromUtf8(expected));
    for (QWidget* control : window_->centralWidget()->findChildren<QWidget*>())
      if (control->focusPolicy() != Qt::NoFocus)
        QVERIFY2(!text(control, QAccessible::Name).isEmpty() && !text(control, QAccessible::Description).isEmpty(),
                 qPrintable(control->objectName()));
  }

  // crafted_coord: pixel (x, y) is R x, G y, B 0x40.
  void arrowKeysMoveTheProbeAndOpenTheMenuThere() {
    QVERIFY(Load(QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_coord_172x128.bmp")));
    Pic()->setFocus();
    for (Qt::Key key : {Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Down, Qt::Key_Down})
      QTest::keyClick(Pic(), key);
    QCOMPARE(Readouts(), QStringLiteral("3,2,64,400203"));
    QTest::keyClick(Pic(), Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(Pic(), Qt::Key_Up, Qt::ShiftModifier);  // stops at the top row
    QCOMPARE(Readouts(), QStringLiteral("11,0,64,40000B"));
    QCOMPARE(Pic()->toolTip().section(QLatin1Char('\n'), 0, 0),
             QStringLiteral("crafted_coord_172x128.bmp, 172 x 128 pixels"));
    auto* menu = window_->findChild<QMenu*>(QStringLiteral("viewportMenu"));
    for (QKeyCombination keys : {Qt::SHIFT | Qt::Key_F10, QKeyCombination(Qt::Key_Menu)}) {
      QTest::keyClick(Pic(), keys.key(), keys.keyboardModifiers());
      QTRY_VERIFY(menu->isVisible());
      QCOMPARE(menu->pos(), Pic()->mapToGlobal(QPoint(2 + 11, 2)));
      menu->hide();
    }
  }

  void aPictureCutShortLoadsAndIsSaidOnce() {
    const QString path = QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_testorig_trunc50.jpg");
    QVERIFY(Load(path));
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(shown_[0].title, QStringLiteral("Picture loaded in part"));
    QCOMPARE(shown_[0].text,
             path + ": the JPEG data ends early: only 64 of the picture's 149 rows were read; the rest is grey");
    QVERIFY(Pic()->toolTip().startsWith(QLatin1String("crafted_testorig_trunc50.jpg, 227 x 149 pixels")));
  }

  // With an empty home folder, loading and saving through the dialogs as a
  // user does leaves it empty: no history, no recent places.
  void dialogsLeaveNothingBehind() {
    QTemporaryDir home;
    const QByteArray real_home = qgetenv("HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    qunsetenv("XDG_CONFIG_HOME");
    const std::pair<QString, QKeyCombination> steps[] = {
        {QStringLiteral(PIXOLAN_TESTDATA_DIR "/crafted_coord_100x60.bmp"), Qt::CTRL | Qt::Key_O},
        {dir_->filePath(QStringLiteral("saved.h")), Qt::CTRL | Qt::SHIFT | Qt::Key_E}};
    QSignalSpy finished(window_.get(), &frmMain::loadFinished);
    for (const auto& [typed, keys] : steps) {
      QTimer::singleShot(0, [text = typed] {  // clang before 16 captures no structured binding
        auto* name = QApplication::activeModalWidget()->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        name->setText(text);  // pasted: typing would pop up the completer
        QTest::keyClick(name, Qt::Key_Return);
      });
      QTest::keyClick(window_.get(), keys.key(), keys.keyboardModifiers());
      QVERIFY(!finished.isEmpty() || finished.wait(20000));
      window_->activateWindow();  // as the window manager does when the dialog closes
      QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    }
    qputenv("HOME", real_home);
    QCOMPARE(window_->GetViewport().GetPicture().width, 100);
    QVERIFY(QFile::exists(dir_->filePath(QStringLiteral("saved.h"))));
    QCOMPARE(QDir(home.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList());
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
