// SPDX-License-Identifier: MIT
#include "io/signal_cleanup.h"

#include <unistd.h>

#include <atomic>

namespace pixolan {
namespace {

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Read by the handler, so a lock-free pointer rather than a string.
std::atomic<const char*> pending_path{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free);

sigset_t CleanupSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kCleanupSignals) sigaddset(&set, signal);
  return set;
}

// Only async-signal-safe calls. The signal stays blocked until the handler
// returns, so the raise takes effect then, with the default action.
void RemovePendingAndDie(int signal) {
  if (const char* path = pending_path.exchange(nullptr)) ::unlink(path);
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  ::sigaction(signal, &default_action, nullptr);
  ::raise(signal);
}

}  // namespace

void InstallSignalCleanup() {
  struct sigaction action {};
  action.sa_handler = RemovePendingAndDie;
  action.sa_mask = CleanupSet();
  for (int signal : kCleanupSignals) {
    struct sigaction previous {};
    ::sigaction(signal, nullptr, &previous);
    if (previous.sa_handler != SIG_IGN) ::sigaction(signal, &action, nullptr);
  }
}

PendingFile::PendingFile(const char* path) { pending_path.store(path); }

PendingFile::~PendingFile() { pending_path.store(nullptr); }

SignalHold::SignalHold() {
  const sigset_t set = CleanupSet();
  ::pthread_sigmask(SIG_BLOCK, &set, &saved_);
}

SignalHold::~SignalHold() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

}  // namespace pixolan
