// SPDX-License-Identifier: MIT
#include "picture/picture_head.h"

#include <algorithm>
#include <cstring>

namespace pixolan {
namespace {

std::uint32_t Big16(Bytes b, std::size_t at) { return std::uint32_t{b[at]} << 8 | b[at + 1]; }
std::uint32_t Little16(Bytes b, std::size_t at) { return std::uint32_t{b[at + 1]} << 8 | b[at]; }
std::uint32_t Big32(Bytes b, std::size_t at) { return Big16(b, at) << 16 | Big16(b, at + 2); }
std::uint32_t Little32(Bytes b, std::size_t at) { return Little16(b, at + 2) << 16 | Little16(b, at); }
std::uint32_t Little24(Bytes b, std::size_t at) { return std::uint32_t{b[at + 2]} << 16 | Little16(b, at); }

bool Has(Bytes b, std::size_t at, const char* text) {
  const std::size_t n = std::strlen(text);
  return b.size() >= at + n && std::memcmp(b.data() + at, text, n) == 0;
}

// Calls visit(marker, segment start, segment length) for each JPEG segment
// before the scan until visit returns true; the segment's bytes may run past
// head. The answer of the visit that stopped, else false.
template <typename Visit>
bool ForEachJpegSegment(Bytes head, Visit visit) {
  std::size_t at = 2;
  while (at + 4 <= head.size()) {
    if (head[at] != 0xFF) return false;
    const std::uint8_t marker = head[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) return false;  // scan or end: no more headers
    const std::size_t length = Big16(head, at + 2);
    if (visit(marker, at, length)) return true;
    at += 2 + length;
  }
  return false;
}

std::optional<ClaimedSize> JpegSize(Bytes head) {
  std::optional<ClaimedSize> size;
  ForEachJpegSegment(head, [&](std::uint8_t marker, std::size_t at, std::size_t) {
    // SOF0..SOF15 except DHT (C4), JPG (C8) and DAC (CC).
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (!frame || at + 9 > head.size()) return false;
    size = ClaimedSize{Big16(head, at + 7), Big16(head, at + 5)};
    return true;
  });
  return size;
}

std::optional<ClaimedSize> BmpSize(Bytes head) {
  if (head.size() < 26) return std::nullopt;
  if (Little32(head, 14) == 12) return ClaimedSize{Little16(head, 18), Little16(head, 20)};  // OS/2 core header
  const auto height = static_cast<std::int32_t>(Little32(head, 22));                         // negative: top-down
  return ClaimedSize{static_cast<std::int32_t>(Little32(head, 18)), height < 0 ? -std::int64_t{height} : height};
}

std::optional<ClaimedSize> WebpSize(Bytes head) {
  if (Has(head, 12, "VP8 ") && head.size() >= 30)
    return ClaimedSize{Little16(head, 26) & 0x3FFF, Little16(head, 28) & 0x3FFF};
  if (Has(head, 12, "VP8L") && head.size() >= 25) {
    const std::uint32_t bits = Little32(head, 21);
    return ClaimedSize{(bits & 0x3FFF) + 1, (bits >> 14 & 0x3FFF) + 1};
  }
  if (Has(head, 12, "VP8X") && head.size() >= 30)
    return ClaimedSize{std::int64_t{Little24(head, 24)} + 1, std::int64_t{Little24(head, 27)} + 1};
  return std::nullopt;
}

}  // namespace

std::optional<ClaimedSize> SizeClaimedBy(Bytes head) {
  switch (SniffFormat(head)) {
    case PictureFormat::Jpeg: return JpegSize(head);
    case PictureFormat::Png:
      if (head.size() < 24 || !Has(head, 12, "IHDR")) return std::nullopt;
      return ClaimedSize{Big32(head, 16), Big32(head, 20)};
    case PictureFormat::Gif:
      if (head.size() < 10) return std::nullopt;
      return ClaimedSize{Little16(head, 6), Little16(head, 8)};
    case PictureFormat::Bmp: return BmpSize(head);
    case PictureFormat::Webp: return WebpSize(head);
    default: return std::nullopt;
  }
}

bool ClearExifOrientation(std::span<std::uint8_t> head) {
  const Bytes bytes(head.data(), head.size());
  if (SniffFormat(bytes) != PictureFormat::Jpeg) return false;
  return ForEachJpegSegment(bytes, [&](std::uint8_t marker, std::size_t at, std::size_t length) {
    if (marker != 0xE1 || at + 10 > bytes.size() || std::memcmp(bytes.data() + at + 4, "Exif\0\0", 6) != 0)
      return false;
    // A TIFF structure: byte order, 42, offset of the first directory.
    const std::size_t tiff = at + 10;
    const std::size_t end = std::min(head.size(), at + 2 + length);
    if (tiff + 8 > end) return false;
    const bool little = Has(bytes, tiff, "II");
    auto u16 = [&](std::size_t p) { return little ? Little16(bytes, p) : Big16(bytes, p); };
    auto u32 = [&](std::size_t p) { return little ? Little32(bytes, p) : Big32(bytes, p); };
    const std::size_t directory = tiff + u32(tiff + 4);
    if (directory + 2 > end || directory < tiff) return false;
    const std::size_t entries = u16(directory);
    for (std::size_t i = 0; i < entries && directory + 2 + 12 * (i + 1) <= end; ++i) {
      const std::size_t entry = directory + 2 + 12 * i;
      if (u16(entry) != 0x0112) continue;  // Orientation, a SHORT held in the entry
      head[entry + 8] = little ? 1 : 0;
      head[entry + 9] = little ? 0 : 1;
      return true;
    }
    return false;
  });
}

}  // namespace pixolan
