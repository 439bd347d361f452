// SPDX-License-Identifier: MIT
// BMP, read straight from the file in memory: uncompressed rows are fetched
// by position, RLE streams are run through and only the region is kept. A
// placed read takes bands of whole rows, top to bottom, to the reducer.
// Pixels match what Qt 6.4's reader gives after conversion to ARGB32, with
// anything the file never sets left at palette index 0 (black without one).

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <string>

#include "picture/decoder.h"

namespace pixolan {
namespace {

constexpr std::int64_t kFileHeaderSize = 14;
constexpr std::int64_t kMaxPixels = std::int64_t{16384} * 16384;  // Qt refuses more

enum Compression : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

using Rgba = std::array<std::uint8_t, 4>;

std::uint32_t Le(Bytes file, std::int64_t at, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | file[static_cast<std::size_t>(at + i)];
  return value;
}

std::string Unreadable(const std::string& why) { return "not a BMP Pixolan can read: " + why; }

/// One colour channel taken from a pixel by its mask and widened to 8 bits
/// as Qt does: the field times 256 / (largest field + 1), so fields wider
/// than 8 bits give 0.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint32_t scale = 0;

  static Channel Of(std::uint32_t mask) {
    const int shift = mask == 0 ? 0 : std::countr_zero(mask);
    return {mask, shift, static_cast<std::uint32_t>(256 / ((std::uint64_t{mask} >> shift) + 1))};
  }
  std::uint8_t From(std::uint32_t pixel) const { return static_cast<std::uint8_t>(((pixel & mask) >> shift) * scale); }
};

struct Layout {
  std::int64_t width = 0;
  std::int64_t height = 0;  // rows, whatever the order
  bool top_down = false;
  int bits = 0;
  std::uint32_t compression = kRgb;
  std::int64_t data_at = 0;
  std::array<Rgba, 256> palette{};  // what each index shows, unused ones included
  std::array<Channel, 4> channels;  // red, green, blue, alpha
  bool alpha = false;
};

std::string CompressionName(std::uint32_t compression, std::int64_t header_size) {
  if (header_size == 64 && compression == 4) return "OS/2 RLE24 compression";
  switch (compression) {
    case 4: return "JPEG compression";
    case 5: return "PNG compression";
    case 6: return "alpha bit fields compression";
    default: return "compression type " + std::to_string(compression);
  }
}

/// The header, checked against the file's size; an empty string when usable.
std::string ReadLayout(Bytes file, Layout& layout) {
  const auto size = static_cast<std::int64_t>(file.size());
  if (size < kFileHeaderSize + 4 || file[0] != 'B' || file[1] != 'M')
    return Unreadable("the file ends inside its header");
  const std::int64_t header_size = Le(file, 14, 4);
  if (header_size != 12 && header_size != 40 && header_size != 64 && header_size != 108 && header_size != 124)
    return Unreadable("a header of " + std::to_string(header_size) + " bytes");
  // Pixel data must follow the header.
  if (size <= kFileHeaderSize + header_size) return Unreadable("the file ends inside its header");

  const bool os2 = header_size == 12;
  std::int64_t width, height;
  int planes;
  std::uint32_t compression = kRgb;
  std::int64_t colors_used = 0;
  if (os2) {
    width = static_cast<std::int16_t>(Le(file, 18, 2));
    height = static_cast<std::int16_t>(Le(file, 20, 2));
    planes = static_cast<int>(Le(file, 22, 2));
    layout.bits = static_cast<int>(Le(file, 24, 2));
  } else {
    width = static_cast<std::int32_t>(Le(file, 18, 4));
    height = static_cast<std::int32_t>(Le(file, 22, 4));
    planes = static_cast<int>(Le(file, 26, 2));
    layout.bits = static_cast<int>(Le(file, 28, 2));
    compression = Le(file, 30, 4);
    colors_used = static_cast<std::int32_t>(Le(file, 46, 4));
  }
  const int bits = layout.bits;
  if (compression > kBitFields) return Unreadable(CompressionName(compression, header_size));
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    return Unreadable(std::to_string(bits) + " bits per pixel");
  if (planes != 1) return Unreadable(std::to_string(planes) + " colour planes");
  if ((compression == kRle8 && bits != 8) || (compression == kRle4 && bits != 4) ||
      (compression == kBitFields && bits != 16 && bits != 32))
    return Unreadable(std::string(compression == kBitFields ? "bit fields"
                                  : compression == kRle8    ? "RLE8"
                                                            : "RLE4") +
                      " at " + std::to_string(bits) + " bits per pixel");
  if (width <= 0) return Unreadable("a width of " + std::to_string(width) + " pixels");
  if (height == 0 || height == INT32_MIN) return Unreadable("a height of " + std::to_string(height) + " pixels");
  layout.width = width;
  layout.top_down = height < 0;
  layout.height = height < 0 ? -height : height;
  layout.compression = compression;

  // Masks sit after a 40-byte header (inside the larger ones); the palette
  // follows the whole header, or the masks.
  std::int64_t at = kFileHeaderSize + header_size;
  std::array<std::uint32_t, 4> masks{};
  if (header_size >= 108 || compression == kBitFields) {
    const std::int64_t masks_at = kFileHeaderSize + (header_size >= 108 ? 40 : header_size);
    if (masks_at + 12 > size) return Unreadable("the file ends inside its colour masks");
    for (int i = 0; i < 3; ++i) masks[i] = Le(file, masks_at + 4 * i, 4);
    if (header_size >= 108) {
      masks[3] = Le(file, masks_at + 12, 4);
    } else {
      at += 12;
    }
  }
  if (compression == kBitFields) {
    for (std::uint32_t mask : masks)
      if (mask == 0xFFFFFFFF) return Unreadable("a colour mask covering all 32 bits");
    layout.alpha = masks[3] != 0;
  } else {
    // Without bit fields the masks are fixed; a 32-bit picture with a V4/V5
    // header keeps its alpha byte when the header names it.
    layout.alpha = bits == 32 && masks[3] == 0xFF000000;
    masks = bits == 16 ? std::array<std::uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                       : std::array<std::uint32_t, 4>{0xFF0000, 0x00FF00, 0x0000FF, masks[3]};
  }
  for (int i = 0; i < 4; ++i) layout.channels[i] = Channel::Of(masks[i]);

  if (bits <= 8) {
    const std::int64_t colors = colors_used != 0 ? colors_used : std::int64_t{1} << bits;
    if (colors < 1 || colors > 256) return Unreadable("a palette of " + std::to_string(colors) + " colours");
    const int entry = os2 ? 3 : 4;
    // Something must follow the palette.
    if (at + colors * entry >= size) return Unreadable("the file ends inside its palette");
    for (std::int64_t i = 0; i < colors; ++i, at += entry)
      layout.palette[i] = {file[at + 2], file[at + 1], file[at], 255};
    // Indices past the palette show as Qt's conversion shows them: white for
    // the second colour of a one-colour bitmap, transparent black otherwise.
    if (bits == 1 && colors == 1) layout.palette[1] = {255, 255, 255, 255};
  }

  const std::int64_t offset = static_cast<std::int32_t>(Le(file, 10, 4));
  layout.data_at = offset > at ? offset : at;

  if (width * layout.height > kMaxPixels)
    return Unreadable(std::to_string(width) + " x " + std::to_string(layout.height) + " pixels, more than " +
                      std::to_string(kMaxPixels) + " a BMP may have");
  return {};
}

/// The region's pixels, all at palette index 0 (black without a palette).
struct Target {
  const Layout& layout;
  int x = 0, y = 0;
  RgbaPixels pixels;

