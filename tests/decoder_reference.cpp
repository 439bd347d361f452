#include "decoder_reference.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace pixolan::test {

std::vector<std::uint8_t> ReadTestPicture(const std::string& name) {
  std::ifstream in(std::string(PIXOLAN_TESTDATA_DIR) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> TestPicturesOf(PictureFormat format) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(PIXOLAN_TESTDATA_DIR)) {
    const std::string name = entry.path().filename().string();
    if (SniffFormat(ReadTestPicture(name)) == format) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

QImage QtDecode(const std::vector<std::uint8_t>& bytes) {
  QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setAutoTransform(false);
  return reader.read();
}

std::vector<Region> TestRegions() { return {Region{}, Region{37, 23, 172, 128}, Region{1, 3, 128, 128}}; }

std::string Difference(const Picture& got, const Picture& want) {
  std::ostringstream out;
  if (got.width != want.width || got.height != want.height) {
    out << "size " << got.width << "x" << got.height << ", want " << want.width << "x" << want.height;
    return out.str();
  }
  for (int y = 0; y < got.height; ++y)
    for (int x = 0; x < got.width; ++x)
      if (got.At(x, y) != want.At(x, y)) {
        out << std::hex << "pixel (" << std::dec << x << ", " << y << ") is 0x" << std::hex << got.At(x, y)
            << ", want 0x" << want.At(x, y);
        return out.str();
      }
  return {};
}

}  // namespace pixolan::test
