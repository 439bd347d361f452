// SPDX-License-Identifier: MIT
// Writes one very large picture of few colours for the whole-process
// benchmarks (scripts/bench-compare.sh), row by row where the format allows:
// ImageMagick's resource policy refuses to make pictures this large.
//   pixolan-huge-picture adam7-png|progressive-jpeg|interlaced-gif|lossless-webp WIDTH HEIGHT OUT

#include <cstdio>  // jpeglib.h needs FILE and size_t first

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <unistd.h>
#include <webp/encode.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Four colours in bands 1024 rows high: long runs, so the files stay small.
constexpr std::uint8_t kColors[4][3] = {{0x10, 0x20, 0x80}, {0xF0, 0x90, 0x20}, {0x30, 0xA0, 0x40}, {0xE0, 0xE0, 0xE0}};
int Band(int y) { return y / 1024 % 4; }

bool Fail(const std::string& why) {
  std::fprintf(stderr, "pixolan-huge-picture: %s\n", why.c_str());
  return false;
}

bool WriteAdam7Png(int width, int height, std::FILE* out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) return Fail("libpng failed");
  png_init_io(png, out);
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, width, height, 2, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_ADAM7, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_color palette[4];
  for (int i = 0; i < 4; ++i) palette[i] = {kColors[i][0], kColors[i][1], kColors[i][2]};
  png_set_PLTE(png, info, palette, 4);
  png_write_info(png, info);
  const int passes = png_set_interlace_handling(png);
  std::vector<png_byte> row((width + 3) / 4);
  for (int pass = 0; pass < passes; ++pass)
    for (int y = 0; y < height; ++y) {
      std::memset(row.data(), Band(y) * 0x55, row.size());  // the index in all four 2-bit fields
      png_write_row(png, row.data());
    }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool WriteProgressiveJpeg(int width, int height, std::FILE* out) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);  // exits with libjpeg's message on failure
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, out);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 75, TRUE);
  jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    for (int x = 0; x < width; ++x) std::memcpy(&row[x * 3], kColors[Band(cinfo.next_scanline)], 3);
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

bool WriteInterlacedGif(int width, int height, int fd) {
  int error = 0;
  GifFileType* gif = EGifOpenFileHandle(fd, &error);
  if (!gif) return Fail(GifErrorString(error));
  GifColorType colors[4];
  for (int i = 0; i < 4; ++i) colors[i] = {kColors[i][0], kColors[i][1], kColors[i][2]};
  ColorMapObject* map = GifMakeMapObject(4, colors);
  if (EGifPutScreenDesc(gif, width, height, 2, 0, map) == GIF_ERROR ||
      EGifPutImageDesc(gif, 0, 0, width, height, true, nullptr) == GIF_ERROR)
    return Fail(GifErrorString(gif->Error));
  // Rows go in the order an interlaced frame stores them.
  std::vector<GifPixelType> line(static_cast<std::size_t>(width));
  for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
    for (int y = start; y < height; y += step) {
      std::memset(line.data(), Band(y), line.size());
      if (EGifPutLine(gif, line.data(), width) == GIF_ERROR) return Fail(GifErrorString(gif->Error));
    }
  GifFreeMapObject(map);
  return EGifCloseFile(gif, &error) == GIF_OK || Fail(GifErrorString(error));
}

bool WriteLosslessWebp(int width, int height, std::FILE* out) {
  WebPConfig config;
  WebPPicture picture;
  if (!WebPConfigInit(&config) || !WebPConfigLosslessPreset(&config, 0) || !WebPPictureInit(&picture))
    return Fail("libwebp is not the version this was built with");
  picture.use_argb = 1;
  picture.width = width;
  picture.height = height;
  if (!WebPPictureAlloc(&picture)) return Fail("no memory for the picture");
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* c = kColors[Band(y)];
    const std::uint32_t argb = 0xFF000000u | std::uint32_t{c[0]} << 16 | std::uint32_t{c[1]} << 8 | c[2];
    std::uint32_t* row = picture.argb + static_cast<std::size_t>(y) * picture.argb_stride;
    for (int x = 0; x < width; ++x) row[x] = argb;
  }
  WebPMemoryWriter writer;
  WebPMemoryWriterInit(&writer);
  picture.writer = WebPMemoryWrite;
  picture.custom_ptr = &writer;
  const bool encoded = WebPEncode(&config, &picture);
  WebPPictureFree(&picture);
  if (!encoded) return Fail("libwebp could not encode (error " + std::to_string(picture.error_code) + ")");
  const bool written = std::fwrite(writer.mem, 1, writer.size, out) == writer.size;
  WebPMemoryWriterClear(&writer);
  return written || Fail("could not write the picture");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr,
                 "usage: pixolan-huge-picture adam7-png|progressive-jpeg|interlaced-gif|lossless-webp "
                 "WIDTH HEIGHT OUT\n");
    return 2;
  }
  const std::string kind = argv[1];
  const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
  std::FILE* out = std::fopen(argv[4], "wb");
  if (!out) return Fail(std::string("cannot write ") + argv[4]) ? 0 : 1;
  bool ok = false;
  if (kind == "adam7-png") ok = WriteAdam7Png(width, height, out);
  else if (kind == "progressive-jpeg") ok = WriteProgressiveJpeg(width, height, out);
  else if (kind == "interlaced-gif") ok = WriteInterlacedGif(width, height, dup(fileno(out)));
  else if (kind == "lossless-webp") ok = WriteLosslessWebp(width, height, out);
  else Fail("unknown kind " + kind);
  if (std::fclose(out) != 0) ok = false;
  return ok ? 0 : 1;
}
