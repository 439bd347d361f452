// The JPEG and PNG decoders against Qt's readers, and their refusals.

#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include <QBuffer>
#include <QImageReader>
#include <filesystem>

#include "picture/decoder.h"
#include "picture/qt_rgba.h"
#include "tests/test_support.h"

namespace pixolan {
namespace {

using Data = std::vector<std::uint8_t>;
constexpr ColorValue kBackground = 0x336699;
const Region kRegions[] = {{}, {37, 21, 172, 128}, {150, 90, 128, 128}};

Data FileBytes(const std::filesystem::path& path) {
  const std::string text = testing::ReadFile(path.string());
  return {text.begin(), text.end()};
}

// Qt's whole decode cut to the region; false when Qt cannot read the file.
bool QtRegion(const Data& file, const Region& region, Picture& picture) {
  QByteArray bytes(reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size()));
  QBuffer buffer(&bytes);
  QImage whole = QImageReader(&buffer).read();
  if (whole.isNull()) return false;
  picture = Composite(RgbaFromImage(whole, region), kBackground);
  return true;
}

// False when Qt cannot read the file, so that there is nothing to compare.
bool ExpectSameAsQt(const Data& file, const std::string& name) {
  for (const Region& region : kRegions) {
    Picture expected;
    if (!QtRegion(file, region, expected)) return false;
    // Qt keeps the rows of a region right of the picture at width 0; none is none.
    if (expected.pixels.empty()) expected = {};
    const DecodeOutcome got = SniffFormat(file) == PictureFormat::Png ? DecodePng(file, region, {})
                                                                      : DecodeJpeg(file, region, {});
    const Picture picture = Composite(got.pixels, kBackground);
    EXPECT_EQ(got.error, "") << name;
    EXPECT_EQ(std::pair(picture.width, picture.height), std::pair(expected.width, expected.height)) << name;
    const auto [ours, qts] = std::mismatch(picture.pixels.begin(), picture.pixels.end(), expected.pixels.begin(),
                                           expected.pixels.end());
    const auto at = ours - picture.pixels.begin();
    if (ours != picture.pixels.end())
      ADD_FAILURE() << name << ": " << *ours << " not " << *qts << " at " << at % picture.width << ","
                    << at / picture.width << " of the region at " << region.x << "," << region.y;
  }
  return true;
}

// A pattern every channel and depth varies over: neighbours differ, nothing repeats soon.
std::uint8_t Pattern(std::size_t x, std::size_t y, std::size_t channel) {
  return static_cast<std::uint8_t>(x * 7 + y * 13 + channel * 61 + (x * y) / 5);
}

Data WriteJpeg(int width, int height, J_COLOR_SPACE space, int components, bool progressive, int h_samp = 2,
               int v_samp = 2) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = width, cinfo.image_height = height;
  cinfo.input_components = components;
  cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  jpeg_set_colorspace(&cinfo, space);
  cinfo.comp_info[0].h_samp_factor = h_samp, cinfo.comp_info[0].v_samp_factor = v_samp;
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * components);
  for (int y = 0; y < height; ++y) {
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = Pattern(i / components, y, i % components);
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Data file(out, out + size);
  std::free(out);
  return file;
}

void AppendToData(png_structp png, png_bytep bytes, png_size_t length) {
  auto* file = static_cast<Data*>(png_get_io_ptr(png));
  file->insert(file->end(), bytes, bytes + length);
}

