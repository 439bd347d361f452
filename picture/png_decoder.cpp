// SPDX-License-Identifier: MIT
// PNG through libpng: rows up to the last one a region needs, and for Adam7
// pictures only the region's rows kept while every pass goes by; a placed
// read hands each row to the reducer (Adam7: once the last pass is in).

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <vector>

#include "picture/decoder.h"

namespace pixolan {
namespace {

struct Reader {
  Bytes file;
  std::size_t position = 0;
  char message[256] = {};
  bool ran_out = false;   // the data ended before libpng was done
  int pass = 0, row = 0;  // the row being read when it did
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* reader = static_cast<Reader*>(png_get_io_ptr(png));
  if (length > reader->file.size() - reader->position) {
    reader->ran_out = true;
    png_error(png, "Read Error");  // libpng's words for a short read
  }
  std::memcpy(out, reader->file.data() + reader->position, length);
  reader->position += length;
}

void OnError(png_structp png, png_const_charp message) {
  auto* reader = static_cast<Reader*>(png_get_error_ptr(png));
  std::snprintf(reader->message, sizeof reader->message, "%s", message);
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// Text, profiles and metadata never change the pixels: not even inflated.
constexpr png_byte kIgnoredChunks[] = "iCCP\0zTXt\0iTXt\0tEXt\0sPLT\0eXIf\0";
constexpr int kIgnoredChunkCount = 6;
constexpr png_alloc_size_t kMaxChunkBytes = 8 * 1024 * 1024;

/// Everything that can longjmp lives here; rows and result outlive a jump.
bool Decode(png_structp png, png_infop info, Bytes file, const Region& asked, const DecodeLimits& limits,
            const Placement& placement, Reader& reader, PlacedRead& placed, std::vector<png_byte>& row,
            RgbaPixels& result, std::string& refusal) {
  if (setjmp(png_jmpbuf(png))) return false;

  // The format's own ceiling; the real bound is the check against limits below.
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_set_chunk_malloc_max(png, std::min<png_alloc_size_t>(kMaxChunkBytes, limits.max_bytes));
  png_set_chunk_cache_max(png, 128);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks, kIgnoredChunkCount);
  // The checksum sits at the end of the data, which is seldom reached.
  png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
  // Image data in small reads, so that data ending early still gives every
  // row it holds (by default libpng asks for 8 KB at once).
  png_set_compression_buffer_size(png, 1024);
  png_read_info(png, info);

  const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
  const bool interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
  refusal = placed.Plan(file, placement, asked, width, height);
  if (!refusal.empty()) return false;
  const Region& region = placed.StoredRegion();
  const bool scaled = placed.plan.scaled;
  const Region wanted =
      scaled ? Region{0, 0, static_cast<int>(width), static_cast<int>(height)} : ClipRegion(region, width, height);
  result.picture_width = static_cast<int>(width);
  result.picture_height = static_cast<int>(height);
  // libpng keeps the current and previous rows at up to 8 bytes a pixel, and
  // an Adam7 picture needs one more full row to gather each pass into.
  const std::int64_t row_bytes = std::int64_t{width} * 8 + 64;
  std::int64_t needed = (scaled ? placed.BytesNeeded(width) : std::int64_t{wanted.width} * wanted.height * 4) +
                        row_bytes * (interlaced ? 3 : 2);
  // Adam7 spreads the region's rows over all seven passes, so every pass of
  // the whole picture is inflated and converted to reach them: the work is
  // that of holding the whole picture, and is limited as such.
  if (interlaced) needed = std::max(needed, std::int64_t{width} * height * 4);
  if (needed > limits.max_bytes) {
    refusal = TooLarge(width, height, needed, limits);
    return false;
  }
  if (wanted.width == 0) return true;

  // Every colour type and depth becomes 8-bit RGBA, 16 bits rounded to 8.
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  // A placed read takes opaque rows as RGB: no filler for libpng to add.
  const bool rgb_rows = scaled && !interlaced;
  if (!rgb_rows) png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);

