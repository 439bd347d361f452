#include <gmock/gmock.h>
#include <tiffio.h>

#include <filesystem>

#include "tests/decoder_reference.h"

namespace pixolan {
namespace {

using testing::StartsWith;

// A test TIFF (little-endian) with SHORT or LONG fields of its first directory set.
std::vector<std::uint8_t> Patched(const std::string& name, std::initializer_list<std::pair<int, int>> fields) {
  std::vector<std::uint8_t> bytes = test::ReadTestPicture(name);
  const std::size_t directory = bytes[4] | bytes[5] << 8 | bytes[6] << 16;
  for (std::size_t entry = directory + 2; entry < directory + 2 + 12 * bytes[directory]; entry += 12)
    for (const auto& [tag, value] : fields)
      if ((bytes[entry] | bytes[entry + 1] << 8) == tag) bytes[entry + 8] = value & 0xFF, bytes[entry + 9] = value >> 8;
  return bytes;
}

TEST(TiffRegion, MatchesQtsWholeDecodeOfEveryTestTiffQtReads) {
  int compared = 0;
  for (const auto& entry : std::filesystem::directory_iterator(PIXOLAN_TESTDATA_DIR)) {
    const std::string name = entry.path().filename();
    // Qt 6.4 reads this grey + associated alpha as opaque RGB32, showing the
    // premultiplied grey as if over black; the alpha is real and kept (below).
    if (name.ends_with(".tif") && name != "libtiff_minisblack-2c-8b-alpha.tif")
      compared += test::ExpectSameAsQt(DecodeTiff, test::ReadTestPicture(name), name);
  }
  EXPECT_EQ(compared, 11);
}

TEST(TiffRegion, AssociatedAlphaComesOutStraight) {
  const DecodeOutcome outcome = DecodeTiff(test::ReadTestPicture("libtiff_minisblack-2c-8b-alpha.tif"), {}, {});
  // Stored premultiplied as grey 71 at alpha 143: straight 71 * 255 / 143 = 126.6.
  EXPECT_EQ(test::PixelAt(outcome.pixels, 13, 7), 0x7F7F7F8Fu);
}

TEST(TiffRegion, TileLargerThanThePictureGivesItsStoredSamples) {
  // 100 x 40 pixels of 16-bit RGB in one 256 x 256 tile, which Qt 6.4 refuses.
  const auto bytes = test::ReadTestPicture("pillow_tiff_16bit_RGB.tif");
  const DecodeOutcome outcome = DecodeTiff(bytes, Region{37, 23, 172, 128}, {});
  ASSERT_EQ(outcome.pixels.width * 100 + outcome.pixels.height, 6317) << outcome.error;
  std::vector<std::uint16_t> tile(256 * 256 * 3);
  TIFF* tiff = TIFFOpen(PIXOLAN_TESTDATA_DIR "/pillow_tiff_16bit_RGB.tif", "r");
  TIFFReadTile(tiff, tile.data(), 0, 0, 0, 0);
  TIFFClose(tiff);
  for (const auto& [x, y] : {std::pair{0, 0}, {62, 0}, {5, 16}, {62, 16}}) {
    const std::uint16_t* sample = &tile[((23 + y) * 256 + 37 + x) * 3];
    EXPECT_EQ(test::PixelAt(outcome.pixels, x, y),
              (sample[0] + 128u) / 257 << 24 | (sample[1] + 128u) / 257 << 16 | (sample[2] + 128u) / 257 << 8 | 0xFF);
  }
}

TEST(TiffLimits, HeadersClaimingHugePicturesAreRefusedBySize) {
  // A 100 x 100 CMYK JPEG strip made 60000 x 60000: 60000 x 60000 x 4 bytes
  // in one strip, beside 128 rows of 60000 RGBA pixels (13 763 MB in all).
  EXPECT_THAT(
      DecodeTiff(Patched("pillow_tiff_strip_cmyk_jpeg.tif", {{256, 60000}, {257, 60000}, {278, 60000}}), {}, {}).error,
      StartsWith("the picture is 60000 x 60000 pixels and would need 13763 MB"));
  // 262 bytes claiming 65535 x 900 pixels of 65535 samples, 40 rows a strip.
  EXPECT_THAT(DecodeTiff(test::ReadTestPicture("pillow_libtiff_segfault.tif"), {}, {}).error,
              StartsWith("the picture is 65535 x 900 pixels and would need 163867 MB"));
  // Uncompressed, 16 rows 60000 wide cannot fit in 66 412 bytes.
  EXPECT_THAT(DecodeTiff(Patched("crafted_coord_172x128.tif", {{256, 60000}}), {}, {}).error,
              StartsWith("the file is cut short"));
}

TEST(TiffLimits, TheStripBufferCounts) {
  // 172 x 128 RGBA (88 064 bytes) and one strip of 16 rows of RGB (8256).
  const auto bytes = test::ReadTestPicture("crafted_coord_172x128.tif");
  EXPECT_EQ(DecodeTiff(bytes, {}, {96'320}).error, "");
  EXPECT_THAT(DecodeTiff(bytes, {}, {96'319}).error, StartsWith("the picture is 172 x 128 pixels"));
}

TEST(TiffErrors, FatalMessageWinsOverEarlierWarnings) {
  // Warns of an unknown tag 42112 and more before its first strip fails.
  EXPECT_EQ(
      DecodeTiff(test::ReadTestPicture("pillow_crash-0c7e0e8e11ce787078f00b5b0ca409a167f070e0.tif"), {}, {}).error,
      "TIFFFillStrip: Read error at scanline 4294967295; got 0 bytes, expected 1012");
  EXPECT_EQ(DecodeTiff(test::ReadTestPicture("pillow_oom-225817ca0f8c663be7ab4b9e717b02c661e66834.tif"), {}, {}).error,
            "TIFFFetchDirectory: picture: Can not read TIFF directory");
}

}  // namespace
}  // namespace pixolan
