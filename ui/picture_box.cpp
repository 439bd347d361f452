// SPDX-License-Identifier: MIT
#include "ui/picture_box.h"

#include "ui/qt_color.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>

namespace pixolan {
namespace {

// Visual Basic style button and shift masks, which the notification carries.
int ButtonMask(Qt::MouseButtons buttons) {
  return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
         (buttons & Qt::MiddleButton ? 4 : 0);
}

int ShiftMask(Qt::KeyboardModifiers modifiers) {
  return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
         (modifiers & Qt::AltModifier ? 4 : 0);
}

}  // namespace

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  FitToViewport();
}

void PictureBox::SetPicture(const Picture& picture) {
  viewport_.SetPicture(picture);
  update();
}

void PictureBox::SetOuterWidth(float twips) {
  viewport_.SetOuterWidth(twips);
  FitToViewport();
}

void PictureBox::SetBackground(ColorValue color) {
  viewport_.SetBackground(color);
  update();
}

void PictureBox::FitToViewport() {
  resize(static_cast<int>(viewport_.OuterWidth()) / kTwipsPerPixel,
         static_cast<int>(viewport_.OuterHeight()) / kTwipsPerPixel);
  update();
}

void PictureBox::SetPreview(std::optional<EncodeSettings> settings) {
  preview_ = std::move(settings);
  update();
}

std::optional<QPoint> PictureBox::PixelAt(QPoint point) const {
  const QPoint p = point - QPoint(kFramePixels, kFramePixels);
  if (p.x() < 0 || p.y() < 0 || p.x() >= viewport_.DrawingWidth() || p.y() >= viewport_.DrawingHeight()) return {};
  return p;
}

QRgb PictureBox::Shown(ColorValue c) const {
  return ToRgb(preview_ ? EncodedLook(*preview_, c) : c);
}

void PictureBox::paintEvent(QPaintEvent*) {
  const int width = viewport_.DrawingWidth(), height = viewport_.DrawingHeight();
  QImage area(width, height, QImage::Format_RGB32);
  for (int row = 0; row < height; ++row) {
    auto* line = reinterpret_cast<QRgb*>(area.scanLine(row));
    for (int column = 0; column < width; ++column) line[column] = Shown(viewport_.VisibleColor(column, row));
  }

  QPainter painter(this);
  const QRect outer = rect();
  // Sunken frame: dark outside on top and left, light on bottom and right.
  const QPalette& pal = palette();
  painter.fillRect(outer, pal.color(QPalette::Light));
  painter.fillRect(QRect(0, 0, outer.width() - 1, outer.height() - 1), pal.color(QPalette::Mid));
  painter.fillRect(QRect(1, 1, outer.width() - 2, outer.height() - 2), pal.color(QPalette::Midlight));
  painter.fillRect(QRect(1, 1, outer.width() - 3, outer.height() - 3), pal.color(QPalette::Dark));
  painter.drawImage(kFramePixels, kFramePixels, area);
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
  const std::optional<QPoint> p = PixelAt(event->position().toPoint());
  if (!p) return;
  emit mouseMoved(ButtonMask(event->buttons()), ShiftMask(event->modifiers()),
                  static_cast<float>(p->x() * kTwipsPerPixel), static_cast<float>(p->y() * kTwipsPerPixel));
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (const std::optional<QPoint> p = PixelAt(event->position().toPoint())) emit pixelDoubleClicked(*p);
}

}  // namespace pixolan
