#pragma once
// The viewport on screen: a sunken 2-pixel frame around the drawing area,
// the picture pixel for pixel on the background. Pointer movement over the
// drawing area goes to the viewport's listener in twips.

#include <QWidget>

#include "viewport.h"

namespace pixolan {

class PictureBox : public QWidget {
  Q_OBJECT

 public:
  explicit PictureBox(Viewport& viewport, QWidget* parent = nullptr);

  /// Takes the viewport's current outer size and repaints.
  void SyncWithViewport();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  Viewport& viewport_;
};

}  // namespace pixolan
