// SPDX-License-Identifier: MIT
#include "cli/options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <set>

#include "cli/option_table.h"

namespace pixolan {

namespace {

bool IsIdentifier(const std::string& text) {
  auto letter = [](char c) { return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (text.empty() || !letter(text[0])) return false;
  return std::all_of(text.begin(), text.end(), [&](char c) { return letter(c) || digit(c); });
}

// Words C (C23) or C++ (C++23) keep for themselves: an array so named cannot compile.
bool IsKeyword(const std::string& word) {
  static const std::set<std::string, std::less<>> kKeywords = {"alignas",
                                                               "alignof",
                                                               "and",
                                                               "and_eq",
                                                               "asm",
                                                               "auto",
                                                               "bitand",
                                                               "bitor",
                                                               "bool",
                                                               "break",
                                                               "case",
                                                               "catch",
                                                               "char",
                                                               "char8_t",
                                                               "char16_t",
                                                               "char32_t",
                                                               "class",
                                                               "co_await",
                                                               "co_return",
                                                               "co_yield",
                                                               "compl",
                                                               "concept",
                                                               "const",
                                                               "consteval",
                                                               "constexpr",
                                                               "constinit",
                                                               "const_cast",
                                                               "continue",
                                                               "decltype",
                                                               "default",
                                                               "delete",
                                                               "do",
                                                               "double",
                                                               "dynamic_cast",
                                                               "else",
                                                               "enum",
                                                               "explicit",
                                                               "export",
                                                               "extern",
                                                               "false",
                                                               "float",
                                                               "for",
                                                               "friend",
                                                               "goto",
                                                               "if",
                                                               "inline",
                                                               "int",
                                                               "long",
                                                               "mutable",
                                                               "namespace",
                                                               "new",
                                                               "noexcept",
                                                               "not",
                                                               "not_eq",
                                                               "nullptr",
                                                               "operator",
                                                               "or",
                                                               "or_eq",
                                                               "private",
                                                               "protected",
                                                               "public",
                                                               "register",
                                                               "reinterpret_cast",
                                                               "requires",
                                                               "restrict",
                                                               "return",
                                                               "short",
                                                               "signed",
                                                               "sizeof",
                                                               "static",
                                                               "static_assert",
                                                               "static_cast",
                                                               "struct",
                                                               "switch",
                                                               "template",
                                                               "this",
                                                               "thread_local",
                                                               "throw",
                                                               "true",
                                                               "try",
                                                               "typedef",
                                                               "typeid",
                                                               "typename",
                                                               "typeof",
                                                               "typeof_unqual",
                                                               "union",
                                                               "unsigned",
                                                               "using",
                                                               "virtual",
                                                               "void",
                                                               "volatile",
                                                               "wchar_t",
                                                               "while",
                                                               "xor",
                                                               "xor_eq",
                                                               "_Alignas",
                                                               "_Alignof",
                                                               "_Atomic",
                                                               "_BitInt",
                                                               "_Bool",
                                                               "_Complex",
                                                               "_Decimal128",
                                                               "_Decimal32",
                                                               "_Decimal64",
                                                               "_Generic",
                                                               "_Imaginary",
                                                               "_Noreturn",
                                                               "_Static_assert",
                                                               "_Thread_local"};
  return kKeywords.contains(word);
}

// Reserved to the compiler and its library everywhere: __x and _X.
bool IsReserved(const std::string& name) {
  return name.find("__") != std::string::npos ||
         (name.size() > 1 && name[0] == '_' && std::isupper(static_cast<unsigned char>(name[1])));
}

// "image.h" gives IMAGE_H; standard output has no name, so the array's is
// used. Leading and doubled underscores go, so that no guard is reserved.
std::string GuardFor(const std::string& output, const std::string& name) {
  const std::string file = output == "-" ? name + ".h" : std::filesystem::path(output).filename().string();
  std::string guard;
  for (const char c : file) {
    const char mapped = std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::toupper(c)) : '_';
    if (mapped != '_' || (!guard.empty() && guard.back() != '_')) guard += mapped;
  }
  if (guard.empty() || std::isdigit(static_cast<unsigned char>(guard[0]))) guard = "H_" + guard;
  return guard;
}

// What the options build up; guard and declaration_options are settled once
// all are read, since the guard's name depends on -o and --name.
struct Parsing {
  CommandLine cl;
  bool guard = false;
  bool declaration_options = false;  // any of them asks for a firmware file
  std::optional<ColorDepth> pixel;   // --pixel, checked against --depth at the end
  bool depth_given = false;
  std::vector<std::string> sizes;  // --fit, --fill, --crop as given: at most one
  bool turned = false;             // --rotate, --flip or --exif-orientation given
};

std::string Sized(Parsing& p, const GivenOption& o, PictureSize size) {
  p.sizes.push_back(o.typed);
  p.cl.placement.size = size;
  return "";
}

// "X,Y,W,H": whole numbers, X and Y 0 or more, W and H 1 or more.
bool ParseCrop(const std::string& text, Region& crop) {
  int values[4];
  const char* at = text.data();
  const char* last = text.data() + text.size();
  for (int i = 0; i < 4; ++i) {
    if (i > 0 && (at == last || *at++ != ',')) return false;
    const auto [end, error] = std::from_chars(at, last, values[i]);
    if (error != std::errc() || values[i] < (i < 2 ? 0 : 1)) return false;
    at = end;
  }
  crop = {values[0], values[1], values[2], values[3]};
  return at == last;
}

std::string Declaring(Parsing& p) {
  p.declaration_options = true;
  return "";
}

const Option<Parsing> kOptions[] = {
    {{"resolution", 0, "R", "viewport of 132x132 (default) or 132x176 pixels", "needs 132x132 or 132x176"},
     [](Parsing& p, const GivenOption& o) -> std::string {
       const std::optional<float> width = OuterWidthNamed(o.value);
       if (!width) return "unknown resolution '" + o.value + "': use 132x132 or 132x176";
       p.cl.outer_width = *width;
       return "";
     }},
    {{"depth", 0, "D", "8 (default, RRGGGGBB), 12 or 16 (RGB565) bits per pixel", "needs 8, 12 or 16"},
     [](Parsing& p, const GivenOption& o) -> std::string {
       const std::optional<ColorDepth> depth = DepthNamed(o.value);
       if (!depth) return "unknown depth '" + o.value + "': use 8, 12 or 16";
       p.cl.settings.depth = *depth;
       p.depth_given = true;
       return "";
     }},
    {{"pixel", 0, "P", "rgb444 (0xRGB, 12 bits) or rgb332 (8 bits): high bits kept", "needs rgb444 or rgb332"},
     [](Parsing& p, const GivenOption& o) -> std::string {
       const std::optional<ColorDepth> depth = PixelNamed(o.value);
       if (!depth) return "unknown pixel '" + o.value + "': use rgb444, rgb332 (or rrggggbb, low444, rgb565)";
       p.pixel = depth;
       return Declaring(p);
     }},
    {{"remove", 0, "KEY", "leave out samples written as 0xKEY (white: FF, 79EF0, FFFF)",
      "needs a key, the hex digits of a packed value"},
     [](Parsing& p, const GivenOption& o) -> std::string {
       p.cl.settings.key = o.value;
       p.cl.settings.remove = true;
       return "";
     }},
    {{"dither", 0, "MODE", "none (default), ordered (Bayer) or diffusion (Floyd-Steinberg)",
      "needs none, ordered or diffusion"},
     [](Parsing& p, const GivenOption& o) -> std::string {
       const std::optional<DitherMode> mode = DitherModeNamed(o.value);
       if (!mode) return "unknown dither '" + o.value + "': use none, ordered or diffusion";
       p.cl.settings.dither = *mode;
       return "";
     }},
    {{"offset", 0, "X,Y", "encode the picture from pixel X,Y instead of 0,0",
      "needs X,Y: two pixel numbers, 0 or more, such as 40,16"},
     [](Parsing& p, const GivenOption& o) -> std::string {
       const std::string& v = o.value;
       const char* last = v.data() + v.size();
       const char* end = nullptr;
       auto [x_end, x_error] = std::from_chars(v.data(), last, p.cl.offset_x);
       if (x_error == std::errc() && x_end != last && *x_end == ',') {
         auto [y_end, y_error] = std::from_chars(x_end + 1, last, p.cl.offset_y);
         if (y_error == std::errc()) end = y_end;
       }
       if (end != last || p.cl.offset_x < 0 || p.cl.offset_y < 0)
         return "--offset needs X,Y: two pixel numbers, 0 or more, such as 40,16";
       return "";
     }},
    {{"fit", 0, nullptr, "scale the whole picture to fit the viewport, centred"},
     [](Parsing& p, const GivenOption& o) { return Sized(p, o, PictureSize::Fit); }},
    {{"fill", 0, nullptr, "scale to cover the viewport, centred, the rest cut off"},
     [](Parsing& p, const GivenOption& o) { return Sized(p, o, PictureSize::Fill); }},
    {{"crop", 0, "X,Y,W,H", "fit the W x H pixels from X,Y (of the picture as turned)",
      "needs X,Y,W,H: pixel numbers, such as 0,0,640,480"},
     [](Parsing& p, const GivenOption& o) -> std::string {
       if (!ParseCrop(o.value, p.cl.placement.crop))
         return "--crop needs X,Y,W,H: pixel numbers, width and height 1 or more, such as 0,0,640,480";
       return Sized(p, o, PictureSize::Crop);
     }},
    {{"rotate", 0, "A", "turn the picture clockwise by 90, 180 or 270 degrees", "needs 90, 180 or 270"},
     [](Parsing& p, const GivenOption& o) -> std::string {
       if (o.value != "90" && o.value != "180" && o.value != "270")
         return "unknown angle '" + o.value + "': use 90, 180 or 270";
       p.cl.placement.orientation = p.cl.placement.orientation.RotatedClockwise(std::stoi(o.value));
       p.turned = true;
       return "";
     }},
    {{"flip", 0, "h|v", "flip the picture left to right (h) or top to bottom (v)", "needs h or v"},
     [](Parsing& p, const GivenOption& o) -> std::string {
       Orientation& turn = p.cl.placement.orientation;
       if (o.value == "h") turn = turn.FlippedHorizontally();
       else if (o.value == "v") turn = turn.FlippedVertically();
       else return "unknown flip '" + o.value + "': use h or v";
       p.turned = true;
       return "";
     }},
    {{"exif-orientation", 0, nullptr, "first turn the picture upright by its EXIF tag"},
     [](Parsing& p, const GivenOption&) {
       p.cl.placement.exif_orientation = true;
       p.turned = true;
       return std::string();
     }},
    {{"output", 'o', "FILE", "where to write (default image.h); - is standard output",
      "needs a file name, or - for standard output"},
     [](Parsing& p, const GivenOption& o) -> std::string {
       if (o.value.empty()) return o.typed + " needs a file name, or - for standard output";
       p.cl.output = o.value;
       return "";
     }},
    {{"source", 0, "FILE.c", "define the array in FILE.c; the header only declares it (extern)",
      "needs the name of the C file to write"},
     [](Parsing& p, const GivenOption& o) -> std::string {
       if (o.value.empty() || o.value == "-") return "--source needs the name of the C file to write";
       p.cl.source = o.value;
       p.cl.header.declaration_only = true;
       return Declaring(p);
     }},
    {{"name", 0, "IDENT", "the array's name (default Photos)",
      "needs a C identifier (letters, digits, _; not a digit first)"},
     [](Parsing& p, const GivenOption& o) -> std::string {
       if (!IsIdentifier(o.value)) return "--name needs a C identifier (letters, digits, _; not a digit first)";
       if (IsKeyword(o.value)) return "--name '" + o.value + "' is a C or C++ keyword: choose another name";
       if (IsReserved(o.value))
         return "--name '" + o.value + "' is reserved to the compiler (it starts with _ and a capital or holds __)";
       p.cl.header.name = o.value;
       return Declaring(p);
     }},
    {{"type", 0, "T", "legacy (default: unsigned char/int) or stdint (uint8_t ...)", "needs legacy or stdint"},
     [](Parsing& p, const GivenOption& o) -> std::string {
       if (o.value == "legacy") p.cl.header.form = ElementForm::Legacy;
       else if (o.value == "stdint") p.cl.header.form = ElementForm::Stdint;
       else return "unknown type '" + o.value + "': use legacy or stdint";
       return Declaring(p);
     }},
    {{"static", 0, nullptr, "declare the array static, to include it from several files"},
     [](Parsing& p, const GivenOption&) {
       p.cl.header.is_static = true;
       return Declaring(p);
     }},
    {{"guard", 0, nullptr, "add an include guard and NAME_WIDTH/HEIGHT/COUNT defines"},
     [](Parsing& p, const GivenOption&) {
       p.guard = true;
       return Declaring(p);
     }},
    {{"progmem", 0, nullptr, "place the array in AVR program memory (PROGMEM)"},
     [](Parsing& p, const GivenOption&) {
       p.cl.header.progmem = true;
       return Declaring(p);
     }},
    {{"section", 0, "NAME", "place the array in the linker section NAME",
      "needs a section name without quotes, backslashes or spaces"},
     [](Parsing& p, const GivenOption& o) -> std::string {
       if (o.value.empty() || o.value.find_first_of("\"\\ \t\r\n") != std::string::npos)
         return "--section needs a section name without quotes, backslashes or spaces";
       p.cl.header.section = o.value;
       return Declaring(p);
     }},
    {{"swap-bytes", 0, nullptr,
      "16 bits only: each value's bytes exchanged (0xF800 is 0xF8): high byte first in memory"},
     [](Parsing& p, const GivenOption&) {
       p.cl.header.swap_bytes = true;
       return Declaring(p);
     }},
    {{"layout", 0, "L", "columns (default: the window's grid) or rows (drawing area, top-left first)",
      "needs columns or rows"},
     [](Parsing& p, const GivenOption& o) -> std::string {
       if (o.value == "columns") p.cl.header.layout = Layout::Columns;
       else if (o.value == "rows") p.cl.header.layout = Layout::Rows;
       else return "unknown layout '" + o.value + "': use columns or rows";
       return Declaring(p);
     }},
    {{"compress", 0, "rle", "run-length code the array; the header brings its decoder", "needs rle"},
     [](Parsing& p, const GivenOption& o) -> std::string {
       if (o.value != "rle") return "unknown compression '" + o.value + "': use rle";
       p.cl.header.compress = true;
       return Declaring(p);
     }},
    {{"frames", 0, nullptr, "every frame of an animated GIF or WebP, with their delays"},
     [](Parsing& p, const GivenOption&) {
       p.cl.frames = true;
       return Declaring(p);
     }},
    {{"format", 0, "F", "header (default) or bin: the packed values as little-endian bytes", "needs header or bin"},
     [](Parsing& p, const GivenOption& o) -> std::string {
       if (o.value != "header" && o.value != "bin") return "unknown format '" + o.value + "': use header or bin";
       p.cl.binary = o.value == "bin";
       return "";
     }},
    {{"eol", 0, "E", "line breaks crlf (default) or lf", "needs crlf or lf"},
     [](Parsing& p, const GivenOption& o) -> std::string {
       if (o.value != "crlf" && o.value != "lf") return "unknown line break '" + o.value + "': use crlf or lf";
       p.cl.header.lf = o.value == "lf";
       return Declaring(p);
     }},
    {{"report", 0, nullptr, "print element count, flash sizes and cut values to stderr"},
     [](Parsing& p, const GivenOption&) {
       p.cl.report = true;
       return std::string();
     }},
    {{"help", 'h', nullptr, "show this help"},
     [](Parsing& p, const GivenOption&) {
       p.cl.help = true;
       return std::string();
     }},
    {{"version", 0, nullptr, "show the version"},
     [](Parsing& p, const GivenOption&) {
       p.cl.version = true;
       return std::string();
     }},
};

}  // namespace

std::string Usage() {
  return "Usage: pixolan-encode [PICTURE...] [--resolution 132x132|132x176] [--depth 8|12|16]\n"
         "                      [--fit|--fill|--crop X,Y,W,H] [--rotate A] [--flip h|v]\n"
         "                      [--remove KEY] [--dither MODE] [-o FILE]\n"
         "                      [declaration options]\n"
         "\n"
         "Encodes PICTURE (JPEG, BMP, TIFF, PNG, GIF, ...; - reads it from standard\n"
         "input; the built-in test card when omitted) into a C header holding the\n"
         "array Photos, exactly as Pixolan's Encode button does; the declaration\n"
         "options change how the array is declared. Turns and flips apply in the\n"
         "order given, before the picture is placed. Several PICTUREs give one array\n"
         "each, named after its file, and a table of them named by --name; --frames\n"
         "gives one array for each frame of an animation, a table of them and their\n"
         "delays.\n"
         "\n" +
         OptionHelp(SpecsOf<Parsing>(kOptions));
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  Parsing p;
  std::vector<std::string> operands;
  parsed.error = ApplyOptions<Parsing>(kOptions, args, p, operands);
  if (!parsed.error.empty()) return parsed;
  CommandLine& cl = p.cl;
  if (!operands.empty()) cl.picture = operands[0];
  cl.pictures = operands;
  cl.names = operands.size() > 1 ? ArrayNames(operands, cl.header.name) : std::vector<std::string>{cl.header.name};
  // Several pictures make a firmware file: one array each and a table.
  if (operands.size() > 1) p.declaration_options = true;
  auto fail = [&parsed](std::string message) {
    parsed.error = std::move(message);
    return parsed;
  };
  if (p.pixel) {
    if (p.depth_given && BitsOf(*p.pixel) != BitsOf(cl.settings.depth))
      return fail("--pixel " + std::string(InfoOf(*p.pixel).pixel) + " is " + std::to_string(BitsOf(*p.pixel)) +
                  " bits, not --depth " + std::to_string(BitsOf(cl.settings.depth)));
    cl.settings.depth = *p.pixel;
  }
  // Files for firmware builds end with a line break and say what they hold;
  // the window's never did.
  cl.header.final_break = p.declaration_options;
  cl.header.describe = p.declaration_options;
  if (cl.header.layout == Layout::Rows && cl.settings.remove)
    return fail("--remove cannot be used with --layout rows: each left-out sample would move every pixel after it");
  if (cl.frames && (cl.pictures.size() != 1 || cl.pictures[0] == "-"))
    return fail("--frames needs one picture file: each frame is read from it anew");
  if (cl.settings.remove && (cl.header.compress || cl.pictures.size() > 1 || cl.frames))
    return fail("--remove works on one uncompressed picture: a left-out sample would move every one after it");
  if (cl.binary && (cl.source || p.guard || cl.header.progmem || !cl.header.section.empty() || cl.settings.remove))
    return fail("--format bin writes values only: no --source, --guard, --progmem, --section or --remove");
  if (std::count(cl.pictures.begin(), cl.pictures.end(), "-") > (cl.pictures.size() > 1 ? 0 : 1))
    return fail("standard input can be one picture only, given alone");
  if (cl.source && cl.header.is_static)
    return fail("--static and --source exclude each other: a static array is defined in every file");
  if (cl.source && cl.output == "-") return fail("--source needs -o FILE: the source includes the header by its name");
  if (cl.header.progmem && !cl.header.section.empty())
    return fail("--progmem and --section cannot both place the array");
  // Only two-byte values have bytes to exchange.
  if (cl.header.swap_bytes && InfoOf(cl.settings.depth).stdint_bytes != 2)
    return fail("--swap-bytes needs --depth 16 or --pixel rgb444");
  if ((cl.offset_x || cl.offset_y) && !cl.picture) return fail("--offset needs a PICTURE");
  if (p.sizes.size() > 1) return fail(p.sizes[0] + " and " + p.sizes[1] + " cannot both place the picture");
  if (!p.sizes.empty() && !cl.picture) return fail(p.sizes[0] + " needs a PICTURE");
  if (p.turned && !cl.picture) return fail("--rotate, --flip and --exif-orientation need a PICTURE");
  if (!p.sizes.empty() && (cl.offset_x || cl.offset_y))
    return fail("--offset and " + p.sizes[0] + " cannot both place the picture");
  if (p.guard) cl.header.guard = GuardFor(cl.output, cl.header.name);
  parsed.command_line = std::move(cl);
  return parsed;
}

bool FirmwareForm(const CommandLine& cl) {
  return cl.binary || cl.pictures.size() > 1 || cl.frames || cl.header.progmem || cl.header.compress;
}

std::vector<std::string> ArrayNames(const std::vector<std::string>& paths, const std::string& table) {
  std::vector<std::string> names;
  for (const std::string& path : paths) {
    std::string name;
    for (const char c : std::filesystem::path(path).stem().string()) {
      const char mapped = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      // No leading or doubled underscore: __x and _X are reserved.
      if (mapped != '_' || (!name.empty() && name.back() != '_')) name += mapped;
    }
    while (!name.empty() && name.back() == '_') name.pop_back();
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) name = "picture_" + name;
    if (name.back() == '_') name.pop_back();
    if (IsKeyword(name)) name += "_picture";
    std::string unique = name;
    for (int n = 2; unique == table || std::find(names.begin(), names.end(), unique) != names.end(); ++n)
      unique = name + "_" + std::to_string(n);
    names.push_back(unique);
  }
  return names;
}