  row.resize(png_get_rowbytes(png, info));
  if (rgb_rows) {
    PictureReducer& reducer = placed.Start(wanted, wanted.width, wanted.height);
    const int channels = png_get_channels(png, info);
    for (int y = 0; y < reducer.EndRow(); ++y) {
      reader.row = y;
      png_read_row(png, row.data(), nullptr);
      reducer.AddRow(y, row.data(), channels);
    }
    return true;
  }
  // Adam7 placed: the whole picture gathered (its size was limited above), then reduced.
  // Sized before any row, so that a picture whose data ends early keeps the rows read.
  result.rgba.resize(static_cast<std::size_t>(wanted.width) * wanted.height * 4);
  result.width = wanted.width;
  result.height = wanted.height;
  const std::size_t left = static_cast<std::size_t>(wanted.x) * 4, span = static_cast<std::size_t>(wanted.width) * 4;
  const int bottom = wanted.y + wanted.height;
  for (int pass = 0; pass < passes; ++pass) {
    // Only the last pass may stop early: every earlier one holds pixels of the region's rows.
    const int last_row = pass == passes - 1 ? bottom : static_cast<int>(height);
    for (int y = 0; y < last_row; ++y) {
      reader.pass = pass;
      reader.row = y;
      const bool kept = y >= wanted.y && y < bottom;
      std::uint8_t* held = kept ? result.rgba.data() + static_cast<std::size_t>(y - wanted.y) * span : nullptr;
      // A pass writes only its own pixels: start from what earlier passes gave.
      if (held && interlaced) std::memcpy(row.data() + left, held, span);
      png_read_row(png, row.data(), nullptr);
      if (held) std::memcpy(held, row.data() + left, span);
    }
  }
  return true;
}

// An Adam7 picture gathered whole for a placed read, to the reducer.
void ReduceGathered(PlacedRead& placed, RgbaPixels& gathered) {
  if (!placed.plan.scaled || placed.reducer || gathered.rgba.empty()) return;
  PictureReducer& reducer = placed.Start({0, 0, gathered.width, gathered.height}, gathered.width, gathered.height);
  for (int y = reducer.FirstRow(); y < reducer.EndRow(); ++y)
    reducer.AddRow(y, gathered.rgba.data() + static_cast<std::size_t>(y) * gathered.width * 4);
  gathered.rgba = {};
}

}  // namespace

DecodeOutcome DecodePng(Bytes file, const Region& region, const DecodeLimits& limits, const Placement& placement) {
  Reader reader{file};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, OnError, OnWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return {{}, "libpng could not start"};
  }
  png_set_read_fn(png, &reader, ReadFromMemory);

  PlacedRead placed;
  RgbaPixels pixels;
  std::vector<png_byte> row;
  std::string refusal;
  const bool decoded = Decode(png, info, file, region, limits, placement, reader, placed, row, pixels, refusal);
  const bool interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
  // Stops here: the rest of the data, and its checksums, are never read.
  png_destroy_read_struct(&png, &info, nullptr);
  const bool rows_kept = placed.reducer || !pixels.rgba.empty();
  ReduceGathered(placed, pixels);
  if (decoded) return placed.Finish(std::move(pixels));
  // Data ending inside the rows: the rows read are kept, as viewers do.
  if (reader.ran_out && rows_kept && (reader.row > 0 || reader.pass > 0)) {
    DecodeOutcome outcome = placed.Finish(std::move(pixels));
    const std::string of =
        std::to_string(reader.row) + " of the picture's " + std::to_string(outcome.pixels.picture_height) + " rows";
    outcome.warning = interlaced ? "the PNG data ends early, in pass " + std::to_string(reader.pass + 1) +
                                       " of 7 after " + of + ": the picture is coarse or missing from there"
                                 : "the PNG data ends early: only " + of + " were read; the rest shows the background";
    return outcome;
  }
  return {{}, refusal.empty() ? std::string(reader.message) : refusal};
}

}  // namespace pixolan
