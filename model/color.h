#pragma once
// Colour values as the viewport produces them, and their packing into the
// integers written to image.h.

#include <cstdint>
#include <string>

namespace pixolan {

/// A colour with red in the low byte: 0x00BBGGRR. -1 means "no pixel".
using ColorValue = std::int32_t;

inline constexpr ColorValue kNoPixel = -1;

/// Builds a ColorValue from 8-bit components.
constexpr ColorValue MakeColor(int red, int green, int blue) {
  return (red & 0xFF) | (green & 0xFF) << 8 | (blue & 0xFF) << 16;
}

/// Output depths, in the order of the window's depth options (index 0, 1, 2).
enum class ColorDepth { Depth8 = 0, Depth12 = 1, Depth16 = 2 };

/// How the array's element type is spelled: the classic C types, or the
/// exact-width types of <stdint.h> that keep their size on every target.
enum class ElementForm { Legacy, Stdint };

/// Legacy: "unsigned char" for Depth8, "unsigned int" for the other two.
/// Stdint: "uint8_t", "uint32_t" (12-bit values exceed 16 bits), "uint16_t".
const char* ElementType(ColorDepth depth, ElementForm form = ElementForm::Legacy);

/// Bits per pixel as the user names the depth: 8, 12 or 16.
int BitsOf(ColorDepth depth);

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

}  // namespace pixolan
