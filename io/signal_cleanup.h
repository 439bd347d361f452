// SPDX-License-Identifier: MIT
#pragma once
// A run cut short by Ctrl+C, a closed terminal or a kill leaves no temporary
// file behind.

#include <signal.h>

namespace pixolan {

/// Makes SIGINT, SIGTERM and SIGHUP remove the pending temporary file, if
/// any, before the program ends with that signal. A signal that was set to be
/// ignored (nohup) stays ignored. Called once from main().
void InstallSignalCleanup();

/// Registers a temporary file for removal by the handlers above while the
/// object lives. The path must outlive the object; one at a time.
class PendingFile {
 public:
  explicit PendingFile(const char* path);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
};

/// Holds those signals back while it lives, so that creating a temporary file
/// and registering it (or renaming it and letting go) happen as one step.
class SignalHold {
 public:
  SignalHold();
  ~SignalHold();
  SignalHold(const SignalHold&) = delete;
  SignalHold& operator=(const SignalHold&) = delete;

 private:
  sigset_t saved_;
};

}  // namespace pixolan
