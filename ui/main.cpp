#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <csignal>

#include "main_window.h"
#include "signal_cleanup.h"

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
  QIcon icon;
  for (int size : {16, 32, 48}) icon.addFile(QStringLiteral(":/icons/pixolan-%1.png").arg(size), QSize(size, size));
  QApplication::setWindowIcon(icon);

  pixolan::frmMain window;
  // Start-up measurements quit as soon as the window has painted once.
  if (qEnvironmentVariableIsSet("PIXOLAN_QUIT_AFTER_FIRST_PAINT")) window.installEventFilter(new FirstPaintQuitter(&app));
  window.show();
  return app.exec();
}
