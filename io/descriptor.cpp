// SPDX-License-Identifier: MIT
#include "io/descriptor.h"

#include <unistd.h>

#include <cerrno>

namespace pixolan {

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;  // nothing taken and no reason given: stop rather than spin
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

int ReadAll(int fd, std::size_t limit, std::string& out) {
  char buffer[65536];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    out.append(buffer, static_cast<std::size_t>(n));
    if (out.size() > limit) return EFBIG;
  }
  return 0;
}

}  // namespace pixolan
