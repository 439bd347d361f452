#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <set>

#include "decoder_reference.h"
#include "picture_image.h"

namespace pixolan {
namespace {

using test::Difference;
using test::kTestBackground;

// A TIFF written by libtiff itself: fields set by set_fields, then rows
// of samples from sample(x, y, channel).
std::vector<std::uint8_t> WriteTiff(int width, int height, int samples, const std::function<void(TIFF*)>& set_fields,
                                    const std::function<int(int, int, int)>& sample) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("pixolan_tiff_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".tif");
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  set_fields(tiff);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * samples);
  auto fill = [&](int y) {
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < samples; ++c) row[static_cast<std::size_t>(x * samples + c)] = static_cast<std::uint8_t>(sample(x, y, c));
  };
  if (TIFFIsTiled(tiff)) {
    std::uint32_t tile_width = 0, tile_height = 0;
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tile_width);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tile_height);
    std::vector<std::uint8_t> tile(static_cast<std::size_t>(TIFFTileSize(tiff)));
    for (std::uint32_t ty = 0; ty < static_cast<std::uint32_t>(height); ty += tile_height)
      for (std::uint32_t tx = 0; tx < static_cast<std::uint32_t>(width); tx += tile_width) {
        std::fill(tile.begin(), tile.end(), 0);
        for (std::uint32_t y = ty; y < std::min<std::uint32_t>(ty + tile_height, height); ++y) {
          fill(static_cast<int>(y));
          for (std::uint32_t x = tx; x < std::min<std::uint32_t>(tx + tile_width, width); ++x)
            std::memcpy(&tile[((y - ty) * tile_width + (x - tx)) * samples], &row[x * samples], samples);
        }
        TIFFWriteTile(tiff, tile.data(), tx, ty, 0, 0);
      }
  } else {
    for (int y = 0; y < height; ++y) {
      fill(y);
      TIFFWriteScanline(tiff, row.data(), y, 0);
    }
  }
  TIFFClose(tiff);
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  std::filesystem::remove(path);
  return bytes;
}

// The coordinate pattern of the test pictures: R = x, G = y, B = 0x40.
int Coordinates(int x, int y, int channel) { return channel == 0 ? x % 256 : channel == 1 ? y % 256 : 0x40; }

TEST(TiffRegion, MatchesQtsWholeDecodeOfEveryTestTiff) {
  int compared = 0;
  for (const std::string& name : test::TestPicturesOf(PictureFormat::Tiff)) {
    const std::vector<std::uint8_t> bytes = test::ReadTestPicture(name);
    const QImage reference = test::QtDecode(bytes);
    for (const Region& region : test::TestRegions()) {
      const DecodeOutcome outcome = DecodeTiff(bytes, region, {});
      if (reference.isNull()) {
        std::cout << name << ": Qt fails; ours: " << (outcome.ok() ? "ok" : outcome.error) << "\n";
        break;
      }
      ASSERT_TRUE(outcome.ok()) << name << ": " << outcome.error;
      EXPECT_EQ(Difference(Composite(outcome.pixels, kTestBackground), PictureFromImage(reference, kTestBackground, region)), "")
          << name << " at " << region.x << "," << region.y;
      ++compared;
    }
  }
  EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace pixolan
