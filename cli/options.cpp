#include "options.h"

namespace pixolan {

const char* const kUsage =
    "Usage: pixolan-encode [PICTURE] [--resolution 132x132|132x176] [--depth 8|12|16]\n"
    "                      [--remove KEY] [-o FILE]\n"
    "\n"
    "Encodes PICTURE (JPEG, BMP, TIFF, PNG, GIF, ...; - reads it from standard\n"
    "input; the built-in test card when omitted) into a C header holding the\n"
    "array Photos, exactly as Pixolan's Encode button does.\n"
    "\n"
    "  --resolution R  viewport of 132x132 (default) or 132x176 pixels\n"
    "  --depth D       8 (default, RRGGGGBB), 12 or 16 (RGB565) bits per pixel\n"
    "  --remove KEY    leave out samples whose packed value in hex digits is KEY,\n"
    "                  compared verbatim (white is FF, 79EF0 or FFFF at 8, 12, 16)\n"
    "  -o FILE         where to write (default image.h); - is standard output\n"
    "  --help          show this help\n"
    "  --version       show the version\n";

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  CommandLine& cl = parsed.command_line;
  auto fail = [&parsed](std::string message) {
    parsed.error = std::move(message);
    return parsed;
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      cl.help = true;
    } else if (arg == "--version") {
      cl.version = true;
    } else if (arg == "--resolution") {
      if (!value(v)) return fail("--resolution needs 132x132 or 132x176");
      if (v == "132x132") cl.outer_width = kNarrowWidthTwips;
      else if (v == "132x176") cl.outer_width = kWideWidthTwips;
      else return fail("unknown resolution '" + v + "': use 132x132 or 132x176");
    } else if (arg == "--depth") {
      if (!value(v)) return fail("--depth needs 8, 12 or 16");
      if (v == "8") cl.settings.depth = ColorDepth::Depth8;
      else if (v == "12") cl.settings.depth = ColorDepth::Depth12;
      else if (v == "16") cl.settings.depth = ColorDepth::Depth16;
      else return fail("unknown depth '" + v + "': use 8, 12 or 16");
    } else if (arg == "--remove") {
      if (!value(cl.settings.key)) return fail("--remove needs a key, the hex digits of a packed value");
      cl.settings.remove = true;
    } else if (arg == "-o" || arg == "--output") {
      if (!value(cl.output) || cl.output.empty()) return fail(arg + " needs a file name, or - for standard output");
    } else if (arg.size() > 1 && arg[0] == '-') {
      return fail("unknown option '" + arg + "'");
    } else if (cl.picture) {
      return fail("only one picture can be encoded at a time");
    } else {
      cl.picture = arg;
    }
  }
  return parsed;
}

}  // namespace pixolan
