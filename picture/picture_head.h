// SPDX-License-Identifier: MIT
#pragma once
// What the first bytes of a picture file say before anything is decoded: the
// size it claims, and the Exif orientation a decoder might turn it by. For
// decoders that are not ours (a browser's), which hold the whole picture and
// apply the orientation unless told otherwise.

#include <cstdint>
#include <optional>
#include <span>

#include "picture/decoder.h"

namespace pixolan {

struct ClaimedSize {
  std::int64_t width = 0;
  std::int64_t height = 0;
};

/// The width and height a JPEG, PNG, GIF, BMP or WebP header claims; none
/// where head is another format or ends before the size.
std::optional<ClaimedSize> SizeClaimedBy(Bytes head);

/// Sets a JPEG's Exif orientation in head to 1 (as stored), so that every
/// decoder shows the pixels as Pixolan's do; false when head has none.
bool ClearExifOrientation(std::span<std::uint8_t> head);

}  // namespace pixolan
