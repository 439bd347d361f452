// SPDX-License-Identifier: MIT
#pragma once
// Where the command-line programs write: a file, or standard output for "-".

#include <string>
#include <string_view>

#include "io/output_file.h"

namespace pixolan {

/// SaveFile(output, content), except that "-" is standard output.
SaveResult SaveOutput(const std::string& output, std::string_view content);

/// Whether output names the regular file picture is read from (standard
/// input for "-"), however either is spelt: links, other hard links.
bool IsSameFile(const std::string& picture, const std::string& output);

}  // namespace pixolan
