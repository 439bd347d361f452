#pragma once
// What the decoder tests share: test files, and Qt's whole decode as the reference.

#include <string>
#include <vector>

#include "picture/decoder.h"

namespace pixolan::test {

std::vector<std::uint8_t> ReadTestPicture(const std::string& name);

/// Composite(decode) equals Qt's whole decode cut to the region, for the
/// default corner and an odd offset over a background that shows alpha;
/// false when Qt cannot read bytes.
bool ExpectSameAsQt(DecodeOutcome (*decode)(Bytes, const Region&, const DecodeLimits&),
                    const std::vector<std::uint8_t>& bytes, const std::string& name);

/// Pixel (x, y) of a decoded region as 0xRRGGBBAA.
std::uint32_t PixelAt(const RgbaPixels& pixels, int x, int y);

}  // namespace pixolan::test
