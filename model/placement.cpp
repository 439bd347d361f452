// SPDX-License-Identifier: MIT
#include "model/placement.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace pixolan {
namespace {

// sRGB's transfer function, both ways.
float ToLinear(double c) { return static_cast<float>(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4)); }
double FromLinear(double v) { return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055; }

// Linear light of each 8-bit sRGB value in 16-bit units: the darkest step
// is 20 units, fine enough for averages that end as 8-bit sRGB.
const std::array<std::uint16_t, 256>& LinearTable16() {
  static const std::array<std::uint16_t, 256> table = [] {
    std::array<std::uint16_t, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = static_cast<std::uint16_t>(std::lround(ToLinear(i / 255.0) * 65535));
    return t;
  }();
  return table;
}

// The reduced picture's unit: 16 bits a channel.
constexpr float kReducedScale = 65535.0f;

std::uint8_t ToByte(double unit) { return static_cast<std::uint8_t>(std::lround(std::clamp(unit, 0.0, 1.0) * 255)); }

// Mitchell-Netravali with B = C = 1/3: sharp enough for small panels, with
// far less ringing than Lanczos around the hard edges of icons and text,
// which coarse packing would turn into visible bands.
double Mitchell(double x) {
  x = std::abs(x);
  if (x < 1) return (7 * x * x * x - 12 * x * x + 16.0 / 3) / 6;
  if (x < 2) return (-7.0 / 3 * x * x * x + 12 * x * x - 20 * x + 32.0 / 3) / 6;
  return 0;
}

// The weights of one output pixel over a run of input pixels.
struct Taps {
  int first = 0;
  std::vector<float> weights;
};

// Output pixels 0..outputs-1 over inputs 0..inputs-1, output i centred at
// input coordinate start + (i + 0.5) * step (in input pixels, pixel j
// covering [j, j + 1)).
std::vector<Taps> Weights(int outputs, int inputs, double start, double step, bool nearest) {
  std::vector<Taps> taps(static_cast<std::size_t>(outputs));
  const double widen = std::max(1.0, step);  // the filter stretched when shrinking
  for (int i = 0; i < outputs; ++i) {
    const double centre = start + (i + 0.5) * step;
    Taps& t = taps[static_cast<std::size_t>(i)];
    if (nearest) {
      t.first = std::clamp(static_cast<int>(std::floor(centre)), 0, inputs - 1);
      t.weights = {1.0f};
      continue;
    }
    // Beyond the edges the picture is mirrored about its outer pixels, which
    // continues fine patterns (a checkerboard stays one) instead of biasing
    // the edge towards one side.
    const double c = centre - 0.5;
    auto mirrored = [inputs](int j) {
      if (inputs == 1) return 0;
      const int period = 2 * (inputs - 1);
      j = ((j % period) + period) % period;
      return j < inputs ? j : period - j;
    };
    const int from = static_cast<int>(std::ceil(c - 2 * widen)), to = static_cast<int>(std::floor(c + 2 * widen));
    std::vector<double> w(static_cast<std::size_t>(inputs > 0 ? inputs : 1), 0.0);
    int first = inputs, last = -1;
    double total = 0;
    for (int j = from; j <= to; ++j) {
      const int m = mirrored(j);
      const double x = Mitchell((j - c) / widen);
      w[static_cast<std::size_t>(m)] += x;
      total += x;
      first = std::min(first, m);
      last = std::max(last, m);
    }
    if (last < first || total == 0) {  // a sliver: the nearest pixel
      t.first = std::clamp(static_cast<int>(std::floor(centre)), 0, inputs - 1);
      t.weights = {1.0f};
      continue;
    }
    t.first = first;
    for (int j = first; j <= last; ++j) t.weights.push_back(static_cast<float>(w[static_cast<std::size_t>(j)] / total));
  }
  return taps;
}

}  // namespace

Orientation Orientation::RotatedClockwise(int degrees) const {
  Orientation o = *this;
  for (int turn = 0; turn < (degrees / 90 % 4 + 4) % 4; ++turn) {
    if (o.transpose) o.mirror_x = !o.mirror_x;
    else o.mirror_y = !o.mirror_y;
    o.transpose = !o.transpose;
  }
  return o;
}

