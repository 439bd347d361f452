// SPDX-License-Identifier: MIT
#include "cli/options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>

namespace pixolan {

const char* const kUsage =
    "Usage: pixolan-encode [PICTURE] [--resolution 132x132|132x176] [--depth 8|12|16]\n"
    "                      [--remove KEY] [-o FILE] [declaration options]\n"
    "\n"
    "Encodes PICTURE (JPEG, BMP, TIFF, PNG, GIF, ...; - reads it from standard\n"
    "input; the built-in test card when omitted) into a C header holding the\n"
    "array Photos, exactly as Pixolan's Encode button does; the declaration\n"
    "options change how the array is declared.\n"
    "\n"
    "  --resolution R  viewport of 132x132 (default) or 132x176 pixels\n"
    "  --depth D       8 (default, RRGGGGBB), 12 or 16 (RGB565) bits per pixel\n"
    "  --remove KEY    leave out samples written as 0xKEY (white: FF, 79EF0, FFFF)\n"
    "  --offset X,Y    encode the picture from pixel X,Y instead of 0,0\n"
    "  -o FILE         where to write (default image.h); - is standard output\n"
    "  --name IDENT    the array's name (default Photos)\n"
    "  --type T        legacy (default: unsigned char/int) or stdint (uint8_t ...)\n"
    "  --static        declare the array static, to include it from several files\n"
    "  --guard         add an include guard and NAME_WIDTH/HEIGHT/COUNT defines\n"
    "  --progmem       place the array in AVR program memory (PROGMEM)\n"
    "  --section NAME  place the array in the linker section NAME\n"
    "  --swap-bytes    16 bits only: low byte first in each value (0xF800 is 0xF8)\n"
    "  --eol E         line breaks crlf (default) or lf\n"
    "  --report        print element count, flash sizes and cut values to stderr\n"
    "  --help          show this help\n"
    "  --version       show the version\n";

namespace {

bool IsIdentifier(const std::string& text) {
  auto letter = [](char c) { return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (text.empty() || !letter(text[0])) return false;
  return std::all_of(text.begin(), text.end(), [&](char c) { return letter(c) || digit(c); });
}

// "image.h" gives IMAGE_H; standard output has no name, so the array's is used.
std::string GuardFor(const std::string& output, const std::string& name) {
  std::string base = output == "-" ? name + ".h" : std::filesystem::path(output).filename().string();
  for (char& c : base) c = std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::toupper(c)) : '_';
  return std::isdigit(static_cast<unsigned char>(base[0])) ? "H_" + base : base;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  CommandLine& cl = parsed.command_line;
  auto fail = [&parsed](std::string message) {
    parsed.error = std::move(message);
    return parsed;
  };

  bool guard = false;
  bool declaration_options = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
    for (const char* option : {"--name", "--type", "--static", "--guard", "--progmem", "--section", "--swap-bytes", "--eol"})
      declaration_options = declaration_options || arg == option;
    if (arg == "--help" || arg == "-h") {
      cl.help = true;
    } else if (arg == "--version") {
      cl.version = true;
    } else if (arg == "--resolution") {
      if (!value(v)) return fail("--resolution needs 132x132 or 132x176");
      const std::optional<float> width = OuterWidthNamed(v);
      if (!width) return fail("unknown resolution '" + v + "': use 132x132 or 132x176");
      cl.outer_width = *width;
    } else if (arg == "--depth") {
      if (!value(v)) return fail("--depth needs 8, 12 or 16");
      const std::optional<ColorDepth> depth = DepthNamed(v);
      if (!depth) return fail("unknown depth '" + v + "': use 8, 12 or 16");
      cl.settings.depth = *depth;
    } else if (arg == "--remove") {
      if (!value(cl.settings.key)) return fail("--remove needs a key, the hex digits of a packed value");
      cl.settings.remove = true;
    } else if (arg == "-o" || arg == "--output") {
      if (!value(cl.output) || cl.output.empty()) return fail(arg + " needs a file name, or - for standard output");
    } else if (arg == "--name") {
      if (!value(v) || !IsIdentifier(v)) return fail("--name needs a C identifier (letters, digits, _; not a digit first)");
      cl.header.name = v;
    } else if (arg == "--type") {
      if (!value(v)) return fail("--type needs legacy or stdint");
      if (v == "legacy") cl.header.form = ElementForm::Legacy;
      else if (v == "stdint") cl.header.form = ElementForm::Stdint;
      else return fail("unknown type '" + v + "': use legacy or stdint");
    } else if (arg == "--static") {
      cl.header.is_static = true;
    } else if (arg == "--guard") {
      guard = true;
    } else if (arg == "--progmem") {
      cl.header.progmem = true;
    } else if (arg == "--section") {
      if (!value(v) || v.empty() || v.find_first_of("\"\\ \t\r\n") != std::string::npos)
        return fail("--section needs a section name without quotes, backslashes or spaces");
      cl.header.section = v;
    } else if (arg == "--swap-bytes") {
      cl.header.swap_bytes = true;
    } else if (arg == "--eol") {
      if (!value(v)) return fail("--eol needs crlf or lf");
      if (v == "crlf" || v == "lf") cl.header.lf = v == "lf";
      else return fail("unknown line break '" + v + "': use crlf or lf");
    } else if (arg == "--offset") {
      const char* end = nullptr;
      if (value(v)) {
        const char* last = v.data() + v.size();
        auto [x_end, x_error] = std::from_chars(v.data(), last, cl.offset_x);
        if (x_error == std::errc() && x_end != last && *x_end == ',') {
          auto [y_end, y_error] = std::from_chars(x_end + 1, last, cl.offset_y);
          if (y_error == std::errc()) end = y_end;
        }
        if (end != last || cl.offset_x < 0 || cl.offset_y < 0) end = nullptr;
      }
      if (!end) return fail("--offset needs X,Y: two pixel numbers, 0 or more, such as 40,16");
    } else if (arg == "--report") {
      cl.report = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return fail("unknown option '" + arg + "'");
    } else if (cl.picture) {
      return fail("only one picture can be encoded at a time");
    } else {
      cl.picture = arg;
    }
  }
  // Files for firmware builds end with a line break; the window's never did.
  cl.header.final_break = declaration_options;
  if (cl.header.progmem && !cl.header.section.empty()) return fail("--progmem and --section cannot both place the array");
  if (cl.header.swap_bytes && cl.settings.depth != ColorDepth::Depth16) return fail("--swap-bytes needs --depth 16");
  if ((cl.offset_x || cl.offset_y) && !cl.picture) return fail("--offset needs a PICTURE");
  if (guard) cl.header.guard = GuardFor(cl.output, cl.header.name);
  return parsed;
}

Region VisibleRegion(const CommandLine& cl, const Viewport& viewport) {
  return {cl.offset_x, cl.offset_y, viewport.DrawingWidth(), viewport.DrawingHeight()};
}

std::string AfterRunText(const CommandLine& cl, const HeaderStats& stats) {
  std::string out;
  if (cl.settings.remove) {
    const std::string warning = KeyWarning(cl.settings.depth, cl.settings.key);
    if (!warning.empty()) out += "pixolan-encode: warning: " + warning + "\n";
    else if (stats.matched == 0) out += "pixolan-encode: warning: no sample matched the key\n";
  }
  if (cl.report) out += ReportText(stats, cl.settings.depth, cl.header.form);
  return out;
}

}  // namespace pixolan
