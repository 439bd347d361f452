// SPDX-License-Identifier: MIT
#include "encoder/header_format.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace pixolan {

std::int64_t DeclaredCount(float outer_width, float outer_height) {
  const auto columns = static_cast<std::int64_t>(outer_width / kTwipsPerPixel) + 1;
  const auto rows = static_cast<std::int64_t>(outer_height / kTwipsPerPixel);
  return columns * rows;
}

std::string FormatHeader(const Viewport& viewport, const EncodeSettings& settings,
                         const ColumnDone& column_done) {
  return FormatHeader(viewport, settings, HeaderOptions{}, nullptr, column_done);
}

namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Everything before the first element: guard, includes, size defines and the
// declaration up to "={".
std::string Opening(const Viewport& viewport, ColorDepth depth, const HeaderOptions& options, std::int64_t declared) {
  const std::string eol = options.lf ? "\n" : "\r\n";
  std::string out;
  if (!options.guard.empty()) out += "#ifndef " + options.guard + eol + "#define " + options.guard + eol;
  if (options.form == ElementForm::Stdint) out += "#include <stdint.h>" + eol;
  if (options.progmem) out += "#include <avr/pgmspace.h>" + eol;
  if (!options.guard.empty()) {
    const std::string prefix = "#define " + Upper(options.name);
    out += prefix + "_WIDTH " + std::to_string(viewport.DrawingWidth()) + eol;
    out += prefix + "_HEIGHT " + std::to_string(viewport.DrawingHeight()) + eol;
    out += prefix + "_COUNT " + std::to_string(declared) + eol;
  }
  if (options.is_static) out += "static ";
  out += ElementType(depth, options.form);
  out += " const " + options.name + "[" + std::to_string(declared) + "]";
  if (options.progmem) out += " PROGMEM";
  if (!options.section.empty()) out += " __attribute__((section(\"" + options.section + "\")))";
  return out + "={";
}

}  // namespace

std::string FormatHeader(const Viewport& viewport, const EncodeSettings& settings, const HeaderOptions& options,
                         HeaderStats* stats, const ColumnDone& column_done) {
  // The extent and the settings cannot change during a run: read them once.
  const float width = viewport.OuterWidth();
  const float height = viewport.OuterHeight();
  const std::int64_t declared = DeclaredCount(width, height);
  const std::string_view eol = options.lf ? "\n" : "\r\n";
  const bool swap = options.swap_bytes && settings.depth == ColorDepth::Depth16;
  const std::string opening = Opening(viewport, settings.depth, options, declared);

  // Tokens are at most "0x" + 8 digits + ",", lines end in CR LF: write into
  // a buffer of that worst case and trim it at the end.
  const auto columns = static_cast<std::size_t>(width / kTwipsPerPixel) + 1;
  std::string out(opening.size() + 64 + static_cast<std::size_t>(declared) * (3 + kMaxHexDigits) + columns * 2, '\0');
  char* p = out.data();
  auto put = [&p](std::string_view text) { p = std::copy(text.begin(), text.end(), p); };
  put(opening);

  HeaderStats found;
  found.declared = declared;
  std::int64_t k = 0;
  std::int16_t considered = 0;  // at most 23364 grid points: never overflows
  ColorValue last_color = kNoPixel;
  std::uint32_t packed = 0;
  char digits[kMaxHexDigits];
  std::string_view hex;
  for (float x = 0; x <= width; x += kTwipsPerPixel) {
    for (float y = height; y >= 1; y -= kTwipsPerPixel) {
      const ColorValue color = viewport.Sample(x, y);
      ++k;
      if (k > declared) continue;
      // Neighbouring samples are mostly the same colour: pack only on change.
      if (color != last_color || hex.empty()) {
        last_color = color;
        packed = static_cast<std::uint32_t>(PackColor(settings.depth, color));
        if (swap) packed = SwapBytes16(packed);
        hex = std::string_view(digits, static_cast<std::size_t>(WriteHex(digits, packed) - digits));
        found.largest = std::max(found.largest, packed);
      }
      found.over_16_bits += packed > 0xFFFF;
      if (!settings.remove || hex != settings.key) {
        put("0x");
        put(hex);
        if (k < declared) *p++ = ',';
      } else {
        ++found.matched;
      }
      if (settings.remove) ++considered;
    }
    if (k < declared) put(eol);
    if (column_done) column_done(x + kTwipsPerPixel);
  }
  out.resize(static_cast<std::size_t>(p - out.data()));

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

std::string ReportText(const HeaderStats& stats, ColorDepth depth, ElementForm form) {
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
  else
    out += "a 16-bit int cuts no value\n";
  // Where int is 16 bits, size_t usually is too: no object exceeds 32767 bytes.
  if (stats.declared * (int_sized ? 2 : fixed) > 32767) out += "too large for one object where int is 16 bits (AVR)\n";
  return out;
}

}  // namespace pixolan