// Any colour type and depth: the rows are pattern bytes, and a palette has every index.
Data WritePng(png_uint_32 width, png_uint_32 height, int color_type, int depth, bool adam7, bool transparency) {
  Data file;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &file, AppendToData, nullptr);
  png_set_IHDR(png, info, width, height, depth, color_type, adam7 ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette(256);
  std::vector<png_byte> alphas(256);
  for (int i = 0; i < 256; ++i) palette[i] = {Pattern(i, 0, 0), Pattern(i, 0, 1), Pattern(i, 0, 2)}, alphas[i] = Pattern(i, 1, 3);
  if (color_type == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, palette.data(), 1 << depth);
  // The colour of pixel (0, 0) in the pattern is the transparent one.
  png_color_16 key = depth == 16 ? png_color_16{0, 0x0007, 0x0E15, 0x1C23, 0x0007} : png_color_16{0, 0, 7, 14, 0};
  if (transparency) png_set_tRNS(png, info, alphas.data(), std::max(1, (1 << depth) / 2), &key);
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

// A copy of file with its 16-bit width and height from offset on (JPEG's order: height first).
Data WithJpegSize(Data file, std::size_t offset, int width, int height) {
  file[offset] = static_cast<std::uint8_t>(height >> 8), file[offset + 1] = static_cast<std::uint8_t>(height);
  file[offset + 2] = static_cast<std::uint8_t>(width >> 8), file[offset + 3] = static_cast<std::uint8_t>(width);
  return file;
}

std::size_t Find(const Data& file, std::initializer_list<std::uint8_t> marker) {
  return static_cast<std::size_t>(std::search(file.begin(), file.end(), marker.begin(), marker.end()) - file.begin());
}

TEST(RegionMatchesQt, EverySharedJpegAndPng) {
  int compared = 0;
  for (const auto& entry : std::filesystem::directory_iterator(PIXOLAN_TESTDATA_DIR)) {
    const std::string name = entry.path().filename().string();
    const Data file = FileBytes(entry.path());
    const PictureFormat format = SniffFormat(file);
    if (format != PictureFormat::Jpeg && format != PictureFormat::Png) continue;
    compared += ExpectSameAsQt(file, name);
  }
  EXPECT_EQ(compared, 17);  // every one Qt reads
}

TEST(RegionMatchesQt, JpegSamplingsProgressionAndColourSpaces) {
  ExpectSameAsQt(WriteJpeg(301, 203, JCS_YCbCr, 3, false), "4:2:0");
  ExpectSameAsQt(WriteJpeg(301, 203, JCS_YCbCr, 3, true), "progressive 4:2:0");
  ExpectSameAsQt(WriteJpeg(301, 203, JCS_YCbCr, 3, false, 2, 1), "4:2:2");
  ExpectSameAsQt(WriteJpeg(301, 203, JCS_YCbCr, 3, false, 1, 2), "4:4:0");
  ExpectSameAsQt(WriteJpeg(301, 203, JCS_YCbCr, 3, false, 4, 1), "4:1:1");
  ExpectSameAsQt(WriteJpeg(301, 203, JCS_RGB, 3, false, 1, 1), "RGB");
  ExpectSameAsQt(WriteJpeg(301, 203, JCS_GRAYSCALE, 1, true, 1, 1), "grey progressive");
  ExpectSameAsQt(WriteJpeg(301, 203, JCS_CMYK, 4, false, 1, 1), "CMYK");
  ExpectSameAsQt(WriteJpeg(301, 203, JCS_YCCK, 4, true), "YCCK progressive");
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
          if (transparency && (type & PNG_COLOR_MASK_ALPHA)) continue;
          // Qt 6.4 reads 16-bit RGB with a transparent colour as 8-byte pixels while
          // libpng gives it 6-byte ones, so its pixels slide along the row; libpng's
          // expansion to RGBA here is right.
          if (transparency && type == PNG_COLOR_TYPE_RGB && depth == 16) continue;
          ExpectSameAsQt(WritePng(300, 200, type, depth, adam7, transparency),
                         "type " + std::to_string(type) + " depth " + std::to_string(depth) + (adam7 ? " Adam7" : "") +
                             (transparency ? " tRNS" : ""));
        }
}

