// SPDX-License-Identifier: MIT
#include "resources/sample_picture.h"

#include <array>
#include <cstdint>

namespace pixolan {
namespace {

//  rows   0-63   eight colour bars, 16 pixels wide
//  rows  64-79   sixteen grey steps, 8 pixels wide
//  rows  80-95   red ramp    (32 levels, 4 pixels wide)
//  rows  96-111  green ramp  (likewise)
//  rows 112-127  blue ramp   (likewise)
constexpr int kBarRows = 64;
constexpr int kGreyRows = 16;
constexpr int kRampRows = 16;
constexpr int kGreySteps = 16;
constexpr int kRampLevels = 32;

constexpr std::array<ColorValue, 8> kBars = {
    MakeColor(255, 255, 255), MakeColor(255, 255, 0), MakeColor(0, 255, 255), MakeColor(0, 255, 0),
    MakeColor(255, 0, 255),   MakeColor(255, 0, 0),   MakeColor(0, 0, 255),   MakeColor(0, 0, 0),
};

constexpr int kGreyBase = static_cast<int>(kBars.size());
constexpr int kRampBase = kGreyBase + kGreySteps;

std::array<ColorValue, 256> MakePalette() {
  std::array<ColorValue, 256> palette{};
  for (std::size_t i = 0; i < kBars.size(); ++i) palette[i] = kBars[i];
  for (int i = 0; i < kGreySteps; ++i) {
    const int level = i * 255 / (kGreySteps - 1);
    palette[kGreyBase + i] = MakeColor(level, level, level);
  }
  for (int i = 0; i < kRampLevels; ++i) {
    const int level = (i * 255 + (kRampLevels - 1) / 2) / (kRampLevels - 1);
    palette[kRampBase + i] = MakeColor(level, 0, 0);
    palette[kRampBase + kRampLevels + i] = MakeColor(0, level, 0);
    palette[kRampBase + 2 * kRampLevels + i] = MakeColor(0, 0, level);
  }
  return palette;
}

std::uint8_t IndexAt(int column, int row) {
  if (row < kBarRows) return static_cast<std::uint8_t>(column / 16);
  if (row < kBarRows + kGreyRows) return static_cast<std::uint8_t>(kGreyBase + column / 8);
  const int ramp = (row - kBarRows - kGreyRows) / kRampRows;
  return static_cast<std::uint8_t>(kRampBase + ramp * kRampLevels + column / 4);
}

}  // namespace

Picture SamplePicture() {
  static const std::array<ColorValue, 256> palette = MakePalette();
  Picture picture{kSampleWidth, kSampleHeight, {}};
  picture.pixels.reserve(kSampleWidth * kSampleHeight);
  for (int row = 0; row < kSampleHeight; ++row)
    for (int column = 0; column < kSampleWidth; ++column) picture.pixels.push_back(palette[IndexAt(column, row)]);
  return picture;
}

}  // namespace pixolan
