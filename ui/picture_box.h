// SPDX-License-Identifier: MIT
#pragma once
// The viewport on screen: a sunken 2-pixel frame around the drawing area,
// the picture pixel for pixel on the background. It holds the viewport, so
// that every change to it is drawn; pointer movement over the drawing area is
// signalled in twips. With focus, the frame takes the highlight colour and
// the arrow keys move a probe point as the pointer would (Shift: 8 pixels);
// Shift+F10 and the Menu key ask for the context menu at that point.

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

  /// With settings, draws each pixel as the display shows it after packing
  /// (and dithering) as they say, and what their key leaves out in
  /// kLeftOutMarker; without, the picture as loaded.
  void SetPreview(std::optional<EncodeSettings> settings);

  /// The drawing-area pixel at a point of this widget, if there is one.
  std::optional<QPoint> PixelAt(QPoint point) const;
  /// Where the probe is, in this widget's coordinates: the pixel the pointer
  /// or the arrow keys last moved it to.
  QPoint ProbePoint() const { return probe_ + QPoint(kFramePixels, kFramePixels); }

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
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void FitToViewport();

  Viewport viewport_;
  std::optional<EncodeSettings> preview_;
  QPoint probe_;                // a drawing-area pixel
  bool probe_by_keys_ = false;  // last moved by the keys: marked on the picture
};

}  // namespace pixolan
