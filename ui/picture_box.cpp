// SPDX-License-Identifier: MIT
#include "ui/picture_box.h"

#include "ui/qt_color.h"

#include <QContextMenuEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

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
  probe_.rx() = std::min(probe_.x(), viewport_.DrawingWidth() - 1);  // the narrow one ends sooner
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

void PictureBox::paintEvent(QPaintEvent*) {
  const int width = viewport_.DrawingWidth(), height = viewport_.DrawingHeight();
  QImage area(width, height, QImage::Format_RGB32);
  // Packed as Encode packs them, dithered or not.
  const PackedArea packed = preview_ ? PackDrawingArea(viewport_, preview_->depth, preview_->dither) : PackedArea{};
  for (int row = 0; row < height; ++row) {
    auto* line = reinterpret_cast<QRgb*>(area.scanLine(row));
    for (int column = 0; column < width; ++column)
      line[column] =
          ToRgb(preview_ ? EncodedLook(*preview_, packed.At(column, row)) : viewport_.VisibleColor(column, row));
  }

  QPainter painter(this);
  const QRect outer = rect();
  const QPalette& pal = palette();
  if (hasFocus()) {
    painter.fillRect(outer, pal.color(QPalette::Highlight));
  } else {
    // Sunken frame: dark outside on top and left, light on bottom and right.
    painter.fillRect(outer, pal.color(QPalette::Light));
    painter.fillRect(QRect(0, 0, outer.width() - 1, outer.height() - 1), pal.color(QPalette::Mid));
    painter.fillRect(QRect(1, 1, outer.width() - 2, outer.height() - 2), pal.color(QPalette::Midlight));
    painter.fillRect(QRect(1, 1, outer.width() - 3, outer.height() - 3), pal.color(QPalette::Dark));
  }
  painter.drawImage(kFramePixels, kFramePixels, area);
  if (hasFocus() && probe_by_keys_) {
    // A ring around the probed pixel, which itself stays visible.
    painter.setPen(QPen(pal.color(QPalette::Highlight), 1));
    painter.drawRect(QRect(ProbePoint() - QPoint(2, 2), QSize(4, 4)));
  }
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
  const std::optional<QPoint> p = PixelAt(event->position().toPoint());
  if (!p) return;
  probe_ = *p;
  if (probe_by_keys_) update();
  probe_by_keys_ = false;
  emit mouseMoved(ButtonMask(event->buttons()), ShiftMask(event->modifiers()),
                  static_cast<float>(p->x() * kTwipsPerPixel), static_cast<float>(p->y() * kTwipsPerPixel));
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (const std::optional<QPoint> p = PixelAt(event->position().toPoint())) emit pixelDoubleClicked(*p);
}

void PictureBox::keyPressEvent(QKeyEvent* event) {
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  if (event->key() == Qt::Key_Menu || (event->key() == Qt::Key_F10 && shift)) {
    emit customContextMenuRequested(ProbePoint());
    return;
  }
  const int step = shift ? 8 : 1;
  QPoint to = probe_;
  switch (event->key()) {
    case Qt::Key_Left: to.rx() -= step; break;
    case Qt::Key_Right: to.rx() += step; break;
    case Qt::Key_Up: to.ry() -= step; break;
    case Qt::Key_Down: to.ry() += step; break;
    default: return QWidget::keyPressEvent(event);
  }
  probe_ = {std::clamp(to.x(), 0, viewport_.DrawingWidth() - 1), std::clamp(to.y(), 0, viewport_.DrawingHeight() - 1)};
  probe_by_keys_ = true;
  update();
  emit mouseMoved(0, ShiftMask(event->modifiers()), static_cast<float>(probe_.x() * kTwipsPerPixel),
                  static_cast<float>(probe_.y() * kTwipsPerPixel));
  // The tooltip the pointer would show, beside the probe.
  QToolTip::showText(mapToGlobal(ProbePoint() + QPoint(8, 8)), toolTip(), this);
}

// A context menu asked for from the keyboard opens at the probe, not at the
// pointer, wherever that is.
bool PictureBox::event(QEvent* event) {
  if (event->type() == QEvent::ContextMenu &&
      static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
    emit customContextMenuRequested(ProbePoint());
    return true;
  }
  return QWidget::event(event);
}

}  // namespace pixolan
