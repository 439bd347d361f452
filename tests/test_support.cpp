// SPDX-License-Identifier: MIT
#include "tests/test_support.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QBuffer>
#include <QImageReader>
#include <algorithm>
#include <fstream>
#include <iterator>

#include "picture/qt_rgba.h"

namespace pixolan::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pixolan-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;  // read-only files inside go too: the directory is ours
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::vector<std::uint8_t> TestPicture(const std::string& name) {
  const std::string text = ReadFile(PIXOLAN_TESTDATA_DIR "/" + name);
  return {text.begin(), text.end()};
}

Ran RunCommand(const std::string& command) {
  char err_path[] = "/tmp/pixolan-stderr-XXXXXX";
  ::close(::mkstemp(err_path));
  Ran ran{-1, {}, {}};
  // Standard input is empty unless the command line says otherwise.
  FILE* pipe = ::popen(("exec </dev/null; " + command + " 2>" + err_path).c_str(), "r");
  char buffer[65536];
  for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) ran.out.append(buffer, n);
  const int status = pipe ? ::pclose(pipe) : -1;
  ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  ran.err = ReadFile(err_path);
  ::unlink(err_path);
  return ran;
}

std::string Ppm(int width, int height, const std::function<ColorValue(int x, int y)>& color) {
  std::string ppm = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const ColorValue c = color(x, y);
      ppm += {char(c & 0xFF), char(c >> 8 & 0xFF), char(c >> 16 & 0xFF)};
    }
  return ppm;
}

bool ExpectSameAsQt(DecodeOutcome (*decode)(Bytes, const Region&, const DecodeLimits&, const Placement&),
                    const std::vector<std::uint8_t>& bytes, const std::string& name) {
  QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  QImageReader reader(&buffer);
  reader.setAutoTransform(false);
  // Cleared first: damaged files leave Qt's pixels unwritten, and so do ours.
  // Headers claiming huge pictures are for the refusal tests, not this one.
  const QSize size = reader.size();
  if (size.isValid() && std::int64_t{size.width()} * size.height() > 4096 * 4096) return false;
  QImage reference;
  if (size.isValid()) (reference = QImage(size, reader.imageFormat())).fill(0);
  if (!reader.read(&reference)) return false;
  constexpr ColorValue kBackground = 0x336699;
  for (const Region region : {Region{}, Region{37, 23, 172, 128}, Region{126, 63, 128, 128}}) {
    const DecodeOutcome outcome = decode(bytes, region, {}, {});
    const Picture ours = Composite(outcome.pixels, kBackground);
    const Picture qts = Composite(RgbaFromImage(reference, region), kBackground);
    EXPECT_EQ(outcome.error, "") << name;
    const auto [a, b] = std::mismatch(ours.pixels.begin(), ours.pixels.end(), qts.pixels.begin(), qts.pixels.end());
    EXPECT_TRUE(a == ours.pixels.end() && b == qts.pixels.end() && (ours.pixels.empty() || ours.width == qts.width))
        << name << " at " << region.x << "," << region.y << ": pixel " << (a - ours.pixels.begin()) << " of "
        << ours.width << " x " << ours.height << " (Qt " << qts.width << " x " << qts.height << ")";
  }
  return true;
}

std::uint32_t PixelAt(const RgbaPixels& pixels, int x, int y) {
  const std::uint8_t* p = &pixels.rgba.at(static_cast<std::size_t>(y * pixels.width + x) * 4);
  return std::uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

std::vector<std::uint8_t> AnimatedGif(int width, int height, const std::vector<GifFrame>& frames, int background,
                                      bool global_table) {
  std::vector<std::uint8_t> bytes;
  int error = 0;
  GifFileType* gif = EGifOpen(
      &bytes,
      [](GifFileType* f, const GifByteType* data, int size) {
        auto* out = static_cast<std::vector<std::uint8_t>*>(f->UserData);
        out->insert(out->end(), data, data + size);
        return size;
      },
      &error);
  EGifSetGifVersion(gif, true);
  GifColorType colors[2][256];
  for (int i = 0; i < 256; ++i)
    for (int local : {0, 1})
      colors[local][i] = {GifByteType(local ? 255 - i : i), GifByteType(255 - i), GifByteType(i * 5)};
  ColorMapObject *global = global_table ? GifMakeMapObject(256, colors[0]) : nullptr,
                 *local = GifMakeMapObject(16, colors[1]);
  EGifPutScreenDesc(gif, width, height, 8, background, global);
  for (const GifFrame& frame : frames) {
    GraphicsControlBlock control{frame.disposal, false, frame.delay_cs, frame.transparent};
    GifByteType block[4];
    EGifGCBToExtension(&control, block);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block);
    EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height, frame.interlaced,
                     frame.local_table ? local : nullptr);
    std::vector<GifPixelType> line(static_cast<std::size_t>(frame.width));
    for (const auto& [start, step] : frame.interlaced ? std::vector<std::pair<int, int>>{{0, 8}, {4, 8}, {2, 4}, {1, 2}}
                                                      : std::vector<std::pair<int, int>>{{0, 1}})
      for (int y = start; y < frame.height; y += step) {
        for (int x = 0; x < frame.width; ++x)
          line[x] = GifPixelType(frame.index >= 0 ? frame.index : (x * 7 + y * 3) % (frame.local_table ? 16 : 256));
        if (y == 0 && frame.transparent >= 0) line[0] = GifPixelType(frame.transparent);
        EGifPutLine(gif, line.data(), frame.width);
      }
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(global), GifFreeMapObject(local);
  return bytes;
}

}  // namespace pixolan::testing
