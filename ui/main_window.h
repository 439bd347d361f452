// SPDX-License-Identifier: MIT
#pragma once
// frmMain: Pixolan's only window. Each control event has one handler, named
// control_Event, which hands the work to the model, the picture loader or the
// encoder.

#include <QFutureWatcher>
#include <QMainWindow>
#include <array>
#include <functional>
#include <optional>

#include "encoder/header_encoder.h"
#include "picture/picture_loader.h"
#include "model/viewport.h"

class QActionGroup;
class QButtonGroup;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace pixolan {

class PictureBox;

class frmMain : public QMainWindow, public EncoderHost {
  Q_OBJECT

 public:
  /// Shows a modal message: icon, title, text. Tests replace it.
  using MessagePresenter = std::function<void(MessageIcon, const QString& title, const QString& text)>;
  /// Asks for a file, starting in a folder; empty when cancelled. Tests
  /// replace both the open and the save dialog.
  using FileChooser = std::function<QString(const QString& folder)>;

  explicit frmMain(QString program_directory = {}, QWidget* parent = nullptr);

  void SetMessagePresenter(MessagePresenter presenter) { present_message_ = std::move(presenter); }
  void SetFileChooser(FileChooser chooser) { choose_file_ = std::move(chooser); }
  void SetSaveChooser(FileChooser chooser) { choose_save_path_ = std::move(chooser); }
  /// The program that decodes loaded pictures; tests slow it down.
  void SetDecoderProgram(DecoderProgram program) { decoder_program_ = std::move(program); }

  /// Starts loading a picture file into the viewport without blocking the
  /// window; on failure says why and keeps the picture shown. A load started
  /// while another runs replaces it: only the last one's outcome counts.
  /// Encode waits, greyed out, until the last load has ended, so that it
  /// never writes a picture other than the one chosen last.
  /// Used by Load Picture and by dropping a file.
  void LoadPictureFile(const QString& path);

  // EncoderHost
  const Viewport& GetViewport() const override;
  int SelectedDepthOption() const override;
  bool RemoveColorUnchecked() const override;
  std::string KeyText() const override;
  DitherMode SelectedDither() const override;
  void SetProgressValue(int value) override;
  void SetProgressMaximum(int maximum) override;
  int ProgressMaximum() const override;
  std::string ProgramDirectory() const override;
  std::string OutputPath() const override { return output_path_; }
  void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override;

 signals:
  /// A load has ended and its outcome is on screen (or in a message).
  void loadFinished(bool ok);

 public slots:
  void btnLoadPicture_Click();
  void btnEncode_Click();
  void encodeTo_Click();
  void optResolution_Click(int index);
  void aboutMnu_Click();
  void pic_MouseMove(int button, int shift, float x, float y);
  void pic_DblClick(QPoint pixel);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void SetTabOrder();
  void WireEvents();
  void EncodeInto(const QString& path);
  void EndBusy();
  void FinishLoad(QFutureWatcher<LoadResult>* watcher, const QString& path);
  void SettingsChanged();
  void ShowViewportMenu(QPoint at);
  void SetEncodeEnabled(bool enabled);
  QString PictureTip() const;
  void PlacementChanged();
  Placement CurrentPlacement() const;

  // Controls, named as the window has always named them; tests find them by
  // these object names (optColor0, optResolution1, ...).
  PictureBox* pic;
  QFrame* Shape1;
  QFrame* Shape2;
  QFrame* Shape3;
  QPushButton* btnLoadPicture;
  QPushButton* btnEncode;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;
  QLabel* Label5;
  QLineEdit* txtR;
  QLineEdit* txtG;
  QLineEdit* txtB;
  QLineEdit* txtRGB;
  QGroupBox* Frame1;
  QWidget* Frame2;
  std::array<QRadioButton*, 2> optResolution;
  std::array<QRadioButton*, 3> optColor;
  QCheckBox* rcorChk;
  QLineEdit* transpTxt;
  QProgressBar* ProgressBar1;
  QAction* aboutMnu;

  // Window actions with their shortcuts; the last three are also on the
  // viewport's context menu.
  QAction* loadAction;
  QAction* encodeAction;
  QAction* quitAction;
  QAction* showEncodedAction;
  QAction* useColorAction;
  QAction* encodeToAction;
  QMenu* viewportMenu;

  QString program_directory_;
  QButtonGroup* resolution_group_;
  QButtonGroup* depth_group_;
  QActionGroup* dither_group_;    // the viewport menu's Dither entries, exclusive
  QActionGroup* size_group_;      // Picture Size: Actual Pixels, Fit, Fill
  QList<QAction*> turn_actions_;  // Rotate Left/Right, Flip Horizontally/Vertically
  Orientation orientation_;       // how the picture is turned before it is placed
  MessagePresenter present_message_;
  FileChooser choose_file_;
  FileChooser choose_save_path_;
  std::string output_path_;
  bool encoding_ = false;  // the busy cursor of a run is up
  QFutureWatcher<LoadResult>* pending_load_ = nullptr;
  // Folders the dialogs start in, remembered for this run only.
  QString open_folder_;
  QString save_folder_;
  DecoderProgram decoder_program_;
  QString picture_name_;  // the file shown, for the viewport's tooltip
  QString picture_path_;  // the file shown, placed again when the placement changes; empty for the test card
  int picture_width_ = 0, picture_height_ = 0;
  std::optional<ColorValue> probed_;  // the colour the probe last showed
  QPoint menu_pixel_;                 // where the context menu was opened
};

/// The About message's text: four lines joined by CR LF.
QString AboutText();

}  // namespace pixolan