  Target(const Layout& file_layout, const Region& region) : layout(file_layout), x(region.x), y(region.y) {
    const Region kept = ClipRegion(region, layout.width, layout.height);
    pixels.width = kept.width;
    pixels.height = kept.height;
    pixels.picture_width = static_cast<int>(layout.width);  // checked against kMaxPixels
    pixels.picture_height = static_cast<int>(layout.height);
    const Rgba blank = layout.bits <= 8 ? layout.palette[0] : Rgba{0, 0, 0, std::uint8_t(layout.alpha ? 0 : 255)};
    pixels.rgba.resize(static_cast<std::size_t>(pixels.width) * pixels.height * 4);
    for (std::size_t i = 0; i < pixels.rgba.size(); i += 4) std::copy(blank.begin(), blank.end(), &pixels.rgba[i]);
  }
  std::uint8_t* At(std::int64_t column, std::int64_t row) {
    return &pixels.rgba[(static_cast<std::size_t>(row) * pixels.width + static_cast<std::size_t>(column)) * 4];
  }
};

// Uncompressed rows by position. A row cut off by the end of the file keeps
// what it holds at 1 and 8 bits (Qt reads those straight into the picture)
// and is dropped at other depths; later rows stay blank.
void ReadRows(Bytes file, Target& target) {
  const Layout& layout = target.layout;
  const auto size = static_cast<std::int64_t>(file.size());
  const std::int64_t stride = (layout.width * layout.bits + 31) / 32 * 4;
  const bool keeps_partial = layout.bits == 1 || layout.bits == 8;
  const int bytes = layout.bits / 8;
  for (int row = 0; row < target.pixels.height; ++row) {
    const std::int64_t picture_row = target.y + row;
    const std::int64_t at = layout.data_at + (layout.top_down ? picture_row : layout.height - 1 - picture_row) * stride;
    const std::int64_t available = std::min(stride, size - at);
    if (available < stride && !(keeps_partial && available > 0)) continue;
    for (int column = 0; column < target.pixels.width; ++column) {
      const std::int64_t x = target.x + column;
      std::uint8_t* out = target.At(column, row);
      if (layout.bits <= 8) {
        const std::int64_t bit = x * layout.bits;
        if (bit / 8 >= available) break;
        const int index = file[at + bit / 8] >> (8 - layout.bits - bit % 8) & ((1 << layout.bits) - 1);
        std::copy(layout.palette[index].begin(), layout.palette[index].end(), out);
      } else {
        const std::uint32_t pixel = Le(file, at + x * bytes, bytes);
        const auto& c = layout.channels;
        out[0] = c[0].From(pixel);
        out[1] = c[1].From(pixel);
        out[2] = c[2].From(pixel);
        out[3] = layout.alpha ? c[3].From(pixel) : 255;
      }
    }
  }
}

// RLE as Qt runs it: into rows of width rounded up to 4 bytes, bottom row
// first, where a run is only held back from passing the end of the bottom
// row, so runs and literal stretches may spill into the rows decoded
// before. Only what lands in the region is kept.
class RleDecoder {
 public:
  RleDecoder(Bytes file, Target& target)
      : file_(file),
        at_(target.layout.data_at),
        target_(target),
        layout_(target.layout),
        line_((layout_.width + 3) / 4 * 4) {}

