#include <gtest/gtest.h>

#include <QImageReader>
#include <array>
#include <cstring>
#include <filesystem>

#include "decoder.h"
#include "picture_image.h"
#include "test_support.h"

namespace pixolan {

// decoder.cpp dispatches to every format; until all of them are in this
// library, these stand in so that the test links. They are never called.
__attribute__((weak)) DecodeOutcome DecodeJpeg(Bytes, const Region&, const DecodeLimits&) { return {}; }
__attribute__((weak)) DecodeOutcome DecodePng(Bytes, const Region&, const DecodeLimits&) { return {}; }
__attribute__((weak)) DecodeOutcome DecodeTiff(Bytes, const Region&, const DecodeLimits&) { return {}; }
__attribute__((weak)) DecodeOutcome DecodeGif(Bytes, const Region&, const DecodeLimits&) { return {}; }
__attribute__((weak)) DecodeOutcome DecodeWebp(Bytes, const Region&, const DecodeLimits&) { return {}; }

namespace {

namespace fs = std::filesystem;
const fs::path kPictures = PIXOLAN_TESTDATA_DIR;
constexpr ColorValue kBackground = 0x336699;

std::string Load(const std::string& name) { return testing::ReadFile((kPictures / name).string()); }
Bytes View(const std::string& file) { return {reinterpret_cast<const std::uint8_t*>(file.data()), file.size()}; }
DecodeOutcome Decode(const std::string& file, Region region = {}) { return DecodeBmp(View(file), region, {}); }

void Put(std::string& file, std::size_t at, std::uint32_t value, int bytes = 4) {
  for (int i = 0; i < bytes; ++i) file[at + i] = static_cast<char>(value >> 8 * i);
}

// A BMP with a 40-byte header; pixel data as given.
std::string Bmp(int width, int height, int bits, int compression, const std::string& palette, const std::string& data) {
  std::string file(54, '\0');
  file[0] = 'B', file[1] = 'M';
  Put(file, 10, 54 + palette.size()), Put(file, 14, 40), Put(file, 18, width), Put(file, 22, height);
  Put(file, 26, 1, 2), Put(file, 28, bits, 2), Put(file, 30, compression), Put(file, 46, palette.size() / 4);
  return file + palette + data;
}

// Today's pixels: Qt's whole decode into a cleared picture, then the region.
Picture QtPicture(const std::string& name, const Region& region) {
  QImageReader reader(QString::fromStdString((kPictures / name).string()), "bmp");
  QImage image;
  if (reader.size().isValid()) {
    image = QImage(reader.size(), reader.imageFormat());
    image.fill(0);
  }
  if (!reader.read(&image)) return {-1, -1, {}};
  return PictureFromImage(image, kBackground, region);
}

TEST(DecodeBmp, EveryRegionMatchesQtsWholeDecode) {
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(kPictures)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".bmp") continue;
    const std::string file = Load(name);
    for (Region region : {Region{}, Region{5, 3, 172, 128}, Region{120, 60, 128, 128}, Region{126, 63, 172, 128}}) {
      const Picture expected = QtPicture(name, region);
      const DecodeOutcome got = Decode(file, region);
      SCOPED_TRACE(name + " at " + std::to_string(region.x) + "," + std::to_string(region.y) + ": " + got.error);
      ASSERT_EQ(got.ok(), expected.width >= 0);
      if (!got.ok()) continue;
      const Picture picture = Composite(got.pixels, kBackground);
      EXPECT_EQ(picture.width, expected.width);
      EXPECT_EQ(picture.height, expected.height);
      EXPECT_EQ(picture.pixels, expected.pixels);
      ++compared;
    }
  }
  EXPECT_GT(compared, 80);
}

TEST(DecodeBmp, CoordinatePicturesAtOffsetsUpToAndPastTheEdges) {
  const std::string file = Load("crafted_coord_300x200.bmp");
  for (auto [x, y] : {std::array{0, 0}, {250, 190}, {299, 199}}) {
    const Picture picture = Composite(Decode(file, {x, y, 172, 128}).pixels, kBackground);
    ASSERT_EQ(picture.width, std::min(172, 300 - x));
    ASSERT_EQ(picture.height, std::min(128, 200 - y));
    for (int row = 0; row < picture.height; ++row)
      for (int column = 0; column < picture.width; ++column) {
        const int px = x + column, py = y + row;
        ASSERT_EQ(picture.At(column, row), MakeColor(px % 256, py % 256, 0x40 + 16 * (px / 256) + py / 256));
      }
  }
  for (Region past : {Region{300, 0}, Region{0, 200}, Region{400, 400}}) {
    const DecodeOutcome outcome = Decode(file, past);
    EXPECT_TRUE(outcome.ok());
    EXPECT_EQ(outcome.pixels.width * outcome.pixels.height, 0);
  }
}

