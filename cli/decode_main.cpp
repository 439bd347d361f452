// SPDX-License-Identifier: MIT
// pixolan-decode: a header back into the picture the display will show.

#include <png.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>

#include "encoder/firmware_header.h"
#include "encoder/header_format.h"
#include "io/descriptor.h"
#include "model/viewport.h"
#include "cli/header_reader.h"
#include "cli/option_table.h"
#include "cli/save_output.h"
#include "pixolan_version.h"

namespace {

using namespace pixolan;

constexpr int kRows = 132;

// Grid columns of a viewport: one more than its width in pixels.
int GridColumns(float outer_width) { return static_cast<int>(outer_width) / kTwipsPerPixel + 1; }

struct Options {
  std::string header;
  std::string output;
  std::optional<int> columns;
  std::optional<ColorDepth> depth;
  bool swap = false;
  bool help = false;
  bool version = false;
};

const Option<Options> kOptions[] = {
    {{"output", 'o', "FILE", "the PNG to write", "needs a file name"},
     [](Options& opt, const GivenOption& o) -> std::string {
       if (o.value.empty()) return o.typed + " needs a file name";
       opt.output = o.value;
       return "";
     }},
    {{"resolution", 0, "R", "132x132 (133 columns) or 132x176 (177 columns)", "needs 132x132 or 132x176"},
     [](Options& opt, const GivenOption& o) -> std::string {
       const std::optional<float> width = OuterWidthNamed(o.value);
       if (!width) return "unknown resolution '" + o.value + "': use 132x132 or 132x176";
       opt.columns = GridColumns(*width);
       return "";
     }},
    {{"depth", 0, "D", "8, 12 or 16 bits per sample", "needs 8, 12 or 16"},
     [](Options& opt, const GivenOption& o) -> std::string {
       opt.depth = DepthNamed(o.value);
       if (!opt.depth) return "unknown depth '" + o.value + "': use 8, 12 or 16";
       return "";
     }},
    {{"pixel", 0, "P", "the packing, when the header does not say: rgb444, rgb332, ...", "needs rgb444 or rgb332"},
     [](Options& opt, const GivenOption& o) -> std::string {
       opt.depth = PixelNamed(o.value);
       if (!opt.depth) return "unknown pixel '" + o.value + "': use rgb444, rgb332 (or rrggggbb, low444, rgb565)";
       return "";
     }},
    {{"swap-bytes", 0, nullptr, "16 bits: the header was written with --swap-bytes"},
     [](Options& opt, const GivenOption&) {
       opt.swap = true;
       return std::string();
     }},
    {{"help", 'h', nullptr, "show this help"},
     [](Options& opt, const GivenOption&) {
       opt.help = true;
       return std::string();
     }},
    {{"version", 0, nullptr, "show the version"},
     [](Options& opt, const GivenOption&) {
       opt.version = true;
       return std::string();
     }},
};

std::string UsageText() {
  return "Usage: pixolan-decode HEADER -o PICTURE.png [--resolution 132x132|132x176]\n"
         "                      [--depth 8|12|16] [--swap-bytes]\n"
         "\n"
         "Draws the samples of a header written by pixolan-encode as the display shows\n"
         "them: one pixel per sample, a column per grid column from the left, each from\n"
         "the bottom up. Resolution and depth are taken from the header when omitted; a\n"
         "header whose first line says what it holds needs no option but -o. HEADER\n"
         "- reads standard input.\n"
         "\n" +
         OptionHelp(SpecsOf<Options>(kOptions));
}

int Usage(const std::string& message) {
  std::cerr << "pixolan-decode: " << message << "\nTry 'pixolan-decode --help'.\n";
  return 2;
}

// Explicit options win; otherwise the declared type, then the values, decide.
std::optional<ColorDepth> DepthOf(const ReadHeader& header) {
  const std::string& type = header.type;
  // Only the legacy 8-bit type is a char; the stdint types name their depth.
  if (type.find("char") != std::string::npos) return ColorDepth::Depth8;
  for (const DepthInfo& info : kDepths)
    if (type.find(info.stdint_type) != std::string::npos) return info.depth;
  for (const HeaderElement& e : header.elements)
    if (e.value > 0xFFFF) return ColorDepth::Depth12;
  return std::nullopt;
}

int ColumnsOf(const ReadHeader& header) {
  const std::int64_t wide = std::int64_t{GridColumns(kWideWidthTwips)} * kRows;
  return GridColumns(header.declared.value_or(static_cast<std::int64_t>(header.elements.size())) == wide
                         ? kWideWidthTwips
                         : kNarrowWidthTwips);
}

std::string Describe(const HeaderElement& e, const std::string& name) {
  return name + ":" + std::to_string(e.line) + ":" + std::to_string(e.column) + ": ";
}

// A whole header from its file, or from standard input for "-"; the reason
// when it cannot be read.
std::string ReadText(const std::string& path, std::string& text) {
  constexpr std::size_t kLimit = 256u << 20;  // far beyond any header: an endless stream stops here
  const int fd = path == "-" ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  const int error = ReadAll(fd, kLimit, text);
  if (fd != STDIN_FILENO) close(fd);
  if (error == EFBIG) return "more than 256 MB, which no header holds";
  return error ? std::strerror(error) : "";
}

// What the header's first line says it holds, when pixolan-encode wrote one:
// "/* pixolan: depth=16 pixel=rgb565 layout=rows size=128x128 bytes=as-is ... */".
struct Description {
  ColorDepth depth;
  bool rows = false;
  int width = 0;   // rows: pixels per row; columns: the grid's columns
  int height = 0;  // rows: rows; columns: samples per column
  bool swapped = false;
  // Firmware headers: the arrays by name, each in parts parts, perhaps
  // run-length coded, each of elements values.
  std::vector<std::string> names;
  int parts = 1;
  bool coded = false;
  std::int64_t elements = 0;
};

std::optional<Description> ReadDescription(const std::string& text) {
  const std::size_t start = text.find(kDescriptionStart);
  if (start == std::string::npos) return std::nullopt;
  std::istringstream fields(text.substr(start + std::strlen(kDescriptionStart), text.find("*/", start) - start));
  std::map<std::string, std::string> said;
  for (std::string field; fields >> field;)
    if (const std::size_t eq = field.find('='); eq != std::string::npos)
      said[field.substr(0, eq)] = field.substr(eq + 1);
  const std::optional<ColorDepth> depth = PixelNamed(said["pixel"]);
  int width = 0, height = 0;
  if (!depth || std::sscanf(said["size"].c_str(), "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0)
    return std::nullopt;
  Description described{};
  described.depth = *depth;
  described.rows = said["layout"] == "rows";
  described.width = width;
  described.height = height;
  described.swapped = said["bytes"] == "swapped";
  std::istringstream names(said["names"]);
  for (std::string name; std::getline(names, name, ',');) described.names.push_back(name);
  described.parts = std::max(1, std::atoi(said["parts"].c_str()));
  described.coded = said["compress"] == "rle";
  described.elements = std::atoll(said["elements"].c_str());
  return described;
}

// A firmware header's array name: its parts' definitions (NAME_0, NAME_1, ...
// when split) read one after another, run-length coded bytes expanded.
// Says why on standard error when one is missing or does not read.
std::optional<ReadHeader> ReadNamedArray(const std::string& text, const Description& described,
                                         const std::string& array, const std::string& file) {
  ReadHeader whole;
  for (int part = 0; part < described.parts; ++part) {
    const std::string name = described.parts == 1 ? array : array + "_" + std::to_string(part);
    const std::size_t at = DefinitionOf(text, name);
    if (at == std::string::npos) {
      std::cerr << "pixolan-decode: " << file << ": no definition of " << name
                << " (an extern declaration only? Decode the C file that defines the array)\n";
      return std::nullopt;
    }
    const std::size_t end = text.find("};", at);
    const std::size_t line_start = text.rfind('\n', at) + 1;
    const HeaderReadResult read = ParseHeader(std::string_view(text).substr(line_start, end + 2 - line_start));
    if (!read.Ok()) {
      const int line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + std::ptrdiff_t(line_start), '\n'));
      std::cerr << "pixolan-decode: " << file << ": " << name << " (from line " << line << "): " << read.error << '\n';
      return std::nullopt;
    }
    if (whole.type.empty()) whole = read.header;
    else whole.elements.insert(whole.elements.end(), read.header.elements.begin(), read.header.elements.end());
  }
  if (!described.coded) return whole;
  std::vector<std::uint8_t> bytes;
  for (const HeaderElement& e : whole.elements) bytes.push_back(static_cast<std::uint8_t>(e.value));
  std::vector<std::uint32_t> values;
  if (!RleDecode(bytes, StoredValueBytes(described.depth), static_cast<std::size_t>(described.elements), values) ||
      values.size() != static_cast<std::size_t>(described.elements)) {
    std::cerr << "pixolan-decode: " << file << ": " << array << ": the run-length coded bytes do not give the "
              << described.elements << " values its first line promises\n";
    return std::nullopt;
  }
  whole.elements.clear();
  for (const std::uint32_t v : values) whole.elements.push_back({v, 0, 0});
  whole.declared = static_cast<std::int64_t>(values.size());
  return whole;
}

// Pixels in rows from the top left, as the PNG takes them.
struct DrawnPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;