  /// False when the file ends inside a literal stretch of an RLE8 stream.
  bool Run() {
    const std::int64_t w = layout_.width, h = layout_.height;
    const bool four = layout_.compression == kRle4;
    std::int64_t x = 0, y = 0;
    std::int64_t p = (h - 1) * line_;
    const std::int64_t end = p + w;
    std::uint8_t b = 0;
    while (y < h) {
      if (!Next(b)) break;
      if (b == 0) {
        if (!Next(b) || b == 1) break;  // end of bitmap
        if (b == 0) {                   // end of line
          x = 0;
          ++y;
          p = (h - y - 1) * line_;
        } else if (b == 2) {      // delta
          std::uint8_t step = 0;  // a delta cut off by the end reuses what it has
          Next(step);
          x += step;
          Next(step);
          y += step;
          if (x >= w) x = w - 1;
          if (y >= h) y = h - 1;
          p = (h - y - 1) * line_ + x;
        } else {  // literal stretch of b pixels
          const std::int64_t count = std::min<std::int64_t>(b, end - p);
          if (four) {
            std::uint8_t pair = static_cast<std::uint8_t>(count);
            for (std::int64_t i = 0; i < count / 2; ++i) {
              Next(pair);
              Put(p++, pair >> 4);
              Put(p++, pair & 0x0F);
            }
            if (count & 1) {
              std::uint8_t last = 0;
              Next(last);
              Put(p++, last >> 4);
            }
            if ((((count & 3) + 1) & 2) == 2) Skip();  // to a 16-bit boundary
          } else {
            if (at_ + count > static_cast<std::int64_t>(file_.size())) return false;
            for (std::int64_t i = 0; i < count; ++i) Put(p++, file_[at_++]);
            if (count & 1) Skip();
          }
          x += count;
        }
      } else {  // a run of b pixels
        const std::int64_t count = std::min<std::int64_t>(b, end - p);
        std::uint8_t value = four ? static_cast<std::uint8_t>(count) : 0;
        Next(value);
        if (four) {
          for (std::int64_t i = 0; i < count; ++i) Put(p++, i & 1 ? value & 0x0F : value >> 4);
        } else {
          Fill(p, count, value);
          p += count;
        }
        x += count;
      }
    }
    return true;
  }

 private:
  // A byte that is not there leaves the variable as it was.
  bool Next(std::uint8_t& value) {
    if (at_ >= static_cast<std::int64_t>(file_.size())) return false;
    value = file_[at_++];
    return true;
  }
  void Skip() {
    if (at_ < static_cast<std::int64_t>(file_.size())) ++at_;
  }

