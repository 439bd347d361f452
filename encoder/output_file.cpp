// SPDX-License-Identifier: MIT
#include "encoder/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>
#include <vector>

#include "encoder/signal_cleanup.h"
#include "io/descriptor.h"

namespace pixolan {
namespace {

// As many links as Linux follows in one path.
constexpr int kMaxLinks = 40;

SaveResult Failure(const std::string& what, int error, bool kept = false) {
  return {"Could not write " + what + ": " + std::strerror(error) + ".", kept, {}};
}

// The entry called name in path's directory, spelt the way path is.
std::string Sibling(const std::string& path, const std::string& name) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? name : path.substr(0, slash + 1) + name;
}

std::string BaseNameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) {
    char cwd[4096];
    return ::getcwd(cwd, sizeof cwd) ? cwd : ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The descriptor a path such as /dev/fd/1 names (/dev/stdout and /dev/stderr
// are links to /proc/self/fd/N). Opening it instead would reach the file
// behind it and lose its append mode, or replace that file outright.
std::optional<int> DescriptorOf(const std::string& path) {
  std::string_view number;
  for (const std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    if (path.starts_with(prefix)) number = std::string_view(path).substr(prefix.size());
  }
  if (number.empty()) return std::nullopt;
  int fd = -1;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), fd);
  if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
  return fd;
}

struct Destination {
  std::string path;              // not a symbolic link; may not exist yet
  std::optional<int> descriptor;  // set when the path names an open descriptor
  int error = 0;
};

// Follows symbolic links one at a time, so that a link to a file not yet
// there leads to creating that file, and a link to /dev/stdout to fd 1.
Destination Resolve(const std::string& path) {
  std::string current = path;
  for (int hops = 0;; ++hops) {
    if (const auto fd = DescriptorOf(current)) return {current, fd, 0};
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0) return {current, std::nullopt, errno == ENOENT ? 0 : errno};
    if (!S_ISLNK(st.st_mode)) return {current, std::nullopt, 0};
    if (hops == kMaxLinks) return {current, std::nullopt, ELOOP};
    std::vector<char> link(4096);
    const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
    if (n < 0) return {current, std::nullopt, errno};
    if (static_cast<std::size_t>(n) == link.size()) return {current, std::nullopt, ENAMETOOLONG};
    const std::string target(link.data(), static_cast<std::size_t>(n));
    current = target.starts_with('/') ? target : Sibling(current, target);
  }
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

// Renaming over a file with other hard links leaves them on the old content;
// names those in the same directory and counts the rest.
std::string OtherLinksWarning(const std::string& path, const std::string& target, const struct stat& old) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(Sibling(target, ".").c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      struct stat st {};
      if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_dev == old.st_dev &&
          st.st_ino == old.st_ino)
        names.push_back(Sibling(target, entry->d_name));
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  const std::size_t others = old.st_nlink - 1;
  const std::size_t elsewhere = others > names.size() ? others - names.size() : 0;
  if (elsewhere > 0) names.push_back(std::to_string(elsewhere) + (elsewhere == 1 ? " link" : " links") + " in other directories");
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
  return path + " had other hard links, which still hold the earlier content: " + list + ".";
}

SaveResult ReplaceRegularFile(const std::string& path, const std::string& target, const struct stat* old,
                              std::string_view content) {
  const bool kept = old != nullptr;
  std::string temp = Sibling(target, "." + BaseNameOf(target) + ".XXXXXX");
  int fd = -1;
  std::optional<PendingFile> pending;
  {
    const SignalHold hold;
    fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd >= 0) pending.emplace(temp.c_str());
  }
  if (fd < 0) {
    const int error = errno;
    // An existing directory that cannot take a new file is the thing to name.
    struct stat dir {};
    const std::string directory = DirectoryOf(target);
    const bool is_dir = ::stat(directory.c_str(), &dir) == 0 && S_ISDIR(dir.st_mode);
    return Failure(is_dir ? directory : path, error, kept);
  }

  if (old) {
    // Root may give the file back to its owner; anyone may keep a group they are in.
    // Neither is an error: the file is written either way.
    if (::fchown(fd, old->st_uid, old->st_gid) != 0 && ::fchown(fd, static_cast<uid_t>(-1), old->st_gid) != 0) {
    }
  }
  // After fchown, which clears set-user-ID and set-group-ID bits.
  bool written = WriteAll(fd, content) && ::fchmod(fd, old ? old->st_mode & 07777 : NewFileMode()) == 0 &&
                 ::fsync(fd) == 0;
  int error = errno;
  if (::close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  {
    const SignalHold hold;
    if (written && ::rename(temp.c_str(), target.c_str()) != 0) {
      written = false;
      error = errno;
    }
    if (!written) ::unlink(temp.c_str());
    pending.reset();
  }
  if (!written) return Failure(path, error, kept);

  // The rename itself reaches the disk only with its directory. The file is
  // in place either way, so a failure here changes nothing to report.
  const int dir_fd = ::open(Sibling(target, ".").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    (void)::fsync(dir_fd);
    ::close(dir_fd);
  }
  SaveResult result;
  if (old && old->st_nlink > 1) result.warning = OtherLinksWarning(path, target, *old);
  return result;
}

}  // namespace

SaveResult WriteDescriptor(int fd, const std::string& name, std::string_view content) {
  if (!WriteAll(fd, content)) return Failure(name, errno);
  return {};
}

SaveResult SaveFile(const std::string& path, std::string_view content) {
  const Destination destination = Resolve(path);
  if (destination.error != 0) return Failure(path, destination.error);
  if (destination.descriptor) return WriteDescriptor(*destination.descriptor, path, content);

  const std::string& target = destination.path;
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0) {
    if (errno != ENOENT) return Failure(path, errno);
    return ReplaceRegularFile(path, target, nullptr, content);
  }
  if (S_ISDIR(st.st_mode)) return {"Could not write " + path + ": it is a directory.", false, {}};
  if (!S_ISREG(st.st_mode)) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return Failure(path, errno);
    SaveResult result = WriteDescriptor(fd, path, content);
    ::close(fd);
    return result;
  }
  if (IsReadOnly(target, st)) return {path + " is read-only, so it was not replaced.", true, {}};
  return ReplaceRegularFile(path, target, &st, content);
}

}  // namespace pixolan
