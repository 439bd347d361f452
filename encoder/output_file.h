#pragma once
// Writing image.h so that a failed write never costs the user the file they had.

#include <string>
#include <string_view>

namespace pixolan {

/// What went wrong, as one sentence naming the path; empty on success.
struct SaveResult {
  std::string error;
  bool ok() const { return error.empty(); }
};

/// Replaces the file at path with content.
///  - A regular file (or a new one) is written to a temporary file beside it
///    and renamed over it only when complete; on failure the old file stays
///    and no temporary file is left.
///  - A read-only file is never replaced.
///  - A pipe, terminal or device is written to directly.
///  - "-" writes to standard output.
SaveResult SaveFile(const std::string& path, std::string_view content);

}  // namespace pixolan