  // The decoding buffer's rows are picture rows from the top, flipped for a
  // top-down file.
  void Fill(std::int64_t p, std::int64_t count, std::uint8_t index) {
    while (count > 0) {
      const std::int64_t row = p / line_, column = p % line_;
      const std::int64_t n = std::min(count, line_ - column);
      const std::int64_t picture_row = layout_.top_down ? layout_.height - 1 - row : row;
      const std::int64_t out_row = picture_row - target_.y;
      if (out_row >= 0 && out_row < target_.pixels.height) {
        const std::int64_t from = std::max<std::int64_t>(column, target_.x);
        const std::int64_t to = std::min<std::int64_t>({column + n, layout_.width, target_.x + target_.pixels.width});
        for (std::int64_t c = from; c < to; ++c) {
          const Rgba& colour = layout_.palette[index];
          std::copy(colour.begin(), colour.end(), target_.At(c - target_.x, out_row));
        }
      }
      p += n;
      count -= n;
    }
  }
  void Put(std::int64_t p, std::uint8_t index) { Fill(p, 1, index); }

  Bytes file_;
  std::int64_t at_;
  Target& target_;
  const Layout& layout_;
  std::int64_t line_;
};

}  // namespace

namespace {

// Rows held at once by a placed read: about 2 MB of them, or 16 MB for an
// RLE stream, which is run through from its start for every band.
constexpr std::int64_t kBandBytes = 2 * 1024 * 1024;
constexpr std::int64_t kRleBandBytes = 16 * 1024 * 1024;

// Each band is a region read of whole rows; an RLE stream is run through
// once a band, which costs less than holding the whole picture.
DecodeOutcome DecodeScaled(Bytes file, const Layout& layout, const DecodeLimits& limits, PlacedRead& placed) {
  const int width = static_cast<int>(layout.width), height = static_cast<int>(layout.height);
  const bool rle = layout.compression == kRle8 || layout.compression == kRle4;
  const int band =
      static_cast<int>(std::clamp<std::int64_t>((rle ? kRleBandBytes : kBandBytes) / (layout.width * 4), 1, height));
  const std::int64_t needed = std::int64_t{width} * band * 4 + placed.BytesNeeded(width);
  if (needed > limits.max_bytes) return {{}, TooLarge(width, height, needed, limits)};
  PictureReducer& reducer = placed.Start({0, 0, width, height}, width, height);
  for (int top = reducer.FirstRow(); top < reducer.EndRow(); top += band) {
    Target target(layout, {0, top, width, std::min(band, reducer.EndRow() - top)});
    if (rle) {
      if (!RleDecoder(file, target).Run()) return {{}, "the file ends inside a stretch of its compressed pixels"};
    } else {
      ReadRows(file, target);
    }
    for (int row = 0; row < target.pixels.height; ++row) reducer.AddRow(top + row, target.At(0, row));
    ReleaseFilePages(file, limits);
  }
  return placed.Finish();
}

}  // namespace

DecodeOutcome DecodeBmp(Bytes file, const Region& asked, const DecodeLimits& limits, const Placement& placement) {
  Layout layout;
  if (std::string error = ReadLayout(file, layout); !error.empty()) return {{}, error};

  const auto size = static_cast<std::int64_t>(file.size());
  const std::int64_t stride = (layout.width * layout.bits + 31) / 32 * 4;
  if (layout.compression == kRgb || layout.compression == kBitFields) {
    // A truncated file still shows what it holds, but one without a single
    // whole row is a header lying about the picture.
    if (layout.data_at + stride > size)
      return {{},
              "the file is too short for the picture it claims: " + std::to_string(layout.width) + " x " +
                  std::to_string(layout.height) + " pixels need " + std::to_string(stride * layout.height) +
                  " bytes of pixel data, the file has " + std::to_string(size) + " bytes in all"};
  }

  PlacedRead placed;
  if (std::string refusal = placed.Plan(file, placement, asked, layout.width, layout.height); !refusal.empty())
    return {{}, refusal};
  if (placed.plan.scaled) return DecodeScaled(file, layout, limits, placed);
  const Region& region = placed.StoredRegion();
  if (region.x < 0 || region.y < 0 || region.width <= 0 || region.height <= 0) return {};
  const Region kept = ClipRegion(region, layout.width, layout.height);
  const std::int64_t needed = std::int64_t{kept.width} * kept.height * 4 + std::max(stride, (layout.width + 3) / 4 * 4);
  if (needed > limits.max_bytes) return {{}, TooLarge(layout.width, layout.height, needed, limits)};

  Target target(layout, region);
  if (target.pixels.width == 0 || target.pixels.height == 0) return placed.Finish();
  if (layout.compression == kRle8 || layout.compression == kRle4) {
    if (!RleDecoder(file, target).Run()) return {{}, "the file ends inside a stretch of its compressed pixels"};
  } else {
    ReadRows(file, target);
  }
  return placed.Finish(std::move(target.pixels));
}

}  // namespace pixolan
