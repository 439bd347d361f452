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

// What a graphic control block says about the frame after it.
struct FrameControl {
  int transparent = -1;
  int disposal = 0;  // after the frame: 2 clears its place, 3 restores what it covered
  int delay_ms = 0;
};

enum class Next { Image, End, Error };

// Reads up to the next frame's descriptor, taking its graphic control.
Next NextImage(GifFileType* gif, FrameControl& control) {
  control = {};
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &record) == GIF_ERROR) return Next::Error;
    if (record == TERMINATE_RECORD_TYPE) return Next::End;
    if (record == IMAGE_DESC_RECORD_TYPE) return DGifGetImageDesc(gif) == GIF_ERROR ? Next::Error : Next::Image;
    if (record != EXTENSION_RECORD_TYPE) continue;
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return Next::Error;
    if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
      control.transparent = (block[1] & 1) ? block[4] : -1;
      control.disposal = (block[1] >> 2) & 7;
      control.delay_ms = (block[2] | block[3] << 8) * 10;
    }
    while (block) {
      if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return Next::Error;
    }
  }
}

// The file opened and read up to its first frame's descriptor.
struct Session {
  MemoryFile memory;
  GifFileType* gif = nullptr;
  FrameControl control;  // the first frame's

  Session() = default;
  Session(const Session&) = delete;
  ~Session() {
    int ignored = 0;
    if (gif) DGifCloseFile(gif, &ignored);
  }
  /// Why there is no first frame; empty when there is.
  std::string Open(Bytes file) {
    memory = {file};
    int error = 0;
    gif = DGifOpen(&memory, Read, &error);
    if (!gif) return Failure(error);
    switch (NextImage(gif, control)) {
      case Next::Image: return "";
      case Next::End: return "the file holds no picture";
      case Next::Error: break;
    }
    return Failure(gif->Error);
  }
};

// Passes over a frame's coded data without decoding it.
bool SkipImage(GifFileType* gif) {
  int code_size = 0;
  GifByteType* block = nullptr;
  if (DGifGetCode(gif, &code_size, &block) == GIF_ERROR) return false;
  while (block) {
    if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
  }
  return true;
}

// Qt's screen, from the first frame: a huge one is not believed unless the
// frame is huge too, and a missing one is the frame's extent.
std::pair<std::int64_t, std::int64_t> Screen(const GifFileType* gif) {
  const GifImageDesc& frame = gif->Image;
  std::int64_t width = gif->SWidth, height = gif->SHeight;
  if (width / 10 > std::max(frame.Width, 16384)) width = 0;
  if (height / 10 > std::max(frame.Height, 16384)) height = 0;
  if (width <= 0) width = std::int64_t{frame.Left} + frame.Width;
  if (height <= 0) height = std::int64_t{frame.Top} + frame.Height;
  return {width, height};
}

// Frame rows in the order they are stored.
std::vector<int> RowOrder(const GifImageDesc& frame) {
  std::vector<int> order;
  if (frame.Interlace) {
    for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
      for (int row = start; row < frame.Height; row += step) order.push_back(row);
  } else {
    for (int row = 0; row < frame.Height; ++row) order.push_back(row);
  }
  return order;
}

// The place a frame takes on the canvas.
Region FrameArea(const GifImageDesc& frame, const RgbaPixels& canvas) {
  const int left = std::clamp(frame.Left, 0, canvas.width), top = std::clamp(frame.Top, 0, canvas.height);
  const int right =
      static_cast<int>(std::clamp<std::int64_t>(std::int64_t{frame.Left} + frame.Width, left, canvas.width));
  const int bottom =
      static_cast<int>(std::clamp<std::int64_t>(std::int64_t{frame.Top} + frame.Height, top, canvas.height));
  return {left, top, right - left, bottom - top};
}

// A later frame drawn over the canvas; a damaged one as far as it arrived.
void DrawFrame(GifFileType* gif, Bytes file, int transparent, RgbaPixels& canvas) {
  const GifImageDesc& frame = gif->Image;
  Palette palette;
  palette.map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
  palette.count = frame.ColorMap ? frame.ColorMap->ColorCount : 2 << (file.size() > 10 ? file[10] & 7 : 0);
  palette.transparent = transparent;
  palette.has_alpha = true;
  const Region area = FrameArea(frame, canvas);
  std::vector<GifPixelType> line(static_cast<std::size_t>(std::max(frame.Width, 1)));
  for (const int row : RowOrder(frame)) {
    if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR) return;
    const std::int64_t y = std::int64_t{frame.Top} + row;
    if (y < area.y || y >= area.y + area.height) continue;
    std::uint8_t* out = &canvas.rgba[static_cast<std::size_t>(y * canvas.width) * 4];
    for (int x = area.x; x < area.x + area.width; ++x) {
      const int index = line[static_cast<std::size_t>(x - frame.Left)];
      if (index != transparent) Put(out + static_cast<std::size_t>(x) * 4, palette.Color(index));
    }
  }
}

