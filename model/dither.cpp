// SPDX-License-Identifier: MIT
#include "model/dither.h"

#include <algorithm>
#include <array>

namespace pixolan {

std::optional<DitherMode> DitherModeNamed(const std::string& name) {
  for (const DitherModeInfo& info : kDitherModes)
    if (name == info.name) return info.mode;
  return std::nullopt;
}

int BayerThreshold(int column, int row) {
  // Bits of x ^ y and y interleaved, the finest scale the most significant.
  int value = 0;
  for (int bit = 0; bit < 3; ++bit) value = value << 2 | ((column ^ row) >> bit & 1) << 1 | (row >> bit & 1);
  return value;
}

namespace {

constexpr std::int32_t kLinearOne = 65535;

// y^(1/5) by Newton's method from above, where it converges without overshoot.
constexpr double FifthRoot(double y) {
  double r = 1;
  for (int i = 0; i < 40; ++i) r -= (r * r * r * r * r - y) / (5 * r * r * r * r);
  return r;
}

// The sRGB curve with + - * / only, evaluated by the compiler: the table is
// the same on every machine, whatever its pow().
constexpr double SrgbToLinear(int component) {
  const double c = component / 255.0;
  if (c <= 0.04045) return c / 12.92;
  const double y = (c + 0.055) / 1.055;
  const double root = FifthRoot(y);
  return y * y * root * root;  // y^2.4
}

constexpr std::array<std::int32_t, 256> MakeLinearTable() {
  std::array<std::int32_t, 256> table{};
  for (int c = 0; c < 256; ++c) table[c] = static_cast<std::int32_t>(SrgbToLinear(c) * kLinearOne + 0.5);
  return table;
}

constexpr std::array<std::int32_t, 256> kLinear = MakeLinearTable();
static_assert(kLinear[0] == 0 && kLinear[255] == kLinearOne);
static_assert(kLinear[188] > kLinearOne / 2 && kLinear[187] < kLinearOne / 2);  // 50% light is sRGB 188

// The levels one field can show, in linear light, ascending with the field's value.
struct Levels {
  int count = 0;
  std::array<std::int32_t, 64> linear{};

  // The level nearest to target; the lower one on a tie.
  int Nearest(std::int32_t target) const {
    const auto end = linear.begin() + count;
    const int above = static_cast<int>(std::lower_bound(linear.begin(), end, target) - linear.begin());
    if (above == count) return count - 1;
    if (above == 0) return 0;
    return target - linear[above - 1] <= linear[above] - target ? above - 1 : above;
  }

