#include "header_format.h"

#include <algorithm>
#include <string_view>

namespace pixolan {

std::int64_t DeclaredCount(float outer_width, float outer_height) {
  const auto columns = static_cast<std::int64_t>(outer_width / kTwipsPerPixel) + 1;
  const auto rows = static_cast<std::int64_t>(outer_height / kTwipsPerPixel);
  return columns * rows;
}

std::string FormatHeader(const Viewport& viewport, const EncodeSettings& settings,
                         const ColumnDone& column_done, std::int64_t* left_out) {
  // The extent and the settings cannot change during a run: read them once.
  const float width = viewport.OuterWidth();
  const float height = viewport.OuterHeight();
  const std::int64_t declared = DeclaredCount(width, height);

  // Tokens are at most "0x" + 8 digits + ",", lines end in CR LF: write into
  // a buffer of that worst case and trim it at the end.
  const auto columns = static_cast<std::size_t>(width / kTwipsPerPixel) + 1;
  std::string out(64 + static_cast<std::size_t>(declared) * (3 + kMaxHexDigits) + columns * 2, '\0');
  char* p = out.data();
  auto put = [&p](std::string_view text) { p = std::copy(text.begin(), text.end(), p); };
  put(ElementType(settings.depth));
  put(" const Photos[");
  put(std::to_string(declared));
  put("]={");

  std::int64_t k = 0;
  std::int16_t considered = 0;  // at most 23364 grid points: never overflows
  std::int64_t removed = 0;
  ColorValue last_color = kNoPixel;
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
        const auto packed = static_cast<std::uint32_t>(PackColor(settings.depth, color));
        hex = std::string_view(digits, static_cast<std::size_t>(WriteHex(digits, packed) - digits));
      }
      if (!settings.remove || hex != settings.key) {
        put("0x");
        put(hex);
        if (k < declared) *p++ = ',';
      } else {
        ++removed;
      }
      if (settings.remove) ++considered;
    }
    if (k < declared) put("\r\n");
    if (column_done) column_done(x + kTwipsPerPixel);
  }
  out.resize(static_cast<std::size_t>(p - out.data()));
  if (left_out) *left_out = removed;

  out += "};\r\n/* ";
  out += std::to_string(considered);
  out += " */";
  return out;
}

}  // namespace pixolan
