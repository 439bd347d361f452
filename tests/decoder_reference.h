#pragma once
// What the decoder tests share: test files, Qt's whole decode as the
// reference, and comparing pictures.

#include <QImage>

#include <string>
#include <vector>

#include "decoder.h"

namespace pixolan::test {

std::vector<std::uint8_t> ReadTestPicture(const std::string& name);

/// Names of the test pictures of a format, by their first bytes.
std::vector<std::string> TestPicturesOf(PictureFormat format);

/// Qt's reader on the whole file, as Pixolan used it (no auto-transform).
QImage QtDecode(const std::vector<std::uint8_t>& bytes);

/// A background that shows alpha handling, unlike white.
inline constexpr ColorValue kTestBackground = 0x336699;

/// The regions every equality check covers: the default corner and offsets,
/// an odd one among them.
std::vector<Region> TestRegions();

/// Empty when equal, otherwise the size or the first differing pixel.
std::string Difference(const Picture& got, const Picture& want);

}  // namespace pixolan::test
