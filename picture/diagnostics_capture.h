#pragma once
// Decoders explain failures in Qt warnings or straight on stderr (libtiff,
// libpng); this collects both while a picture is read.

#include <QString>
#include <QStringList>

namespace pixolan {

class DiagnosticsCapture {
 public:
  DiagnosticsCapture();
  ~DiagnosticsCapture();
  DiagnosticsCapture(const DiagnosticsCapture&) = delete;
  DiagnosticsCapture& operator=(const DiagnosticsCapture&) = delete;

  /// Stops capturing and returns what was said, one message a line.
  QStringList Finish();

  /// The line that best explains a failure: an error before anything else,
  /// then anything that is not a mere warning. Empty when nothing was said.
  static QString MostSpecific(const QStringList& lines);

 private:
  int saved_stderr_ = -1;
  int capture_fd_ = -1;
  bool finished_ = false;
};

}  // namespace pixolan
