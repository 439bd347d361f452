// SPDX-License-Identifier: MIT
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <csignal>
#include <string_view>

#include "picture/picture_loader.h"
#include "ui/main_window.h"
#include "io/signal_cleanup.h"
#include "io/descriptor.h"
#include "ui/startup_style.h"
#include "pixolan_version.h"

namespace {

const char* const kUsage =
    "Usage: pixolan [Qt options]\n"
    "\n"
    "Shows Pixolan's window: load a picture, choose the resolution and colour\n"
    "depth, and Encode it into image.h, a C header holding the array Photos.\n"
    "pixolan-encode does the same from the command line. Qt's own options,\n"
    "such as -platform NAME, are passed on to Qt.\n"
    "\n"
    "  --help          show this help\n"
    "  --version       show the version\n";

// Answered before Qt starts: they need no display.
bool AnsweredOnCommandLine(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const char* answer = arg == "--help" ? kUsage : arg == "--version" ? "pixolan " PIXOLAN_VERSION "\n" : nullptr;
    if (answer) {
      (void)pixolan::WriteAll(STDOUT_FILENO, answer);
      return true;
    }
  }
  return false;
}

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
  if (AnsweredOnCommandLine(argc, argv)) return 0;
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
  if (qEnvironmentVariableIsSet("PIXOLAN_QUIT_AFTER_FIRST_PAINT"))
    window.installEventFilter(new FirstPaintQuitter(&app));
  window.show();
  const int status = app.exec();
  // A load still waiting on its decoder would hold the exit up.
  pixolan::EndRunningDecoders();
  return status;
}