Region VisibleRegion(const CommandLine& cl, const Viewport& viewport) {
  return {cl.offset_x, cl.offset_y, viewport.DrawingWidth(), viewport.DrawingHeight()};
}

Placement PlacementFor(const CommandLine& cl, const Viewport& viewport) {
  Placement placement = cl.placement;
  placement.area_width = viewport.DrawingWidth();
  placement.area_height = viewport.DrawingHeight();
  return placement;
}

std::string PlacementReport(const LoadResult& loaded) {
  if (loaded.picture_width == 0) return {};
  char scale[32];
  std::snprintf(scale, sizeof scale, "%.4g", loaded.scale);
  return "picture: " + std::to_string(loaded.picture_width) + " x " + std::to_string(loaded.picture_height) +
         " pixels, placed at scale " + scale + "\n";
}

std::string BeforeRunText(const CommandLine& cl) {
  // unsigned int is 4 bytes on ARM and the host: each value sits in the first
  // two (little-endian), so the array is no stream of 16-bit values there.
  if (cl.header.swap_bytes && cl.header.form == ElementForm::Legacy)
    return "pixolan-encode: warning: --swap-bytes with unsigned int elements: where int is 32 bits (ARM, the host)"
           " each value takes 4 bytes, so the array cannot be sent as 16-bit values; use --type stdint\n";
  return "";
}

std::string OffsetWarning(const CommandLine& cl, const Picture& loaded) {
  if ((cl.offset_x == 0 && cl.offset_y == 0) || (loaded.width > 0 && loaded.height > 0)) return "";
  return "pixolan-encode: warning: --offset " + std::to_string(cl.offset_x) + "," + std::to_string(cl.offset_y) +
         " lies outside the picture: the drawing area is left blank\n";
}

std::string AfterRunText(const CommandLine& cl, const HeaderStats& stats) {
  std::string out;
  if (cl.settings.remove) {
    const std::string warning = KeyWarning(cl.settings.depth, cl.settings.key);
    if (!warning.empty()) out += "pixolan-encode: warning: " + warning + "\n";
    else if (stats.matched == 0) out += "pixolan-encode: warning: no sample matched the key\n";
  }
  if (cl.report && !FirmwareForm(cl)) out += ReportText(stats, cl.settings.depth, cl.header.form);
  return out;
}

}  // namespace pixolan