Orientation Orientation::FlippedHorizontally() const {
  Orientation o = *this;
  (transpose ? o.mirror_y : o.mirror_x) ^= true;
  return o;
}

Orientation Orientation::FlippedVertically() const {
  Orientation o = *this;
  (transpose ? o.mirror_x : o.mirror_y) ^= true;
  return o;
}

Orientation Orientation::After(const Orientation& first) const {
  // This orientation as steps from upright, taken from first instead.
  Orientation o = first;
  if (transpose) {
    o = o.RotatedClockwise(90).FlippedHorizontally();  // a transpose
    if (mirror_x) o = o.FlippedVertically();
    if (mirror_y) o = o.FlippedHorizontally();
  } else {
    if (mirror_x) o = o.FlippedHorizontally();
    if (mirror_y) o = o.FlippedVertically();
  }
  return o;
}

Orientation Orientation::FromExif(int value) {
  switch (value) {
    case 2: return {false, true, false};
    case 3: return {false, true, true};
    case 4: return {false, false, true};
    case 5: return {true, false, false};
    case 6: return {true, false, true};
    case 7: return {true, true, true};
    case 8: return {true, true, false};
    default: return {};
  }
}

std::pair<int, int> StoredPixel(const Orientation& o, int u, int v, int stored_width, int stored_height) {
  const int x = o.transpose ? v : u, y = o.transpose ? u : v;
  return {o.mirror_x ? stored_width - 1 - x : x, o.mirror_y ? stored_height - 1 - y : y};
}

Region StoredRegion(const Orientation& o, const Region& turned, int stored_width, int stored_height) {
  const Region kept =
      ClipRegion(turned, o.transpose ? stored_height : stored_width, o.transpose ? stored_width : stored_height);
  if (kept.width == 0) return kept;
  const auto [x0, y0] = StoredPixel(o, kept.x, kept.y, stored_width, stored_height);
  const auto [x1, y1] = StoredPixel(o, kept.x + kept.width - 1, kept.y + kept.height - 1, stored_width, stored_height);
  return {std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0) + 1, std::abs(y1 - y0) + 1};
}

std::vector<std::uint8_t> TurnedRgba(const std::vector<std::uint8_t>& rgba, int width, int height,
                                     const Orientation& o) {
  if (o.IsIdentity()) return rgba;
  std::vector<std::uint8_t> out(rgba.size());
  const int turned_width = o.transpose ? height : width, turned_height = o.transpose ? width : height;
  std::uint8_t* to = out.data();
  for (int v = 0; v < turned_height; ++v)
    for (int u = 0; u < turned_width; ++u, to += 4) {
      const auto [x, y] = StoredPixel(o, u, v, width, height);
      std::memcpy(to, &rgba[(static_cast<std::size_t>(y) * width + x) * 4], 4);
    }
  return out;
}

namespace {
constexpr const char* kSizeNames[] = {"actual", "fit", "fill", "crop"};
}

std::string PlacementText(const Placement& p) {
  char text[160];
  const Orientation& o = p.orientation;
  std::snprintf(text, sizeof text, "%s:%dx%d:%d,%d,%d,%d:%s%s%s%s-", kSizeNames[static_cast<int>(p.size)], p.area_width,
                p.area_height, p.crop.x, p.crop.y, p.crop.width, p.crop.height, o.transpose ? "t" : "",
                o.mirror_x ? "x" : "", o.mirror_y ? "y" : "", p.exif_orientation ? "e" : "");
  return text;
}

std::optional<Placement> ParsePlacement(const std::string& text) {
  char size[8] = {}, turn[8] = {};
  Placement p;
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%7[a-z]:%dx%d:%d,%d,%d,%d:%7[txye-]%n", size, &p.area_width, &p.area_height, &p.crop.x,
                  &p.crop.y, &p.crop.width, &p.crop.height, turn, &consumed) != 8 ||
      consumed != static_cast<int>(text.size()))
    return std::nullopt;
  const auto name =
      std::find_if(std::begin(kSizeNames), std::end(kSizeNames), [&](const char* n) { return std::string(n) == size; });
  if (name == std::end(kSizeNames) || p.area_width <= 0 || p.area_height <= 0 || p.area_width > 4096 ||
      p.area_height > 4096)
    return std::nullopt;
  p.size = static_cast<PictureSize>(name - std::begin(kSizeNames));
  const std::string t = turn;
  p.orientation = {t.find('t') != t.npos, t.find('x') != t.npos, t.find('y') != t.npos};
  p.exif_orientation = t.find('e') != t.npos;
  return p;
}

