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

constexpr std::uint32_t kMagic = 0x34584950;  // "PIX4"
enum Kind : std::uint32_t { kPixels = 1, kError = 2 };
constexpr std::size_t kHeaderWords = 11;
constexpr std::size_t kHeaderBytes = kHeaderWords * sizeof(std::uint32_t);
constexpr double kScaleUnit = 1e6;

}  // namespace

bool WriteOutcome(int fd, const DecodeOutcome& outcome) {
  const bool ok = outcome.Ok();
  const std::string_view text = std::string_view(ok ? outcome.warning : outcome.error).substr(0, kMaxResultTextBytes);
  const std::string_view note = std::string_view(outcome.note).substr(0, kMaxResultTextBytes);
  const RgbaPixels& p = outcome.pixels;
  const std::uint32_t head[kHeaderWords] = {kMagic,
                                            ok ? kPixels : kError,
                                            ok ? std::uint32_t(p.width) : 0,
                                            ok ? std::uint32_t(p.height) : 0,
                                            ok ? std::uint32_t(p.picture_width) : 0,
                                            ok ? std::uint32_t(p.picture_height) : 0,
                                            ok ? std::uint32_t(std::lround(outcome.scale * kScaleUnit)) : 0,
                                            ok ? std::uint32_t(outcome.frames) : 0,
                                            ok ? std::uint32_t(outcome.delay_ms) : 0,
                                            std::uint32_t(text.size()),
                                            std::uint32_t(note.size())};
  const std::string_view pixels(reinterpret_cast<const char*>(p.rgba.data()), ok ? p.rgba.size() : 0);
  return WriteAll(fd, {reinterpret_cast<const char*>(head), kHeaderBytes}) && WriteAll(fd, pixels) &&
         WriteAll(fd, text) && WriteAll(fd, note);
}

std::size_t MaxResultBytes(const Region& region) {
  const std::size_t pixels = std::size_t(std::max(region.width, 0)) * std::size_t(std::max(region.height, 0));
  return kHeaderBytes + pixels * 4 + 2 * kMaxResultTextBytes;
}

bool ParseOutcome(const std::string& wire, const Region& region, DecodeOutcome& outcome) {
  std::uint32_t head[kHeaderWords];
  if (wire.size() < kHeaderBytes) return false;
  std::memcpy(head, wire.data(), kHeaderBytes);
  const auto [magic, kind, width, height, picture_width, picture_height, scale, frames, delay_ms, text_size,
              note_size] = head;
  if (magic != kMagic || text_size > kMaxResultTextBytes || note_size > kMaxResultTextBytes || frames > kMaxFrames ||
      delay_ms > INT32_MAX)
    return false;
  const std::size_t payload = wire.size() - kHeaderBytes;
  if (payload < note_size) return false;
  const std::string_view body = std::string_view(wire).substr(kHeaderBytes, payload - note_size);
  const std::string note(wire.end() - std::ptrdiff_t(note_size), wire.end());
  if (kind == kError) {
    if (width != 0 || height != 0 || picture_width != 0 || picture_height != 0 || frames != 0 || text_size == 0 ||
        body.size() != text_size)
      return false;
    outcome = {{}, std::string(body), {}};
    outcome.note = note;
    return true;
  }
  if (kind != kPixels) return false;
  if (width > std::uint32_t(std::max(region.width, 0)) || height > std::uint32_t(std::max(region.height, 0)))
    return false;
  const std::size_t pixel_bytes = std::size_t(width) * height * 4;
  if (body.size() != pixel_bytes + text_size) return false;
  outcome.error.clear();
  outcome.pixels = {int(width),
                    int(height),
                    {body.begin(), body.begin() + std::ptrdiff_t(pixel_bytes)},
                    int(picture_width),
                    int(picture_height)};
  outcome.warning = body.substr(pixel_bytes);
  outcome.note = note;
  outcome.scale = scale / kScaleUnit;
  outcome.frames = int(frames);
  outcome.delay_ms = int(delay_ms);
  return true;
}

}  // namespace pixolan
