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

constexpr std::uint32_t kMagic = 0x31584950;  // "PIX1"
enum Kind : std::uint32_t { kPixels = 1, kError = 2 };
constexpr std::size_t kHeaderWords = 8;
constexpr std::size_t kHeaderBytes = kHeaderWords * sizeof(std::uint32_t);
constexpr double kScaleUnit = 1e6;

}  // namespace

bool WriteOutcome(int fd, const DecodeOutcome& outcome) {
  const std::string_view error = std::string_view(outcome.error).substr(0, kMaxErrorBytes);
  const bool ok = error.empty();
  const std::uint32_t head[kHeaderWords] = {kMagic,
                                           ok ? kPixels : kError,
                                           ok ? std::uint32_t(outcome.pixels.width) : 0,
                                           ok ? std::uint32_t(outcome.pixels.height) : 0,
                                           std::uint32_t(error.size()),
                                           std::uint32_t(outcome.picture_width),
                                           std::uint32_t(outcome.picture_height),
                                           std::uint32_t(std::lround(outcome.scale * kScaleUnit))};
  const std::string_view pixels(reinterpret_cast<const char*>(outcome.pixels.rgba.data()), outcome.pixels.rgba.size());
  return WriteAll(fd, {reinterpret_cast<const char*>(head), kHeaderBytes}) && WriteAll(fd, ok ? pixels : error);
}

std::size_t MaxResultBytes(const Region& region) {
  const std::size_t pixels = std::size_t(std::max(region.width, 0)) * std::size_t(std::max(region.height, 0));
  return kHeaderBytes + std::max(pixels * 4, kMaxErrorBytes);
}

bool ParseOutcome(const std::string& wire, const Region& region, DecodeOutcome& outcome) {
  std::uint32_t head[kHeaderWords];
  if (wire.size() < kHeaderBytes) return false;
  std::memcpy(head, wire.data(), kHeaderBytes);
  const auto [magic, kind, width, height, error_size, picture_width, picture_height, scale] = head;
  if (magic != kMagic) return false;
  const std::size_t payload = wire.size() - kHeaderBytes;
  if (kind == kError) {
    if (width != 0 || height != 0 || error_size == 0 || error_size > kMaxErrorBytes || payload != error_size)
      return false;
    outcome = {{}, wire.substr(kHeaderBytes)};
    return true;
  }
  if (kind != kPixels || error_size != 0) return false;
  if (width > std::uint32_t(std::max(region.width, 0)) || height > std::uint32_t(std::max(region.height, 0)))
    return false;
  if (payload != std::size_t(width) * height * 4) return false;
  outcome.error.clear();
  outcome.pixels = {int(width), int(height), {wire.begin() + kHeaderBytes, wire.end()}};
  outcome.picture_width = int(picture_width);
  outcome.picture_height = int(picture_height);
  outcome.scale = scale / kScaleUnit;
  return true;
}

}  // namespace pixolan
