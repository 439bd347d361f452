// SPDX-License-Identifier: MIT
// The format decoders: each region equals Qt's whole decode, headers that lie
// are refused before memory is spent, the libraries' fatal words win over
// their warnings, and alpha is blended exactly.

#include <gmock/gmock.h>
#include <png.h>
#include <webp/encode.h>
#include <webp/mux.h>
#include <zlib.h>

#include <filesystem>
#include <sstream>

#include "picture/picture_head.h"
#include "tests/test_support.h"

namespace pixolan {
namespace {

using Data = std::vector<std::uint8_t>;
using testing::ExpectSameAsQt;
using testing::PixelAt;
using ::testing::StartsWith;
using testing::TestPicture;

// A pattern every channel varies over: neighbours differ, nothing repeats soon.
std::uint8_t Pattern(std::size_t x, std::size_t y, std::size_t channel) {
  return static_cast<std::uint8_t>(x * 7 + y * 13 + channel * 61 + (x * y) / 5);
}

TEST(Composite, BlendsStraightAlphaOverTheBackgroundRounding) {
  const RgbaPixels pixels{3, 1, {200, 100, 50, 128, 10, 20, 30, 255, 10, 20, 30, 0}};
  // Background 0x336699 is R 0x99, G 0x66, B 0x33. Red: (200 * 128 + 153 * 127 + 127) / 255 = 177.
  EXPECT_EQ(Composite(pixels, 0x336699).pixels,
            (std::vector{MakeColor(177, 101, 50), MakeColor(10, 20, 30), 0x336699}));
}

TEST(RegionMatchesQt, EveryTestPictureQtReads) {
  int compared = 0;
  for (const auto& entry : std::filesystem::directory_iterator(PIXOLAN_TESTDATA_DIR)) {
    const std::string name = entry.path().filename();
    // Qt 6.4 reads this grey + associated alpha as opaque RGB32, showing the
    // premultiplied grey as if over black; the alpha is real and kept (below).
    if (name != "libtiff_minisblack-2c-8b-alpha.tif")
      compared += ExpectSameAsQt(DecodePicture, TestPicture(name), name);
  }
  // Every picture Qt loaded when the pictures were recorded was compared.
  std::istringstream recorded(testing::ReadFile(PIXOLAN_TESTDATA_DIR "/expectations.tsv"));
  int loads = -1;  // less the one left out above
  for (std::string line; std::getline(recorded, line);) loads += line.find("\tloads\t") != std::string::npos;
  EXPECT_EQ(compared, loads);
}

TEST(Formats, TheReadmeListsTheFormatsDecodedByTheirOwnLibraries) {
  std::string list;
  for (std::size_t i = 0; i < std::size(kFormats); ++i)
    list += std::string(i == 0 ? "" : i + 1 == std::size(kFormats) ? " and " : ", ") + std::string(kFormats[i].label);
  std::string readme = testing::ReadFile(PIXOLAN_SOURCE_DIR "/README.md");
  std::replace(readme.begin(), readme.end(), '\n', ' ');
  EXPECT_NE(readme.find("whatever their suffix: " + list + " by Pixolan's own decoders"), std::string::npos) << list;
}

// --- JPEG and PNG written here in every kind -------------------------------------

// A JPEG of a fixed plasma as ImageMagick writes it with the options given.
Data Jpeg(const std::string& options, const std::string& size = "301x203") {
  const std::string out = testing::RunCommand("convert -seed 3 -size " + size + " plasma: " + options + " jpg:-").out;
  return {out.begin(), out.end()};
}

// Any colour type and depth: the rows are pattern bytes, and a palette has every index.
Data WritePng(png_uint_32 width, png_uint_32 height, int color_type, int depth, bool adam7, bool transparency) {
  Data file;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &file,
      [](png_structp p, png_bytep bytes, png_size_t length) {
        static_cast<Data*>(png_get_io_ptr(p))
            ->insert(static_cast<Data*>(png_get_io_ptr(p))->end(), bytes, bytes + length);
      },
      nullptr);
  png_set_IHDR(png, info, width, height, depth, color_type, adam7 ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_color palette[256];
  png_byte alphas[256];
  for (int i = 0; i < 256; ++i)
    palette[i] = {Pattern(i, 0, 0), Pattern(i, 0, 1), Pattern(i, 0, 2)}, alphas[i] = Pattern(i, 1, 3);
  if (color_type == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, palette, 1 << depth);
  // Half the palette translucent; otherwise the colour of pattern pixel (0, 0) is transparent.
  png_color_16 key = depth == 16 ? png_color_16{0, 0x0007, 0x0E15, 0x1C23, 0x0007} : png_color_16{0, 0, 7, 14, 0};
  if (transparency) png_set_tRNS(png, info, alphas, std::max(1, (1 << depth) / 2), &key);
  png_write_info(png, info);
  const std::size_t row_bytes = png_get_rowbytes(png, info);
  std::vector<png_byte> rows(row_bytes * height);
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = Pattern(i % row_bytes, i / row_bytes, 0);
  std::vector<png_bytep> pointers;
  for (png_uint_32 y = 0; y < height; ++y) pointers.push_back(rows.data() + y * row_bytes);
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return file;
}

TEST(RegionMatchesQt, JpegSamplingsProgressionAndColourSpaces) {
  for (const char* options : {"-sampling-factor 2x2", "-sampling-factor 2x2 -interlace JPEG", "-sampling-factor 2x1",
                              "-sampling-factor 1x2", "-sampling-factor 4x1", "-colorspace Gray -interlace JPEG",
                              "-colorspace CMYK", "-colorspace CMYK -interlace JPEG"})  // CMYK is written as YCCK
    EXPECT_TRUE(ExpectSameAsQt(DecodeJpeg, Jpeg(options), options));
}

TEST(RegionMatchesQt, PngEveryColourTypeAndDepth) {
  const std::pair<int, std::vector<int>> kinds[] = {{PNG_COLOR_TYPE_GRAY, {1, 2, 4, 8, 16}},
                                                    {PNG_COLOR_TYPE_PALETTE, {1, 2, 4, 8}},
                                                    {PNG_COLOR_TYPE_RGB, {8, 16}},
                                                    {PNG_COLOR_TYPE_GRAY_ALPHA, {8, 16}},
                                                    {PNG_COLOR_TYPE_RGB_ALPHA, {8, 16}}};
  for (const auto& [type, depths] : kinds)
    for (int depth : depths)
      for (bool adam7 : {false, true})
        for (bool transparency : {false, true}) {
          // Qt 6.4 reads 16-bit RGB with a transparent colour as 8-byte pixels while
          // libpng gives it 6-byte ones, so its pixels slide along the row.
          if (transparency && ((type & PNG_COLOR_MASK_ALPHA) || (type == PNG_COLOR_TYPE_RGB && depth == 16))) continue;
          EXPECT_TRUE(ExpectSameAsQt(DecodePng, WritePng(300, 200, type, depth, adam7, transparency),
                                     "type " + std::to_string(type) + " depth " + std::to_string(depth) +
                                         (adam7 ? " Adam7" : "") + (transparency ? " tRNS" : "")));
        }
}

// --- GIF and WebP written here ------------------------------------------------------

struct Gif {
  int screen_width, screen_height, background = 5, left = 0, top = 0, width = screen_width, height = screen_height;
  bool interlaced = false, global_table = true, local_table = false;  // tables of 256 and 16
  int transparent = -1;
};

// One frame of index (7x + 3y) mod colours, written by giflib. Colour i of the
// global table is (i, 255 - i, 5i); the local table's red runs backwards.
Data MakeGif(const Gif& g) {
  return testing::AnimatedGif(
      g.screen_width, g.screen_height,
      {{g.left, g.top, g.width, g.height, -1, 0, 0, g.transparent, g.interlaced, g.local_table}}, g.background,
      g.global_table);
}

TEST(RegionMatchesQt, GifFirstFrameDrawnOnItsScreen) {
  const Gif cases[] = {{300, 200},
                       {300, 200, 5, 0, 0, 300, 200, true},
                       {300, 200, 5, 0, 0, 300, 200, false, true, false, 3},
                       {200, 150, 5, 30, 20, 100, 80},
                       {200, 150, 5, 30, 20, 100, 80, true, true, false, 3},
                       {200, 150, 5, 30, 20, 100, 80, false, false, true},
                       {200, 150, 5, 150, 100, 100, 80},
                       {0, 0, 5, 30, 20, 100, 80}};  // past the screen's edge; no screen
  for (const Gif& gif : cases) EXPECT_TRUE(ExpectSameAsQt(DecodeGif, MakeGif(gif), std::to_string(gif.left)));
  // The screen around a small frame is index 9 of the global table, even
  // beside a local one (which Qt reads the background from: heap contents).
  EXPECT_EQ(PixelAt(DecodeGif(MakeGif({200, 150, 9, 30, 20, 100, 80, false, true, true}), {}, {}).pixels, 0, 0),
            0x09F62DFFu);
}

// Smooth colour with detail, alpha falling off to the right if asked for.
Data MakeWebp(int width, int height, bool lossless, bool alpha) {
  Data rgba;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      rgba.insert(rgba.end(), {std::uint8_t(x), std::uint8_t(y * 2), std::uint8_t((x ^ y) * 16),
                               std::uint8_t(alpha ? 255 - x : 255)});
  std::uint8_t* out = nullptr;
  const std::size_t size = lossless ? WebPEncodeLosslessRGBA(rgba.data(), width, height, width * 4, &out)
                                    : WebPEncodeRGBA(rgba.data(), width, height, width * 4, 80, &out);
  Data bytes(out, out + size);
  WebPFree(out);
  return bytes;
}

TEST(RegionMatchesQt, WebpLossyLosslessAndAlpha) {
  for (const auto& [width, lossless, alpha] :
       {std::tuple{300, false, false}, {300, false, true}, {300, true, true}, {101, false, false}})
    EXPECT_TRUE(ExpectSameAsQt(DecodeWebp, MakeWebp(width, width * 2 / 3, lossless, alpha), std::to_string(width)));
}

// --- Animations ---------------------------------------------------------------------

// Colour i of AnimatedGif's table, opaque, as 0xRRGGBBAA.
std::uint32_t Opaque(int i) {
  return std::uint32_t(i) << 24 | std::uint32_t(255 - i) << 16 | std::uint32_t(i * 5 & 255) << 8 | 0xFF;
}

DecodeOutcome FrameOf(const Data& gif, int frame) { return DecodeGifFrame(gif, {0, 0, 6, 4}, {}, {}, frame); }

TEST(Animation, GifFramesAreDrawnInTurnWithTheirDisposals) {
  // A 6x4 screen of colour 10; a 3x2 frame of 20 at (1, 1); a 2x2 frame of 30
  // at the corner whose own corner is transparent.
  auto frames = [](int disposal) {
    return testing::AnimatedGif(6, 4,
                                {{0, 0, 6, 4, 10, 10}, {1, 1, 3, 2, 20, 20, disposal}, {0, 0, 2, 2, 30, 30, 0, 31}});
  };
  const DecodeOutcome second = FrameOf(frames(0), 1);
  ASSERT_TRUE(second.Ok()) << second.error;
  EXPECT_EQ(PixelAt(second.pixels, 1, 1), Opaque(20));
  EXPECT_EQ(PixelAt(second.pixels, 0, 0), Opaque(10));
  EXPECT_EQ(PixelAt(second.pixels, 4, 2), Opaque(10));
  EXPECT_EQ(second.frames, 3);
  EXPECT_EQ(second.delay_ms, 200);

  const DecodeOutcome kept = FrameOf(frames(1), 2);
  EXPECT_EQ(PixelAt(kept.pixels, 0, 0), Opaque(10));  // through the transparent corner
  EXPECT_EQ(PixelAt(kept.pixels, 1, 0), Opaque(30));
  EXPECT_EQ(PixelAt(kept.pixels, 2, 2), Opaque(20));
  EXPECT_EQ(kept.delay_ms, 300);
  EXPECT_EQ(PixelAt(FrameOf(frames(2), 2).pixels, 2, 2), 0u);          // cleared to transparent
  EXPECT_EQ(PixelAt(FrameOf(frames(3), 2).pixels, 2, 2), Opaque(10));  // restored

  EXPECT_EQ(FrameOf(frames(0), 3).error, "the picture has 3 frames");
}

TEST(Animation, TheFirstGifFrameIsTheStillPicture) {
  const Data gif = testing::AnimatedGif(6, 4, {{1, 1, 4, 2, 40, 7, 0, 41}, {0, 0, 6, 4, 50}});
  const DecodeOutcome first = FrameOf(gif, 0), still = DecodeGif(gif, {0, 0, 6, 4}, {});
  EXPECT_EQ(first.pixels.rgba, still.pixels.rgba);
  EXPECT_EQ(first.frames, 2);
  EXPECT_EQ(first.delay_ms, 70);
  EXPECT_EQ(still.frames, 0);  // nothing counted unless asked
}

// An animation libwebp composes: a red canvas, then its left half blue.
Data AnimatedWebp() {
  WebPAnimEncoderOptions options;
  WebPAnimEncoderOptionsInit(&options);
  WebPAnimEncoder* encoder = WebPAnimEncoderNew(8, 6, &options);
  WebPConfig config;
  WebPConfigInit(&config);
  config.lossless = 1;
  for (const auto& [left_blue, at_ms] : {std::pair{false, 0}, {true, 150}}) {
    WebPPicture picture;
    WebPPictureInit(&picture);
    picture.width = 8, picture.height = 6, picture.use_argb = 1;
    WebPPictureAlloc(&picture);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 8; ++x)
        picture.argb[y * picture.argb_stride + x] = left_blue && x < 4 ? 0xFF0000FF : 0xFFFF0000;
    WebPAnimEncoderAdd(encoder, &picture, at_ms, &config);
    WebPPictureFree(&picture);
  }
  WebPAnimEncoderAdd(encoder, nullptr, 400, nullptr);
  WebPData data;
  WebPDataInit(&data);
  WebPAnimEncoderAssemble(encoder, &data);
  Data bytes(data.bytes, data.bytes + data.size);
  WebPDataClear(&data);
  WebPAnimEncoderDelete(encoder);
  return bytes;
}

TEST(Animation, WebpFramesComeComposedWithTheirDurations) {
  const Data webp = AnimatedWebp();
  const DecodeOutcome first = DecodeWebpFrame(webp, {0, 0, 8, 6}, {}, {}, 0);
  const DecodeOutcome second = DecodeWebpFrame(webp, {0, 0, 8, 6}, {}, {}, 1);
  ASSERT_TRUE(second.Ok()) << second.error;
  EXPECT_EQ(PixelAt(first.pixels, 0, 0), 0xFF0000FFu);
  EXPECT_EQ(PixelAt(second.pixels, 0, 0), 0x0000FFFFu);
  EXPECT_EQ(PixelAt(second.pixels, 7, 5), 0xFF0000FFu);
  EXPECT_EQ(first.delay_ms, 150);
  EXPECT_EQ(second.delay_ms, 250);
  EXPECT_EQ(second.frames, 2);
  EXPECT_EQ(DecodeWebpFrame(webp, {0, 0, 8, 6}, {}, {}, 2).error, "the picture has 2 frames");
  // A still read gives the first frame, and a placed one the same, fitted.
  EXPECT_EQ(DecodeWebp(webp, {0, 0, 8, 6}, {}).pixels.rgba, first.pixels.rgba);
  const Placement fit{PictureSize::Fit, {0, 0, 0, 0}, 4, 3};
  EXPECT_EQ(PixelAt(DecodeWebpFrame(webp, {}, {}, fit, 1).pixels, 0, 0), 0x0000FFFFu);
  EXPECT_EQ(PixelAt(DecodeWebpFrame(webp, {}, {}, fit, 1).pixels, 3, 2), 0xFF0000FFu);
}

TEST(Animation, AStillPictureIsOneFrame) {
  const Data webp = MakeWebp(20, 10, true, false);
  EXPECT_EQ(DecodeWebpFrame(webp, {0, 0, 20, 10}, {}, {}, 0).frames, 1);
  EXPECT_EQ(DecodeWebpFrame(webp, {0, 0, 20, 10}, {}, {}, 1).error, "the picture has 1 frame");
}

void Put(Data& file, std::size_t at, std::uint32_t value, int bytes = 4) {
  for (int i = 0; i < bytes; ++i) file[at + i] = static_cast<std::uint8_t>(value >> 8 * i);
}

TEST(TiffPixels, AssociatedAlphaComesOutStraight) {
  const DecodeOutcome alpha = DecodeTiff(TestPicture("libtiff_minisblack-2c-8b-alpha.tif"), {}, {});
  // Stored premultiplied as grey 71 at alpha 143: straight 71 * 255 / 143 = 126.6.
  EXPECT_EQ(PixelAt(alpha.pixels, 13, 7), 0x7F7F7F8Fu);
}

// --- Placed reads: every format's rows through the reducer -----------------------------

// 200 x 100 in quarters: red, green (top right), blue (bottom left), white.
ColorValue Quarter(int x, int y) {
  constexpr ColorValue kQuarters[] = {MakeColor(255, 0, 0), MakeColor(0, 255, 0), MakeColor(0, 0, 255), 0xFFFFFF};
  return kQuarters[(x >= 100) + 2 * (y >= 50)];
}

// The quarter each probe shows: r, g, b or w by the strongest channels, - where nothing is.
std::string Quarters(const DecodeOutcome& decoded, std::initializer_list<std::pair<int, int>> probes) {
  std::string out;
  for (const auto& [x, y] : probes) {
    const std::uint32_t p = PixelAt(decoded.pixels, x, y);
    const int r = p >> 24, g = p >> 16 & 0xFF;
    out += (p & 0xFF) < 128 ? '-' : r > 128 && g > 128 ? 'w' : r > 128 ? 'r' : g > 128 ? 'g' : 'b';
  }
  return out;
}

TEST(Placed, EveryFormatTurnsFitsFillsAndCrops) {
  testing::TempDir dir;
  testing::WriteFile(dir / "quarters.ppm", testing::Ppm(200, 100, Quarter));
  const Orientation right = Orientation{}.RotatedClockwise(90), half = Orientation{}.RotatedClockwise(180);
  for (const std::string format : {"png", "bmp", "tif", "gif", "webp", "jpg"}) {
    const std::string path = dir / ("quarters." + format);
    ASSERT_EQ(testing::RunCommand("convert " + (dir / "quarters.ppm") + " -quality 95 " + path).status, 0);
    const std::string file = testing::ReadFile(path);
    const Bytes bytes(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
    // Turned right it is 100 x 200: fitted, 64 x 128 at column 32.
    const Placement turned{.size = PictureSize::Fit, .area_width = 128, .area_height = 128, .orientation = right};
    const DecodeOutcome fit = DecodePicture(bytes, {}, {}, turned);
    ASSERT_EQ(fit.error, "") << format;
    EXPECT_EQ(std::tie(fit.pixels.width, fit.pixels.height, fit.pixels.picture_width, fit.pixels.picture_height),
              std::make_tuple(128, 128, 200, 100));
    EXPECT_DOUBLE_EQ(fit.scale, 0.64);
    EXPECT_EQ(Quarters(fit, {{40, 8}, {88, 8}, {40, 120}, {88, 120}, {8, 64}}), "brwg-") << format;
    // Filled: twice the middle 64 x 64.
    const Placement fill_area{.size = PictureSize::Fill, .area_width = 128, .area_height = 128};
    const DecodeOutcome fill = DecodePicture(bytes, {}, {}, fill_area);
    EXPECT_EQ(Quarters(fill, {{20, 20}, {100, 20}, {20, 100}, {100, 100}}), "rgbw") << format;
    // The 20 x 20 around the middle, six times.
    const Placement middle{.size = PictureSize::Crop, .crop = {90, 40, 20, 20}, .area_width = 128, .area_height = 128};
    const DecodeOutcome crop = DecodePicture(bytes, {}, {}, middle);
    EXPECT_EQ(Quarters(crop, {{20, 20}, {100, 20}, {20, 100}, {100, 100}, {1, 1}}), "rgbw-") << format;
    // Actual pixels turned half round: a region read of the bottom right corner.
    const DecodeOutcome actual = DecodePicture(bytes, {0, 0, 128, 128}, {}, {.orientation = half});
    EXPECT_EQ(std::pair(actual.pixels.width, actual.pixels.height), std::pair(128, 100));
    EXPECT_EQ(Quarters(actual, {{10, 10}, {120, 10}, {10, 90}, {120, 90}}), "wbgr") << format;
  }
}

// A big-endian TIFF structure holding one tag: Orientation = value.
Data ExifBlock(int value) {
  return {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, std::uint8_t(value), 0, 0, 0, 0, 0, 0};
}

// The file with its EXIF orientation set the way each format carries it.
Data WithExifOrientation(const std::string& format, const std::string& file, int value) {
  Data data(file.begin(), file.end());
  const Data tiff = ExifBlock(value);
  if (format == "jpg") {  // an APP1 segment right after the start of image
    Data segment = {0xFF, 0xE1, 0, std::uint8_t(tiff.size() + 8), 'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), tiff.begin(), tiff.end());
    data.insert(data.begin() + 2, segment.begin(), segment.end());
  } else if (format == "png") {  // an eXIf chunk after IHDR
    Data chunk = {0, 0, 0, std::uint8_t(tiff.size()), 'e', 'X', 'I', 'f'};
    chunk.insert(chunk.end(), tiff.begin(), tiff.end());
    const uLong crc = crc32(0, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4));
    for (int i = 0; i < 4; ++i) chunk.push_back(static_cast<std::uint8_t>(crc >> (24 - 8 * i)));
    data.insert(data.begin() + 33, chunk.begin(), chunk.end());
  }
  return data;
}

TEST(Placed, ExifOrientationOnlyWhenAskedFor) {
  testing::TempDir dir;
  testing::WriteFile(dir / "quarters.ppm", testing::Ppm(200, 100, Quarter));
  for (const std::string format : {"jpg", "png", "tif"}) {
    const std::string path = dir / ("sideways." + format);
    // ImageMagick writes the tag into a TIFF only.
    ASSERT_EQ(testing::RunCommand("convert " + (dir / "quarters.ppm") + " -orient RightTop " + path).status, 0);
    const Data data = WithExifOrientation(format, testing::ReadFile(path), 6);
    EXPECT_EQ(ExifOrientation(data), 6) << format;
    Placement fit{.size = PictureSize::Fit, .area_width = 128, .area_height = 128};
    EXPECT_EQ(Quarters(DecodePicture(data, {}, {}, fit), {{8, 40}, {120, 40}, {8, 90}, {120, 90}}), "rgbw") << format;
    fit.exif_orientation = true;
    EXPECT_EQ(Quarters(DecodePicture(data, {}, {}, fit), {{40, 8}, {88, 8}, {40, 120}, {88, 120}}), "brwg") << format;
  }
}

TEST(Placed, ExifOrientationsOneToEightAreTakenAndOthersMeanAsStored) {
  const std::string jpeg = testing::ReadFile(PIXOLAN_TESTDATA_DIR "/libjpegturbo_testorig.jpg");
  EXPECT_EQ(ExifOrientation(WithExifOrientation("jpg", jpeg, 8)), 8);
  EXPECT_EQ(ExifOrientation(WithExifOrientation("jpg", jpeg, 9)), 1);
}

// --- Headers that lie, limits, and the libraries' words --------------------------------

// The 16-bit height and width at offset (JPEG's order: height first).
Data WithJpegSize(Data file, std::size_t offset, int width, int height) {
  file[offset] = std::uint8_t(height >> 8), file[offset + 1] = std::uint8_t(height);
  file[offset + 2] = std::uint8_t(width >> 8), file[offset + 3] = std::uint8_t(width);
  return file;
}

std::size_t Find(const Data& file, std::initializer_list<std::uint8_t> marker) {
  return static_cast<std::size_t>(std::search(file.begin(), file.end(), marker.begin(), marker.end()) - file.begin());
}

Data WithPngSize(Data file, std::uint32_t width, std::uint32_t height) {
  for (int i = 0; i < 4; ++i)
    file[16 + i] = std::uint8_t(width >> (24 - 8 * i)), file[20 + i] = std::uint8_t(height >> (24 - 8 * i));
  const uLong crc = crc32(0, file.data() + 12, 17);  // over IHDR's type and data
  for (int i = 0; i < 4; ++i) file[29 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
  return file;
}

// Through the dispatch, so that each format must also be known by its first bytes.
TEST(LyingHeader, EachDecoderRefusesAPictureLargerThanTheFileOrTheLimit) {
  Data bmp = TestPicture("crafted_coord_100x60.bmp");
  Put(bmp, 18, 11585), Put(bmp, 22, 11585);
  EXPECT_EQ(DecodePicture(bmp, {}, {}).error,
            "the file is too short for the picture it claims: 11585 x 11585 pixels need "
            "402648260 bytes of pixel data, the file has 18054 bytes in all");
  Put(bmp, 18, 0);
  EXPECT_EQ(DecodePicture(bmp, {}, {}).error, "not a BMP Pixolan can read: a width of 0 pixels");
  const Data jpeg = Jpeg("-interlace JPEG", "64x64");
  EXPECT_THAT(DecodePicture(WithJpegSize(jpeg, Find(jpeg, {0xFF, 0xC2}) + 5, 65500, 65500), {}, {}).error,
              StartsWith("the picture is 65500 x 65500 pixels and would need"));
  const Data png = TestPicture("pngsuite_basn6a08.png");
  EXPECT_THAT(DecodePicture(WithPngSize(png, 2000000000, 60000), {}, {}).error,
              StartsWith("the picture is 2000000000 x 60000 pixels and would need"));
  // Rows are read one at a time, so a tall claim fails only when the data runs out.
  EXPECT_EQ(DecodePicture(WithPngSize(png, 60000, 60000), {}, {}).error, "Not enough image data");
  EXPECT_THAT(DecodePicture(TestPicture("pillow_libtiff_segfault.tif"), {}, {}).error,
              StartsWith("the picture is 65535 x 900 pixels and would need 163867 MB"));
  Data gif = MakeGif({30, 20});
  gif[6] = gif[7] = gif[8] = gif[9] = 0xFF;
  EXPECT_EQ(DecodePicture(gif, {}, {}).error,
            "the picture is 65535 x 65535 pixels and would need 16384 MB, more than the 512 MB a picture may take");
  Data webp = MakeWebp(1, 1, true, false);
  // After "RIFF", size, "WEBPVP8L", size and 0x2F: 14 bits of width - 1, 14 of height - 1.
  webp[21] = 11584 & 0xFF, webp[22] = 11584 >> 8 | (11584 & 3) << 6, webp[23] = 11584 >> 2 & 0xFF,
  webp[24] = 11584 >> 10;
  EXPECT_EQ(DecodePicture(webp, {}, {}).error,
            "the picture is 11585 x 11585 pixels and would need 514 MB, more than the 512 MB a picture may take");
}

// A progressive JPEG whose scans all refine nothing: the work is scans times
// blocks whatever the file holds, so their product is capped.
Data RepeatedScans(int width, int height, int components, int scans) {
  Data file = {0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0};  // a quantisation table of ones
  file.insert(file.end(), 64, 1);
  file.insert(file.end(), {0xFF, 0xC2, 0, std::uint8_t(8 + 3 * components), 8, 0, 0, 0, 0, std::uint8_t(components)});
  file = WithJpegSize(file, file.size() - 5, width, height);
  for (int c = 1; c <= components; ++c) file.insert(file.end(), {std::uint8_t(c), 0x11, 0});
  file.insert(file.end(), {0xFF, 0xC4, 0, 20, 0x00, 1});  // DC table: "0" is no change
  file.insert(file.end(), 16, 0);
  for (int i = 0; i < scans; ++i) file.insert(file.end(), {0xFF, 0xDA, 0, 8, 1, 1, 0x00, 0, 0, 0, 0x00});
  file.insert(file.end(), {0xFF, 0xD9});
  return file;
}

TEST(Limits, WorkThatGrowsWithTheClaimedSizeIsCapped) {
  // 1024 x 512 is 128 x 64 blocks a component: 2 M block visits are 256
  // scans of grey, 85 of three components.
  const DecodeLimits limits{4 * 1024 * 1024};
  const DecodeOutcome most = DecodeJpeg(RepeatedScans(1024, 512, 1, 256), {0, 0, 2, 1}, limits);
  EXPECT_EQ(most.pixels.rgba, Data({128, 128, 128, 255, 128, 128, 128, 255})) << most.error;
  EXPECT_EQ(DecodeJpeg(RepeatedScans(1024, 512, 1, 257), {}, limits).error,
            "the picture is 1024 x 512 pixels in more than 256 scans, more than a JPEG of its size may have");
  EXPECT_EQ(DecodeJpeg(RepeatedScans(1024, 512, 3, 85), {}, limits).error, "");
  EXPECT_EQ(DecodeJpeg(RepeatedScans(1024, 512, 3, 86), {}, limits).error,
            "the picture is 1024 x 512 pixels in more than 85 scans, more than a JPEG of its size may have");
  // A lossy WebP's alpha plane is held whole: at 1000 x 1000, 1 MB more.
  EXPECT_TRUE(DecodeWebp(MakeWebp(1000, 1000, false, false), {}, {512 * 1024}).Ok());
  EXPECT_FALSE(DecodeWebp(MakeWebp(1000, 1000, false, true), {}, {512 * 1024}).Ok());
  // Every Adam7 pass is read through: 300 x 200 works like 240 000 bytes.
  EXPECT_TRUE(DecodePng(WritePng(300, 200, PNG_COLOR_TYPE_RGB, 8, false, false), {}, {200'000}).Ok());
  EXPECT_EQ(DecodePng(WritePng(300, 200, PNG_COLOR_TYPE_RGB, 8, true, false), {}, {200'000}).error,
            "the picture is 300 x 200 pixels and would need 1 MB, more than the 0 MB a picture may take");
}

// As viewers show it: the rows read, the rest transparent for the background.
TEST(DataEndingEarly, PngKeepsTheRowsReadAndSaysHowMany) {
  const Data whole = WritePng(100, 60, PNG_COLOR_TYPE_RGB, 8, false, false);
  const DecodeOutcome full = DecodePng(whole, {}, {});
  const DecodeOutcome part = DecodePng(Data(whole.begin(), whole.begin() + whole.size() / 2), {}, {});
  ASSERT_TRUE(part.Ok()) << part.error;
  int rows = 0;
  ASSERT_EQ(
      std::sscanf(part.warning.c_str(), "the PNG data ends early: only %d of the picture's 60 rows were read", &rows),
      1)
      << part.warning;
  EXPECT_TRUE(rows > 10 && rows < 50) << rows;
  EXPECT_TRUE(
      std::equal(full.pixels.rgba.begin(), full.pixels.rgba.begin() + rows * 100 * 4, part.pixels.rgba.begin()));
  EXPECT_EQ(testing::PixelAt(part.pixels, 99, 59), 0u);
  EXPECT_EQ(std::pair(part.pixels.picture_width, part.pixels.picture_height), std::pair(100, 60));
  EXPECT_EQ(DecodePng(Data(whole.begin(), whole.begin() + 40), {}, {}).error, "Read Error");  // no row at all
}

TEST(LibraryWords, TheFatalMessageWinsOverEarlierWarnings) {
  Data jpeg = TestPicture("libjpegturbo_testorig.jpg");
  const std::size_t sof = Find(jpeg, {0xFF, 0xC0});
  jpeg = WithJpegSize(jpeg, sof + 5, 227, 0);
  jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(sof), {0x12, 0x34, 0x56});  // "3 extraneous bytes"
  EXPECT_EQ(DecodeJpeg(jpeg, {}, {}).error, "Empty JPEG image (DNL not supported)");
  Data png = TestPicture("pngsuite_basn6a08.png");
  const std::size_t idat = Find(png, {'I', 'D', 'A', 'T'});
  png[idat + 4 + (png[idat - 2] << 8 | png[idat - 1])] ^= 1;                      // IDAT's CRC now fails: an error
  const std::uint8_t text[] = {0, 0, 0, 1, 't', 'E', 'X', 't', 'k', 0, 0, 0, 0};  // wrong CRC: a warning
  png.insert(png.begin() + 33, std::begin(text), std::end(text));
  EXPECT_EQ(DecodePng(png, {}, {}).error, "IDAT: CRC error");
  // Warns of an unknown tag 42112 and more before its first strip fails
  // (the count is libtiff's, a negative one printed unsigned).
  EXPECT_EQ(DecodeTiff(TestPicture("pillow_crash-0c7e0e8e11ce787078f00b5b0ca409a167f070e0.tif"), {}, {}).error,
            "TIFFFillStrip: Read error on strip 0; got 18446744073709550836 bytes, expected 1012");
  Data webp = MakeWebp(300, 200, false, false);
  webp.resize(webp.size() / 2);
  EXPECT_EQ(DecodeWebp(webp, {}, {}).error, "the file is damaged or cut short");
}

}  // namespace
}  // namespace pixolan

namespace pixolan {
namespace {

// What a browser is told before it decodes: the claimed size, and no Exif turn.
TEST(PictureHead, SizeClaimedByEachFormatsHeader) {
  auto claimed = [](const char* name) {
    const std::vector<std::uint8_t> file = testing::TestPicture(name);
    const std::optional<ClaimedSize> size = SizeClaimedBy(Bytes(file.data(), file.size()));
    return size ? std::to_string(size->width) + "x" + std::to_string(size->height) : "none";
  };
  EXPECT_EQ(claimed("crafted_huge_60000x60000.bmp"), "60000x60000");
  EXPECT_EQ(claimed("crafted_testorig_sof_65500x65500.jpg"), "65500x65500");  // the frame after the tables
  EXPECT_EQ(claimed("bmpsuite_g_pal8topdown.bmp"), "127x64");                 // negative height: top-down
  EXPECT_EQ(claimed("bmpsuite_g_pal8os2.bmp"), "127x64");                     // OS/2 core header
  EXPECT_EQ(claimed("pngsuite_basn6a08.png"), "32x32");
  EXPECT_EQ(claimed("crafted_coord_172x128.tif"), "none");
}

TEST(PictureHead, ClearsABigEndianExifOrientationToAsStored) {
  std::vector<std::uint8_t> file = testing::TestPicture("pillow_orientation_rectangle.jpg");
  const std::string entry("\x01\x12\x00\x03\x00\x00\x00\x01\x00", 9);  // Orientation, SHORT, one value
  const std::string before(file.begin(), file.end());
  ASSERT_NE(before.find(entry + '\x08'), std::string::npos);  // 8: turned left
  EXPECT_TRUE(ClearExifOrientation(file));
  EXPECT_NE(std::string(file.begin(), file.end()).find(entry + '\x01'), std::string::npos);
  std::vector<std::uint8_t> png = testing::TestPicture("pngsuite_basn6a08.png");
  EXPECT_FALSE(ClearExifOrientation(png));
}

}  // namespace
}  // namespace pixolan
