// SPDX-License-Identifier: MIT
#include "ui/startup_style.h"

#include <QIconEngine>
#include <QImageReader>
#include <QPixmap>
#include <QPainter>
#include <QStyleOption>
#include <qdrawutil.h>
#include <QPointer>
#include <QProxyStyle>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <optional>

namespace pixolan {
namespace {

// An icon made on first use.
class DeferredIconEngine : public QIconEngine {
 public:
  explicit DeferredIconEngine(std::function<QIcon()> make) : make_(std::move(make)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    Icon().paint(painter, rect, Qt::AlignCenter, mode, state);
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Icon().pixmap(size, mode, state);
  }
  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
    return Icon().pixmap(size, scale, mode, state);
  }
  QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Icon().actualSize(size, mode, state);
  }
  QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
    return Icon().availableSizes(mode, state);
  }
  bool isNull() override { return false; }  // asking must not load it
  QIconEngine* clone() const override { return new DeferredIconEngine(*this); }
  QString key() const override { return QStringLiteral("PixolanDeferred"); }

 private:
  const QIcon& Icon() {
    if (!icon_) icon_ = make_();
    return *icon_;
  }

  std::function<QIcon()> make_;
  std::optional<QIcon> icon_;
};

// Reads a PNG with the built-in reader only.
QPixmap ReadPng(const QString& path) {
  QImageReader reader(path, "png");
  reader.setAutoDetectImageFormat(false);  // else every plugin is asked first
  return QPixmap::fromImage(reader.read());
}

class StartupStyle : public QProxyStyle {
 public:
  // Fusion draws a group box frame from a picture it reads without naming
  // the format; this draws the same picture, read once by name.
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    if (element != PE_FrameGroupBox || baseStyle()->name() != QLatin1String("fusion"))
      return QProxyStyle::drawPrimitive(element, option, painter, widget);
    if (group_box_frame_.isNull())
      group_box_frame_ = ReadPng(QStringLiteral(":/qt-project.org/styles/commonstyle/images/fusion_groupbox.png"));
    // Fusion's geometry for a group box with a title, the only kind here.
    constexpr int kTitleGap = 3;
    const int top = std::max(pixelMetric(PM_ExclusiveIndicatorHeight), option->fontMetrics.height()) + kTitleGap;
    qDrawBorderPixmap(painter, option->rect.adjusted(0, top, 0, 0), QMargins(6, 6, 6, 6), group_box_frame_);
  }

  QIcon standardIcon(StandardPixmap which, const QStyleOption* option, const QWidget* widget) const override {
    if (option) return QProxyStyle::standardIcon(which, option, widget);  // options do not outlive the call
    QPointer<QWidget> for_widget(const_cast<QWidget*>(widget));
    return QIcon(new DeferredIconEngine(
        [this, which, for_widget] { return QProxyStyle::standardIcon(which, nullptr, for_widget.data()); }));
  }

 private:
  mutable QPixmap group_box_frame_;
};

}  // namespace

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) icon.addPixmap(ReadPng(QStringLiteral(":/icons/pixolan-%1.png").arg(size)));
  return icon;
}

QStyle* NewStartupStyle() { return new StartupStyle; }

}  // namespace pixolan
