// SPDX-License-Identifier: MIT
#include "encoder/header_format.h"

#include "encoder/firmware_header.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace pixolan {

ColorValue EncodedLook(const EncodeSettings& settings, std::uint32_t packed) {
  if (settings.remove && KeyLeavesOut(packed, settings.key)) return kLeftOutMarker;
  const Components k = Widen(settings.depth, packed);
  return MakeColor(k.R, k.G, k.B);
}

std::string FormatHeader(const Viewport& viewport, const EncodeSettings& settings, const ColumnDone& column_done) {
  return FormatHeader(viewport, settings, HeaderOptions{}, nullptr, column_done);
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

namespace {

// Columns of the grid and samples in each, or the drawing area's width and
// height: the array's lines and their length.
struct Shape {
  int lines;
  int per_line;
};

Shape ShapeOf(const Viewport& viewport, Layout layout) {
  if (layout == Layout::Rows) return {viewport.DrawingHeight(), viewport.DrawingWidth()};
  return {static_cast<int>(viewport.OuterWidth() / kTwipsPerPixel) + 1,
          static_cast<int>(viewport.OuterHeight() / kTwipsPerPixel)};
}

}  // namespace

// "depth=16 pixel=rgb565 layout=rows size=128x128 bytes=swapped elements=16384":
// what pixolan-decode needs to draw the array without being told.
std::string DescriptionFields(const Viewport& viewport, ColorDepth depth, const HeaderOptions& options,
                              std::int64_t count) {
  const Shape shape = ShapeOf(viewport, options.layout);
  const bool rows = options.layout == Layout::Rows;
  const std::string size = rows ? std::to_string(shape.per_line) + "x" + std::to_string(shape.lines)
                                : std::to_string(shape.lines) + "x" + std::to_string(shape.per_line);
  return std::string(kDescriptionStart) + " depth=" + std::to_string(BitsOf(depth)) + " pixel=" + InfoOf(depth).pixel +
         " layout=" + (rows ? "rows" : "columns") + " size=" + size +
         " bytes=" + (options.swap_bytes ? "swapped" : "as-is") + " elements=" + std::to_string(count);
}

std::string ArrayDefines(const Viewport& viewport, const HeaderOptions& options, const std::string& name,
                         std::int64_t declared) {
  const std::string eol = options.lf ? "\n" : "\r\n";
  const std::string prefix = "#define " + Upper(name);
  const Shape shape = ShapeOf(viewport, options.layout);
  std::string out = prefix + "_WIDTH " + std::to_string(viewport.DrawingWidth()) + eol;
  out += prefix + "_HEIGHT " + std::to_string(viewport.DrawingHeight()) + eol;
  out += prefix + "_COUNT " + std::to_string(declared) + eol;
  if (options.layout == Layout::Rows) {
    out += "/* rows from the top left, each from the left; at pixel X,Y of the panel */" + eol;
    out += prefix + "_ROW_ORDER 1" + eol;
    out += prefix + "_X " + std::to_string(kFramePixels) + eol;
    out += prefix + "_Y " + std::to_string(kFramePixels) + eol;
  } else {
    out +=
        "/* columns from the left, each from the bottom up: element x * COLUMN_SAMPLES + (COLUMN_SAMPLES - y)"
        " is drawing-area pixel x, y (row 0 is not sampled) */" +
        eol;
    out += prefix + "_ROW_ORDER 0" + eol;
    out += prefix + "_COLUMNS " + std::to_string(shape.lines) + eol;
    out += prefix + "_COLUMN_SAMPLES " + std::to_string(shape.per_line) + eol;
  }
  return out;
}

namespace {

// Everything before the first element: description, guard, includes, the
// defines that describe the array and the declaration up to "={".
std::string Opening(const Viewport& viewport, ColorDepth depth, const HeaderOptions& options, std::int64_t declared) {
  const std::string eol = options.lf ? "\n" : "\r\n";
  std::string out;
  if (options.describe) out += DescriptionFields(viewport, depth, options, declared) + " */" + eol;
  if (!options.guard.empty()) out += "#ifndef " + options.guard + eol + "#define " + options.guard + eol;
  if (options.form == ElementForm::Stdint) out += "#include <stdint.h>" + eol;
  // PROGMEM means something on AVR only: elsewhere const data is in flash already.
  if (options.progmem)
    out += "#if defined(__AVR__)" + eol + "#include <avr/pgmspace.h>" + eol + "#elif !defined(PROGMEM)" + eol +
           "#define PROGMEM" + eol + "#endif" + eol;
  if (!options.guard.empty()) out += ArrayDefines(viewport, options, options.name, declared);
  if (options.is_static) out += "static ";
  if (options.declaration_only) out += "extern ";
  out += ElementType(depth, options.form);
  out += " const " + options.name + "[" + std::to_string(declared) + "]";
  if (options.progmem) out += " PROGMEM";
  if (!options.section.empty()) out += " __attribute__((section(\"" + options.section + "\")))";
  return out + (options.declaration_only ? ";" : "={");
}

}  // namespace

// The array's values in the order written, bytes swapped as asked.
std::vector<std::uint32_t> PackedArray(const Viewport& viewport, const EncodeSettings& settings,
                                       const HeaderOptions& options) {
  std::vector<std::uint32_t> values = PackDrawingArea(viewport, settings.depth, settings.dither).values;
  if (options.layout == Layout::Columns) {
    // The grid's samples: the drawing area's where they fall in it, the
    // no-pixel value's elsewhere; grid row r is drawing row r (row 0 never).
    const Shape shape = ShapeOf(viewport, Layout::Columns);
    const int width = viewport.DrawingWidth(), height = viewport.DrawingHeight();
    const auto none = static_cast<std::uint32_t>(PackColor(settings.depth, kNoPixel));
    std::vector<std::uint32_t> grid;
    grid.reserve(static_cast<std::size_t>(shape.lines) * shape.per_line);
    for (int column = 0; column < shape.lines; ++column)
      for (int row = shape.per_line; row >= 1; --row)
        grid.push_back(column < width && row < height ? values[static_cast<std::size_t>(row) * width + column] : none);
    values = std::move(grid);
  }
  if (options.swap_bytes && InfoOf(settings.depth).stdint_bytes == 2)
    for (std::uint32_t& v : values) v = SwapBytes16(v);
  return values;
}

std::string FormatHeader(const Viewport& viewport, const EncodeSettings& settings, const HeaderOptions& options,
                         HeaderStats* stats, const ColumnDone& column_done) {
  // The extent and the settings cannot change during a run: read them once.
  const std::vector<std::uint32_t> values = PackedArray(viewport, settings, options);
  const Shape shape = ShapeOf(viewport, options.layout);
  const auto declared = static_cast<std::int64_t>(values.size());
  const std::string_view eol = options.lf ? "\n" : "\r\n";
  const std::string opening = Opening(viewport, settings.depth, options, declared);

  // Tokens are at most "0x" + 8 digits + ",", lines end in CR LF: write into
  // a buffer of that worst case and trim it at the end.
  std::string out(opening.size() + 64 + values.size() * (3 + kMaxHexDigits) + static_cast<std::size_t>(shape.lines) * 2,
                  '\0');
  char* p = out.data();
  auto put = [&p](std::string_view text) { p = std::copy(text.begin(), text.end(), p); };
  put(opening);

  HeaderStats found;
  found.declared = declared;
  std::int64_t k = 0;
  std::int16_t considered = 0;  // at most 23364 grid points: never overflows
  std::uint32_t last = 0;
  char digits[kMaxHexDigits];
  std::string_view hex;
  for (int line = 0; line < shape.lines; ++line) {
    for (int i = 0; i < shape.per_line; ++i) {
      const std::uint32_t packed = values[static_cast<std::size_t>(k++)];
      if (packed != last || hex.empty()) {
        last = packed;
        hex = std::string_view(digits, static_cast<std::size_t>(WriteHex(digits, packed) - digits));
        found.largest = std::max(found.largest, packed);
      }
      found.over_16_bits += packed > 0xFFFF;
      if (!settings.remove || !KeyLeavesOut(hex, settings.key)) {
        put("0x");
        put(hex);
        if (k < declared) *p++ = ',';
      } else {
        ++found.matched;
      }
      if (settings.remove) ++considered;
    }
    if (k < declared) put(eol);
    if (column_done && options.layout == Layout::Columns) column_done(static_cast<float>((line + 1) * kTwipsPerPixel));
  }
  out.resize(static_cast<std::size_t>(p - out.data()));
  if (stats) *stats = found;
  if (options.declaration_only) {
    out = opening;
    out += eol;
    if (!options.guard.empty()) out += "#endif" + std::string(eol);
    return out;
  }

  out += "};";
  out += eol;
  out += "/* ";
  out += std::to_string(considered);
  out += " */";
  if (options.final_break || !options.guard.empty()) out += eol;
  if (!options.guard.empty()) {
    out += "#endif";
    out += eol;
  }
  if (stats) *stats = found;
  return out;
}

std::string FormatSource(const Viewport& viewport, const EncodeSettings& settings, const HeaderOptions& header_options,
                         const std::string& header_name) {
  HeaderOptions options = header_options;
  options.guard.clear();
  options.declaration_only = false;
  options.final_break = true;
  const std::string text = FormatHeader(viewport, settings, options);
  const std::string eol = options.lf ? "\n" : "\r\n";
  // The description line, so that the source can be decoded on its own;
  // <stdint.h> and PROGMEM come with the header, which the source includes.
  const std::string description = options.describe ? text.substr(0, text.find(eol) + eol.size()) : "";
  const std::size_t definition = text.find(ElementType(settings.depth, options.form));
  return description + "#include \"" + header_name + "\"" + eol + text.substr(definition);
}

std::string KeyWarning(ColorDepth depth, const std::string& key) {
  // White fills every field: its bits are all a packed value can have set.
  const std::uint32_t mask = FieldMask(depth);
  std::string_view digits = key;
  if (digits.starts_with("0x") || digits.starts_with("0X")) digits.remove_prefix(2);
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  const bool hex = !digits.empty() && digits.size() <= kMaxHexDigits &&
                   digits.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos;
  const std::uint32_t value = hex ? static_cast<std::uint32_t>(std::stoul(std::string(digits), nullptr, 16)) : 0;
  const std::string start = "key '" + key + "' can never match at " + std::to_string(BitsOf(depth)) + " bits; ";
  if (hex && (value & ~mask) == 0) {
    const std::string canonical = HexText(value);
    return canonical == key ? "" : start + "keys are written like " + canonical;
  }
  return start + "keys are written like " + HexText(mask) + " (white), with no bits beyond it";
}

std::string ReportText(const HeaderStats& stats, ColorDepth depth, ElementForm form, bool split) {
  // Only the legacy wide type changes size with the target's int.
  const int fixed = form == ElementForm::Legacy ? InfoOf(depth).legacy_bytes : InfoOf(depth).stdint_bytes;
  const bool int_sized = fixed == 0;
  auto bytes = [&](int int_bytes) { return std::to_string(stats.declared * (int_sized ? int_bytes : fixed)); };
  std::string out = std::to_string(stats.declared) + " elements of " + ElementType(depth, form) + "\n";
  out += "flash: " + bytes(1) + " bytes with an 8-bit int, " + bytes(2) + " with a 16-bit int, " + bytes(4) +
         " with a 32-bit int\n";
  if (int_sized && stats.over_16_bits > 0)
    out += "a 16-bit int would cut " + std::to_string(stats.over_16_bits) + " values, the largest 0x" +
           HexText(stats.largest) + " to 0x" + HexText(stats.largest & 0xFFFF) + "; use --type stdint\n";
  else out += "a 16-bit int cuts no value\n";
  // Where int is 16 bits, size_t usually is too: no object exceeds 32767 bytes.
  if (!split && stats.declared * (int_sized ? 2 : fixed) > 32767)
    out += "too large for one object where int is 16 bits (AVR)\n";
  return out;
}

}  // namespace pixolan
