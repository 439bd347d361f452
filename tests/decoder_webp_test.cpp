#include <gtest/gtest.h>
#include <webp/encode.h>

#include "decoder_reference.h"
#include "picture_image.h"

namespace pixolan {
namespace {

using test::Difference;
using test::kTestBackground;

enum class Kind { Lossy, Lossless };

// A WebP written by libwebp's encoder: smooth colour with detail, and alpha
// falling off to the right when asked for.
std::vector<std::uint8_t> MakeWebp(int width, int height, Kind kind, bool alpha) {
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = &rgba[static_cast<std::size_t>(y * width + x) * 4];
      p[0] = static_cast<std::uint8_t>(x);
      p[1] = static_cast<std::uint8_t>(y * 2);
      p[2] = static_cast<std::uint8_t>((x ^ y) * 16);
      p[3] = alpha ? static_cast<std::uint8_t>(255 - x % 256) : 255;
    }
  std::uint8_t* out = nullptr;
  const std::size_t size = kind == Kind::Lossy ? WebPEncodeRGBA(rgba.data(), width, height, width * 4, 80, &out)
                                               : WebPEncodeLosslessRGBA(rgba.data(), width, height, width * 4, &out);
  std::vector<std::uint8_t> bytes(out, out + size);
  WebPFree(out);
  return bytes;
}

void ExpectSameAsQt(const std::vector<std::uint8_t>& bytes, const std::string& name) {
  const QImage reference = test::QtDecode(bytes);
  ASSERT_FALSE(reference.isNull()) << name;
  for (const Region& region : test::TestRegions()) {
    const DecodeOutcome outcome = DecodeWebp(bytes, region, {});
    ASSERT_TRUE(outcome.ok()) << name << ": " << outcome.error;
    EXPECT_EQ(Difference(Composite(outcome.pixels, kTestBackground), PictureFromImage(reference, kTestBackground, region)),
              "")
        << name << " at " << region.x << "," << region.y;
  }
}

TEST(WebpRegion, CroppedDecodeMatchesQtsWholeDecode) {
  ExpectSameAsQt(MakeWebp(300, 200, Kind::Lossy, false), "lossy");
  ExpectSameAsQt(MakeWebp(300, 200, Kind::Lossy, true), "lossy with alpha");
  ExpectSameAsQt(MakeWebp(300, 200, Kind::Lossless, true), "lossless with alpha");
  ExpectSameAsQt(MakeWebp(101, 77, Kind::Lossy, false), "lossy, odd size smaller than the region");
}

TEST(WebpRegion, RegionOutsideThePictureIsEmpty) {
  const DecodeOutcome outcome = DecodeWebp(MakeWebp(100, 60, Kind::Lossy, false), Region{100, 0, 172, 128}, {});
  ASSERT_TRUE(outcome.ok()) << outcome.error;
  EXPECT_EQ(outcome.pixels.width, 0);
  EXPECT_TRUE(outcome.pixels.rgba.empty());
}

TEST(WebpLimits, LosslessHeaderClaimingAHugePictureIsRefusedAtOnce) {
  std::vector<std::uint8_t> bytes = MakeWebp(1, 1, Kind::Lossless, false);
  // The VP8L header after "RIFF....WEBPVP8L" + size + signature byte: 14 bits
  // of width - 1, 14 of height - 1, then alpha and version bits.
  ASSERT_EQ(bytes.at(20), 0x2F);
  std::uint32_t bits = bytes[21] | bytes[22] << 8 | bytes[23] << 16 | std::uint32_t{bytes[24]} << 24;
  bits = (bits & 0xF0000000u) | 11584u | 11584u << 14;
  for (int i = 0; i < 4; ++i) bytes[static_cast<std::size_t>(21 + i)] = static_cast<std::uint8_t>(bits >> (8 * i));
  const DecodeOutcome outcome = DecodeWebp(bytes, Region{}, {});
  // (11585 x 11585 + 32 cached rows x 11585) x 4 bytes, and the region's 88 064.
  EXPECT_EQ(outcome.error,
            "the picture is 11585 x 11585 pixels and would need 514 MB, more than the 512 MB a picture may take");
}

TEST(WebpLimits, LosslessAndLossyAlphaCountTheWholePictureLossyColourDoesNot) {
  // 500 x 500: lossless holds (250 000 + 16 000) 4-byte pixels, lossy alpha
  // 250 000 bytes; a 172 x 128 crop with its margins is about 90 000 bytes.
  const DecodeLimits limits{200'000};
  EXPECT_TRUE(DecodeWebp(MakeWebp(500, 500, Kind::Lossy, false), Region{}, limits).ok());
  EXPECT_NE(DecodeWebp(MakeWebp(500, 500, Kind::Lossy, true), Region{}, limits).error.find("500 x 500 pixels"),
            std::string::npos);
  EXPECT_NE(DecodeWebp(MakeWebp(500, 500, Kind::Lossless, false), Region{}, limits).error.find("500 x 500 pixels"),
            std::string::npos);
}

TEST(WebpErrors, DamagedAndCutFilesAreNamedInWords) {
  std::vector<std::uint8_t> bytes = MakeWebp(300, 200, Kind::Lossy, false);
  bytes.resize(bytes.size() / 2);
  EXPECT_EQ(DecodeWebp(bytes, Region{}, {}).error, "the file is damaged or cut short");
  std::vector<std::uint8_t> lossless = MakeWebp(300, 200, Kind::Lossless, false);
  std::fill(lossless.begin() + 30, lossless.end(), 0xA5);
  EXPECT_EQ(DecodeWebp(lossless, Region{}, {}).error, "the file is damaged or cut short");
}

}  // namespace
}  // namespace pixolan