// The placed read: every screen row in turn, the canvas with the frame's row
// on it, to the reducer. An interlaced frame is gathered whole first (the
// memory it forces was limited before).
DecodeOutcome DecodeScaled(GifFileType* gif, const Palette& palette, std::uint32_t canvas, int transparent,
                           PlacedRead& placed) {
  const GifImageDesc& frame = gif->Image;
  const std::size_t frame_width = static_cast<std::size_t>(std::max(frame.Width, 1));
  const int screen_width = placed.plan.stored_width;
  PictureReducer& reducer =
      placed.Start({0, 0, screen_width, placed.plan.stored_height}, screen_width, placed.plan.stored_height);
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
  // The first frame and the transparency its graphic control block sets.
  Session session;
  if (std::string failure = session.Open(file); !failure.empty()) return {{}, failure};
  GifFileType* gif = session.gif;
  const int transparent = session.control.transparent;
  const GifImageDesc& frame = gif->Image;

  const auto [screen_width, screen_height] = Screen(gif);

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

DecodeOutcome DecodeGifFrame(Bytes file, const Region& asked, const DecodeLimits& limits, const Placement& placement,
                             int wanted) {
  Session session;
  if (std::string failure = session.Open(file); !failure.empty()) return {{}, failure};
  GifFileType* gif = session.gif;
  FrameControl control = session.control;

  // The first frame is the still picture; later ones are drawn over it in
  // turn, each frame's disposal applied before the next, as browsers do.
  DecodeOutcome outcome;
  int delay_ms = control.delay_ms;
  if (wanted == 0) {
    outcome = DecodeGif(file, asked, limits, placement);
    if (!outcome.Ok()) return outcome;
    if (!SkipImage(gif)) return {{}, Failure(gif->Error)};
  } else {
    const auto [width, height] = Screen(gif);
    const std::int64_t needed = width * height * 4 * 3 + gif->Image.Width;
    if (needed > limits.max_bytes) return {{}, TooLarge(width, height, needed, limits)};
    DecodeOutcome still = DecodeGif(file, {0, 0, static_cast<int>(width), static_cast<int>(height)}, limits);
    if (!still.Ok()) return still;
    RgbaPixels canvas = std::move(still.pixels);
    std::vector<std::uint8_t> before;  // the canvas under a frame that restores it
    for (int frame = 0; frame < wanted; ++frame) {
      const Region area = FrameArea(gif->Image, canvas);
      // Before the first frame there was nothing: restoring that clears.
      const int disposal = frame == 0 && control.disposal == 3 ? 2 : control.disposal;
      if (disposal == 3) before = canvas.rgba;
      if (frame == 0) {
        if (!SkipImage(gif)) return {{}, Failure(gif->Error)};
      } else {
        DrawFrame(gif, file, control.transparent, canvas);
      }
      const Next next = NextImage(gif, control);
      if (next == Next::Error) return {{}, Failure(gif->Error)};
      if (next == Next::End)
        return {{}, "the picture has " + std::to_string(frame + 1) + (frame == 0 ? " frame" : " frames")};
      for (int y = area.y; y < area.y + area.height && (disposal == 2 || disposal == 3); ++y) {
        const std::size_t at = (static_cast<std::size_t>(y) * canvas.width + area.x) * 4;
        const std::size_t bytes = static_cast<std::size_t>(area.width) * 4;
        if (disposal == 2) std::memset(&canvas.rgba[at], 0, bytes);
        else std::memcpy(&canvas.rgba[at], &before[at], bytes);
      }
    }
    DrawFrame(gif, file, control.transparent, canvas);
    delay_ms = control.delay_ms;
    outcome = FromWholePicture(canvas, file, asked, limits, placement);
    if (!outcome.Ok()) return outcome;
    outcome.pixels.picture_width = canvas.width;
    outcome.pixels.picture_height = canvas.height;
  }
  // The frames after it are counted, not decoded.
  int frames = wanted + 1;
  while (NextImage(gif, control) == Next::Image && SkipImage(gif))
    if (++frames > kMaxFrames) return {{}, "the picture has more than " + std::to_string(kMaxFrames) + " frames"};
  outcome.frames = frames;
  outcome.delay_ms = delay_ms;
  return outcome;
}

}  // namespace pixolan
