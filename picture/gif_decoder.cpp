// SPDX-License-Identifier: MIT
// GIF through giflib: the first frame on its logical screen, drawn the way
// Qt's GIF reader draws it, reading rows only as far as the region needs.

#include <gif_lib.h>

#include <algorithm>
#include <cstring>

#include "picture/decoder.h"

namespace pixolan {
namespace {

struct MemoryFile {
  Bytes bytes;
  std::size_t position = 0;
};

int Read(GifFileType* gif, GifByteType* buffer, int size) {
  auto* file = static_cast<MemoryFile*>(gif->UserData);
  const std::size_t count = std::min<std::size_t>(std::max(size, 0), file->bytes.size() - file->position);
  std::memcpy(buffer, file->bytes.data() + file->position, count);
  file->position += count;
  return static_cast<int>(count);
}

struct Session {
  GifFileType* gif = nullptr;
  ~Session() {
    int ignored = 0;
    if (gif) DGifCloseFile(gif, &ignored);
  }
};

std::string Failure(int code) {
  const char* text = GifErrorString(code);
  return text ? text : "giflib failed with error " + std::to_string(code);
}

// An index beyond the colour table, and the transparent colour, as Qt has them.
constexpr std::uint32_t kTransparentWhite = 0x00FFFFFF;

// Colours as 0xAARRGGBB, chosen as Qt's reader chooses them.
struct Palette {
  const ColorMapObject* map = nullptr;
  int count = 0;  // as declared, even without a table
  int transparent = -1;
  bool has_alpha = false;  // the canvas has an alpha channel at all

