// SPDX-License-Identifier: MIT
#include "io/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "io/signal_cleanup.h"
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
  std::string path;               // not a symbolic link; may not exist yet
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
  if (elsewhere > 0)
    names.push_back(std::to_string(elsewhere) + (elsewhere == 1 ? " link" : " links") + " in other directories");
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
  return path + " had other hard links, which still hold the earlier content: " + list + ".";
}

constexpr const char* kAclAttribute = "system.posix_acl_access";

// The permissions the owning group has under a POSIX ACL (its group:: entry);
// the group bits of the mode show the mask, which may be more.
mode_t AclGroupBits(const std::string& acl) {
  // A version word, then 8-byte entries: tag, permissions, id.
  constexpr std::uint16_t kGroupObject = 0x04;
  for (std::size_t at = 4; at + 8 <= acl.size(); at += 8) {
    std::uint16_t tag = 0, permissions = 0;
    std::memcpy(&tag, acl.data() + at, 2);
    std::memcpy(&permissions, acl.data() + at + 2, 2);
    if (tag == kGroupObject) return (permissions & 07) << 3;
  }
  return 0;
}

std::optional<std::string> Attribute(const std::string& path, const char* name) {
  for (;;) {
    const ssize_t size = ::getxattr(path.c_str(), name, nullptr, 0);
    if (size < 0) return std::nullopt;
    std::string value(static_cast<std::size_t>(size), '\0');
    const ssize_t got = ::getxattr(path.c_str(), name, value.data(), value.size());
    if (got >= 0) return value.substr(0, static_cast<std::size_t>(got));
    if (errno != ERANGE) return std::nullopt;  // ERANGE: it grew in between
  }
}

// Gives fd the ACL and the user attributes of the file at from, and no ACL
// where from has none (one inherited from the directory could grant more
// than the mode says). What cannot be kept is named in the returned warning;
// a lost ACL leaves the owning group no more than its own entry gave it.
std::string KeepAttributes(const std::string& path, const std::string& from, int fd, mode_t mode) {
  std::string names(4096, '\0');
  ssize_t size;
  while ((size = ::listxattr(from.c_str(), names.data(), names.size())) < 0 && errno == ERANGE)
    names.resize(names.size() * 2);
  names.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
  bool had_acl = false;
  std::string lost;
  int reason = 0;
  for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
    const std::string name = names.c_str() + at;
    const bool acl = name == kAclAttribute;
    if (!acl && !name.starts_with("user.")) continue;
    had_acl = had_acl || acl;
    const std::optional<std::string> value = Attribute(from, name.c_str());
    if (value && ::fsetxattr(fd, name.c_str(), value->data(), value->size(), 0) == 0) continue;
    reason = errno;
    lost += (lost.empty() ? "" : ", ") + (acl ? std::string("access control list") : name);
    if (acl) (void)::fchmod(fd, (mode & ~mode_t{070}) | (mode & AclGroupBits(value.value_or(""))));
  }
  if (!had_acl) (void)::fremovexattr(fd, kAclAttribute);
  if (lost.empty()) return {};
  return path + " was written without its " + lost + ": " + std::strerror(reason) + ".";
}

// A name for the temporary file that is not there yet, beside target.
std::string UnusedSibling(const std::string& target, int attempt) {
  return Sibling(target, "." + BaseNameOf(target) + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt));
}

// Links the unnamed file at fd in under a temporary name (it stays there only
// until the rename); false with errno set.
bool LinkUnnamed(int fd, const std::string& target, std::string& temp) {
  const std::string fd_path = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = UnusedSibling(target, attempt);
    if (::linkat(AT_FDCWD, fd_path.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno != EEXIST) return false;
  }
  return false;
}

SaveResult ReplaceRegularFile(const std::string& path, const std::string& target, const struct stat* old,
                              std::string_view content) {
  const bool kept = old != nullptr;
  // An unnamed file, linked in only when complete, is never left behind, not
  // even by SIGKILL; a named one is removed on a signal that can be caught.
  int fd = ::open(Sibling(target, ".").c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  const bool unnamed = fd >= 0;
  std::string temp;
  std::optional<PendingFile> pending;
  if (!unnamed) {
    const SignalHold hold;
    temp = Sibling(target, "." + BaseNameOf(target) + ".XXXXXX");
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

  // Root may give the file back to its owner; anyone may keep a group they
  // are in. Where the group cannot be kept, the new group gets no more than
  // everyone else had: its members are other people.
  bool group_kept = true;
  if (old && ::fchown(fd, old->st_uid, old->st_gid) != 0)
    group_kept = ::fchown(fd, static_cast<uid_t>(-1), old->st_gid) == 0;
  // After fchown, which clears set-user-ID and set-group-ID bits.
  mode_t mode = old ? old->st_mode & 07777 : NewFileMode();
  if (!group_kept) mode = (mode & ~mode_t{02070}) | ((mode & 07) << 3);
  bool written = WriteAll(fd, content) && ::fchmod(fd, mode) == 0;
  const std::string attributes_warning = written && old ? KeepAttributes(path, target, fd, mode) : "";
  written = written && ::fsync(fd) == 0;
  int error = errno;
  {
    const SignalHold hold;
    if (written && unnamed) {
      written = LinkUnnamed(fd, target, temp);
      error = errno;
      if (written) pending.emplace(temp.c_str());
    }
    if (::close(fd) != 0 && written) {
      written = false;
      error = errno;
    }
    if (written && ::rename(temp.c_str(), target.c_str()) != 0) {
      written = false;
      error = errno;
    }
    if (!written && pending) ::unlink(temp.c_str());
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
  result.warning = attributes_warning;
  if (!group_kept)
    result.warning += (result.warning.empty() ? "" : "\n") + path + " was written without its group (" +
                      std::to_string(old->st_gid) +
                      "), which only its members may give; the new group may do no more than others.";
  if (old && old->st_nlink > 1)
    result.warning += (result.warning.empty() ? "" : "\n") + OtherLinksWarning(path, target, *old);
  return result;
}

}  // namespace

SaveResult WriteDescriptor(int fd, const std::string& name, std::string_view content) {
  if (!WriteAll(fd, content)) return Failure(name, errno);
  return {};
}

SaveResult SaveFile(const std::string& path, std::string_view content, Targets targets) {
  const Destination destination = Resolve(path);
  if (destination.error != 0) return Failure(path, destination.error);
  const SaveResult not_regular{"Could not write " + path + ": not a regular file.", false, {}};
  if (destination.descriptor) {
    struct stat st {};
    if (targets == Targets::RegularFiles && (::fstat(*destination.descriptor, &st) != 0 || !S_ISREG(st.st_mode)))
      return not_regular;
    return WriteDescriptor(*destination.descriptor, path, content);
  }

  const std::string& target = destination.path;
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0) {
    if (errno != ENOENT) return Failure(path, errno);
    return ReplaceRegularFile(path, target, nullptr, content);
  }
  if (S_ISDIR(st.st_mode)) return {"Could not write " + path + ": it is a directory.", false, {}};
  if (!S_ISREG(st.st_mode)) {
    if (targets == Targets::RegularFiles) return not_regular;
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
