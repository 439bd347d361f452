#pragma once
// frmMain: Pixolan's only window. Each control event has one handler, named
// control_Event, which hands the work to the model, the picture loader or the
// encoder.

#include <QMainWindow>
#include <array>
#include <functional>

#include "header_encoder.h"
#include "viewport.h"

class QButtonGroup;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
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
  /// Asks for a picture file; empty when cancelled. Tests replace it.
  using FileChooser = std::function<QString()>;

  explicit frmMain(QString program_directory = {}, QWidget* parent = nullptr);

  void setMessagePresenter(MessagePresenter presenter) { present_message_ = std::move(presenter); }
  void setFileChooser(FileChooser chooser) { choose_file_ = std::move(chooser); }

  /// Loads a picture file into the viewport; on failure says why and keeps
  /// the picture shown. Used by Load Picture and by dropping a file.
  bool LoadPictureFile(const QString& path);

  // EncoderHost
  const Viewport& viewport() const override { return viewport_; }
  int SelectedDepthOption() const override;
  bool RemoveColorUnchecked() const override;
  std::string KeyText() const override;
  void SetProgressValue(int value) override;
  void SetProgressMaximum(int maximum) override;
  int ProgressMaximum() const override;
  std::string ProgramDirectory() const override;
  void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override;

  // Controls, named as the window has always named them.
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

 public slots:
  void btnLoadPicture_Click();
  void btnEncode_Click();
  void optResolution_Click(int index);
  void aboutMnu_Click();
  void pic_MouseMove(int button, int shift, float x, float y);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateControls();
  void SetTabOrder();
  void WireEvents();

  Viewport viewport_;
  QString program_directory_;
  QButtonGroup* resolution_group_;
  QButtonGroup* depth_group_;
  MessagePresenter present_message_;
  FileChooser choose_file_;
};

/// The About message's text: four lines joined by CR LF.
QString AboutText();

}  // namespace pixolan
