// SPDX-License-Identifier: MIT
#pragma once
// Colour values as the viewport produces them, and their packing into the
// integers written to image.h.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pixolan {

/// A colour with red in the low byte: 0x00BBGGRR. -1 means "no pixel".
using ColorValue = std::int32_t;

inline constexpr ColorValue kNoPixel = -1;

/// Builds a ColorValue from 8-bit components.
constexpr ColorValue MakeColor(int red, int green, int blue) {
  return (red & 0xFF) | (green & 0xFF) << 8 | (blue & 0xFF) << 16;
}

/// The 8-bit components of a colour, as drawn; the no-pixel value is white.
constexpr int RedOf(ColorValue c) { return c & 0xFF; }
constexpr int GreenOf(ColorValue c) { return c >> 8 & 0xFF; }
constexpr int BlueOf(ColorValue c) { return c >> 16 & 0xFF; }

/// Output packings. The first three are the window's depth options (index 0,
/// 1, 2); the true 4-4-4 and 3-3-2 packings are for panels whose 12- and 8-bit
/// modes expect them, chosen on the command line.
enum class ColorDepth { Depth8 = 0, Depth12 = 1, Depth16 = 2, Rgb444 = 3, Rgb332 = 4 };

/// How the array's element type is spelled: the classic C types, or the
/// exact-width types of <stdint.h> that keep their size on every target.
enum class ElementForm { Legacy, Stdint };

/// Where one component sits in a packed value.
struct PackedField {
  int bits;
  int shift;
};

/// How a component becomes its field.
enum class FieldRule {
  Scaled,    // scaled to the field and rounded: round(c * max / 255)
  LowBits,   // its low bits kept (the window's 12-bit packing)
  HighBits,  // its high bits kept: c >> (8 - bits)
};

/// Everything that differs between the depths, in one row per depth.
struct DepthInfo {
  ColorDepth depth;         // also the window's option index
  int bits;                 // as the user names the depth
  const char* caption;      // the window's option
  const char* pixel;        // as --pixel names the packing
  const char* legacy_type;  // ElementForm::Legacy
  int legacy_bytes;         // 0: as large as the target's int
  const char* stdint_type;  // ElementForm::Stdint; 12-bit values exceed 16 bits
  int stdint_bytes;
  PackedField red, green, blue;
  FieldRule rule;
};

/// The depths in option order: 8-bit RRGGGGBB, 12-bit low nibbles (R at bits
/// 15-18, G 9-12, B 4-7), 16-bit RGB565; then 0xRGB of the high nibbles and
/// RRRGGGBB of the high bits.
inline constexpr DepthInfo kDepths[] = {
    {ColorDepth::Depth8,
     8,
     "8-bit",
     "rrggggbb",
     "unsigned char",
     1,
     "uint8_t",
     1,
     {2, 6},
     {4, 2},
     {2, 0},
     FieldRule::Scaled},
    {ColorDepth::Depth12,
     12,
     "12-bit",
     "low444",
     "unsigned int",
     0,
     "uint32_t",
     4,
     {4, 15},
     {4, 9},
     {4, 4},
     FieldRule::LowBits},
    {ColorDepth::Depth16,
     16,
     "16-bit",
     "rgb565",
     "unsigned int",
     0,
     "uint16_t",
     2,
     {5, 11},
     {6, 5},
     {5, 0},
     FieldRule::Scaled},
    {ColorDepth::Rgb444,
     12,
     "12-bit",
     "rgb444",
     "unsigned int",
     0,
     "uint16_t",
     2,
     {4, 8},
     {4, 4},
     {4, 0},
     FieldRule::HighBits},
    {ColorDepth::Rgb332,
     8,
     "8-bit",
     "rgb332",
     "unsigned char",
     1,
     "uint8_t",
     1,
     {3, 5},
     {3, 2},
     {2, 0},
     FieldRule::HighBits},
};

/// The row of a depth.
constexpr const DepthInfo& InfoOf(ColorDepth depth) { return kDepths[static_cast<int>(depth)]; }

/// The depth of a window option; any other index is the last option's.
ColorDepth DepthAtOption(int index);

/// The depth the user names "8", "12" or "16" (the window's packings); none
/// for anything else.
std::optional<ColorDepth> DepthNamed(const std::string& bits);

/// The packing --pixel names ("rgb565", "rgb444", ...); none for anything else.
std::optional<ColorDepth> PixelNamed(const std::string& name);

/// The element type as the form spells it.
const char* ElementType(ColorDepth depth, ElementForm form = ElementForm::Legacy);

/// Bits per pixel as the user names the depth: 8, 12 or 16.
inline int BitsOf(ColorDepth depth) { return InfoOf(depth).bits; }

/// Every bit a packed value of the depth can have set: white's packing.
std::uint32_t FieldMask(ColorDepth depth);

/// A 16-bit value with its two bytes swapped; bits above them stay.
constexpr std::uint32_t SwapBytes16(std::uint32_t v) { return (v & 0xFF) << 8 | (v >> 8 & 0xFF) | (v & ~0xFFFFu); }

struct Components {
  int R;
  int G;
  int B;
};

/// The encoder's split of a colour. For a real pixel these are its bytes;
/// the no-pixel value -1 splits into (-1, 255, 255).
Components Unpack(ColorValue c);

/// Packs components at the given depth:
///   Depth8   RRGGGGBB (2-4-2 bits, each component scaled and rounded)
///   Depth12  low nibble of each component: R at bits 15-18, G 9-12, B 4-7
///   Depth16  RGB565, red in the high bits
///   Rgb444   high nibble of each component: 0xRGB
///   Rgb332   RRRGGGBB, the high bits of each component
std::int32_t Pack(ColorDepth depth, int R, int G, int B);

/// Pack(depth, Unpack(c)).
inline std::int32_t PackColor(ColorDepth depth, ColorValue c) {
  const Components k = Unpack(c);
  return Pack(depth, k.R, k.G, k.B);
}

/// A packed value as the display shows it: each field widened back to 8 bits
/// by repeating its bits, so a full field gives 255 and an empty one 0.
///   Depth8   r2 * 85, g4 * 17, b2 * 85
///   Depth12  each low nibble n as n * 17
///   Depth16  r5 << 3 | r5 >> 2, g6 << 2 | g6 >> 4, b5 << 3 | b5 >> 2
Components Widen(ColorDepth depth, std::int32_t packed);

/// Longest HexText: eight digits.
inline constexpr int kMaxHexDigits = 8;

/// Writes the uppercase hex digits of v (no prefix, no leading zeros) at out
/// and returns the end. out must have room for kMaxHexDigits characters.
char* WriteHex(char* out, std::uint32_t v);

/// Uppercase hexadecimal without prefix or leading zeros; HexText(0) is "0".
/// A negative value shows as its 32-bit two's complement (-1 is "FFFFFFFF").
std::string HexText(std::int64_t v);

/// Whether Remove Color's key leaves a sample out: the sample's HexText
/// equals the key as typed, verbatim ("ff" and "0FF" match nothing).
inline bool KeyLeavesOut(std::string_view hex_digits, std::string_view key) { return hex_digits == key; }
inline bool KeyLeavesOut(std::uint32_t packed, std::string_view key) { return KeyLeavesOut(HexText(packed), key); }

/// What the display shows where the key leaves a sample out: pure magenta
/// is rare in photos and in pictures drawn for small displays.
inline constexpr ColorValue kLeftOutMarker = MakeColor(255, 0, 255);

}  // namespace pixolan
