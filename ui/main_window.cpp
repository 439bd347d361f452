// SPDX-License-Identifier: MIT
#include "ui/main_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryFile>
#include <QToolTip>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

#include "ui/color_probe.h"
#include "ui/picture_box.h"
#include "ui/picture_dialog.h"
#include "ui/qt_color.h"
#include "resources/sample_picture.h"
#include "ui/twips.h"
#include "ui/window_text.h"

namespace pixolan {
namespace {

constexpr int kClientWidthTwips = 6660;
constexpr int kClientHeightTwips = 2490;

QFont Arial() {
  // fontconfig maps Arial to Liberation Sans where Arial is not installed.
  QFont font(QStringLiteral("Arial"));
  font.setPointSizeF(8.25);
  return font;
}

// The layout is fixed in pixels, so the other captions get a dialog font of
// fixed metrics too: Arial's (or Liberation Sans's) at 8 points.
QFont DialogFont() {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(8);
  return font;
}

// Object names make the controls findable by name, as they were designed.
template <typename Widget>
Widget* Place(Widget* widget, const char* name, const QRect& geometry, bool arial = false) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(geometry);
  if (arial) widget->setFont(Arial());
  return widget;
}

// Whether a new file can be made in folder: permissions alone do not say so
// (root, read-only mounts, ACLs), so try.
bool CanCreateFileIn(const QString& folder) {
  QTemporaryFile probe(folder + QStringLiteral("/.pixolan-XXXXXX"));
  return probe.open();
}

QString OrHome(const QString& folder) { return folder.isEmpty() ? QDir::homePath() : folder; }

// Tab enters an option group at its checked option, as in desktop dialogs;
// the arrow keys move between the options.
void TabOnlyToChecked(QButtonGroup* group) {
  for (QAbstractButton* button : group->buttons())
    button->setFocusPolicy(button->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
}

// A plain one-pixel outline in the foreground colour. QFrame draws it whole
// device pixels away from the widget's origin, which at scale factors such
// as 1.25 lies between two device pixels, and so loses the bottom or right
// line; this fills each side's own first or last row or column instead.
class Outline : public QFrame {
 public:
  explicit Outline(QWidget* parent) : QFrame(parent) { setFrameStyle(QFrame::Box | QFrame::Plain); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QColor color = palette().color(foregroundRole());
    const qreal w = width(), h = height();
    for (const QRectF& side : {QRectF(0, 0, w, 1), QRectF(0, h - 1, w, 1), QRectF(0, 0, 1, h), QRectF(w - 1, 0, 1, h)})
      painter.fillRect(side, color);
  }
};

void PresentInMessageBox(QWidget* parent, MessageIcon icon, const QString& title, const QString& text) {
  static constexpr QMessageBox::Icon kIcons[] = {QMessageBox::Information, QMessageBox::Warning, QMessageBox::Critical};
  QMessageBox box(kIcons[static_cast<int>(icon)], title, text, QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace

QString AboutText() { return QString::fromLatin1(kAboutText); }

frmMain::frmMain(QString program_directory, QWidget* parent)
    : QMainWindow(parent),
      program_directory_(program_directory.isEmpty() ? QCoreApplication::applicationDirPath() : program_directory) {
  setWindowTitle(QString::fromLatin1(kWindowTitle));
  setAcceptDrops(true);
  present_message_ = [this](MessageIcon icon, const QString& title, const QString& text) {
    PresentInMessageBox(this, icon, title, text);
  };
  choose_file_ = [this](const QString& folder) { return RunPictureDialog(this, folder); };
  choose_save_path_ = [this](const QString& folder) { return RunSaveDialog(this, folder); };

  CreateControls();
  pic->SetBackground(FromQColor(palette().color(QPalette::Base)));
  pic->SetPicture(SamplePicture());
  picture_name_ = QStringLiteral("Built-in test card");
  picture_width_ = SamplePicture().width;
  picture_height_ = SamplePicture().height;
  pic->setToolTip(PictureTip());
  SetTabOrder();
  WireEvents();
  setFixedSize(Px(kClientWidthTwips), Px(kClientHeightTwips) + menuBar()->sizeHint().height());
}

void frmMain::CreateControls() {
  setFont(DialogFont());
  auto* client = new QWidget(this);
  client->setFixedSize(Px(kClientWidthTwips), Px(kClientHeightTwips));
  setCentralWidget(client);

  aboutMnu = menuBar()->addAction(QStringLiteral("&About"));
  aboutMnu->setObjectName(QStringLiteral("aboutMnu"));

  // Shape3 lies behind the viewport and marks the extent of the wide one.
  Shape3 = Place(new Outline(client), "Shape3", TwipRect(120, 120, 2640, 1980));
  QPalette outline = Shape3->palette();
  outline.setColor(QPalette::WindowText, outline.color(QPalette::Mid));
  Shape3->setPalette(outline);
  pic = new PictureBox(client);
  pic->setObjectName(QStringLiteral("pic"));
  pic->move(Px(120), Px(120));

  btnLoadPicture =
      Place(new QPushButton(QStringLiteral("Load Picture"), client), "btnLoadPicture", TwipRect(120, 2160, 2655, 255));

  Label1 = Place(new QLabel(QStringLiteral("R"), client), "Label1", TwipRect(2880, 240, 105, 210), true);
  txtR = Place(new QLineEdit(client), "txtR", TwipRect(3120, 203, 615, 285), true);
  Label2 = Place(new QLabel(QStringLiteral("G"), client), "Label2", TwipRect(2880, 480, 120, 210), true);
  txtG = Place(new QLineEdit(client), "txtG", TwipRect(3120, 443, 615, 285), true);
  Label3 = Place(new QLabel(QStringLiteral("B"), client), "Label3", TwipRect(2880, 720, 105, 210), true);
  txtB = Place(new QLineEdit(client), "txtB", TwipRect(3120, 683, 615, 285), true);
  txtRGB = Place(new QLineEdit(client), "txtRGB", TwipRect(2880, 1080, 855, 285), true);
  for (QLineEdit* readout : {txtR, txtG, txtB, txtRGB}) readout->setReadOnly(true);

  Shape1 = Place(new Outline(client), "Shape1", TwipRect(2880, 1440, 855, 630));
  Shape1->setAutoFillBackground(true);

  Frame1 = Place(new QGroupBox(QStringLiteral(" Output Configuration "), client), "Frame1",
                 TwipRect(3885, 105, 2655, 1695), true);
  Frame2 = Place(new QWidget(Frame1), "Frame2", TwipRect(225, 300, 2190, 540));
  Label4 = Place(new QLabel(QStringLiteral("Resolution (pixels):"), Frame2), "Label4", TwipRect(0, 0, 1380, 210), true);
  optResolution[0] =
      Place(new QRadioButton(kResolutions[0].name, Frame2), "optResolution0", TwipRect(0, 240, 975, 255), true);
  optResolution[1] =
      Place(new QRadioButton(kResolutions[1].name, Frame2), "optResolution1", TwipRect(975, 225, 975, 255), true);
  optResolution[0]->setChecked(true);

  Label5 = Place(new QLabel(QStringLiteral("Color depth:"), Frame1), "Label5", TwipRect(240, 1110, 855, 195));
  optColor[0] = Place(new QRadioButton(kDepths[0].caption, Frame1), "optColor0", TwipRect(240, 1350, 735, 255), true);
  optColor[1] = Place(new QRadioButton(kDepths[1].caption, Frame1), "optColor1", TwipRect(960, 1350, 735, 255), true);
  optColor[2] = Place(new QRadioButton(kDepths[2].caption, Frame1), "optColor2", TwipRect(1800, 1350, 735, 255), true);
  optColor[0]->setChecked(true);

  rcorChk = Place(new QCheckBox(QStringLiteral("Remove Color"), Frame1), "rcorChk", TwipRect(1050, 825, 1365, 315));
  transpTxt = Place(new QLineEdit(QStringLiteral("FFFF"), Frame1), "transpTxt", TwipRect(225, 825, 765, 285));
  // Inside the Arial frame these would inherit Arial 8.25.
  for (QWidget* widget :
       {static_cast<QWidget*>(Label5), static_cast<QWidget*>(rcorChk), static_cast<QWidget*>(transpTxt)})
    widget->setFont(DialogFont());

  btnEncode = Place(new QPushButton(QStringLiteral("Encode"), client), "btnEncode", TwipRect(3900, 1875, 2610, 255));
  Shape2 = Place(new Outline(client), "Shape2", TwipRect(2805, 2160, 3720, 285));
  ProgressBar1 = Place(new QProgressBar(client), "ProgressBar1", TwipRect(2835, 2180, 3675, 255));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);

  // Captions are never clipped: a label whose text is wider in this font than
  // its place grows to the right.
  for (QLabel* label : {Label1, Label2, Label3, Label4, Label5})
    label->resize(std::max(label->width(), label->sizeHint().width()), label->height());

  // Screen readers name each control by its caption; those without one get
  // the name its place on the window gives it.
  const std::pair<QWidget*, const char*> names[] = {{pic, "Picture"},         {txtR, "Red"},
                                                    {txtG, "Green"},          {txtB, "Blue"},
                                                    {txtRGB, "Colour value"}, {Shape1, "Colour swatch"},
                                                    {transpTxt, "Key"},       {ProgressBar1, "Encode progress"}};
  for (const auto& [widget, name] : names) widget->setAccessibleName(QString::fromUtf8(name));
  const std::pair<QWidget*, const char*> descriptions[] = {
      {pic,
       "The picture as the display shows it. Arrow keys move the probe (Shift: 8 pixels); "
       "Shift+F10 opens the menu at the probe"},
      {txtR, "Red of the colour under the probe, 0 to 255"},
      {txtG, "Green of the colour under the probe, 0 to 255"},
      {txtB, "Blue of the colour under the probe, 0 to 255"},
      {txtRGB, "The colour under the probe in hex, red in the low byte"},
      {Shape1, "Shows the colour under the probe"},
      {transpTxt, "The packed value, in hex digits, that Remove Color leaves out"},
      {ProgressBar1, "How far the last Encode got"},
      {rcorChk, "Leave out the samples whose packed value is the key"},
      {optResolution[0], "A display of 132 x 132 pixels"},
      {optResolution[1], "A display of 132 x 176 pixels"},
      {optColor[0], "8 bits a pixel: RRGGGGBB"},
      {optColor[1], "12 bits a pixel: 4 each of red, green and blue"},
      {optColor[2], "16 bits a pixel: RGB565"}};
  for (const auto& [widget, text] : descriptions) widget->setAccessibleDescription(QString::fromUtf8(text));

  // Enter presses a focused button, as Space does.
  btnLoadPicture->setAutoDefault(true);
  btnEncode->setAutoDefault(true);

  resolution_group_ = new QButtonGroup(this);
  depth_group_ = new QButtonGroup(this);
  for (int i = 0; i < 2; ++i) resolution_group_->addButton(optResolution[i], i);
  for (int i = 0; i < 3; ++i) depth_group_->addButton(optColor[i], i);
  TabOnlyToChecked(resolution_group_);
  TabOnlyToChecked(depth_group_);

  // The menu bar keeps its one item: the other commands are window actions.
  auto action = [this](const char* name, const char* text, QKeySequence shortcut) {
    auto* a = new QAction(QString::fromUtf8(text), this);
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcut(shortcut);
    addAction(a);
    return a;
  };
  loadAction = action("loadAction", "Load Picture", QKeySequence(Qt::CTRL | Qt::Key_O));
  encodeAction = action("encodeAction", "Encode", QKeySequence(Qt::CTRL | Qt::Key_E));
  quitAction = action("quitAction", "Quit", QKeySequence(Qt::CTRL | Qt::Key_Q));
  showEncodedAction = action("showEncodedAction", "Show as Encoded", QKeySequence(Qt::Key_F2));
  showEncodedAction->setCheckable(true);
  useColorAction = action("useColorAction", "Use This Color as Key", {});
  encodeToAction = action("encodeToAction", "Encode To\u2026", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
  btnLoadPicture->setToolTip(QStringLiteral("Load a picture (Ctrl+O)"));
  btnEncode->setToolTip(QStringLiteral("Write image.h (Ctrl+E); Encode To\u2026 asks where (Ctrl+Shift+E)"));
  transpTxt->setToolTip(
      QStringLiteral("Double-click a pixel to take its key; Show as Encoded (F2) marks what it leaves out"));
  viewportMenu = new QMenu(this);
  viewportMenu->setObjectName(QStringLiteral("viewportMenu"));
  viewportMenu->addActions({showEncodedAction, useColorAction, encodeToAction});
  // Dithering changes what Encode writes: chosen where "Show as Encoded" shows it.
  QMenu* dither = viewportMenu->addMenu(QStringLiteral("Dither"));
  dither->setObjectName(QStringLiteral("ditherMenu"));
  dither_group_ = new QActionGroup(this);
  for (const DitherModeInfo& mode : kDitherModes) {
    QAction* a = dither->addAction(QString::fromLatin1(mode.caption));
    a->setObjectName(QStringLiteral("dither_") + QString::fromLatin1(mode.name));
    a->setCheckable(true);
    a->setChecked(mode.mode == DitherMode::None);
    a->setData(static_cast<int>(mode.mode));
    dither_group_->addAction(a);
  }
  // Placement decodes the file again; the built-in test card has none, so
  // these entries wait for a loaded picture.
  QMenu* size = viewportMenu->addMenu(QStringLiteral("Picture Size"));
  size->setObjectName(QStringLiteral("sizeMenu"));
  size_group_ = new QActionGroup(this);
  const std::pair<const char*, PictureSize> sizes[] = {
      {"Actual Pixels", PictureSize::Actual}, {"Fit", PictureSize::Fit}, {"Fill", PictureSize::Fill}};
  for (const auto& [caption, mode] : sizes) {
    QAction* a = size->addAction(QString::fromLatin1(caption));
    a->setCheckable(true);
    a->setChecked(mode == PictureSize::Actual);
    a->setData(static_cast<int>(mode));
    size_group_->addAction(a);
  }
  size_group_->setEnabled(false);
  for (const char* caption : {"Rotate Left", "Rotate Right", "Flip Horizontally", "Flip Vertically"}) {
    QAction* a = viewportMenu->addAction(QString::fromLatin1(caption));
    a->setEnabled(false);
    turn_actions_ << a;
  }
  pic->setContextMenuPolicy(Qt::CustomContextMenu);
  // The window's shortcuts win over the text boxes' editing keys.
  for (QLineEdit* box : {txtR, txtG, txtB, txtRGB, transpTxt}) box->installEventFilter(this);
}

void frmMain::SetTabOrder() {
  // In the order of the controls' tab indices; labels, frames and the
  // progress bar take no focus.
  QWidget* const order[] = {pic,         btnLoadPicture, txtR,        txtG, txtRGB,           btnEncode,
                            optColor[1], optColor[2],    optColor[0], txtB, optResolution[1], optResolution[0],
                            transpTxt,   rcorChk};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void frmMain::WireEvents() {
  connect(btnLoadPicture, &QPushButton::clicked, this, &frmMain::btnLoadPicture_Click);
  connect(btnEncode, &QPushButton::clicked, this, &frmMain::btnEncode_Click);
  connect(resolution_group_, &QButtonGroup::idClicked, this, &frmMain::optResolution_Click);
  connect(aboutMnu, &QAction::triggered, this, &frmMain::aboutMnu_Click);
  connect(loadAction, &QAction::triggered, this, &frmMain::btnLoadPicture_Click);
  connect(encodeAction, &QAction::triggered, this, &frmMain::btnEncode_Click);
  connect(encodeToAction, &QAction::triggered, this, &frmMain::encodeTo_Click);
  connect(quitAction, &QAction::triggered, this, &QWidget::close);
  connect(useColorAction, &QAction::triggered, this, [this] { pic_DblClick(menu_pixel_); });
  connect(pic, &PictureBox::mouseMoved, this, &frmMain::pic_MouseMove);
  connect(pic, &PictureBox::pixelDoubleClicked, this, &frmMain::pic_DblClick);
  connect(pic, &QWidget::customContextMenuRequested, this, &frmMain::ShowViewportMenu);
  connect(resolution_group_, &QButtonGroup::buttonToggled, this, [this] { TabOnlyToChecked(resolution_group_); });
  connect(depth_group_, &QButtonGroup::buttonToggled, this, [this] {
    TabOnlyToChecked(depth_group_);
    SettingsChanged();
  });
  connect(rcorChk, &QCheckBox::stateChanged, this, &frmMain::SettingsChanged);
  connect(transpTxt, &QLineEdit::textChanged, this, &frmMain::SettingsChanged);
  connect(showEncodedAction, &QAction::toggled, this, &frmMain::SettingsChanged);
  connect(dither_group_, &QActionGroup::triggered, this, &frmMain::SettingsChanged);
  connect(size_group_, &QActionGroup::triggered, this, &frmMain::PlacementChanged);
  const std::function<Orientation(const Orientation&)> turns[] = {
      [](const Orientation& o) { return o.RotatedClockwise(270); },
      [](const Orientation& o) { return o.RotatedClockwise(90); },
      [](const Orientation& o) { return o.FlippedHorizontally(); },
      [](const Orientation& o) { return o.FlippedVertically(); }};
  for (int i = 0; i < turn_actions_.size(); ++i)
    connect(turn_actions_[i], &QAction::triggered, this, [this, turn = turns[i]] {
      orientation_ = turn(orientation_);
      PlacementChanged();
    });
}

// --- Handlers ---------------------------------------------------------------

void frmMain::btnLoadPicture_Click() {
  const QString path = choose_file_(OrHome(open_folder_));
  if (path.isEmpty()) return;
  open_folder_ = QFileInfo(path).absolutePath();
  LoadPictureFile(path);
}

void frmMain::optResolution_Click(int index) {
  pic->SetOuterWidth(kResolutions[index == 0 ? 0 : 1].outer_width);
  // A fitted or filled picture is placed into the new drawing area; one
  // shown pixel for pixel only shows more or less of itself.
  if (CurrentPlacement().size != PictureSize::Actual) PlacementChanged();
}

void frmMain::PlacementChanged() {
  if (!picture_path_.isEmpty()) LoadPictureFile(picture_path_);
}

Placement frmMain::CurrentPlacement() const {
  Placement placement;
  placement.size = static_cast<PictureSize>(size_group_->checkedAction()->data().toInt());
  placement.orientation = orientation_;
  if (placement.size != PictureSize::Actual) placement.area_width = GetViewport().DrawingWidth();
  return placement;
}

void frmMain::btnEncode_Click() {
  // Installed under /usr/bin the program's directory is not the user's to
  // write: ask instead of failing.
  if (CanCreateFileIn(program_directory_)) EncodeInto(program_directory_ + QStringLiteral("/image.h"));
  else encodeTo_Click();
}

void frmMain::encodeTo_Click() {
  const QString path = choose_save_path_(OrHome(save_folder_));
  if (path.isEmpty()) return;
  save_folder_ = QFileInfo(path).absolutePath();
  EncodeInto(path);
}

void frmMain::EncodeInto(const QString& path) {
  output_path_ = path.toStdString();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  encoding_ = true;
  HeaderEncoder().Run(*this);
  EndBusy();
}

void frmMain::EndBusy() {
  if (!encoding_) return;
  encoding_ = false;
  QApplication::restoreOverrideCursor();
}

void frmMain::aboutMnu_Click() {
  present_message_(MessageIcon::Information, QString::fromLatin1(kAboutTitle), AboutText());
}

// A text box takes Ctrl+E as "end of line" before any shortcut sees it; on a
// one-line box the user has Home and End for that, and Encode is wanted.
bool frmMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
    for (const QAction* action : actions())
      if (!action->shortcut().isEmpty() && action->shortcut() == pressed) {
        event->ignore();  // not the box's: the shortcut map takes it
        return true;
      }
  }
  return QMainWindow::eventFilter(watched, event);
}

void frmMain::pic_MouseMove(int, int, float x, float y) {
  const ColorValue c = GetViewport().Sample(x, y);
  const ProbeReadout readout = ReadColor(c, GetViewport().GetBackground());
  txtR->setText(QString::fromStdString(readout.red));
  txtG->setText(QString::fromStdString(readout.green));
  txtB->setText(QString::fromStdString(readout.blue));
  QPalette swatch = Shape1->palette();
  swatch.setColor(QPalette::Window, QColor(ToRgb(readout.swatch)));
  Shape1->setPalette(swatch);
  txtRGB->setText(QString::fromStdString(readout.value));
  probed_ = c;
  pic->setToolTip(PictureTip());
}

void frmMain::pic_DblClick(QPoint pixel) {
  const ColorValue c = GetViewport().Sample(static_cast<float>(pixel.x() * kTwipsPerPixel),
                                            static_cast<float>(pixel.y() * kTwipsPerPixel));
  transpTxt->setText(QString::fromStdString(HexText(PackColor(DepthAtOption(SelectedDepthOption()), c))));
  rcorChk->setChecked(true);
}

void frmMain::ShowViewportMenu(QPoint at) {
  const std::optional<QPoint> pixel = pic->PixelAt(at);
  useColorAction->setEnabled(pixel.has_value());
  if (pixel) menu_pixel_ = *pixel;
  viewportMenu->popup(pic->mapToGlobal(at));
}

// Depth, key, dithering or preview changed: the preview and the probe's key follow.
void frmMain::SettingsChanged() {
  const EncodeSettings settings = SettingsFrom(*this);
  pic->SetPreview(showEncodedAction->isChecked() ? std::optional(settings) : std::nullopt);
  if (!probed_) return;
  const QString tip = PictureTip();
  pic->setToolTip(tip);
  if (QToolTip::isVisible() && pic->underMouse()) QToolTip::showText(QCursor::pos(), tip, pic);
}

// The viewport's tooltip: which file is shown and how large it is, then the
// key that would leave out the colour the probe is on.
QString frmMain::PictureTip() const {
  QString tip = QStringLiteral("%1, %2 x %3 pixels").arg(picture_name_).arg(picture_width_).arg(picture_height_);
  if (probed_)
    tip += QLatin1Char('\n') + QString::fromStdString(PackedHint(DepthAtOption(SelectedDepthOption()), *probed_));
  return tip;
}

void frmMain::SetEncodeEnabled(bool enabled) {
  for (QAction* action : {encodeAction, encodeToAction}) action->setEnabled(enabled);
  btnEncode->setEnabled(enabled);
}

// --- Loading ------------------------------------------------------------------

void frmMain::LoadPictureFile(const QString& path) {
  // Decoding can take seconds: it runs on a worker while the window paints.
  // An earlier load still running is left to finish and its result dropped.
  auto* watcher = new QFutureWatcher<LoadResult>(this);
  pending_load_ = watcher;
  setCursor(Qt::BusyCursor);
  SetEncodeEnabled(false);  // until the picture chosen last is shown, or has failed
  connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, path] { FinishLoad(watcher, path); });
  watcher->setFuture(QtConcurrent::run(
      [file = path.toStdString(), background = GetViewport().GetBackground(), program = decoder_program_,
       placement = CurrentPlacement()] { return LoadPicture(file, background, {}, program, placement); }));
}

void frmMain::FinishLoad(QFutureWatcher<LoadResult>* watcher, const QString& path) {
  watcher->deleteLater();
  if (watcher != pending_load_) return;  // replaced by a later load
  pending_load_ = nullptr;
  unsetCursor();
  SetEncodeEnabled(true);
  const LoadResult loaded = watcher->result();
  if (!loaded.Ok()) {
    present_message_(MessageIcon::Critical, QString::fromLatin1(kLoadFailedTitle),
                     QString::fromStdString(loaded.error));
  } else {
    pic->SetPicture(loaded.picture);
    picture_name_ = QFileInfo(path).fileName();
    picture_path_ = path;
    size_group_->setEnabled(true);
    for (QAction* turn : turn_actions_) turn->setEnabled(true);
    picture_width_ = loaded.picture_width;
    picture_height_ = loaded.picture_height;
    pic->setToolTip(PictureTip());
    if (!loaded.warning.empty())
      present_message_(MessageIcon::Exclamation, QStringLiteral("Picture loaded in part"),
                       QString::fromStdString(loaded.warning));
  }
  emit loadFinished(loaded.Ok());
}

void frmMain::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (!urls.isEmpty() && urls.first().isLocalFile()) event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.isEmpty() || !urls.first().isLocalFile()) return;
  event->acceptProposedAction();
  LoadPictureFile(urls.first().toLocalFile());
}

// --- What an Encode run reads from and shows on the window --------------------

const Viewport& frmMain::GetViewport() const { return pic->GetViewport(); }

int frmMain::SelectedDepthOption() const { return depth_group_->checkedId(); }

bool frmMain::RemoveColorUnchecked() const { return rcorChk->checkState() == Qt::Unchecked; }

std::string frmMain::KeyText() const { return transpTxt->text().toStdString(); }

DitherMode frmMain::SelectedDither() const {
  return static_cast<DitherMode>(dither_group_->checkedAction()->data().toInt());
}

void frmMain::SetProgressValue(int value) {
  ProgressBar1->setValue(value);
  ProgressBar1->repaint();  // the run holds the event loop; paint now
}

void frmMain::SetProgressMaximum(int maximum) { ProgressBar1->setMaximum(maximum); }

int frmMain::ProgressMaximum() const { return ProgressBar1->maximum(); }

std::string frmMain::ProgramDirectory() const { return program_directory_.toStdString(); }

void frmMain::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) {
  EndBusy();  // the message waits for the user: the program is not busy
  present_message_(icon, QString::fromStdString(title), QString::fromStdString(text));
}

}  // namespace pixolan