  void Append(Components c) {
    rgb.push_back(static_cast<std::uint8_t>(c.R)), rgb.push_back(static_cast<std::uint8_t>(c.G));
    rgb.push_back(static_cast<std::uint8_t>(c.B));
  }
};

// The window's layout: a column per grid column from the left, each from the
// bottom up. Says why on standard error when the values do not fit.
bool DrawColumns(const ReadHeader& header, const std::vector<std::uint32_t>& values, int columns, ColorDepth depth,
                 const std::string& name, DrawnPicture& drawn) {
  const std::size_t grid = static_cast<std::size_t>(columns) * kRows;
  if (values.size() > grid) {
    std::cerr << "pixolan-decode: " << Describe(header.elements[grid], name) << "more samples than the " << grid
              << " of " << columns << " columns of " << kRows << '\n';
    return false;
  }
  // Place each sample: in order when all are there; otherwise each line of
  // the initialiser is one column, drawn from the bottom.
  drawn = {columns, kRows, std::vector<std::uint8_t>(grid * 3)};
  auto put = [&](int column, int from_bottom, Components c) {
    const std::size_t at = (static_cast<std::size_t>(kRows - 1 - from_bottom) * columns + column) * 3;
    drawn.rgb[at] = static_cast<std::uint8_t>(c.R), drawn.rgb[at + 1] = static_cast<std::uint8_t>(c.G);
    drawn.rgb[at + 2] = static_cast<std::uint8_t>(c.B);
  };
  if (values.size() == grid) {
    for (std::size_t i = 0; i < grid; ++i)
      put(static_cast<int>(i / kRows), static_cast<int>(i % kRows), Widen(depth, values[i]));
    return true;
  }
  std::vector<int> filled(columns, 0);
  for (std::size_t i = 0; i < values.size(); ++i) {
    const HeaderElement& e = header.elements[i];
    const int column = e.line - header.brace_line;
    if (column >= columns || filled[column] >= kRows) {
      std::cerr << "pixolan-decode: " << Describe(e, name)
                << "with samples left out, each line must hold one column of at most " << kRows << " samples, in "
                << columns << " lines\n";
      return false;
    }
    put(column, filled[column]++, Widen(depth, values[i]));
  }
  for (int column = 0; column < columns; ++column)
    for (int row = filled[column]; row < kRows; ++row) put(column, row, Unpack(kLeftOutMarker));
  std::cerr << "pixolan-decode: " << name << ": " << grid - values.size()
            << " samples are missing (left out by the key); their places are unknown, so each short column is"
               " drawn from the bottom and the rest of it in magenta\n";
  return true;
}

