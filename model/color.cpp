// SPDX-License-Identifier: MIT
#include "model/color.h"

#include <bit>
#include <iterator>

namespace pixolan {

namespace {

// The window offers the first three packings.
constexpr int kWindowDepths = 3;

}  // namespace

ColorDepth DepthAtOption(int index) {
  return kDepths[index >= 0 && index < kWindowDepths ? index : kWindowDepths - 1].depth;
}

std::optional<ColorDepth> DepthNamed(const std::string& bits) {
  for (int i = 0; i < kWindowDepths; ++i)
    if (bits == std::to_string(kDepths[i].bits)) return kDepths[i].depth;
  return std::nullopt;
}

std::optional<ColorDepth> PixelNamed(const std::string& name) {
  for (const DepthInfo& info : kDepths)
    if (name == info.pixel) return info.depth;
  return std::nullopt;
}

const char* ElementType(ColorDepth depth, ElementForm form) {
  return form == ElementForm::Legacy ? InfoOf(depth).legacy_type : InfoOf(depth).stdint_type;
}

std::uint32_t FieldMask(ColorDepth depth) {
  std::uint32_t mask = 0;
  for (const PackedField f : {InfoOf(depth).red, InfoOf(depth).green, InfoOf(depth).blue})
    mask |= ((1u << f.bits) - 1) << f.shift;
  return mask;
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
  const DepthInfo& info = InfoOf(depth);
  auto field = [&info](int component, PackedField f) {
    const int levels = (1 << f.bits) - 1;
    int value = component & levels;
    // Red -1 of the no-pixel value keeps its high bits at 0, as it scales to 0.
    if (info.rule == FieldRule::Scaled) value = Scale(component, levels);
    if (info.rule == FieldRule::HighBits) value = component < 0 ? 0 : component >> (8 - f.bits);
    return value * (1 << f.shift);
  };
  return field(R, info.red) + field(G, info.green) + field(B, info.blue);
}

namespace {

// A field's bits repeated to fill eight: a full field gives 255, an empty one 0.
int Widened(std::int32_t packed, PackedField f) {
  const int value = packed >> f.shift & ((1 << f.bits) - 1);
  int repeated = 0, filled = 0;
  for (; filled < 8; filled += f.bits) repeated = repeated << f.bits | value;
  return repeated >> (filled - 8);
}

}  // namespace

Components Widen(ColorDepth depth, std::int32_t packed) {
  const DepthInfo& info = InfoOf(depth);
  return {Widened(packed, info.red), Widened(packed, info.green), Widened(packed, info.blue)};
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
