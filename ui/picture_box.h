// SPDX-License-Identifier: MIT
#pragma once
// The viewport on screen: a sunken 2-pixel frame around the drawing area,
// the picture pixel for pixel on the background. It holds the viewport, so
// that every change to it is drawn; pointer movement over the drawing area is
// signalled in twips.

#include <QWidget>
#include <optional>

#include "encoder/header_format.h"
#include "model/viewport.h"

namespace pixolan {

class PictureBox : public QWidget {
  Q_OBJECT

 public:
  explicit PictureBox(QWidget* parent = nullptr);

  const Viewport& GetViewport() const { return viewport_; }
  /// These change the viewport and redraw it (SetOuterWidth also resizes).
  void SetPicture(const Picture& picture);
  void SetOuterWidth(float twips);
  void SetBackground(ColorValue color);

  /// With settings, draws each pixel as the display shows it after packing at
  /// their depth, and what their key leaves out in kLeftOutMarker; without,
  /// the picture as loaded.
  void SetPreview(std::optional<EncodeSettings> settings);

  /// The drawing-area pixel at a point of this widget, if there is one.
  std::optional<QPoint> PixelAt(QPoint point) const;

 signals:
  /// The pointer moved over the drawing area: Visual Basic button and shift
  /// masks, x and y in drawing-area twips (multiples of 15).
  void mouseMoved(int button, int shift, float x, float y);
  /// A drawing-area pixel was double-clicked.
  void pixelDoubleClicked(QPoint pixel);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QRgb Shown(ColorValue c) const;

  void FitToViewport();

  Viewport viewport_;
  std::optional<EncodeSettings> preview_;
};

}  // namespace pixolan
