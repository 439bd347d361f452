#pragma once
// The viewport on screen: a sunken 2-pixel frame around the drawing area,
// the picture pixel for pixel on the background. Pointer movement over the
// drawing area goes to the viewport's listener in twips.

#include <QWidget>
#include <optional>

#include "encoder/header_format.h"
#include "model/viewport.h"

namespace pixolan {

/// Samples the key would leave out show in this colour in the preview: pure
/// magenta is rare in photos and in pictures drawn for small displays.
inline constexpr QRgb kLeftOutMarker = 0xFFFF00FF;

class PictureBox : public QWidget {
  Q_OBJECT

 public:
  explicit PictureBox(Viewport& viewport, QWidget* parent = nullptr);

  /// Takes the viewport's current outer size and repaints.
  void SyncWithViewport();

  /// With settings, draws each pixel as the display shows it after packing at
  /// their depth, and what their key leaves out in kLeftOutMarker; without,
  /// the picture as loaded.
  void SetPreview(std::optional<EncodeSettings> settings);

  /// The drawing-area pixel at a point of this widget, if there is one.
  std::optional<QPoint> PixelAt(QPoint point) const;

 signals:
  /// A drawing-area pixel was double-clicked.
  void PixelDoubleClicked(QPoint pixel);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QRgb Shown(ColorValue c) const;

  Viewport& viewport_;
  std::optional<EncodeSettings> preview_;
};

}  // namespace pixolan
