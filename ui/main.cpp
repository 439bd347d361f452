#include <QApplication>
#include <QIcon>

#include "main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Pixolan"));
  QApplication::setDesktopFileName(QStringLiteral("pixolan"));
  QIcon icon;
  for (int size : {16, 32, 48}) icon.addFile(QStringLiteral(":/icons/pixolan-%1.png").arg(size), QSize(size, size));
  QApplication::setWindowIcon(icon);

  pixolan::frmMain window;
  window.show();
  return app.exec();
}
