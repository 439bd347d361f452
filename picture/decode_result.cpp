// SPDX-License-Identifier: MIT
#include "picture/decode_result.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "io/descriptor.h"

namespace pixolan {
namespace {

constexpr std::uint32_t kMagic = 0x32584950;  // "PIX2"
enum Kind : std::uint32_t { kPixels = 1, kError = 2 };
constexpr std::size_t kHeaderWords = 8;
constexpr std::size_t kHeaderBytes = kHeaderWords * sizeof(std::uint32_t);
constexpr double kScaleUnit = 1e6;

}  // namespace

bool WriteOutcome(int fd, const DecodeOutcome& outcome) {
  const bool ok = outcome.Ok();
  const std::string_view text = std::string_view(ok ? outcome.warning : outcome.error).substr(0, kMaxErrorBytes);
  const RgbaPixels& p = outcome.pixels;
  const std::uint32_t head[kHeaderWords] = {kMagic,
                                            ok ? kPixels : kError,
                                            ok ? std::uint32_t(p.width) : 0,
                                            ok ? std::uint32_t(p.height) : 0,
                                            ok ? std::uint32_t(p.picture_width) : 0,
                                            ok ? std::uint32_t(p.picture_height) : 0,
                                            ok ? std::uint32_t(std::lround(outcome.scale * kScaleUnit)) : 0,
                                            std::uint32_t(text.size())};
  const std::string_view pixels(reinterpret_cast<const char*>(p.rgba.data()), ok ? p.rgba.size() : 0);
  return WriteAll(fd, {reinterpret_cast<const char*>(head), kHeaderBytes}) && WriteAll(fd, pixels) &&
         WriteAll(fd, text);
}

std::size_t MaxResultBytes(const Region& region) {
  const std::size_t pixels = std::size_t(std::max(region.width, 0)) * std::size_t(std::max(region.height, 0));
  return kHeaderBytes + pixels * 4 + kMaxErrorBytes;
}

bool ParseOutcome(const std::string& wire, const Region& region, DecodeOutcome& outcome) {
  std::uint32_t head[kHeaderWords];
  if (wire.size() < kHeaderBytes) return false;
  std::memcpy(head, wire.data(), kHeaderBytes);
  const auto [magic, kind, width, height, picture_width, picture_height, scale, text_size] = head;
  if (magic != kMagic || text_size > kMaxErrorBytes) return false;
  const std::size_t payload = wire.size() - kHeaderBytes;
  if (kind == kError) {
    if (width != 0 || height != 0 || picture_width != 0 || picture_height != 0 || text_size == 0 ||
        payload != text_size)
      return false;
    outcome = {{}, wire.substr(kHeaderBytes), {}};
    return true;
  }
  if (kind != kPixels) return false;
  if (width > std::uint32_t(std::max(region.width, 0)) || height > std::uint32_t(std::max(region.height, 0)))
    return false;
  const std::size_t pixel_bytes = std::size_t(width) * height * 4;
  if (payload != pixel_bytes + text_size) return false;
  const auto pixels_end = wire.begin() + std::ptrdiff_t(kHeaderBytes + pixel_bytes);
  outcome.error.clear();
  outcome.pixels = {int(width), int(height), {wire.begin() + kHeaderBytes, pixels_end}, int(picture_width),
                    int(picture_height)};
  outcome.warning.assign(pixels_end, wire.end());
  outcome.scale = scale / kScaleUnit;
  return true;
}

}  // namespace pixolan
