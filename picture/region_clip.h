#pragma once
// The part of a region that lies inside a picture, shared by the decoders.

#include <algorithm>
#include <cstdint>

#include "picture/decoder.h"

namespace pixolan {

/// region cut to a width x height picture; empty (0 x 0) when they do not meet.
inline Region ClipRegion(const Region& region, std::int64_t width, std::int64_t height) {
  const std::int64_t x = std::max(region.x, 0), y = std::max(region.y, 0);
  const std::int64_t right = std::min<std::int64_t>(width, std::int64_t{region.x} + std::max(region.width, 0));
  const std::int64_t bottom = std::min<std::int64_t>(height, std::int64_t{region.y} + std::max(region.height, 0));
  if (right <= x || bottom <= y) return {0, 0, 0, 0};
  return {static_cast<int>(x), static_cast<int>(y), static_cast<int>(right - x), static_cast<int>(bottom - y)};
}

}  // namespace pixolan
