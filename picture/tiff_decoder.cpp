// SPDX-License-Identifier: MIT
// TIFF through libtiff's RGBA reader, which converts every photometric, depth
// and planar layout libtiff knows; asked for the region only, it reads just
// the strips or tiles that cover it.

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "picture/decoder.h"

namespace pixolan {
namespace {

constexpr char kName[] = "picture";

struct MemoryFile {
  Bytes bytes;
  toff_t position = 0;
  std::string error;  // libtiff's first fatal message
};

tmsize_t Read(thandle_t handle, void* buffer, tmsize_t size) {
  auto* file = static_cast<MemoryFile*>(handle);
  if (size < 0 || file->position >= file->bytes.size()) return 0;
  const auto count = std::min<toff_t>(static_cast<toff_t>(size), file->bytes.size() - file->position);
  std::memcpy(buffer, file->bytes.data() + file->position, count);
  file->position += count;
  return static_cast<tmsize_t>(count);
}

tmsize_t Write(thandle_t, void*, tmsize_t) { return -1; }

toff_t Seek(thandle_t handle, toff_t offset, int whence) {
  auto* file = static_cast<MemoryFile*>(handle);
  const toff_t base = whence == SEEK_CUR ? file->position : whence == SEEK_END ? file->bytes.size() : 0;
  // Offsets are unsigned: a "negative" one wraps, which is fine for seeking back.
  file->position = base + offset;
  return file->position;
}

int Close(thandle_t) { return 0; }
toff_t Size(thandle_t handle) { return static_cast<MemoryFile*>(handle)->bytes.size(); }
// The picture is in memory already (read-only): libtiff reads strips and
// tiles in place instead of copying each into a buffer of its own. It never
// writes a mapped file opened for reading (bits to reverse are copied first).
int Map(thandle_t handle, void** base, toff_t* size) {
  const auto* file = static_cast<MemoryFile*>(handle);
  *base = const_cast<std::uint8_t*>(file->bytes.data());
  *size = file->bytes.size();
  return 1;
}
void Unmap(thandle_t, void*, toff_t) {}

// Marked printf-like, so that clang's -Wformat-nonliteral lets libtiff's
// format through to vsnprintf.
[[gnu::format(printf, 4, 0)]] int OnError(TIFF*, void* user_data, const char* module, const char* format,
                                          va_list args) {
  auto* file = static_cast<MemoryFile*>(user_data);
  if (file->error.empty()) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    // Some modules are only the file's name, which the caller adds anyway.
    const bool named = module && *module && std::strcmp(module, kName) != 0;
    file->error = named ? std::string(module) + ": " + text : text;
  }
  return 1;  // handled: nothing reaches libtiff's default handler (stderr)
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// Qt reads 16-bit grey itself and rounds to 8 bits; libtiff's own routine
// truncates (and skips wrongly between rows narrower than the picture).
void PutGrey16(TIFFRGBAImage* image, std::uint32_t* out, std::uint32_t, std::uint32_t, std::uint32_t width,
               std::uint32_t height, std::int32_t from_skew, std::int32_t to_skew, unsigned char* in) {
  const bool inverted = image->photometric == PHOTOMETRIC_MINISWHITE;
  for (; height > 0; --height) {
    for (std::uint32_t x = 0; x < width; ++x, in += 2) {
      std::uint16_t value = 0;
      std::memcpy(&value, in, 2);  // already in the machine's byte order
      if (inverted) value = static_cast<std::uint16_t>(65535 - value);
      const std::uint32_t grey = (value + 128u) / 257u;
      *out++ = grey | grey << 8 | grey << 16 | 0xFF000000u;
    }
    out += to_skew;
    in += static_cast<std::ptrdiff_t>(from_skew) * 2;
  }
}

// Closes the handle and frees the options on every return.
struct Session {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  TIFF* tiff = nullptr;
  ~Session() {
    if (tiff) TIFFClose(tiff);
    TIFFOpenOptionsFree(options);
  }
};

struct RgbaImage {
  TIFFRGBAImage image{};
  bool begun = false;
  ~RgbaImage() {
    if (begun) TIFFRGBAImageEnd(&image);
  }
};

std::string Failure(const MemoryFile& file, const char* fallback) { return file.error.empty() ? fallback : file.error; }

// libtiff hands out premultiplied colour whenever it reports alpha; Qt's
// ARGB32 is straight.
void Unpremultiply(std::uint8_t* pixel) {
  const int alpha = pixel[3];
  if (alpha == 0 || alpha == 255) return;
  for (int c = 0; c < 3; ++c) pixel[c] = static_cast<std::uint8_t>(std::min(255, (pixel[c] * 255 + alpha / 2) / alpha));
}

// What the reader holds at once besides its raster: one decoded strip or
// tile (all planes of it when they are stored separately); 0 when the file
// gives no size.
std::int64_t PieceBytes(TIFF* tiff) {
  std::uint16_t planar = PLANARCONFIG_CONTIG, samples = 1;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  const std::uint64_t piece = TIFFIsTiled(tiff) ? TIFFTileSize64(tiff) : TIFFStripSize64(tiff);
  const std::int64_t planes = planar == PLANARCONFIG_SEPARATE ? std::min<std::int64_t>(samples, 4) : 1;
  return static_cast<std::int64_t>(std::min<std::uint64_t>(piece, INT64_MAX / 8)) * planes;
}

// libtiff's converter for this picture, as Qt converts it; the reason when it has none.
std::string BeginRgba(TIFF* tiff, const MemoryFile& memory, RgbaImage& rgba) {
  char message[1024] = "";
  if (!TIFFRGBAImageOK(tiff, message) || !TIFFRGBAImageBegin(&rgba.image, tiff, 1, message))
    return Failure(memory, *message ? message : "libtiff cannot convert this kind of picture");
  rgba.begun = true;
  if (rgba.image.isContig && rgba.image.bitspersample == 16 && rgba.image.samplesperpixel == 1 &&
      (rgba.image.photometric == PHOTOMETRIC_MINISBLACK || rgba.image.photometric == PHOTOMETRIC_MINISWHITE))
    rgba.image.put.contig = PutGrey16;
  // Rows as stored, as Qt gives them without auto-transform.
  rgba.image.req_orientation = rgba.image.orientation;
  return {};
}

// The raster holds 0xAABBGGRR words.
void ToRgba(const std::uint32_t* word, int count, bool alpha, std::uint8_t* p) {
  for (int column = 0; column < count; ++column, ++word, p += 4) {
    p[0] = static_cast<std::uint8_t>(TIFFGetR(*word));
    p[1] = static_cast<std::uint8_t>(TIFFGetG(*word));
    p[2] = static_cast<std::uint8_t>(TIFFGetB(*word));
    p[3] = static_cast<std::uint8_t>(TIFFGetA(*word));
    if (alpha) Unpremultiply(p);
  }
}

// The placed read: bands of whole rows, a tile row or whole strips each, to the reducer.
DecodeOutcome DecodeScaled(Bytes file, TIFF* tiff, const MemoryFile& memory, const DecodeLimits& limits,
                           PlacedRead& placed) {
  const int width = placed.plan.stored_width, height = placed.plan.stored_height;
  std::uint32_t tile_height = 0, rows_per_strip = 0;
  if (TIFFIsTiled(tiff) && (!TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tile_height) || tile_height == 0))
    return {{}, Failure(memory, "the picture's tiles have no height")};
  TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rows_per_strip);
  // Strips: a band of whole strips, on multiples of 4 rows so that subsampled chroma stays in step.
  const int band = static_cast<int>(
      TIFFIsTiled(tiff) ? std::min<std::int64_t>(tile_height, height)
                        : std::clamp<std::int64_t>((std::int64_t{rows_per_strip} + 3) / 4 * 4, 4, height));
  const std::int64_t needed = std::int64_t{width} * band * 4 + PieceBytes(tiff) + placed.BytesNeeded(width);
  if (needed > limits.max_bytes) return {{}, TooLarge(width, height, needed, limits)};
  RgbaImage rgba;
  if (std::string refusal = BeginRgba(tiff, memory, rgba); !refusal.empty()) return {{}, refusal};
  PictureReducer& reducer = placed.Start({0, 0, width, height}, width, height);
  std::vector<std::uint32_t> raster(static_cast<std::size_t>(width) * band);
  for (int top = reducer.FirstRow() - reducer.FirstRow() % band; top < reducer.EndRow(); top += band) {
    const int rows = std::min(band, height - top);
    rgba.image.row_offset = top;
    if (!TIFFRGBAImageGet(&rgba.image, raster.data(), static_cast<std::uint32_t>(width),
                          static_cast<std::uint32_t>(rows)))
      return {{}, Failure(memory, "libtiff could not read the picture")};
    for (int row = 0; row < rows; ++row) {
      ToRgba(&raster[static_cast<std::size_t>(row) * width], width, rgba.image.alpha, placed.row.data());
      reducer.AddRow(top + row, placed.row.data());
    }
    ReleaseFilePages(file, limits);
  }
  return placed.Finish();
}

}  // namespace

