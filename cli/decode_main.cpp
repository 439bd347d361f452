// SPDX-License-Identifier: MIT
// pixolan-decode: a header back into the picture the display will show.

#include <png.h>

#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

#include "model/viewport.h"
#include "cli/header_reader.h"
#include "cli/option_table.h"
#include "cli/save_output.h"

namespace {

using namespace pixolan;

constexpr int kRows = 132;
constexpr Components kMarker{255, 0, 255};  // where left-out samples were

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
         "the bottom up. Resolution and depth are taken from the header when omitted.\n"
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
  return GridColumns(header.declared.value_or(static_cast<std::int64_t>(header.elements.size())) == wide ? kWideWidthTwips
                                                                                                       : kNarrowWidthTwips);
}

std::string Describe(const HeaderElement& e, const std::string& name) {
  return name + ":" + std::to_string(e.line) + ":" + std::to_string(e.column) + ": ";
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

  std::ifstream in(opt.header, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in) {
    std::cerr << "pixolan-decode: could not read " << opt.header << '\n';
    return 1;
  }
  const HeaderReadResult read = ParseHeader(text.str());
  if (!read.Ok()) {
    std::cerr << "pixolan-decode: " << opt.header << ":" << read.error << '\n';
    return 1;
  }
  const ReadHeader& header = read.header;
  const std::optional<ColorDepth> depth = opt.depth ? opt.depth : DepthOf(header);
  if (!depth) {
    std::cerr << "pixolan-decode: " << opt.header << ": '" << header.type
              << "' holds 12- and 16-bit samples alike: give --depth\n";
    return 1;
  }
  if (opt.swap && *depth != ColorDepth::Depth16) return Usage("--swap-bytes needs 16-bit samples");
  const int columns = opt.columns.value_or(ColumnsOf(header));
  const std::size_t grid = static_cast<std::size_t>(columns) * kRows;

  // Every value must be one the depth can write: white fills every field.
  const std::uint32_t mask = FieldMask(*depth);
  std::vector<std::uint32_t> values;
  for (const HeaderElement& e : header.elements) {
    const std::uint32_t v = opt.swap ? SwapBytes16(e.value) : e.value;
    if ((v & ~mask) != 0) {
      std::cerr << "pixolan-decode: " << Describe(e, opt.header) << "0x" << HexText(e.value) << " is not a sample at "
                << BitsOf(*depth) << " bits\n";
      return 1;
    }
    values.push_back(v);
  }
  if (values.size() > grid) {
    std::cerr << "pixolan-decode: " << Describe(header.elements[grid], opt.header) << "more samples than the "
              << grid << " of " << columns << " columns of " << kRows << '\n';
    return 1;
  }

  // Place each sample: in order when all are there; otherwise each line of
  // the initialiser is one column, drawn from the bottom.
  std::vector<std::uint8_t> rgb(grid * 3);
  auto put = [&](int column, int from_bottom, Components c) {
    const std::size_t at = (static_cast<std::size_t>(kRows - 1 - from_bottom) * columns + column) * 3;
    rgb[at] = static_cast<std::uint8_t>(c.R), rgb[at + 1] = static_cast<std::uint8_t>(c.G);
    rgb[at + 2] = static_cast<std::uint8_t>(c.B);
  };
  if (values.size() == grid) {
    for (std::size_t i = 0; i < grid; ++i) put(static_cast<int>(i / kRows), static_cast<int>(i % kRows), Widen(*depth, values[i]));
  } else {
    std::vector<int> filled(columns, 0);
    for (std::size_t i = 0; i < values.size(); ++i) {
      const HeaderElement& e = header.elements[i];
      const int column = e.line - header.brace_line;
      if (column >= columns || filled[column] >= kRows) {
        std::cerr << "pixolan-decode: " << Describe(e, opt.header)
                  << "with samples left out, each line must hold one column of at most " << kRows << " samples, in "
                  << columns << " lines\n";
        return 1;
      }
      put(column, filled[column]++, Widen(*depth, values[i]));
    }
    for (int column = 0; column < columns; ++column)
      for (int row = filled[column]; row < kRows; ++row) put(column, row, kMarker);
    std::cerr << "pixolan-decode: " << opt.header << ": " << grid - values.size()
              << " samples are missing (left out by the key); their places are unknown, so each short column is"
                 " drawn from the bottom and the rest of it in magenta\n";
  }

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(columns);
  image.height = kRows;
  image.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr)) {
    std::cerr << "pixolan-decode: " << opt.output << ": " << image.message << '\n';
    return 1;
  }
  std::string png(size, '\0');
  png_image_write_to_memory(&image, png.data(), &size, 0, rgb.data(), 0, nullptr);
  const SaveResult saved = SaveOutput(opt.output, png);
  if (!saved.Ok()) {
    std::cerr << "pixolan-decode: " << saved.error << '\n';
    return 1;
  }
  return 0;
}