TEST(DecodeBmp, KindsQtRefusesAreRefusedByName) {
  EXPECT_EQ(Decode(Load("bmpsuite_q_pal2.bmp")).error, "not a BMP Pixolan can read: 2 bits per pixel");
  EXPECT_EQ(Decode(Load("bmpsuite_q_rgb24jpeg.bmp")).error, "not a BMP Pixolan can read: JPEG compression");
  EXPECT_EQ(Decode(Load("bmpsuite_q_rgb24rle24.bmp")).error, "not a BMP Pixolan can read: OS/2 RLE24 compression");
  EXPECT_EQ(Decode(Load("bmpsuite_b_badbitcount.bmp")).error, "not a BMP Pixolan can read: 30000 bits per pixel");
  EXPECT_EQ(Decode(Load("bmpsuite_b_badheadersize.bmp")).error, "not a BMP Pixolan can read: a header of 66 bytes");
  EXPECT_EQ(Decode(Load("bmpsuite_b_badwidth.bmp")).error, "not a BMP Pixolan can read: a width of -127 pixels");
  EXPECT_EQ(Decode(Load("crafted_huge_60000x60000.bmp")).error,
            "not a BMP Pixolan can read: 60000 x 60000 pixels, more than 268435456 a BMP may have");
  EXPECT_EQ(Decode(Bmp(1, 1, 16, 1, "", "\1\0")).error, "not a BMP Pixolan can read: RLE8 at 16 bits per pixel");
}

TEST(DecodeBmp, HeaderClaimingMoreThanTheFileHoldsIsRefusedBeforeReading) {
  std::string file = Load("crafted_coord_100x60.bmp");
  Put(file, 18, 11585), Put(file, 22, 11585);
  EXPECT_EQ(Decode(file).error,
            "the file is too short for the picture it claims: 11585 x 11585 pixels need 402648260 bytes of pixel data, "
            "the file has 18054 bytes in all");
}

TEST(DecodeBmp, RegionAndOneRowMustFitTheLimit) {
  const std::string file = Load("crafted_coord_300x200.bmp");  // rows of 900 bytes
  const Region whole{0, 0, 300, 200};
  EXPECT_TRUE(DecodeBmp(View(file), whole, {300 * 200 * 4 + 900}).ok());
  EXPECT_EQ(DecodeBmp(View(file), whole, {300 * 200 * 4 + 899}).error,
            "the picture is 300 x 200 pixels and would need 1 MB, more than the 0 MB a picture may take");
}

// Palette 0 red, 1 green, 2 blue, 3 white; the picture is 5 x 3.
const std::string kPalette("\0\0\xFF\0\0\xFF\0\0\xFF\0\0\0\xFF\xFF\xFF\0", 16);
constexpr std::uint32_t R = 0xFF0000FF, G = 0xFF00FF00, B = 0xFFFF0000, W = 0xFFFFFFFF;

std::vector<std::uint32_t> Pixels(const DecodeOutcome& outcome) {
  std::vector<std::uint32_t> pixels(outcome.pixels.rgba.size() / 4);
  std::memcpy(pixels.data(), outcome.pixels.rgba.data(), outcome.pixels.rgba.size());
  return pixels;
}

TEST(DecodeBmp, Rle8RunsLiteralsDeltasEndOfLineAndEndOfBitmap) {
  // Bottom row: run of 2 blue, literal green white blue; then a delta of
  // (1, 1) to the top row, one white, end of bitmap.
  const std::string rle("\x02\x02\x00\x03\x01\x03\x02\x00\x00\x00\x00\x02\x01\x01\x01\x03\x00\x01", 18);
  EXPECT_EQ(Pixels(Decode(Bmp(5, 3, 8, 1, kPalette, rle))),
            (std::vector<std::uint32_t>{R, W, R, R, R, R, R, R, R, R, B, B, G, W, B}));
}

TEST(DecodeBmp, Rle4RunsOfAlternatingNibblesAndOddLiterals) {
  // Run of 5 from 0x12 (green blue green blue green), end of line; literal
  // of 5 (white red green blue white) padded to 16 bits, end of line; run
  // of one blue, end of bitmap.
  const std::string rle("\x05\x12\x00\x00\x00\x05\x30\x12\x30\x00\x00\x00\x01\x20\x00\x01", 16);
  EXPECT_EQ(Pixels(Decode(Bmp(5, 3, 4, 2, kPalette, rle))),
            (std::vector<std::uint32_t>{B, R, R, R, R, W, R, G, B, W, G, B, G, B, G}));
}

TEST(DecodeBmp, TopDownAndBottomUpGiveTheSamePicture) {
  const std::string top("\1\2\3\4\5\6\0\0", 8), bottom("\7\x08\x09\x0A\x0B\x0C\0\0", 8);
  const DecodeOutcome bottom_up = Decode(Bmp(2, 2, 24, 0, "", bottom + top));
  const DecodeOutcome top_down = Decode(Bmp(2, -2, 24, 0, "", top + bottom));
  EXPECT_EQ(Pixels(bottom_up), (std::vector<std::uint32_t>{0xFF010203, 0xFF040506, 0xFF070809, 0xFF0A0B0C}));
  EXPECT_EQ(Pixels(top_down), Pixels(bottom_up));
}

}  // namespace
}  // namespace pixolan