// One array's samples as the display shows them; false after saying why not.
bool DrawArray(const ReadHeader& header, const std::optional<Description>& described, const Options& opt,
               const std::string& name, DrawnPicture& drawn) {
  std::optional<ColorDepth> depth = opt.depth;
  if (!depth && described) depth = described->depth;
  if (!depth) depth = DepthOf(header);
  if (!depth) {
    std::cerr << "pixolan-decode: " << name << ": '" << header.type
              << "' holds 12- and 16-bit samples alike: give --depth\n";
    return false;
  }
  const bool swap = opt.swap || (described && described->swapped);
  if (swap && InfoOf(*depth).stdint_bytes != 2) {
    std::cerr << "pixolan-decode: --swap-bytes needs 16-bit samples\n";
    return false;
  }

  // Every value must be one the depth can write: white fills every field.
  const std::uint32_t mask = FieldMask(*depth);
  std::vector<std::uint32_t> values;
  for (const HeaderElement& e : header.elements) {
    const std::uint32_t v = swap ? SwapBytes16(e.value) : e.value;
    if ((v & ~mask) != 0) {
      std::cerr << "pixolan-decode: " << (e.line ? Describe(e, name) : name + ": ") << "0x" << HexText(e.value)
                << " is not a sample at " << BitsOf(*depth) << " bits\n";
      return false;
    }
    values.push_back(v);
  }

  if (described && described->rows) {
    drawn = {described->width, described->height, {}};
    const std::size_t pixels = static_cast<std::size_t>(drawn.width) * drawn.height;
    if (values.size() != pixels) {
      std::cerr << "pixolan-decode: " << name << ": " << values.size() << " samples where its first line promises "
                << drawn.width << "x" << drawn.height << " = " << pixels << '\n';
      return false;
    }
    for (const std::uint32_t v : values) drawn.Append(Widen(*depth, v));
    return true;
  }
  const int columns = opt.columns.value_or(described ? described->width : ColumnsOf(header));
  return DrawColumns(header, values, columns, *depth, name, drawn);
}