double PlacementPlan::ShrinkOnLoad() const {
  if (nearest || stored_source.width == 0 || stored_source.height == 0) return 1;
  return std::min(
      {1.0, 2.0 * StoredPlacedWidth() / stored_source.width, 2.0 * StoredPlacedHeight() / stored_source.height});
}

std::string PlanPlacement(const Placement& placement, const Region& region, int stored_width, int stored_height,
                          const Orientation& exif, PlacementPlan& plan) {
  plan = {};
  plan.orientation = placement.exif_orientation ? placement.orientation.After(exif) : placement.orientation;
  plan.stored_width = stored_width;
  plan.stored_height = stored_height;
  plan.area_width = placement.area_width;
  plan.area_height = placement.area_height;
  const int turned_width = plan.orientation.transpose ? stored_height : stored_width;
  const int turned_height = plan.orientation.transpose ? stored_width : stored_height;
  const int aw = placement.area_width, ah = placement.area_height;

  Region source{0, 0, turned_width, turned_height};
  if (placement.size == PictureSize::Actual) {
    source = ClipRegion(region, turned_width, turned_height);
    plan.placed_width = source.width;
    plan.placed_height = source.height;
  } else if (placement.size == PictureSize::Fill) {
    const double s = std::max(double(aw) / turned_width, double(ah) / turned_height);
    int w, h;
    if (s >= 1) {  // the smallest whole enlargement that covers
      const int k = static_cast<int>(std::ceil(s));
      w = std::min(turned_width, (aw + k - 1) / k);
      h = std::min(turned_height, (ah + k - 1) / k);
      plan.placed_width = w * k;
      plan.placed_height = h * k;
      plan.nearest = true;
    } else {
      w = std::min<int>(turned_width, std::lround(aw / s));
      h = std::min<int>(turned_height, std::lround(ah / s));
      plan.placed_width = aw;
      plan.placed_height = ah;
    }
    source = {(turned_width - w) / 2, (turned_height - h) / 2, w, h};
  } else {
    if (placement.size == PictureSize::Crop) {
      source = ClipRegion(placement.crop, turned_width, turned_height);
      if (source.width == 0)
        return "the crop " + std::to_string(placement.crop.x) + "," + std::to_string(placement.crop.y) + "," +
               std::to_string(placement.crop.width) + "," + std::to_string(placement.crop.height) +
               " lies outside the " + std::to_string(turned_width) + " x " + std::to_string(turned_height) + " picture";
    }
    const double s = std::min(double(aw) / source.width, double(ah) / source.height);
    if (s >= 1) {  // the largest whole enlargement that fits
      const int k = static_cast<int>(s);
      plan.placed_width = source.width * k;
      plan.placed_height = source.height * k;
      plan.nearest = true;
    } else {
      plan.placed_width = std::clamp<int>(std::lround(source.width * s), 1, aw);
      plan.placed_height = std::clamp<int>(std::lround(source.height * s), 1, ah);
    }
  }
  plan.scaled = placement.size != PictureSize::Actual;
  plan.source = source;
  // An unturned region read keeps the region as asked: each decoder clips it as it always has.
  plan.stored_source = !plan.scaled && plan.orientation.IsIdentity()
                           ? region
                           : StoredRegion(plan.orientation, source, stored_width, stored_height);
  if (plan.scaled) {
    plan.left = (aw - plan.placed_width) / 2;
    plan.top = (ah - plan.placed_height) / 2;
  }
  return {};
}

