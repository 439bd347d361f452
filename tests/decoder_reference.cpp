#include "tests/decoder_reference.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageReader>
#include <fstream>

#include "picture/qt_rgba.h"

namespace pixolan::test {

std::vector<std::uint8_t> ReadTestPicture(const std::string& name) {
  std::ifstream in(std::string(PIXOLAN_TESTDATA_DIR) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

bool ExpectSameAsQt(DecodeOutcome (*decode)(Bytes, const Region&, const DecodeLimits&),
                    const std::vector<std::uint8_t>& bytes, const std::string& name) {
  QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  QImageReader reader(&buffer);
  reader.setAutoTransform(false);
  const QImage reference = reader.read();
  if (reference.isNull()) return false;
  for (const Region region : {Region{}, Region{37, 23, 172, 128}}) {
    const DecodeOutcome outcome = decode(bytes, region, {});
    EXPECT_EQ(outcome.error, "") << name;
    EXPECT_TRUE(Composite(outcome.pixels, 0x336699).pixels == Composite(RgbaFromImage(reference, region), 0x336699).pixels)
        << name << " at " << region.x << "," << region.y;
  }
  return true;
}

std::uint32_t PixelAt(const RgbaPixels& pixels, int x, int y) {
  const std::uint8_t* p = &pixels.rgba.at(static_cast<std::size_t>(y * pixels.width + x) * 4);
  return std::uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

}  // namespace pixolan::test
