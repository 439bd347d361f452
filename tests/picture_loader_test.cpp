#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <QImageReader>

#include "picture_image.h"
#include "picture_loader.h"

namespace pixolan {
namespace {

namespace fs = std::filesystem;
const fs::path kPictures = PIXOLAN_TESTDATA_DIR;

// file name -> "loads" or "fails", as Qt's readers did for the shared pictures.
std::map<std::string, std::string> Expectations() {
  std::map<std::string, std::string> expected;
  std::ifstream in(kPictures / "expectations.tsv");
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#' || line.starts_with("file\t")) continue;
    std::istringstream fields(line);
    std::string name, bytes, format, can_read, w, h, result;
    fields >> name >> bytes >> format >> can_read >> w >> h >> result;
    expected[name] = result;
  }
  return expected;
}

// Pixel (x, y) of the crafted coordinate pictures.
ColorValue Coordinate(int x, int y) { return MakeColor(x % 256, y % 256, 0x40 + 16 * (x / 256) + y / 256); }

TEST(LoadPicture, EverySharedPictureLoadsOrSaysWhyNot) {
  const auto expected = Expectations();
  ASSERT_GT(expected.size(), 70u) << "shared test pictures not found in " << kPictures;
  for (const auto& [name, result] : expected) {
    const std::string path = (kPictures / name).string();
    const LoadResult loaded = LoadPicture(path);
    if (loaded.ok()) {
      EXPECT_GT(loaded.picture.width, 0) << name;
      EXPECT_LE(loaded.picture.width, kMaxVisibleWidth) << name;
      EXPECT_LE(loaded.picture.height, kMaxVisibleHeight) << name;
      EXPECT_EQ(loaded.picture.pixels.size(), std::size_t(loaded.picture.width) * loaded.picture.height) << name;
      for (ColorValue c : loaded.picture.pixels) ASSERT_EQ(c & ~0xFFFFFF, 0) << name;
    } else {
      EXPECT_TRUE(loaded.error.starts_with("Could not load " + path + ": ")) << loaded.error;
      EXPECT_GT(loaded.error.size(), path.size() + 20) << loaded.error;
    }
    // Reading only the visible rows also reads two damaged files whose
    // whole decode fails: a PNG cut off below row 128, and a JPEG whose
    // header claims 65500 x 65500 pixels.
    const bool read_partly = name == "pillow_truncated_image.png" || name == "crafted_testorig_sof_65500x65500.jpg";
    EXPECT_EQ(loaded.ok() ? "loads" : "fails", read_partly ? "loads" : result) << name << ": " << loaded.error;
  }
}

// Files whose whole decode reads memory the decoder never wrote: a full
// decode cannot be compared with anything.
bool LeavesPixelsUnwritten(const std::string& name) {
  return name == "bmpsuite_b_shortfile.bmp" || name == "bmpsuite_b_badrle.bmp" ||
         name == "bmpsuite_q_pal8rlecut.bmp";
}

TEST(LoadPicture, VisibleRowsEqualTheWholeDecode) {
  int compared = 0;
  for (const auto& [name, result] : Expectations()) {
    if (result != "loads" || LeavesPixelsUnwritten(name)) continue;
    QImageReader reader(QString::fromStdString((kPictures / name).string()));
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    const QImage whole = reader.read();
    ASSERT_FALSE(whole.isNull()) << name;
    const LoadResult bounded = LoadPicture((kPictures / name).string());
    ASSERT_TRUE(bounded.ok()) << bounded.error;
    EXPECT_EQ(bounded.picture.width, std::min(whole.width(), kMaxVisibleWidth)) << name;
    EXPECT_EQ(bounded.picture.pixels, PictureFromImage(whole, kDefaultBackground).pixels) << name;
    ++compared;
  }
  EXPECT_GT(compared, 45);
}

TEST(LoadPicture, ReasonsAreTheDecodersOwnWhereItGaveOne) {
  auto error_of = [](const char* name) { return LoadPicture((kPictures / name).string()).error; };
  EXPECT_NE(error_of("pillow_12bit.cropped.tif").find("12-bit samples"), std::string::npos);
  EXPECT_NE(error_of("libjpegturbo_monkey12.jpg").find("precision 12"), std::string::npos);
  EXPECT_NE(error_of("pngsuite_xhdn0g08.png").find("CRC error"), std::string::npos);
  EXPECT_NE(error_of("crafted_empty.jpg").find("empty"), std::string::npos);
  EXPECT_NE(error_of("pngsuite_xd0n2c08.png").find("libpng error"), std::string::npos);
  EXPECT_NE(LoadPicture("/no/such/picture.bmp").error.find("No such file"), std::string::npos);
}

TEST(LoadPicture, RefusesAPictureBeyondTheLimitBeforeDecoding) {
  // A 24-bit BMP header claiming 10000 x 15000 pixels (600 MB decoded).
  const fs::path path = fs::temp_directory_path() / "pixolan-huge.bmp";
  std::string file = "BM";
  auto put32 = [&file](std::uint32_t v) { for (int i = 0; i < 4; ++i) file += static_cast<char>(v >> (8 * i)); };
  put32(14 + 40 + 4096), put32(0), put32(54);
  put32(40), put32(10000), put32(15000), put32(1 | 24 << 16), put32(0), put32(0), put32(2835), put32(2835), put32(0),
      put32(0);
  file += std::string(4096, '\0');
  std::ofstream(path, std::ios::binary) << file;
  const LoadResult loaded = LoadPicture(path.string());
  fs::remove(path);
  EXPECT_NE(loaded.error.find("10000 x 15000 pixels, more than the 512 MB"), std::string::npos) << loaded.error;
}

TEST(LoadPicture, CoordinatePicturesGiveExactPixels) {
  for (const char* name : {"crafted_coord_128x128.bmp", "crafted_coord_172x128.bmp", "crafted_coord_172x128.tif",
                           "crafted_coord_132x176.bmp", "crafted_coord_300x200.bmp", "crafted_coord_100x60.bmp"}) {
    const LoadResult loaded = LoadPicture((kPictures / name).string());
    ASSERT_TRUE(loaded.ok()) << loaded.error;
    const Picture& p = loaded.picture;
    EXPECT_EQ(p.width, std::min(std::stoi(std::string(name).substr(14)), kMaxVisibleWidth)) << name;
    EXPECT_LE(p.height, kMaxVisibleHeight);
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x) ASSERT_EQ(p.At(x, y), Coordinate(x, y)) << name << " at " << x << "," << y;
  }
}

