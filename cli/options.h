#pragma once
// Command-line options of pixolan-encode.

#include <optional>
#include <string>
#include <vector>

#include "header_format.h"

namespace pixolan {

struct CommandLine {
  std::optional<std::string> picture;  // none: the built-in sample
  float outer_width = kNarrowWidthTwips;
  EncodeSettings settings;             // the window's initial settings
  std::string output = "image.h";      // "-" is standard output
  bool help = false;
  bool version = false;
};

struct ParsedCommandLine {
  CommandLine command_line;
  std::string error;  // empty when the arguments made sense
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

extern const char* const kUsage;

}  // namespace pixolan