DecodeOutcome DecodeTiff(Bytes file, const Region& asked, const DecodeLimits& limits, const Placement& placement) {
  MemoryFile memory{file, 0, {}};
  Session session;
  TIFFOpenOptionsSetErrorHandlerExtR(session.options, OnError, &memory);
  TIFFOpenOptionsSetWarningHandlerExtR(session.options, OnWarning, &memory);
  // A last line of defence: no single allocation beyond what a picture may take.
  TIFFOpenOptionsSetMaxSingleMemAlloc(session.options, static_cast<tmsize_t>(limits.max_bytes));
  session.tiff = TIFFClientOpenExt(kName, "r", &memory, Read, Write, Seek, Close, Size, Map, Unmap, session.options);
  if (!session.tiff) return {{}, Failure(memory, "not a TIFF file libtiff can open")};
  TIFF* tiff = session.tiff;

  std::uint32_t width = 0, height = 0;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  if (width == 0 || height == 0) return {{}, Failure(memory, "the picture has no pixels")};
  PlacedRead placed;
  if (width > INT32_MAX || height > INT32_MAX) return {{}, TooLarge(width, height, INT64_MAX, limits)};
  if (std::string refusal = placed.Plan(file, placement, asked, width, height); !refusal.empty()) return {{}, refusal};
  const Region& region = placed.StoredRegion();
  RgbaPixels pixels = RegionPixels(placed.plan.scaled ? Region{0, 0, 0, 0} : region, width, height);
  if (!placed.plan.scaled && pixels.rgba.empty()) return placed.Finish(std::move(pixels));

  // Uncompressed strips and tiles are stored as they are: they cannot be
  // longer than the file.
  const std::int64_t piece = PieceBytes(tiff);
  if (piece == 0) return {{}, Failure(memory, "the picture's strips or tiles have no size")};
  std::uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
  const std::uint64_t one_piece = TIFFIsTiled(tiff) ? TIFFTileSize64(tiff) : TIFFStripSize64(tiff);
  if (compression == COMPRESSION_NONE && one_piece > file.size())
    return {{},
            "the file is cut short: a strip or tile of " + std::to_string(one_piece) + " bytes does not fit in its " +
                std::to_string(file.size()) + " bytes"};
  if (placed.plan.scaled) return DecodeScaled(file, tiff, memory, limits, placed);

  // libtiff's column offset counts bytes where it should count pixels (wrong
  // below 8 bits a sample and for separate planes) unless it falls on a tile
  // edge, and some of its routines skip wrongly between rows narrower than the
  // picture: read strips whole in width and tiles whole from a tile edge.
  // Rows start on a multiple of 4 so that subsampled chroma stays in step.
  std::uint32_t tile_width = 0;
  const bool tiled = TIFFIsTiled(tiff);
  if (tiled && (!TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tile_width) || tile_width == 0))
    return {{}, Failure(memory, "the picture's tiles have no width")};
  const int first_column = tiled ? region.x - static_cast<int>(region.x % tile_width) : 0;
  const int first_row = region.y - region.y % 4;
  // Wide as the picture for strips: checked against the limit before use.
  const std::int64_t raster_width =
      tiled ? std::min<std::int64_t>(width - first_column, (region.x + pixels.width - first_column + tile_width - 1) /
                                                               tile_width * tile_width)
            : width;
  const std::int64_t raster_height = region.y + pixels.height - first_row;
  const std::int64_t needed = raster_width * raster_height * 4 + piece;
  if (needed > limits.max_bytes) return {{}, TooLarge(width, height, needed, limits)};

  RgbaImage rgba;
  if (std::string refusal = BeginRgba(tiff, memory, rgba); !refusal.empty()) return {{}, refusal};
  rgba.image.col_offset = first_column;
  // Strips are converted a band of whole strips at a time into one raster,
  // reused: each page of a raster is a fault to the kernel, and a picture
  // 8000 wide makes a full-height raster of megabytes. (Tiles are read once
  // each, so their raster is made whole.)
  std::uint32_t rows_per_strip = 0;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rows_per_strip);
  const std::int64_t band =
      tiled ? raster_height : std::clamp<std::int64_t>((std::int64_t{rows_per_strip} + 3) / 4 * 4, 4, raster_height);
  std::vector<std::uint32_t> raster(static_cast<std::size_t>(raster_width * band));
  std::uint8_t* p = pixels.rgba.data();
  const std::int64_t end_row = std::int64_t{region.y} + pixels.height;
  for (std::int64_t top = first_row; top < end_row; top += band) {
    const std::int64_t rows = std::min(band, end_row - top);
    rgba.image.row_offset = static_cast<int>(top);
    if (!TIFFRGBAImageGet(&rgba.image, raster.data(), static_cast<std::uint32_t>(raster_width),
                          static_cast<std::uint32_t>(rows)))
      return {{}, Failure(memory, "libtiff could not read the picture")};
    for (std::int64_t row = std::max<std::int64_t>(top, region.y); row < top + rows; ++row, p += pixels.width * 4)
      ToRgba(&raster[static_cast<std::size_t>((row - top) * raster_width + (region.x - first_column))], pixels.width,
             rgba.image.alpha, p);
  }
  return placed.Finish(std::move(pixels));
}

}  // namespace pixolan