// Writes drawn as a PNG at path; false after saying why not.
bool WritePng(const DrawnPicture& drawn, const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(drawn.width);
  image.height = static_cast<png_uint_32>(drawn.height);
  image.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, drawn.rgb.data(), 0, nullptr)) {
    std::cerr << "pixolan-decode: " << path << ": " << image.message << '\n';
    return false;
  }
  std::string png(size, '\0');
  png_image_write_to_memory(&image, png.data(), &size, 0, drawn.rgb.data(), 0, nullptr);
  const SaveResult saved = SaveOutput(path, png);
  if (!saved.Ok()) std::cerr << "pixolan-decode: " << saved.error << '\n';
  return saved.Ok();
}

// Where the picture of array name goes: the output itself for a header of
// one picture, OUTPUT-NAME.png beside it for several.
std::string OutputFor(const std::string& output, const std::string& name, bool several) {
  if (!several || output == "-") return output;
  const std::filesystem::path path(output);
  return (path.parent_path() / (path.stem().string() + "-" + name + path.extension().string())).string();
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  std::vector<std::string> operands;
  if (const std::string error = ApplyOptions<Options>(kOptions, {argv + 1, argv + argc}, opt, operands); !error.empty())
    return Usage(error);
  if (opt.help) {
    std::cout << UsageText();
    return 0;
  }
  if (opt.version) {
    std::cout << "pixolan-decode " PIXOLAN_VERSION "\n";
    return 0;
  }
  if (operands.size() > 1) return Usage("only one header can be decoded at a time");
  if (!operands.empty()) opt.header = operands[0];
  if (opt.header.empty()) return Usage("which header? Give its file name");
  if (opt.output.empty()) return Usage("where to? Give -o PICTURE.png");

  const std::string name = opt.header == "-" ? "standard input" : opt.header;
  std::string text;
  if (const std::string error = ReadText(opt.header, text); !error.empty()) {
    std::cerr << "pixolan-decode: could not read " << name << ": " << error << '\n';
    return 1;
  }
  const std::optional<Description> described = ReadDescription(text);
  if (!described || described->names.empty()) {
    const HeaderReadResult read = ParseHeader(text);
    if (!read.Ok()) {
      std::cerr << "pixolan-decode: " << name << ":" << read.error;
      if (text.find("extern ") != std::string::npos)
        std::cerr << " (an extern declaration only? Decode the C file that defines the array)";
      std::cerr << '\n';
      return 1;
    }
    DrawnPicture drawn;
    return DrawArray(read.header, described, opt, name, drawn) && WritePng(drawn, opt.output) ? 0 : 1;
  }
  // A firmware header: every array it names, each into a picture of its own.
  const bool several = described->names.size() > 1;
  if (several && opt.output == "-") return Usage("a header of several pictures needs -o FILE.png, not standard output");
  for (const std::string& array : described->names) {
    const std::optional<ReadHeader> header = ReadNamedArray(text, *described, array, name);
    DrawnPicture drawn;
    if (!header || !DrawArray(*header, described, opt, name + ": " + array, drawn) ||
        !WritePng(drawn, OutputFor(opt.output, array, several)))
      return 1;
  }
  return 0;
}
