#include <gtest/gtest.h>

#include <QImageReader>
#include <array>
#include <filesystem>
#include <tuple>

#include "picture/decoder.h"
#include "picture/qt_rgba.h"
#include "tests/test_support.h"

namespace pixolan {

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
  if (reader.size().isValid()) (image = QImage(reader.size(), reader.imageFormat())).fill(0);
  if (!reader.read(&image)) return {-1, -1, {}};
  return Composite(RgbaFromImage(image, region), kBackground);
}

// Regions at the corner, inside, at the right and bottom edges of the
// 127 x 64 and 300 x 200 pictures, and past every picture.
TEST(DecodeBmp, EveryRegionMatchesQtsWholeDecode) {
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(kPictures)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".bmp") continue;
    for (Region region : {Region{}, Region{5, 3}, Region{126, 63, 128, 128}, Region{299, 199}, Region{300, 200}}) {
      const Picture expected = QtPicture(name, region);
      const DecodeOutcome got = Decode(Load(name), region);
      SCOPED_TRACE(name + " at " + std::to_string(region.x) + "," + std::to_string(region.y) + ": " + got.error);
      ASSERT_EQ(got.Ok(), expected.width >= 0);
      if (!got.Ok()) continue;
      const Picture picture = Composite(got.pixels, kBackground);
      EXPECT_EQ(std::tie(picture.width, picture.height, picture.pixels),
                std::tie(expected.width, expected.height, expected.pixels));
      compared += picture.width * picture.height > 0;
    }
  }
  EXPECT_GT(compared, 60);
}

TEST(DecodeBmp, CoordinatePictureAtAnOffset) {
  const Picture picture = Composite(Decode(Load("crafted_coord_300x200.bmp"), {250, 190}).pixels, kBackground);
  EXPECT_EQ(std::tie(picture.width, picture.height), std::tuple(50, 10));
  EXPECT_EQ(picture.At(0, 0), MakeColor(250, 190, 0x40));
  EXPECT_EQ(picture.At(10, 2), MakeColor(4, 192, 0x50));  // (260, 192)
  EXPECT_EQ(picture.At(49, 9), MakeColor(43, 199, 0x50));
}

TEST(DecodeBmp, KindsQtRefusesAreRefusedByName) {
  EXPECT_EQ(Decode(Load("bmpsuite_q_pal2.bmp")).error, "not a BMP Pixolan can read: 2 bits per pixel");
  EXPECT_EQ(Decode(Load("bmpsuite_q_rgb24jpeg.bmp")).error, "not a BMP Pixolan can read: JPEG compression");
  EXPECT_EQ(Decode(Load("bmpsuite_q_rgb24rle24.bmp")).error, "not a BMP Pixolan can read: OS/2 RLE24 compression");
  EXPECT_EQ(Decode(Load("bmpsuite_b_badbitcount.bmp")).error, "not a BMP Pixolan can read: 30000 bits per pixel");
  EXPECT_EQ(Decode(Load("bmpsuite_b_badheadersize.bmp")).error, "not a BMP Pixolan can read: a header of 66 bytes");
  EXPECT_EQ(Decode(Load("bmpsuite_b_badwidth.bmp")).error, "not a BMP Pixolan can read: a width of -127 pixels");
  EXPECT_EQ(Decode(Load("crafted_huge_60000x60000.bmp")).error,
            "not a BMP Pixolan can read: 60000 x 60000 pixels, more than "
            "268435456 a BMP may have");
  EXPECT_EQ(Decode(Bmp(1, 1, 16, 1, "", "\1\0")).error, "not a BMP Pixolan can read: RLE8 at 16 bits per pixel");
}

TEST(DecodeBmp, HeaderClaimingMoreThanTheFileHoldsIsRefusedBeforeReading) {
  std::string file = Load("crafted_coord_100x60.bmp");
  Put(file, 18, 11585), Put(file, 22, 11585);
  EXPECT_EQ(Decode(file).error,
            "the file is too short for the picture it claims: 11585 x 11585 "
            "pixels need 402648260 bytes of pixel data, "
            "the file has 18054 bytes in all");
}

TEST(DecodeBmp, RegionAndOneRowMustFitTheLimit) {
  const std::string file = Load("crafted_coord_300x200.bmp");  // rows of 900 bytes
  const Region whole{0, 0, 300, 200};
  EXPECT_TRUE(DecodeBmp(View(file), whole, {300 * 200 * 4 + 900}).Ok());
  EXPECT_EQ(DecodeBmp(View(file), whole, {300 * 200 * 4 + 899}).error,
            "the picture is 300 x 200 pixels and would need 1 MB, more than "
            "the 0 MB a picture may take");
}

// Palette 0 red, 1 green, 2 blue, 3 white; the picture is 5 x 3.
const std::string kPalette("\0\0\xFF\0\0\xFF\0\0\xFF\0\0\0\xFF\xFF\xFF\0", 16);
constexpr ColorValue R = MakeColor(255, 0, 0), G = MakeColor(0, 255, 0), B = MakeColor(0, 0, 255),
                     W = MakeColor(255, 255, 255);

std::vector<ColorValue> Pixels(const DecodeOutcome& outcome) { return Composite(outcome.pixels, kBackground).pixels; }

TEST(DecodeBmp, Rle8RunsLiteralsDeltasEndOfLineAndEndOfBitmap) {
  // Bottom row: run of 2 blue, literal green white blue; then a delta of
  // (1, 1) to the top row, one white, end of bitmap.
  const std::string rle(
      "\x02\x02\x00\x03\x01\x03\x02\x00\x00\x00\x00\x02\x01"
      "\x01\x01\x03\x00\x01",
      18);
  EXPECT_EQ(Pixels(Decode(Bmp(5, 3, 8, 1, kPalette, rle))),
            (std::vector<ColorValue>{R, W, R, R, R, R, R, R, R, R, B, B, G, W, B}));
}

TEST(DecodeBmp, Rle4RunsOfAlternatingNibblesAndOddLiterals) {
  // Run of 5 from 0x12 (green blue green blue green), end of line; literal
  // of 5 (white red green blue white) padded to 16 bits, end of line; run
  // of one blue, end of bitmap.
  const std::string rle("\x05\x12\x00\x00\x00\x05\x30\x12\x30\x00\x00\x00\x01\x20\x00\x01", 16);
  EXPECT_EQ(Pixels(Decode(Bmp(5, 3, 4, 2, kPalette, rle))),
            (std::vector<ColorValue>{B, R, R, R, R, W, R, G, B, W, G, B, G, B, G}));
}

TEST(DecodeBmp, TopDownAndBottomUpGiveTheSamePicture) {
  const std::string top("\1\2\3\4\5\6\0\0", 8), bottom("\7\x08\x09\x0A\x0B\x0C\0\0", 8);
  const DecodeOutcome bottom_up = Decode(Bmp(2, 2, 24, 0, "", bottom + top));
  const DecodeOutcome top_down = Decode(Bmp(2, -2, 24, 0, "", top + bottom));
  EXPECT_EQ(Pixels(bottom_up),
            (std::vector{MakeColor(3, 2, 1), MakeColor(6, 5, 4), MakeColor(9, 8, 7), MakeColor(12, 11, 10)}));
  EXPECT_EQ(Pixels(top_down), Pixels(bottom_up));
}

}  // namespace
}  // namespace pixolan
