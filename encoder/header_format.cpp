#include "header_format.h"

#include <cmath>
#include <string_view>

namespace pixolan {

std::int64_t DeclaredCount(float outer_width, float outer_height) {
  const auto columns = static_cast<std::int64_t>(outer_width / kTwipsPerPixel) + 1;
  const auto rows = static_cast<std::int64_t>(outer_height / kTwipsPerPixel);
  return columns * rows;
}

std::string FormatHeader(const Viewport& viewport, const EncodeSettings& settings,
                         const ColumnDone& column_done) {
  // The extent and the settings cannot change during a run: read them once.
  const float width = viewport.OuterWidth();
  const float height = viewport.OuterHeight();
  const std::int64_t declared = DeclaredCount(width, height);

  std::string out;
  out.reserve(static_cast<std::size_t>(declared) * 9 + 64);
  out += ElementType(settings.depth);
  out += " const Photos[";
  out += std::to_string(declared);
  out += "]={";

  std::int64_t k = 0;
  std::int16_t considered = 0;  // at most 23364 grid points: never overflows
  for (float x = 0; x <= width; x += kTwipsPerPixel) {
    for (float y = height; y >= 1; y -= kTwipsPerPixel) {
      const std::int32_t packed = PackColor(settings.depth, viewport.Sample(x, y));
      ++k;
      if (k > declared) continue;
      char digits[kMaxHexDigits];
      const std::string_view hex(digits, WriteHex(digits, static_cast<std::uint32_t>(packed)) - digits);
      if (!settings.remove || hex != settings.key) {
        out += "0x";
        out += hex;
        if (k < declared) out += ',';
      }
      if (settings.remove) ++considered;
    }
    if (k < declared) out += "\r\n";
    if (column_done) column_done(x + kTwipsPerPixel);
  }

  out += "};\r\n/* ";
  out += std::to_string(considered);
  out += " */";
  return out;
}

}  // namespace pixolan