TEST(LoadPicture, AlphaIsCompositedOverTheBackground) {
  // basn6a08: an RGBA gradient whose alpha runs from transparent to opaque.
  const std::string path = (kPictures / "pngsuite_basn6a08.png").string();
  const LoadResult on_white = LoadPicture(path, 0xFFFFFF);
  const LoadResult on_black = LoadPicture(path, 0x000000);
  ASSERT_TRUE(on_white.ok() && on_black.ok());
  int differing = 0;
  for (std::size_t i = 0; i < on_white.picture.pixels.size(); ++i) {
    const Components w = Unpack(on_white.picture.pixels[i]), b = Unpack(on_black.picture.pixels[i]);
    EXPECT_GE(w.R, b.R);
    EXPECT_GE(w.G, b.G);
    EXPECT_GE(w.B, b.B);
    differing += w.R != b.R;
  }
  EXPECT_GT(differing, 100);
}

TEST(LoadPicture, ExifOrientationIsNotApplied) {
  const LoadResult loaded = LoadPicture((kPictures / "pillow_orientation_rectangle.jpg").string());
  ASSERT_TRUE(loaded.ok());
  EXPECT_EQ(loaded.picture.width, 2);
  EXPECT_EQ(loaded.picture.height, 1);
}

}  // namespace
}  // namespace pixolan

#include <csignal>
#include <thread>

#include "isolated_decode.h"

namespace pixolan {
namespace {

TEST(DecodeIsolated, ADecoderThatCrashesOnlyCostsAMessage) {
  const LoadResult r = DecodeIsolated("bad.tif", []() -> LoadResult {
    std::raise(SIGSEGV);
    return {};
  });
  EXPECT_NE(r.error.find("Could not load bad.tif: the decoder failed on this file (signal "), std::string::npos)
      << r.error;
}

TEST(DecodeIsolated, ADecoderThatHangsIsStopped) {
  const LoadResult r = DecodeIsolated(
      "slow.tif",
      []() -> LoadResult {
        std::this_thread::sleep_for(std::chrono::seconds(30));
        return {};
      },
      DecodeBudget{std::chrono::seconds(1), 1536});
  EXPECT_NE(r.error.find("longer than 1 seconds"), std::string::npos) << r.error;
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(DecodeIsolated, ADecoderGetsAMemoryBudget) {
  const LoadResult r = DecodeIsolated(
      "huge.tif",
      [] {
        void* block = std::malloc(std::size_t(4) << 30);  // 4 GB, over the budget
        return LoadResult{{}, block ? "allocated" : "refused"};
      },
      DecodeBudget{std::chrono::seconds(15), 256});
  EXPECT_EQ(r.error, "refused");
}
#endif

TEST(LoadPicture, ATinyTiffAskingForGigabytesIsRefused) {
  // Found by fuzzing: 263 bytes whose decode asks libtiff for about 6 GB.
  const LoadResult r = LoadPicture(PIXOLAN_SOURCE_DIR "/fuzz/crashes/oom-16b63635fe9443c457fa733546f39112e2ca1530");
  EXPECT_FALSE(r.ok());
  EXPECT_NE(r.error.find("No space for strip buffer"), std::string::npos) << r.error;
}

}  // namespace
}  // namespace pixolan