// PNG chunks carry a CRC over type and data; a patched one needs it again.
void FixPngCrc(Data& file, std::size_t type_at, std::size_t length) {
  const uLong crc = crc32(0, file.data() + type_at, static_cast<uInt>(length + 4));
  for (int i = 0; i < 4; ++i) file[type_at + 4 + length + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
}

Data WithPngSize(Data file, std::uint32_t width, std::uint32_t height) {
  for (int i = 0; i < 4; ++i) {
    file[16 + i] = static_cast<std::uint8_t>(width >> (24 - 8 * i));
    file[20 + i] = static_cast<std::uint8_t>(height >> (24 - 8 * i));
  }
  FixPngCrc(file, 12, 13);
  return file;
}

const std::filesystem::path kPictures = PIXOLAN_TESTDATA_DIR;

TEST(Refusal, ProgressiveJpegWhoseHeaderClaimsAHugePicture) {
  const Data file = WriteJpeg(64, 64, JCS_YCbCr, 3, true);
  const std::size_t sof = Find(file, {0xFF, 0xC2});
  ASSERT_LT(sof, file.size());
  const std::string error = DecodeJpeg(WithJpegSize(file, sof + 5, 65500, 65500), {}, {}).error;
  EXPECT_TRUE(error.starts_with("the picture is 65500 x 65500 pixels and would need ")) << error;
}

TEST(Refusal, ProgressiveJpegCountsItsWholeCoefficientBuffer) {
  // 4:2:0 at 1200 x 1000: luma 150 x 126 blocks, chroma 2 x 75 x 63, 128 bytes each: 3.5 MB.
  const DecodeLimits limits{2 * 1024 * 1024};
  EXPECT_TRUE(DecodeJpeg(WriteJpeg(1200, 1000, JCS_YCbCr, 3, false), {}, limits).ok());
  EXPECT_EQ(DecodeJpeg(WriteJpeg(1200, 1000, JCS_YCbCr, 3, true), {}, limits).error,
            "the picture is 1200 x 1000 pixels and would need 4 MB, more than the 2 MB a picture may take");
}

// A progressive JPEG of 1 or 3 components whose scans all carry only the
// first DC bits of the first one, each with one byte of data: every pixel
// is 128 grey.
Data RepeatedDcScans(int width, int height, int components, int scans) {
  Data file = {0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0};  // SOI, a quantisation table of ones
  file.insert(file.end(), 64, 1);
  const auto length = static_cast<std::uint8_t>(8 + 3 * components);
  file.insert(file.end(), {0xFF, 0xC2, 0, length, 8, 0, 0, 0, 0, static_cast<std::uint8_t>(components)});  // SOF2
  file = WithJpegSize(file, file.size() - 5, width, height);
  for (int c = 1; c <= components; ++c) file.insert(file.end(), {static_cast<std::uint8_t>(c), 0x11, 0});
  file.insert(file.end(), {0xFF, 0xC4, 0, 20, 0x00, 1});  // DC table: "0" is no change
  file.insert(file.end(), 16, 0);
  for (int i = 0; i < scans; ++i) file.insert(file.end(), {0xFF, 0xDA, 0, 8, 1, 1, 0x00, 0, 0, 0, 0x00});
  file.insert(file.end(), {0xFF, 0xD9});
  return file;
}

TEST(Refusal, JpegScansTimesBlocksAreCappedAtHalfTheLimit) {
  // 1024 x 512 is 128 x 64 blocks a component: 2 M visits are 256 scans of
  // grey, 85 of three components.
  const DecodeLimits limits{4 * 1024 * 1024};
  const DecodeOutcome most = DecodeJpeg(RepeatedDcScans(1024, 512, 1, 256), {0, 0, 2, 1}, limits);
  ASSERT_EQ(most.error, "");
  EXPECT_EQ(most.pixels.rgba, Data({128, 128, 128, 255, 128, 128, 128, 255}));
  EXPECT_EQ(DecodeJpeg(RepeatedDcScans(1024, 512, 1, 257), {}, limits).error,
            "the picture is 1024 x 512 pixels in more than 256 scans, more than a JPEG of its size may have");
  EXPECT_EQ(DecodeJpeg(RepeatedDcScans(1024, 512, 3, 85), {}, limits).error, "");
  EXPECT_EQ(DecodeJpeg(RepeatedDcScans(1024, 512, 3, 86), {}, limits).error,
            "the picture is 1024 x 512 pixels in more than 85 scans, more than a JPEG of its size may have");
}

TEST(Refusal, PngWhoseHeaderClaimsAHugePicture) {
  const Data file = FileBytes(kPictures / "pngsuite_basn6a08.png");
  EXPECT_TRUE(DecodePng(WithPngSize(file, 2000000000, 60000), {}, {})
                  .error.starts_with("the picture is 2000000000 x 60000 pixels and would need "));
  // Rows are read one at a time, so a tall claim fails only when the data runs out.
  EXPECT_EQ(DecodePng(WithPngSize(file, 60000, 60000), {}, {}).error, "Not enough image data");
}

TEST(Refusal, Adam7PngHoldsOneRowMore) {
  // 200000 pixels a row at up to 8 bytes: libpng's two rows are 3.2 MB, the gathering row 1.6 MB more.
  const DecodeLimits limits{4 * 1024 * 1024};
  EXPECT_TRUE(DecodePng(WritePng(200000, 4, PNG_COLOR_TYPE_GRAY, 8, false, false), {}, limits).ok());
  EXPECT_EQ(DecodePng(WritePng(200000, 4, PNG_COLOR_TYPE_GRAY, 8, true, false), {}, limits).error,
            "the picture is 200000 x 4 pixels and would need 5 MB, more than the 4 MB a picture may take");
}

TEST(ReadsOnlyTheRegion, BaselineJpegWithAHugeHeaderGivesItsVisiblePart) {
  const Data file = FileBytes(kPictures / "crafted_testorig_sof_65500x65500.jpg");
  QByteArray bytes(reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size()));
  QBuffer buffer(&bytes);
  QImageReader reader(&buffer);
  reader.setClipRect(QRect(0, 0, 172, 128));  // Qt too decodes only these rows
  const Picture expected = Composite(RgbaFromImage(reader.read(), {}), kBackground);
  const DecodeOutcome got = DecodeJpeg(file, {}, {});
  ASSERT_EQ(got.error, "");
  EXPECT_EQ(Composite(got.pixels, kBackground).pixels, expected.pixels);
  EXPECT_EQ(expected.pixels.size(), 172u * 128u);
}