  // The level at or below target, or the one above when target's place between
  // them passes the threshold (0..63 of 64).
  int Thresholded(std::int32_t target, int threshold) const {
    const int below = std::max(
        0, static_cast<int>(std::upper_bound(linear.begin(), linear.begin() + count, target) - linear.begin()) - 1);
    if (below == count - 1) return below;
    const std::int64_t step = linear[below + 1] - linear[below];
    return std::int64_t{target - linear[below]} * 128 > (2 * threshold + 1) * step ? below + 1 : below;
  }
};

// Per component of a depth: its field and the levels the display shows for it.
struct Field {
  PackedField place;
  Levels levels;
};

std::array<Field, 3> FieldsOf(ColorDepth depth) {
  const DepthInfo& info = InfoOf(depth);
  std::array<Field, 3> fields{Field{info.red, {}}, Field{info.green, {}}, Field{info.blue, {}}};
  for (int c = 0; c < 3; ++c) {
    Field& f = fields[c];
    f.levels.count = 1 << f.place.bits;
    for (int n = 0; n < f.levels.count; ++n) {
      const Components shown = Widen(depth, n << f.place.shift);
      f.levels.linear[n] = kLinear[c == 0 ? shown.R : c == 1 ? shown.G : shown.B];
    }
  }
  return fields;
}

std::array<std::int32_t, 3> LinearComponents(ColorValue c) {
  return {kLinear[RedOf(c)], kLinear[GreenOf(c)], kLinear[BlueOf(c)]};
}

// Pixels is a Picture, or the drawing area read in place: width, height, At().
template <typename Pixels>
std::vector<std::uint32_t> Ordered(const Pixels& pixels, ColorDepth depth) {
  const std::array<Field, 3> fields = FieldsOf(depth);
  std::vector<std::uint32_t> out(static_cast<std::size_t>(pixels.width) * pixels.height);
  for (int row = 0; row < pixels.height; ++row)
    for (int column = 0; column < pixels.width; ++column) {
      // One threshold for all three components keeps greys grey.
      const int threshold = BayerThreshold(column, row);
      const std::array<std::int32_t, 3> target = LinearComponents(pixels.At(column, row));
      std::uint32_t packed = 0;
      for (int c = 0; c < 3; ++c) packed += fields[c].levels.Thresholded(target[c], threshold) << fields[c].place.shift;
      out[static_cast<std::size_t>(row) * pixels.width + column] = packed;
    }
  return out;
}

// Floyd-Steinberg: 7/16 ahead, 3/16, 5/16 and 1/16 on the next row, the rows
// taken alternately left to right and right to left so no drift builds up.
template <typename Pixels>
std::vector<std::uint32_t> Diffused(const Pixels& pixels, ColorDepth depth) {
  const std::array<Field, 3> fields = FieldsOf(depth);
  std::vector<std::uint32_t> out(static_cast<std::size_t>(pixels.width) * pixels.height);
  // Errors per column and component, with a spare column on either side.
  const auto span = static_cast<std::size_t>(pixels.width + 2) * 3;
  std::vector<std::int32_t> here(span, 0), next(span, 0);
  for (int row = 0; row < pixels.height; ++row) {
    const bool forward = row % 2 == 0;
    const int step = forward ? 1 : -1;
    for (int i = 0; i < pixels.width; ++i) {
      const int column = forward ? i : pixels.width - 1 - i;
      const ColorValue color = pixels.At(column, row);
      std::uint32_t& packed = out[static_cast<std::size_t>(row) * pixels.width + column];
      // A colour the display shows exactly stays so, and the error arriving
      // there is dropped: a keyed background (black, magenta) beside a photo
      // keeps every pixel its key.
      packed = static_cast<std::uint32_t>(PackColor(depth, color));
      const Components shown = Widen(depth, static_cast<std::int32_t>(packed));
      if (MakeColor(shown.R, shown.G, shown.B) == color) continue;
      const std::array<std::int32_t, 3> wanted = LinearComponents(color);
      packed = 0;
      for (int c = 0; c < 3; ++c) {
        auto error_at = [&](std::vector<std::int32_t>& line, int at) -> std::int32_t& {
          return line[static_cast<std::size_t>(at + 1) * 3 + c];
        };
        const std::int32_t target = std::clamp(wanted[c] + error_at(here, column), 0, kLinearOne);
        const int level = fields[c].levels.Nearest(target);
        packed += level << fields[c].place.shift;
        const std::int32_t error = target - fields[c].levels.linear[level];
        const std::int32_t ahead = error * 7 / 16, behind = error * 3 / 16, below = error * 5 / 16;
        error_at(here, column + step) += ahead;
        error_at(next, column - step) += behind;
        error_at(next, column) += below;
        error_at(next, column + step) += error - ahead - behind - below;
      }
    }
    here.swap(next);
    std::fill(next.begin(), next.end(), 0);
  }
  return out;
}

template <typename Pixels>
std::vector<std::uint32_t> Packed(const Pixels& pixels, ColorDepth depth, DitherMode mode) {
  switch (mode) {
    case DitherMode::Ordered: return Ordered(pixels, depth);
    case DitherMode::Diffusion: return Diffused(pixels, depth);
    case DitherMode::None: break;
  }
  std::vector<std::uint32_t> out;
  out.reserve(static_cast<std::size_t>(pixels.width) * pixels.height);
  // Neighbouring pixels are mostly the same colour: pack only on change.
  ColorValue last = kNoPixel;
  auto packed = static_cast<std::uint32_t>(PackColor(depth, last));
  for (int row = 0; row < pixels.height; ++row)
    for (int column = 0; column < pixels.width; ++column) {
      const ColorValue c = pixels.At(column, row);
      if (c != last) packed = static_cast<std::uint32_t>(PackColor(depth, last = c));
      out.push_back(packed);
    }
  return out;
}

// The drawing area as the viewport shows it, read where it lies.
struct ShownArea {
  const Viewport& viewport;
  int width = viewport.DrawingWidth();
  int height = viewport.DrawingHeight();

  ColorValue At(int column, int row) const { return viewport.VisibleColor(column, row); }
};

}  // namespace

std::vector<std::uint32_t> PackPixels(const Picture& pixels, ColorDepth depth, DitherMode mode) {
  return Packed(pixels, depth, mode);
}

PackedArea PackDrawingArea(const Viewport& viewport, ColorDepth depth, DitherMode mode) {
  const ShownArea shown{viewport};
  return {shown.width, shown.height, Packed(shown, depth, mode)};
}

}  // namespace pixolan