PictureReducer::PictureReducer(const PlacementPlan& plan, const Region& frame, int width, int height) : plan_(plan) {
  const double sx = double(width) / std::max(frame.width, 1), sy = double(height) / std::max(frame.height, 1);
  source_x_ = (plan.stored_source.x - frame.x) * sx;
  source_y_ = (plan.stored_source.y - frame.y) * sy;
  source_width_ = plan.stored_source.width * sx;
  source_height_ = plan.stored_source.height * sy;
  auto span = [](double start, double length, int limit, int& first, int& count) {
    first = std::clamp(static_cast<int>(std::floor(start)), 0, std::max(limit - 1, 0));
    const int end = std::clamp(static_cast<int>(std::ceil(start + length - 1e-9)), first + 1, std::max(limit, 1));
    count = end - first;
  };
  span(source_x_, source_width_, width, first_column_, columns_);
  span(source_y_, source_height_, height, first_row_, rows_);
  const int pw = std::max(plan.StoredPlacedWidth(), 1), ph = std::max(plan.StoredPlacedHeight(), 1);
  // Boxes that leave about twice the placed size for the filter.
  box_x_ = plan.nearest ? 1 : std::max(1, static_cast<int>(std::lround(source_width_ / (2.0 * pw))));
  box_y_ = plan.nearest ? 1 : std::max(1, static_cast<int>(std::lround(source_height_ / (2.0 * ph))));
  reduced_width_ = (columns_ + box_x_ - 1) / box_x_;
  reduced_height_ = (rows_ + box_y_ - 1) / box_y_;
  sums_.assign(static_cast<std::size_t>(reduced_width_) * 4, 0.0f);
  reduced_.reserve(static_cast<std::size_t>(reduced_width_) * reduced_height_ * 4);
}

std::int64_t PictureReducer::BytesNeeded(const PlacementPlan& plan, int width) {
  // The reduced picture is below 3 times the placed size each way (the box
  // is source / twice placed, rounded); then two filter passes.
  const std::int64_t pw = plan.StoredPlacedWidth(), ph = plan.StoredPlacedHeight();
  const std::int64_t reduced_width = std::min<std::int64_t>(3 * pw + 2, width);
  const std::int64_t reduced = reduced_width * (3 * ph + 2);
  return (std::int64_t{width} + pw * (3 * ph + 2) + pw * ph) * 16 + reduced * 8 +
         std::int64_t{plan.area_width} * plan.area_height * 4;
}

void PictureReducer::AddRow(int y, const std::uint8_t* pixels, int channels) {
  if (y < first_row_ || y >= EndRow()) return;
  const int box_row = (y - first_row_) / box_y_;
  if (box_row < box_row_) return;  // rows go top to bottom only
  while (box_row_ < box_row) FlushBoxRow();
  if (channels == 3) Accumulate<3>(pixels);
  else Accumulate<4>(pixels);
  ++rows_in_box_;
}

template <int kChannels>
void PictureReducer::Accumulate(const std::uint8_t* pixels) {
  // Whole numbers within a box: their sums do not wait on each other the
  // way floating-point ones would.
  const std::array<std::uint16_t, 256>& linear = LinearTable16();
  constexpr float kColourUnit = 1.0f / (65535.0f * 255.0f), kAlphaUnit = 1.0f / 255.0f;
  const std::uint8_t* p = pixels + static_cast<std::size_t>(first_column_) * kChannels;
  float* s = sums_.data();
  for (int j = 0; j < reduced_width_; ++j, s += 4) {
    const int n = std::min(box_x_, columns_ - j * box_x_);
    std::uint64_t r = 0, g = 0, b = 0, a = 0;
    for (int i = 0; i < n; ++i, p += kChannels) {
      const std::uint32_t alpha = kChannels == 4 ? p[kChannels - 1] : 255;
      r += std::uint32_t{linear[p[0]]} * alpha;
      g += std::uint32_t{linear[p[1]]} * alpha;
      b += std::uint32_t{linear[p[2]]} * alpha;
      a += alpha;
    }
    s[0] += static_cast<float>(r) * kColourUnit;
    s[1] += static_cast<float>(g) * kColourUnit;
    s[2] += static_cast<float>(b) * kColourUnit;
    s[3] += static_cast<float>(a) * kAlphaUnit;
  }
}