TEST(Errors, JpegFatalMessageNotTheWarningBeforeIt) {
  Data file = FileBytes(kPictures / "libjpegturbo_testorig.jpg");
  const std::size_t sof = Find(file, {0xFF, 0xC0});
  ASSERT_LT(sof, file.size());
  file = WithJpegSize(file, sof + 5, 227, 0);
  file.insert(file.begin() + static_cast<std::ptrdiff_t>(sof), {0x12, 0x34, 0x56});  // "3 extraneous bytes"
  EXPECT_EQ(DecodeJpeg(file, {}, {}).error, "Empty JPEG image (DNL not supported)");
  EXPECT_EQ(DecodeJpeg({}, {}, {}).error, "Empty input file");
}

TEST(Errors, PngFatalMessageNotTheWarningBeforeIt) {
  Data file = FileBytes(kPictures / "pngsuite_basn6a08.png");
  const std::size_t idat = Find(file, {'I', 'D', 'A', 'T'});
  ASSERT_LT(idat, file.size());
  const std::size_t length = file[idat - 2] << 8 | file[idat - 1];
  file[idat + 4 + length] ^= 1;  // IDAT's CRC now fails: an error
  const std::uint8_t text[] = {0, 0, 0, 1, 't', 'E', 'X', 't', 'k', 0, 0, 0, 0};  // wrong CRC: a warning
  file.insert(file.begin() + 33, std::begin(text), std::end(text));
  EXPECT_EQ(DecodePng(file, {}, {}).error, "IDAT: CRC error");
}

}  // namespace
}  // namespace pixolan
