#include "diagnostics_capture.h"

#include <sys/mman.h>
#include <unistd.h>

#include <QRegularExpression>
#include <QtGlobal>
#include <cstdio>

namespace pixolan {
namespace {

QStringList* g_qt_messages = nullptr;
QtMessageHandler g_previous_handler = nullptr;

void CollectMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
  if (g_qt_messages) g_qt_messages->append(message);
}

}  // namespace

DiagnosticsCapture::DiagnosticsCapture() {
  static QStringList messages;
  messages.clear();
  g_qt_messages = &messages;
  g_previous_handler = qInstallMessageHandler(CollectMessage);

  std::fflush(stderr);
  capture_fd_ = ::memfd_create("pixolan-decoder-messages", MFD_CLOEXEC);
  if (capture_fd_ >= 0) {
    saved_stderr_ = ::dup(STDERR_FILENO);
    if (saved_stderr_ < 0 || ::dup2(capture_fd_, STDERR_FILENO) < 0) {
      ::close(capture_fd_);
      capture_fd_ = -1;
    }
  }
}

DiagnosticsCapture::~DiagnosticsCapture() { Finish(); }

QStringList DiagnosticsCapture::Finish() {
  if (finished_) return {};
  finished_ = true;
  qInstallMessageHandler(g_previous_handler);
  QStringList lines = *g_qt_messages;
  g_qt_messages = nullptr;

  if (capture_fd_ >= 0) {
    std::fflush(stderr);
    ::dup2(saved_stderr_, STDERR_FILENO);
    ::close(saved_stderr_);
    QByteArray said;
    char buffer[4096];
    ssize_t n;
    ::lseek(capture_fd_, 0, SEEK_SET);
    while ((n = ::read(capture_fd_, buffer, sizeof buffer)) > 0 && said.size() < 65536) said.append(buffer, n);
    ::close(capture_fd_);
    for (const QByteArray& line : said.split('\n'))
      if (!line.trimmed().isEmpty()) lines.append(QString::fromLocal8Bit(line.trimmed()));
  }
  return lines;
}

QString DiagnosticsCapture::MostSpecific(const QStringList& lines) {
  // Qt's TIFF reader names every stream "foo"; that name means nothing here.
  static const QRegularExpression placeholder(QStringLiteral("\\bfoo: "));
  QString fallback;
  for (QString line : lines) {
    line.remove(placeholder);
    if (line.contains(QLatin1String("error"), Qt::CaseInsensitive)) return line;
    if (fallback.isEmpty() && !line.contains(QLatin1String("warning"), Qt::CaseInsensitive)) fallback = line;
  }
  return fallback;
}

}  // namespace pixolan