  std::uint32_t Color(int index) const {
    std::uint32_t color = 0;  // no table at all: transparent black
    if (index > count || (map && index >= map->ColorCount)) {
      color = kTransparentWhite;
    } else if (map) {
      const GifColorType& c = map->Colors[index];
      color = 0xFF000000u | std::uint32_t{c.Red} << 16 | std::uint32_t{c.Green} << 8 | c.Blue;
    }
    if (index == transparent) color &= 0x00FFFFFF;
    return has_alpha ? color : color | 0xFF000000u;
  }
};

void Put(std::uint8_t* pixel, std::uint32_t color) {
  pixel[0] = static_cast<std::uint8_t>(color >> 16);
  pixel[1] = static_cast<std::uint8_t>(color >> 8);
  pixel[2] = static_cast<std::uint8_t>(color);
  pixel[3] = static_cast<std::uint8_t>(color >> 24);
}

// The placed read: every screen row in turn, the canvas with the frame's row
// on it, to the reducer. An interlaced frame is gathered whole first (the
// memory it forces was limited before).
DecodeOutcome DecodeScaled(GifFileType* gif, const Palette& palette, std::uint32_t canvas, int transparent,
                           PlacedRead& placed) {
  const GifImageDesc& frame = gif->Image;
  const std::size_t frame_width = static_cast<std::size_t>(std::max(frame.Width, 1));
  const int screen_width = placed.plan.stored_width;
  PictureReducer& reducer = placed.Start({0, 0, screen_width, placed.plan.stored_height}, screen_width,
                                         placed.plan.stored_height);
  // Frame rows as far as they arrived: Qt keeps those of a damaged or cut-off frame.
  std::vector<GifPixelType> lines(frame_width * (frame.Interlace ? frame.Height : 1));
  std::vector<bool> arrived(static_cast<std::size_t>(std::max(frame.Height, 0)));
  int next_row = 0;
  bool broken = false;
  if (frame.Interlace) {
    for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
      for (int row = start; row < frame.Height && !broken; row += step) {
        broken = DGifGetLine(gif, &lines[static_cast<std::size_t>(row) * frame_width], frame.Width) == GIF_ERROR;
        arrived[static_cast<std::size_t>(row)] = !broken;
      }
  }
  const int first_column = std::max(frame.Left, 0);
  const int end_column = static_cast<int>(std::min<std::int64_t>(std::int64_t{frame.Left} + frame.Width, screen_width));
  for (int y = reducer.FirstRow(); y < reducer.EndRow(); ++y) {
    for (std::size_t i = 0; i < placed.row.size(); i += 4) Put(&placed.row[i], canvas);
    const int row = y - frame.Top;
    const GifPixelType* line = nullptr;
    if (row >= 0 && row < frame.Height && frame.Interlace) {
      if (arrived[static_cast<std::size_t>(row)]) line = &lines[static_cast<std::size_t>(row) * frame_width];
    } else if (row >= 0 && row < frame.Height) {
      while (!broken && next_row <= row) {
        broken = DGifGetLine(gif, lines.data(), frame.Width) == GIF_ERROR;
        ++next_row;
      }
      if (!broken) line = lines.data();
    }
    if (line)
      for (int x = first_column; x < end_column; ++x) {
        const int index = line[x - frame.Left];
        if (index != transparent) Put(&placed.row[static_cast<std::size_t>(x) * 4], palette.Color(index));
      }
    reducer.AddRow(y, placed.row.data());
  }
  return placed.Finish();
}

}  // namespace

DecodeOutcome DecodeGif(Bytes file, const Region& asked, const DecodeLimits& limits, const Placement& placement) {
  MemoryFile memory{file};
  Session session;
  int error = 0;
  session.gif = DGifOpen(&memory, Read, &error);
  if (!session.gif) return {{}, Failure(error)};
  GifFileType* gif = session.gif;

  // The first frame and the transparency its graphic control block sets.
  int transparent = -1;
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &record) == GIF_ERROR) return {{}, Failure(gif->Error)};
    if (record == TERMINATE_RECORD_TYPE) return {{}, "the file holds no picture"};
    if (record == IMAGE_DESC_RECORD_TYPE) break;
    if (record != EXTENSION_RECORD_TYPE) continue;
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return {{}, Failure(gif->Error)};
    if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) transparent = (block[1] & 1) ? block[4] : -1;
    while (block) {
      if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return {{}, Failure(gif->Error)};
    }
  }
  if (DGifGetImageDesc(gif) == GIF_ERROR) return {{}, Failure(gif->Error)};
  const GifImageDesc& frame = gif->Image;

  // Qt's screen: a huge one is not believed unless the frame is huge too, and
  // a missing one is the frame's extent.
  std::int64_t screen_width = gif->SWidth, screen_height = gif->SHeight;
  if (screen_width / 10 > std::max(frame.Width, 16384)) screen_width = 0;
  if (screen_height / 10 > std::max(frame.Height, 16384)) screen_height = 0;
  if (screen_width <= 0) screen_width = std::int64_t{frame.Left} + frame.Width;
  if (screen_height <= 0) screen_height = std::int64_t{frame.Top} + frame.Height;

  // Qt holds the whole screen; an interlaced frame's last pass reaches the
  // top rows, so all of it is decoded to get them.
  const std::int64_t needed =
      screen_width * screen_height * 4 + (frame.Interlace ? std::int64_t{frame.Width} * frame.Height : 0) + frame.Width;
  if (needed > limits.max_bytes) return {{}, TooLarge(screen_width, screen_height, needed, limits)};

  Palette palette;
  palette.map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
  // The declared size of the table in use, even when the screen has none.
  palette.count = frame.ColorMap ? frame.ColorMap->ColorCount : 2 << (file.size() > 10 ? file[10] & 7 : 0);
  palette.transparent = transparent;
  palette.has_alpha = transparent >= 0;

  PlacedRead placed;
  if (std::string refusal = placed.Plan(file, placement, asked, screen_width, screen_height); !refusal.empty())
    return {{}, refusal};
  const Region& region = placed.StoredRegion();
  const bool scaled = placed.plan.scaled;
  if (scaled && needed + placed.BytesNeeded(screen_width) > limits.max_bytes)
    return {{}, TooLarge(screen_width, screen_height, needed + placed.BytesNeeded(screen_width), limits)};

  RgbaPixels pixels = RegionPixels(scaled ? Region{0, 0, 0, 0} : region, screen_width, screen_height);
  const int screen_background = gif->SColorMap ? gif->SBackGroundColor : -1;
  const bool covers_screen =
      frame.Left == 0 && frame.Top == 0 && frame.Width >= screen_width && frame.Height >= screen_height;
  std::uint32_t canvas = palette.has_alpha ? 0 : 0xFF000000u;
  if (!covers_screen && transparent >= 0) {
    canvas = palette.Color(transparent);
  } else if (!covers_screen && screen_background >= 0) {
    // The screen's background indexes the screen's table. (Qt looks it up in
    // the frame's local table before it has read it: colours from the heap.)
    Palette screen = palette;
    screen.map = gif->SColorMap;
    screen.count = gif->SColorMap->ColorCount;
    canvas = screen.Color(screen_background);
  }
  for (std::size_t i = 0; i < pixels.rgba.size(); i += 4) Put(&pixels.rgba[i], canvas);
  if (scaled) return DecodeScaled(gif, palette, canvas, transparent, placed);

  // Frame rows in the order they are stored, and where each lands.
  const int left = frame.Left, top = frame.Top;
  const std::int64_t region_bottom = std::int64_t{region.y} + pixels.height;
  const int first_column = std::max(left, region.x),
            end_column = std::min<std::int64_t>(std::int64_t{left} + frame.Width, region.x + pixels.width);
  std::vector<int> order;
  if (frame.Interlace) {
    for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
      for (int row = start; row < frame.Height; row += step) order.push_back(row);
  } else {
    // Stop after the last row the region shows.
    const std::int64_t rows = std::clamp<std::int64_t>(region_bottom - top, 0, frame.Height);
    for (int row = 0; row < rows; ++row) order.push_back(row);
  }
  std::int64_t rows_wanted = 0;
  for (const int row : order) rows_wanted += top + row >= region.y && top + row < region_bottom;

  std::vector<GifPixelType> line(static_cast<std::size_t>(std::max(frame.Width, 1)));
  for (const int row : order) {
    if (rows_wanted == 0) break;
    if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR) {
      // Qt keeps what arrived before a damaged or cut-off frame.
      break;
    }
    const std::int64_t y = std::int64_t{top} + row;
    if (y < region.y || y >= region_bottom) continue;
    --rows_wanted;
    std::uint8_t* out = &pixels.rgba[static_cast<std::size_t>((y - region.y) * pixels.width) * 4];
    for (int x = first_column; x < end_column; ++x) {
      const int index = line[static_cast<std::size_t>(x - left)];
      if (index != transparent) Put(out + static_cast<std::size_t>(x - region.x) * 4, palette.Color(index));
    }
  }
  return placed.Finish(std::move(pixels));
}

}  // namespace pixolan