void PictureReducer::FlushBoxRow() {
  if (box_row_ >= reduced_height_) return;
  // The last box of a row or column may be partly outside the source: it
  // averages what it has. A box row no row reached stays transparent.
  const int rows = std::min(box_y_, rows_ - box_row_ * box_y_);
  for (int j = 0; j < reduced_width_; ++j) {
    const int n = std::min(box_x_, columns_ - j * box_x_);
    const float scale = rows_in_box_ ? 1.0f / (float(n) * float(rows)) : 0.0f;
    for (int c = 0; c < 4; ++c) {
      const float unit = std::clamp(sums_[static_cast<std::size_t>(j) * 4 + c] * scale, 0.0f, 1.0f);
      reduced_.push_back(static_cast<std::uint16_t>(unit * kReducedScale + 0.5f));
    }
  }
  std::fill(sums_.begin(), sums_.end(), 0.0f);
  rows_in_box_ = 0;
  ++box_row_;
}

std::vector<std::uint8_t> PictureReducer::Finish() {
  while (box_row_ < reduced_height_) FlushBoxRow();
  const int pw = plan_.StoredPlacedWidth(), ph = plan_.StoredPlacedHeight();
  const int rw = reduced_width_, rh = reduced_height_;

  // Columns, then rows, in reduced pixels.
  const std::vector<Taps> across =
      Weights(pw, rw, (source_x_ - first_column_) / box_x_, source_width_ / box_x_ / pw, plan_.nearest);
  const std::vector<Taps> down =
      Weights(ph, rh, (source_y_ - first_row_) / box_y_, source_height_ / box_y_ / ph, plan_.nearest);
  std::vector<float> wide(static_cast<std::size_t>(pw) * rh * 4);
  for (int y = 0; y < rh; ++y)
    for (int x = 0; x < pw; ++x) {
      const Taps& t = across[static_cast<std::size_t>(x)];
      float* out = &wide[(static_cast<std::size_t>(y) * pw + x) * 4];
      const std::uint16_t* in = &reduced_[(static_cast<std::size_t>(y) * rw + t.first) * 4];
      for (float w : t.weights) {
        for (int c = 0; c < 4; ++c) out[c] += w * (1.0f / kReducedScale) * in[c];
        in += 4;
      }
    }
  std::vector<std::uint8_t> placed(static_cast<std::size_t>(pw) * ph * 4);
  for (int y = 0; y < ph; ++y) {
    const Taps& t = down[static_cast<std::size_t>(y)];
    for (int x = 0; x < pw; ++x) {
      float v[4] = {};
      for (std::size_t k = 0; k < t.weights.size(); ++k) {
        const float* in = &wide[((t.first + k) * pw + x) * 4];
        for (int c = 0; c < 4; ++c) v[c] += t.weights[k] * in[c];
      }
      // Straight colour again: a pixel half covered keeps its full colour.
      std::uint8_t* p = &placed[(static_cast<std::size_t>(y) * pw + x) * 4];
      const double alpha = std::clamp<double>(v[3], 0, 1);
      p[3] = ToByte(alpha);
      if (p[3] == 0) continue;
      for (int c = 0; c < 3; ++c) p[c] = ToByte(FromLinear(std::clamp(v[c] / alpha, 0.0, 1.0)));
    }
  }
  placed = TurnedRgba(placed, pw, ph, plan_.orientation);

  std::vector<std::uint8_t> area(static_cast<std::size_t>(plan_.area_width) * plan_.area_height * 4, 0);
  for (int v = 0; v < plan_.placed_height; ++v) {
    const int y = plan_.top + v;
    if (y < 0 || y >= plan_.area_height) continue;
    for (int u = 0; u < plan_.placed_width; ++u) {
      const int x = plan_.left + u;
      if (x < 0 || x >= plan_.area_width) continue;
      std::memcpy(&area[(static_cast<std::size_t>(y) * plan_.area_width + x) * 4],
                  &placed[(static_cast<std::size_t>(v) * plan_.placed_width + u) * 4], 4);
    }
  }
  return area;
}

}  // namespace pixolan
