// SPDX-License-Identifier: MIT
#include <QApplication>
#include <QEvent>
#include <csignal>

#include "picture/picture_loader.h"
#include "ui/main_window.h"
#include "encoder/signal_cleanup.h"
#include "ui/startup_style.h"

namespace {

class FirstPaintQuitter : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  // A file-size limit should fail the write with a message, not kill the window.
  std::signal(SIGXFSZ, SIG_IGN);
  pixolan::InstallSignalCleanup();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Pixolan"));
  QApplication::setDesktopFileName(QStringLiteral("org.example.Pixolan"));
  QApplication::setStyle(pixolan::NewStartupStyle());
  QApplication::setWindowIcon(pixolan::ProgramIcon());

  pixolan::frmMain window;
  // Start-up measurements quit as soon as the window has painted once.
  if (qEnvironmentVariableIsSet("PIXOLAN_QUIT_AFTER_FIRST_PAINT")) window.installEventFilter(new FirstPaintQuitter(&app));
  window.show();
  const int status = app.exec();
  // A load still waiting on its decoder would hold the exit up.
  pixolan::EndRunningDecoders();
  return status;
}
