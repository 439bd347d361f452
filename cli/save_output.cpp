// SPDX-License-Identifier: MIT
#include "cli/save_output.h"

#include <unistd.h>

namespace pixolan {

SaveResult SaveOutput(const std::string& output, std::string_view content) {
  if (output == "-") return WriteDescriptor(STDOUT_FILENO, "standard output", content);
  return SaveFile(output, content);
}

}  // namespace pixolan
