// SPDX-License-Identifier: MIT
#include "cli/save_output.h"

#include <sys/stat.h>
#include <unistd.h>

namespace pixolan {

SaveResult SaveOutput(const std::string& output, std::string_view content) {
  if (output == "-") return WriteDescriptor(STDOUT_FILENO, "standard output", content);
  return SaveFile(output, content);
}

bool IsSameFile(const std::string& picture, const std::string& output) {
  struct stat in {
  }, out{};
  if (output == "-" || ::stat(output.c_str(), &out) != 0) return false;
  if ((picture == "-" ? ::fstat(STDIN_FILENO, &in) : ::stat(picture.c_str(), &in)) != 0) return false;
  return S_ISREG(in.st_mode) && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

}  // namespace pixolan
