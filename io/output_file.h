// SPDX-License-Identifier: MIT
#pragma once
// Writing image.h so that no way of naming it, no failure, signal or power
// cut costs the user a file they had.

#include <string>
#include <string_view>

namespace pixolan {

struct SaveResult {
  /// What went wrong, as one sentence naming the path; empty on success.
  std::string error;
  /// On failure: a regular file was there and was left untouched.
  bool earlier_file_kept = false;
  /// On success: what the user should still know (hard links left behind).
  std::string warning;
  bool Ok() const { return error.empty(); }
};

/// Writes content to an open descriptor as it is; name goes into the error.
SaveResult WriteDescriptor(int fd, const std::string& name, std::string_view content);

/// What SaveFile may write to: anything below, or only a regular file or a
/// new name (where waiting on a pipe's reader would freeze a window).
enum class Targets { Any, RegularFiles };

/// Replaces the file at path with content.
///  - /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N write to that
///    open descriptor with WriteDescriptor.
///  - Symbolic links are followed; the file they lead to is replaced (or
///    created), the links stay.
///  - A regular file (or a new one) is written to a temporary file beside it,
///    flushed to disk, and renamed over it only when complete, keeping its
///    permissions, its ACL and user.* attributes and, where allowed, its
///    owner and group. On failure the old file stays and no temporary file is
///    left: the temporary file is unnamed until complete where the file
///    system allows, else removed on a signal (see signal_cleanup.h).
///  - A read-only file is never replaced.
///  - A pipe, terminal or device is written to directly; with
///    Targets::RegularFiles it is refused, and so is a descriptor that is not
///    a regular file.
SaveResult SaveFile(const std::string& path, std::string_view content, Targets targets = Targets::Any);

}  // namespace pixolan
