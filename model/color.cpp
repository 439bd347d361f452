#include "model/color.h"

#include <bit>

namespace pixolan {

const char* ElementType(ColorDepth depth, ElementForm form) {
  if (form == ElementForm::Legacy) return depth == ColorDepth::Depth8 ? "unsigned char" : "unsigned int";
  switch (depth) {
    case ColorDepth::Depth8: return "uint8_t";
    case ColorDepth::Depth12: return "uint32_t";
    case ColorDepth::Depth16: return "uint16_t";
  }
  return "";
}

int BitsOf(ColorDepth depth) {
  switch (depth) {
    case ColorDepth::Depth8: return 8;
    case ColorDepth::Depth12: return 12;
    case ColorDepth::Depth16: return 16;
  }
  return 0;
}

Components Unpack(ColorValue c) {
  // Signed arithmetic on purpose: -1 must give red -1 and full green and blue,
  // which is what firmware built against earlier files expects.
  const int red = c % 256;
  const int green = static_cast<std::int32_t>(c & ~0xFF) / 256 & 255;
  const int blue = (c & 0xFF0000) / 65536 & 255;
  return {red, green, blue};
}

namespace {

// round(component * levels / 255), nearest integer, in integers: the same as
// rounding the double quotient because a half never occurs for these factors.
// Red -1 of the no-pixel value rounds to zero.
std::int32_t Scale(int component, int levels) {
  const int n = component * levels;
  return n >= 0 ? (2 * n + 255) / 510 : -((255 - 2 * n) / 510);
}

}  // namespace

std::int32_t Pack(ColorDepth depth, int R, int G, int B) {
  switch (depth) {
    case ColorDepth::Depth8:
      return Scale(R, 3) * 64 + Scale(G, 15) * 4 + Scale(B, 3);
    case ColorDepth::Depth12:
      return ((R & 15) * 2048 + (G & 15) * 32 + (B & 15)) * 16;
    case ColorDepth::Depth16:
      return Scale(R, 31) * 2048 + Scale(G, 63) * 32 + Scale(B, 31);
  }
  return 0;
}

Components Widen(ColorDepth depth, std::int32_t packed) {
  switch (depth) {
    case ColorDepth::Depth8:
      return {(packed >> 6 & 3) * 85, (packed >> 2 & 15) * 17, (packed & 3) * 85};
    case ColorDepth::Depth12:
      return {(packed >> 15 & 15) * 17, (packed >> 9 & 15) * 17, (packed >> 4 & 15) * 17};
    case ColorDepth::Depth16: {
      const int r = packed >> 11 & 31, g = packed >> 5 & 63, b = packed & 31;
      return {r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2};
    }
  }
  return {0, 0, 0};
}

char* WriteHex(char* out, std::uint32_t v) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const int digits = (std::bit_width(v | 1u) + 3) / 4;
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) *out++ = kDigits[(v >> shift) & 0xF];
  return out;
}

std::string HexText(std::int64_t v) {
  char digits[kMaxHexDigits];
  char* end = WriteHex(digits, static_cast<std::uint32_t>(v));
  return std::string(digits, static_cast<std::size_t>(end - digits));
}

}  // namespace pixolan
