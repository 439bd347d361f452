// SPDX-License-Identifier: MIT
#include "picture/decoder.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace pixolan {
namespace {

int HexDigit(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

bool Matches(Bytes head, std::string_view signature) {
  if (signature.empty() || head.size() < signature.size() / 2) return false;
  for (std::size_t i = 0; i < signature.size() / 2; ++i) {
    const std::string_view digits = signature.substr(2 * i, 2);
    if (digits != ".." && head[i] != HexDigit(digits[0]) * 16 + HexDigit(digits[1])) return false;
  }
  return true;
}

int Blend(int over, int under, int alpha) { return (over * alpha + under * (255 - alpha) + 127) / 255; }

}  // namespace

const FormatInfo* FormatOf(Bytes head) {
  for (const FormatInfo& row : kFormats)
    for (const std::string_view signature : row.signatures)
      if (Matches(head, signature)) return &row;
  return nullptr;
}

std::string TooLarge(std::int64_t width, std::int64_t height, std::int64_t bytes_needed, const DecodeLimits& limits) {
  constexpr std::int64_t kMB = 1024 * 1024;
  return "the picture is " + std::to_string(width) + " x " + std::to_string(height) + " pixels and would need " +
         std::to_string((bytes_needed + kMB - 1) / kMB) + " MB, more than the " +
         std::to_string(limits.max_bytes / kMB) + " MB a picture may take";
}

std::string CouldNotLoad(const std::string& name, const std::string& reason) {
  return "Could not load " + name + ": " + reason;
}

RgbaPixels RegionPixels(const Region& region, std::int64_t picture_width, std::int64_t picture_height) {
  const Region kept = ClipRegion(region, picture_width, picture_height);
  RgbaPixels pixels{kept.width, kept.height, {}, int(picture_width), int(picture_height)};
  pixels.rgba.assign(static_cast<std::size_t>(pixels.width) * pixels.height * 4, 0);
  return pixels;
}

std::string PlacedRead::Plan(Bytes file, const Placement& placement, const Region& region, std::int64_t width,
                             std::int64_t height) {
  const Orientation exif = placement.exif_orientation ? Orientation::FromExif(ExifOrientation(file)) : Orientation{};
  return PlanPlacement(placement, region, static_cast<int>(width), static_cast<int>(height), exif, plan);
}

std::int64_t PlacedRead::BytesNeeded(std::int64_t frame_width) const {
  return plan.scaled ? PictureReducer::BytesNeeded(plan, static_cast<int>(frame_width)) + frame_width * 4 : 0;
}

PictureReducer& PlacedRead::Start(const Region& frame, int width, int height) {
  row.assign(static_cast<std::size_t>(width) * 4, 0);
  return reducer.emplace(plan, frame, width, height);
}

DecodeOutcome PlacedRead::Finish(RgbaPixels pixels) {
  DecodeOutcome outcome;
  if (reducer) {
    outcome.pixels = {plan.area_width, plan.area_height, reducer->Finish()};
  } else if (plan.orientation.IsIdentity()) {
    outcome.pixels = std::move(pixels);
  } else {
    outcome.pixels.rgba = TurnedRgba(pixels.rgba, pixels.width, pixels.height, plan.orientation);
    outcome.pixels.width = plan.orientation.transpose ? pixels.height : pixels.width;
    outcome.pixels.height = plan.orientation.transpose ? pixels.width : pixels.height;
  }
  outcome.pixels.picture_width = plan.stored_width;
  outcome.pixels.picture_height = plan.stored_height;
  outcome.scale = plan.Scale();
  return outcome;
}

DecodeOutcome FromWholePicture(const RgbaPixels& whole, Bytes file, const Region& region, const DecodeLimits& limits,
                               const Placement& placement) {
  PlacedRead placed;
  if (std::string refusal = placed.Plan(file, placement, region, whole.width, whole.height); !refusal.empty())
    return {{}, refusal};
  const std::size_t row_bytes = static_cast<std::size_t>(whole.width) * 4;
  if (placed.plan.scaled) {
    const std::int64_t needed = static_cast<std::int64_t>(whole.rgba.size()) + placed.BytesNeeded(whole.width);
    if (needed > limits.max_bytes) return {{}, TooLarge(whole.width, whole.height, needed, limits)};
    PictureReducer& reducer = placed.Start({0, 0, whole.width, whole.height}, whole.width, whole.height);
    for (int y = reducer.FirstRow(); y < reducer.EndRow(); ++y)
      reducer.AddRow(y, &whole.rgba[static_cast<std::size_t>(y) * row_bytes]);
    return placed.Finish();
  }
  const Region kept = ClipRegion(placed.StoredRegion(), whole.width, whole.height);
  RgbaPixels pixels = RegionPixels(kept, whole.width, whole.height);
  for (int row = 0; row < pixels.height; ++row)
    std::memcpy(&pixels.rgba[static_cast<std::size_t>(row) * pixels.width * 4],
                &whole.rgba[static_cast<std::size_t>(kept.y + row) * row_bytes + static_cast<std::size_t>(kept.x) * 4],
                static_cast<std::size_t>(pixels.width) * 4);
  return placed.Finish(std::move(pixels));
}

void ReleaseFilePages(Bytes file, const DecodeLimits& limits) {
  if (!limits.file_mapped) return;
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(file.data());
  const std::uintptr_t first = (start + page - 1) / page * page, end = (start + file.size()) / page * page;
  if (end > first) ::madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTNEED);
}

Picture Composite(const RgbaPixels& pixels, ColorValue background) {
  const int bg_red = RedOf(background), bg_green = GreenOf(background), bg_blue = BlueOf(background);
  Picture picture{pixels.width, pixels.height, {}};
  picture.pixels.reserve(static_cast<std::size_t>(pixels.width) * pixels.height);
  for (std::size_t i = 0; i + 3 < pixels.rgba.size(); i += 4) {
    const std::uint8_t* p = &pixels.rgba[i];
    picture.pixels.push_back(
        MakeColor(Blend(p[0], bg_red, p[3]), Blend(p[1], bg_green, p[3]), Blend(p[2], bg_blue, p[3])));
  }
  return picture;
}

}  // namespace pixolan
