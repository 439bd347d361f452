#include <gtest/gtest.h>
#include <webp/encode.h>

#include "tests/decoder_reference.h"

namespace pixolan {
namespace {

// A WebP written by libwebp: smooth colour with detail, alpha falling off to the right if asked for.
std::vector<std::uint8_t> MakeWebp(int width, int height, bool lossless, bool alpha) {
  std::vector<std::uint8_t> rgba;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      rgba.insert(rgba.end(), {std::uint8_t(x), std::uint8_t(y * 2), std::uint8_t((x ^ y) * 16),
                               std::uint8_t(alpha ? 255 - x : 255)});
  std::uint8_t* out = nullptr;
  const std::size_t size = lossless ? WebPEncodeLosslessRGBA(rgba.data(), width, height, width * 4, &out)
                                    : WebPEncodeRGBA(rgba.data(), width, height, width * 4, 80, &out);
  std::vector<std::uint8_t> bytes(out, out + size);
  WebPFree(out);
  return bytes;
}

TEST(WebpRegion, CroppedDecodeMatchesQtsWholeDecode) {
  EXPECT_TRUE(test::ExpectSameAsQt(DecodeWebp, MakeWebp(300, 200, false, false), "lossy"));
  EXPECT_TRUE(test::ExpectSameAsQt(DecodeWebp, MakeWebp(300, 200, false, true), "lossy with alpha"));
  EXPECT_TRUE(test::ExpectSameAsQt(DecodeWebp, MakeWebp(300, 200, true, true), "lossless with alpha"));
  EXPECT_TRUE(test::ExpectSameAsQt(DecodeWebp, MakeWebp(101, 77, false, false), "smaller than the region"));
}

TEST(WebpLimits, LosslessAndAlphaCountTheWholePicture) {
  std::vector<std::uint8_t> bytes = MakeWebp(1, 1, true, false);
  // After "RIFF", size, "WEBPVP8L", size and 0x2F: 14 bits of width - 1, 14 of height - 1.
  bytes[21] = 11584 & 0xFF, bytes[22] = 11584 >> 8 | (11584 & 3) << 6, bytes[23] = 11584 >> 2 & 0xFF,
  bytes[24] = 11584 >> 10;
  // (11585 x 11585 + 32 cached rows of 11585) x 4 bytes, and the region's 88 064.
  EXPECT_EQ(DecodeWebp(bytes, {}, {}).error,
            "the picture is 11585 x 11585 pixels and would need 514 MB, more than the 512 MB a picture may take");
  // 500 x 500: a 172 x 128 crop and its margins take about 90 000 bytes, alpha
  // 250 000 more, the whole lossless picture 1 064 000 more.
  EXPECT_TRUE(DecodeWebp(MakeWebp(500, 500, false, false), {}, {200'000}).Ok());
  EXPECT_NE(DecodeWebp(MakeWebp(500, 500, false, true), {}, {200'000}).error, "");
  EXPECT_NE(DecodeWebp(MakeWebp(500, 500, true, false), {}, {200'000}).error, "");
}

TEST(WebpErrors, DamagedAndCutFilesAreNamedInWords) {
  std::vector<std::uint8_t> bytes = MakeWebp(300, 200, false, false);
  bytes.resize(bytes.size() / 2);
  EXPECT_EQ(DecodeWebp(bytes, {}, {}).error, "the file is damaged or cut short");
}

}  // namespace
}  // namespace pixolan
