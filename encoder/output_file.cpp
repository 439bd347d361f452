#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace pixolan {
namespace {

SaveResult Failure(const std::string& path, const std::string& reason) {
  return {"Could not write " + path + ": " + reason + "."};
}

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t n = ::write(fd, content.data(), content.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

SaveResult WriteStraight(int fd, const std::string& path, std::string_view content) {
  if (!WriteAll(fd, content)) return Failure(path, std::strerror(errno));
  return {};
}

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Writing through a symbolic link keeps the link and replaces what it points to.
std::string ResolveLink(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

bool IsReadOnly(const std::string& path, const struct stat& st) {
  // No write bit at all counts as read-only even for root, who may write anyway.
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0;
}

mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

SaveResult SaveFile(const std::string& path, std::string_view content) {
  if (path == "-") return WriteStraight(STDOUT_FILENO, "standard output", content);

  const std::string target = ResolveLink(path);
  mode_t mode = NewFileMode();
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return Failure(path, "it is a directory");
    if (!S_ISREG(st.st_mode)) {
      const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
      if (fd < 0) return Failure(path, std::strerror(errno));
      SaveResult result = WriteStraight(fd, path, content);
      ::close(fd);
      return result;
    }
    if (IsReadOnly(target, st)) return {path + " is read-only, so it was not replaced."};
    mode = st.st_mode & 07777;
  }

  std::string temp = DirectoryOf(target) + "/." + BaseNameOf(target) + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return Failure(path, std::strerror(errno));

  // ext4 and the like flush a file renamed over an existing one, so no fsync:
  // a run stays well under a millisecond.
  bool written = WriteAll(fd, content) && ::fchmod(fd, mode) == 0;
  int saved_errno = errno;
  if (::close(fd) != 0 && written) {
    written = false;
    saved_errno = errno;
  }
  if (written && ::rename(temp.c_str(), target.c_str()) == 0) return {};
  if (written) saved_errno = errno;
  ::unlink(temp.c_str());
  return Failure(path, std::strerror(saved_errno));
}

}  // namespace pixolan
